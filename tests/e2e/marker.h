/* Marks left by the test program and the test control of the installation
   tests: each appends one line to the file named by the environment variable
   E2E_MARKS, so a test can see what was started or registered, and with what. */
#ifndef E2E_MARKER_H
#define E2E_MARKER_H
#include <windows.h>

static void AppendMark(const char* what, const char* detail) {
  char path[MAX_PATH];
  char line[1024];
  HANDLE h;
  HANDLE lock;
  DWORD n = GetEnvironmentVariableA("E2E_MARKS", path, MAX_PATH);
  DWORD written = 0;
  if (n == 0 || n >= MAX_PATH) return;
  lstrcpynA(line, what, 64);
  lstrcatA(line, " ");
  lstrcpynA(line + lstrlenA(line), detail, 900);
  lstrcatA(line, "\r\n");
  /* Programs and controls may mark at the same moment, and an append is not
     atomic across processes under Wine: one writer at a time. */
  lock = CreateMutexA(0, FALSE, "e2e-marks");
  if (lock) WaitForSingleObject(lock, 10000);
  h = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, 0, OPEN_ALWAYS,
                  FILE_ATTRIBUTE_NORMAL, 0);
  if (h != INVALID_HANDLE_VALUE) {
    WriteFile(h, line, (DWORD)lstrlenA(line), &written, 0);
    CloseHandle(h);
  }
  if (lock) {
    ReleaseMutex(lock);
    CloseHandle(lock);
  }
}
#endif
