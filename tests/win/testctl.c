/* A test control library, built three ways: TESTCTL_OK (registration succeeds
   and leaves a mark), TESTCTL_FAIL (registration fails with a negative HRESULT),
   TESTCTL_NONE (no DllRegisterServer at all). The mark is a file named by the
   environment variable TESTCTL_MARK. */
#include <windows.h>

static void LeaveMark(const char* what) {
  char path[MAX_PATH];
  DWORD n = GetEnvironmentVariableA("TESTCTL_MARK", path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
  if (h == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(h, what, (DWORD)lstrlenA(what), &written, 0);
  CloseHandle(h);
}

BOOL WINAPI DllMain(HINSTANCE inst, DWORD reason, LPVOID reserved) {
  (void)inst;
  (void)reason;
  (void)reserved;
  return TRUE;
}

#if defined(TESTCTL_OK)
__declspec(dllexport) HRESULT WINAPI DllRegisterServer(void) {
  LeaveMark("registered");
  return S_OK;
}
#elif defined(TESTCTL_FAIL)
__declspec(dllexport) HRESULT WINAPI DllRegisterServer(void) {
  LeaveMark("failed");
  return E_FAIL;
}
#else
__declspec(dllexport) int WINAPI TestCtlVersion(void) { return 1; }
#endif
