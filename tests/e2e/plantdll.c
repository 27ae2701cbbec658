/* A DLL planted beside a program under the name of a system DLL: when it is
   loaded it leaves a file "<its own path>.loaded". It exports nothing the
   program wants; the loaded marker is all that matters. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE inst, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) {
    char path[MAX_PATH + 16];
    DWORD n = GetModuleFileNameA(inst, path, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
      lstrcpyA(path + n, ".loaded");
      HANDLE f = CreateFileA(path, GENERIC_WRITE, 0, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
      if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
    }
  }
  return TRUE;
}
