#include "removalservices.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "common/packageindex.h"
#include "common/productentry.h"
#include "common/shellhelpers.h"
#include "framework/app.h"
#include "framework/dllsearch.h"
#include "framework/widetext.h"
#include "common/regcleanup.h"

int UnregisterServer(const char* path, bool userScope) {
  HMODULE lib = LoadLibraryBeside(path);
  if (reinterpret_cast<UINT_PTR>(lib) < 32) return 0;
  HRESULT hr = CallServerEntry(lib, "DllUnregisterServer", userScope);
  FreeLibrary(lib);
  return FAILED(hr) ? 0 : 1;
}

void CRemovalServices::Sleep(DWORD ms) { PauseForReading(ms); }
int CRemovalServices::UnregisterServer(const char* path) { return ::UnregisterServer(path, m_userScope); }
void CRemovalServices::RemoveTypeAssociation(const char* ext) { RemoveFileType(ext, m_userScope); }
void CRemovalServices::RemoveListType(const char* typeClass, const TypeRecord& record) {
  ::UnregisterListType(typeClass, record, m_userScope);
}
void CRemovalServices::DeleteKeyEntry(const char* reference) { ::DeleteKeyEntry(reference); }
void CRemovalServices::DeleteValueEntry(const char* reference) { ::DeleteValueEntry(reference); }

