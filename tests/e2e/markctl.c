/* The control of the installation tests' package, built three ways: with
   DllRegisterServer and DllUnregisterServer, which record the path they were
   loaded from; the same also writing (and removing) a class key through
   HKEY_CLASSES_ROOT and one through HKEY_LOCAL_MACHINE\Software\Classes
   (MARKCTL_REGISTRY), as controls register themselves; and without
   (MARKCTL_NONE), which a setup registers and an uninstaller unregisters
   without a trace. */
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
#ifdef MARKCTL_REGISTRY
static const char kClassKey[] = "E2E.MarkCtl";
static const char kMachineClassKey[] = "Software\\Classes\\E2E.MarkCtl.Machine";

static HRESULT WriteClass(HKEY root, const char* key, const char* self) {
  HKEY k;
  LONG r = RegCreateKeyExA(root, key, 0, 0, 0, KEY_ALL_ACCESS, 0, &k, 0);
  if (r != ERROR_SUCCESS) return HRESULT_FROM_WIN32(r);
  r = RegSetValueExA(k, 0, 0, REG_SZ, (const BYTE*)self, (DWORD)lstrlenA(self) + 1);
  RegCloseKey(k);
  return HRESULT_FROM_WIN32(r);
}
#endif

__declspec(dllexport) HRESULT WINAPI DllRegisterServer(void) {
  char self[MAX_PATH];
  self[0] = 0;
  GetModuleFileNameA(g_self, self, MAX_PATH);
  AppendMark("registered", self);
#ifdef MARKCTL_REGISTRY
  if (FAILED(WriteClass(HKEY_CLASSES_ROOT, kClassKey, self))) return E_FAIL;
  if (FAILED(WriteClass(HKEY_LOCAL_MACHINE, kMachineClassKey, self))) return E_FAIL;
#endif
  return S_OK;
}

__declspec(dllexport) HRESULT WINAPI DllUnregisterServer(void) {
  char self[MAX_PATH];
  self[0] = 0;
  GetModuleFileNameA(g_self, self, MAX_PATH);
  AppendMark("unregistered", self);
#ifdef MARKCTL_REGISTRY
  RegDeleteKeyA(HKEY_CLASSES_ROOT, kClassKey);
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, kMachineClassKey);
#endif
  return S_OK;
}
#endif
