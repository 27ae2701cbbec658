/* A test control library, built three ways: TESTCTL_OK (registration and
   unregistration succeed and leave a mark), TESTCTL_FAIL (both fail with a
   negative HRESULT, after leaving a mark), TESTCTL_NONE (neither entry point at
   all). The mark is a file named by the environment variable TESTCTL_MARK;
   unregistration appends to it, so that both show when both ran. */
#include <windows.h>

static void WriteMark(const char* what, DWORD disposition) {
  char path[MAX_PATH];
  DWORD n = GetEnvironmentVariableA("TESTCTL_MARK", path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, 0, disposition, FILE_ATTRIBUTE_NORMAL, 0);
  if (h == INVALID_HANDLE_VALUE) return;
  SetFilePointer(h, 0, 0, FILE_END);
  DWORD written = 0;
  WriteFile(h, what, (DWORD)lstrlenA(what), &written, 0);
  CloseHandle(h);
}

static void LeaveMark(const char* what) { WriteMark(what, CREATE_ALWAYS); }
static void AddMark(const char* what) { WriteMark(what, OPEN_ALWAYS); }

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

__declspec(dllexport) HRESULT WINAPI DllUnregisterServer(void) {
  AddMark("unregistered");
  return S_OK;
}
#elif defined(TESTCTL_FAIL)
__declspec(dllexport) HRESULT WINAPI DllRegisterServer(void) {
  LeaveMark("failed");
  return E_FAIL;
}

__declspec(dllexport) HRESULT WINAPI DllUnregisterServer(void) {
  AddMark("unregister failed");
  return E_FAIL;
}
#else
__declspec(dllexport) int WINAPI TestCtlVersion(void) { return 1; }
#endif
