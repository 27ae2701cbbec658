/* The program of the installation tests' package: records that it started,
   with its own path and its arguments, and ends. It shows no window. */
#include "marker.h"

/* The command line after the program's name. The name is quoted or ends at
   the first blank; the bytes of code page 936 characters are never blanks. */
static const char* Arguments(const char* line) {
  const unsigned char* p = (const unsigned char*)line;
  if (*p == '"') {
    p++;
    while (*p && *p != '"') p++;
    if (*p) p++;
  } else {
    while (*p > ' ') p++;
  }
  while (*p == ' ' || *p == '\t') p++;
  return (const char*)p;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR args, int show) {
  char self[MAX_PATH];
  char detail[1024];
  (void)instance;
  (void)previous;
  (void)args;
  (void)show;
  self[0] = 0;
  GetModuleFileNameA(0, self, MAX_PATH);
  lstrcpynA(detail, self, MAX_PATH);
  lstrcatA(detail, "|");
  lstrcpynA(detail + lstrlenA(detail), Arguments(GetCommandLineA()), 700);
  AppendMark("started", detail);
  return 0;
}