void CRemovalServices::RemoveProductEntries(const char* folder) { ::RemoveProductEntries(folder, m_userScope); }
bool CRemovalServices::DeleteAtRestart(const char* path) {
  if (m_userScope) return m_logonWork.Schedule(path, 0);
  return MoveFileExW(CWideText(path), 0, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
}
// A special folder's path as GetSpecialFolderPath gives it (with a trailing
// backslash); empty when the platform has no such folder.
static CString SpecialFolder(int csidl) {
  CString path = GetSpecialFolderPath(csidl);
  if (path == "\\") return CString();
  return path;
}

CString CRemovalServices::ProgramsFolder() {
  CString programs = SpecialFolder(CSIDL_PROGRAMS);
  if (!programs.IsEmpty() && !EndsWithBackslashMb(programs)) programs += '\\';
  return programs;
}

static CString EnvironmentFolder(const char* name) {
  WCHAR value[MAX_PATH + 1];
  DWORD n = GetEnvironmentVariableW(CWideText(name), value, MAX_PATH + 1);
  if (n == 0 || n > MAX_PATH) return CString();
  BOOL lost = FALSE;
  CString folder = NarrowText(value, static_cast<int>(n), &lost);
  return lost ? CString() : folder;
}

// Every known folder the system reports (the user's Downloads, Pictures,
// Music, Videos, Favorites, Saved Games, Contacts, Links and Searches, the
// public profile and its folders, OneDrive, the libraries' folders, ...), through
// the known-folder manager; nothing where the system has none. Paths that code
// page 936 cannot spell are left out: no ANSI path reaches them.
static int KnownFolders(CString* folders, int n, int max) {
  HRESULT com = CoInitialize(0);
  IKnownFolderManager* manager = 0;
  if (SUCCEEDED(CoCreateInstance(CLSID_KnownFolderManager, 0, CLSCTX_INPROC_SERVER, IID_IKnownFolderManager,
                                 reinterpret_cast<void**>(&manager))) &&
      manager) {
    KNOWNFOLDERID* ids = 0;
    UINT count = 0;
    if (SUCCEEDED(manager->GetFolderIds(&ids, &count)) && ids) {
      for (UINT i = 0; i < count && n < max; i++) {
        IKnownFolder* known = 0;
        if (FAILED(manager->GetFolder(ids[i], &known)) || !known) continue;
        PWSTR wide = 0;
        // Not created, not checked: a folder's place is what counts.
        if (SUCCEEDED(known->GetPath(KF_FLAG_DONT_VERIFY, &wide)) && wide && wide[0]) {
          BOOL lost = FALSE;
          CString path = NarrowText(wide, -1, &lost);
          if (!path.IsEmpty() && path.GetLength() <= MAX_PATH && !lost) folders[n++] = path;
        }
        CoTaskMemFree(wide);
        known->Release();
      }
      CoTaskMemFree(ids);
    }
    manager->Release();
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return n;
}

int CRemovalServices::ProtectedFolders(CString* folders, int max) {
  // The special folders of every system (the only ones where there is no
  // known-folder manager).
  static const int kSpecial[] = {
      CSIDL_PROGRAMS,        CSIDL_COMMON_PROGRAMS,      CSIDL_STARTMENU,        CSIDL_COMMON_STARTMENU,
      CSIDL_STARTUP,         CSIDL_COMMON_STARTUP,       CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY,
      CSIDL_PROFILE,         CSIDL_PERSONAL,             CSIDL_APPDATA,          CSIDL_LOCAL_APPDATA,
      CSIDL_COMMON_APPDATA,  CSIDL_PROGRAM_FILES,        CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMON,
      CSIDL_PROGRAM_FILES_COMMONX86, CSIDL_WINDOWS,      CSIDL_SYSTEM,           CSIDL_SYSTEMX86,
      CSIDL_FONTS,           CSIDL_COMMON_DOCUMENTS,     CSIDL_MYPICTURES,       CSIDL_MYMUSIC,
      CSIDL_MYVIDEO,         CSIDL_FAVORITES,            CSIDL_COMMON_FAVORITES, CSIDL_COMMON_PICTURES,
      CSIDL_COMMON_MUSIC,    CSIDL_COMMON_VIDEO,         CSIDL_SENDTO,           CSIDL_RECENT,
      CSIDL_TEMPLATES,       CSIDL_COMMON_TEMPLATES,     CSIDL_NETHOOD,          CSIDL_PRINTHOOD,
      CSIDL_COOKIES,         CSIDL_INTERNET_CACHE,       CSIDL_HISTORY,          CSIDL_ADMINTOOLS,
      CSIDL_COMMON_ADMINTOOLS, CSIDL_RESOURCES,
  };
  int n = 0;
  CString platform[3] = {WindowsFolderMb(MAX_PATH - 1), SystemFolderMb(MAX_PATH - 1), TempFolderMb(MAX_PATH - 1)};
  for (int i = 0; i < 3; i++)
    if (!platform[i].IsEmpty() && n < max) folders[n++] = platform[i];
  for (unsigned i = 0; i < sizeof kSpecial / sizeof kSpecial[0] && n < max; i++) {
    CString f = SpecialFolder(kSpecial[i]);
    if (!f.IsEmpty()) folders[n++] = f;
  }
  // The 64-bit Program Files as a 32-bit program on a 64-bit system sees it,
  // the public profile, and OneDrive where it set its variables.
  const char* env[] = {"ProgramW6432", "ProgramFiles", "CommonProgramW6432", "SystemRoot", "PUBLIC",
                       "ALLUSERSPROFILE", "OneDrive", "OneDriveConsumer", "OneDriveCommercial"};
  for (unsigned i = 0; i < sizeof env / sizeof env[0] && n < max; i++) {
    CString f = EnvironmentFolder(env[i]);
    if (!f.IsEmpty()) folders[n++] = f;
  }
  return KnownFolders(folders, n, max);
}

CString CRemovalServices::ProfilesFolder() {
  CString profile = SpecialFolder(CSIDL_PROFILE);
  while (EndsWithBackslashMb(profile)) profile = profile.Left(profile.GetLength() - 1);
  int slash = ReverseFindCharMb(profile, '\\');
  return slash > 0 ? profile.Left(slash) : CString();
}

CString CRemovalServices::FullPath(const char* path) {
  WCHAR full[MAX_PATH + 1];
  DWORD n = GetFullPathNameW(CWideText(path), MAX_PATH + 1, full, 0);
  if (n == 0 || n > MAX_PATH) return CString(path);
  // Short names (PROGRA~1) spelt out, so that they compare with the long ones
  // (unless the long one has no code page 936 form).
  WCHAR longName[MAX_PATH + 1];
  BOOL lost = FALSE;
  DWORD m = GetLongPathNameW(full, longName, MAX_PATH + 1);
  if (m > 0 && m <= MAX_PATH) {
    CString spelt = NarrowText(longName, static_cast<int>(m), &lost);
    if (!lost) return spelt;
  }
  CString result = NarrowText(full, static_cast<int>(n), &lost);
  return lost ? CString(path) : result;
}

bool CRemovalServices::IdentifyFolder(const char* path, FolderIdentity& id) {
  // No access asked for: this only reads what the folder is. Backup semantics
  // open folders; links and junctions are followed to what they lead to.
  HANDLE h = CreateFileW(CWideText(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, 0);
  if (h == INVALID_HANDLE_VALUE) return FALSE;
  BY_HANDLE_FILE_INFORMATION info;
  BOOL ok = GetFileInformationByHandle(h, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  CloseHandle(h);
  if (!ok) return FALSE;
  id.Volume = info.dwVolumeSerialNumber;
  id.IndexHigh = info.nFileIndexHigh;
  id.IndexLow = info.nFileIndexLow;
  return TRUE;
}
