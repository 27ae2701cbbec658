/* The control of the installation tests' package, built two ways: with
   DllRegisterServer and DllUnregisterServer, which record the path they were
   loaded from, and without (MARKCTL_NONE), which a setup registers and an
   uninstaller unregisters without a trace. */
#include "marker.h"

static HINSTANCE g_self;

BOOL WINAPI DllMain(HINSTANCE inst, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) g_self = inst;
  return TRUE;
}

#ifdef MARKCTL_NONE
__declspec(dllexport) int WINAPI MarkCtlVersion(void) { return 1; }
#else
__declspec(dllexport) HRESULT WINAPI DllRegisterServer(void) {
  char self[MAX_PATH];
  self[0] = 0;
  GetModuleFileNameA(g_self, self, MAX_PATH);
  AppendMark("registered", self);
  return S_OK;
}

__declspec(dllexport) HRESULT WINAPI DllUnregisterServer(void) {
  char self[MAX_PATH];
  self[0] = 0;
  GetModuleFileNameA(g_self, self, MAX_PATH);
  AppendMark("unregistered", self);
  return S_OK;
}
#endif
