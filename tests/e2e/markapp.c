/* The program of the installation tests' package: records that it started,
   with its own path and its arguments, and ends. It shows no window. */
#include "marker.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR args, int show) {
  char self[MAX_PATH];
  char detail[1024];
  (void)instance;
  (void)previous;
  (void)show;
  self[0] = 0;
  GetModuleFileNameA(0, self, MAX_PATH);
  lstrcpynA(detail, self, MAX_PATH);
  lstrcatA(detail, "|");
  lstrcpynA(detail + lstrlenA(detail), args ? args : "", 700);
  AppendMark("started", detail);
  return 0;
}
