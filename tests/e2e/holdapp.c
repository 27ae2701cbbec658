/* The program of version 1 of the upgrade tests' package: it stays running,
   holding its own file as any running program does, until the test lets it
   go (the event "e2e-hold-end") or ends it. "e2e-hold-started" says it runs.
   It shows no window. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR args, int show) {
  HANDLE started = CreateEventA(0, TRUE, FALSE, "e2e-hold-started");
  HANDLE end = CreateEventA(0, TRUE, FALSE, "e2e-hold-end");
  (void)instance;
  (void)previous;
  (void)args;
  (void)show;
  if (started) SetEvent(started);
  if (end) WaitForSingleObject(end, 300000);
  return 0;
}
