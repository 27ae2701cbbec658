#include "removalservices.h"

#include <shlobj.h>

#include "framework/dllsearch.h"
#include "common/packageindex.h"
#include "common/shellhelpers.h"
#include "regcleanup.h"

typedef HRESULT(STDAPICALLTYPE* ServerProc)();

int UnregisterServer(const char* path) {
  HMODULE lib = LoadLibraryBeside(path);
  if (reinterpret_cast<UINT_PTR>(lib) < 32) return 0;
  ServerProc proc = reinterpret_cast<ServerProc>(
      reinterpret_cast<void (*)()>(GetProcAddress(lib, "DllUnregisterServer")));
  HRESULT hr = proc ? proc() : S_OK;
  FreeLibrary(lib);
  return FAILED(hr) ? 0 : 1;
}

void CRemovalServices::Sleep(DWORD ms) { ::Sleep(ms); }
int CRemovalServices::UnregisterServer(const char* path) { return ::UnregisterServer(path); }
void CRemovalServices::RemoveTypeAssociation(const char* ext) { ::RemoveTypeAssociation(ext); }
void CRemovalServices::DeleteKeyEntry(const char* reference) { ::DeleteKeyEntry(reference); }
void CRemovalServices::DeleteValueEntry(const char* reference) { ::DeleteValueEntry(reference); }
CString CRemovalServices::ProgramsFolder() { return GetSpecialFolderPath(CSIDL_PROGRAMS); }

// A special folder's path without the trailing backslash that
// GetSpecialFolderPath adds; empty when the platform has no such folder.
static CString SpecialFolder(int csidl) {
  CString path = GetSpecialFolderPath(csidl);
  if (path == "\\") return CString();
  return path;
}

static CString EnvironmentFolder(const char* name) {
  char value[MAX_PATH + 1];
  DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
  if (n == 0 || n >= sizeof value) return CString();
  return CString(value);
}

int CRemovalServices::ProtectedFolders(CString* folders, int max) {
  static const int kSpecial[] = {
      CSIDL_PROGRAMS,        CSIDL_COMMON_PROGRAMS,      CSIDL_STARTMENU,        CSIDL_COMMON_STARTMENU,
      CSIDL_STARTUP,         CSIDL_COMMON_STARTUP,       CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY,
      CSIDL_PROFILE,         CSIDL_PERSONAL,             CSIDL_APPDATA,          CSIDL_LOCAL_APPDATA,
      CSIDL_COMMON_APPDATA,  CSIDL_PROGRAM_FILES,        CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMON,
      CSIDL_PROGRAM_FILES_COMMONX86, CSIDL_WINDOWS,      CSIDL_SYSTEM,           CSIDL_SYSTEMX86,
      CSIDL_FONTS,           CSIDL_COMMON_DOCUMENTS,
  };
  int n = 0;
  char path[MAX_PATH + 1];
  UINT len = GetWindowsDirectoryA(path, MAX_PATH);
  if (len > 0 && len < MAX_PATH && n < max) folders[n++] = path;
  len = GetSystemDirectoryA(path, MAX_PATH);
  if (len > 0 && len < MAX_PATH && n < max) folders[n++] = path;
  DWORD temp = GetTempPathA(MAX_PATH, path);
  if (temp > 0 && temp < MAX_PATH && n < max) folders[n++] = path;
  for (unsigned i = 0; i < sizeof kSpecial / sizeof kSpecial[0] && n < max; i++) {
    CString f = SpecialFolder(kSpecial[i]);
    if (!f.IsEmpty()) folders[n++] = f;
  }
  // The 64-bit Program Files as a 32-bit program on a 64-bit system sees it.
  const char* env[] = {"ProgramW6432", "ProgramFiles", "CommonProgramW6432", "SystemRoot"};
  for (unsigned i = 0; i < sizeof env / sizeof env[0] && n < max; i++) {
    CString f = EnvironmentFolder(env[i]);
    if (!f.IsEmpty()) folders[n++] = f;
  }
  return n;
}

CString CRemovalServices::ProfilesFolder() {
  CString profile = SpecialFolder(CSIDL_PROFILE);
  while (EndsWithBackslashMb(profile)) profile = profile.Left(profile.GetLength() - 1);
  int slash = ReverseFindCharMb(profile, '\\');
  return slash > 0 ? profile.Left(slash) : CString();
}

CString CRemovalServices::FullPath(const char* path) {
  char full[MAX_PATH + 1];
  DWORD n = GetFullPathNameA(path, sizeof full, full, 0);
  if (n == 0 || n >= sizeof full) return CString(path);
  // Short names (PROGRA~1) spelt out, so that they compare with the long ones.
  char longName[MAX_PATH + 1];
  n = GetLongPathNameA(full, longName, sizeof longName);
  if (n > 0 && n < sizeof longName) return CString(longName);
  return CString(full);
}
