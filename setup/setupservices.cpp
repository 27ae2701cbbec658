#include "setupservices.h"

#include <shellapi.h>
#include <shlobj.h>

#include "common/container.h"
#include "common/lzmastream.h"
#include "common/productentry.h"
#include "common/regcleanup.h"
#include "common/regref.h"
#include "framework/dllsearch.h"
#include "common/setuplog.h"
#include "common/shellhelpers.h"
#include "framework/app.h"
#include "framework/fsys.h"
#include "framework/mbcs.h"
#include "framework/memory.h"
#include "framework/msgbox.h"
#include "framework/widetext.h"
#include "resource.h"
#include "setup/core/folderrules.h"

#include <restartmanager.h>

const char kUninstallerResourceType[] = "EXE";

// The folders the platform reports are empty when they do not fit 254 bytes
// (or have no code page 936 form).
const int kPlatformFolderMax = 254;

CInstallFolders CurrentFolders(const char* installDir) {
  return CInstallFolders(WindowsFolderMb(kPlatformFolderMax), SystemFolderMb(kPlatformFolderMax), installDir);
}

// The size of a file, 0 when it is not there.
static long long SizeOf(const char* path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(CWideText(path), GetFileExInfoStandard, &data)) return 0;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return 0;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

static CString LocalAppDataFolder() {
  CString folder = GetSpecialFolderPath(CSIDL_LOCAL_APPDATA);
  return folder.GetLength() > 1 ? folder : CString();
}

CString ProposedInstallFolder(const PackageSettings& settings) {
  CString local = settings.UserScope() ? LocalAppDataFolder() : CString();
  if (!local.IsEmpty()) return DefaultUserInstallFolder(local, settings.ProductName);
  return DefaultInstallFolder(WindowsFolderMb(kPlatformFolderMax), settings.ProductName);
}

void PrepareUserProgramsFolder(const PackageSettings& settings, const char* folder) {
  if (!settings.UserScope()) return;
  CString local = LocalAppDataFolder();
  if (local.IsEmpty()) return;
  // Without its trailing backslash, as ParentFolder gives a folder.
  CString programs = UserProgramsFolder(local);
  programs = programs.Left(programs.GetLength() - 1);
  if (CompareNoCaseMb(ParentFolder(folder), programs) != 0) return;
  if (GetAttributes(programs) == INVALID_FILE_ATTRIBUTES) CreateFolder(programs);
}

BOOL RegisterProductEntry(const PackageSettings& settings, const CInstallFolders& folders, CString& keyName) {
  long long bytes = 0;
  CString path;
  for (const CFileList::Node* n = settings.FileList.Head; n; n = n->Next)
    if (IsContainedEntry(n->Entry) && folders.Resolve(n->Entry, path)) bytes += SizeOf(path);
  CString dir = folders.InstallDir;
  AppendBackslashIfMissing(dir);
  CString uninstaller = dir + UNINSTALLER_NAME;
  bytes += SizeOf(uninstaller) + SizeOf(SetupLogPathIn(dir));
  // The program's own icon when the package names a program to run.
  CString icon = settings.RunFile[0] ? folders.ResolveRef(settings.RunFile) : uninstaller;
  if (!WriteProductEntry(settings, dir, icon, bytes, keyName)) return FALSE;
  // One entry for the folder: one a version before wrote under another key
  // name (its product name, before the product had an id) goes.
  RemoveProductEntries(dir, settings.UserScope(), keyName);
  return TRUE;
}

// The key's default value as it is, in bytes; size 0 when it has none.
struct RegDefault {
  bool KeyThere;
  DWORD Type;
  DWORD Size;
  BYTE Data[1024];
};

struct CSetupServices::SavedFileType {
  CString Ext;
  RegDefault Keys[ASSOC_KEY_COUNT];
};

// Associations a run replaces: the package's two, a few more for safety.
const int kSavedFileTypeMax = 8;

// keyPath below the classes of the installation's scope (ClassesRootKey).
static void ReadDefault(bool userScope, const char* keyPath, RegDefault& out) {
  out.KeyThere = false;
  out.Size = 0;
  HKEY key = 0;
  if (RegOpenKeyExW(ClassesRootKey(userScope), CWideText(ClassesKeyPath(keyPath, userScope)), 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return;
  out.KeyThere = true;
  DWORD size = sizeof out.Data;
  if (RegQueryValueExW(key, 0, 0, &out.Type, out.Data, &size) == ERROR_SUCCESS) out.Size = size;
  RegCloseKey(key);
}

static void RestoreDefault(bool userScope, const char* keyPath, const RegDefault& saved) {
  HKEY root = ClassesRootKey(userScope);
  CWideText path(ClassesKeyPath(keyPath, userScope));
  if (!saved.KeyThere) {
    RegDeleteKeyW(root, path);
    return;
  }
  HKEY key = 0;
  if (RegOpenKeyExW(root, path, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
  if (saved.Size) RegSetValueExW(key, 0, 0, saved.Type, saved.Data, saved.Size);
  else RegDeleteValueW(key, 0);
  RegCloseKey(key);
}

CSetupServices::~CSetupServices() { delete[] m_saved; }

// The installation the entry of that key name stands for.
static PreviousInstallation InstallationOfEntry(const char* keyName, bool userScope) {
  PreviousInstallation previous;
  ProductEntryValues values;
  if (!ReadProductEntry(keyName, userScope, values)) return previous;
  CString folder = EntryInstallLocation(values.InstallLocation);
  // Only an entry this setup wrote for that folder, and an installation that is there.
  if (folder.IsEmpty() || !EntryBelongsTo(values.InstallLocation, values.UninstallString, folder) ||
      GetAttributes(SetupLogPathIn(folder)) == INVALID_FILE_ATTRIBUTES)
    return previous;
  previous.Found = true;
  previous.Folder = folder;
  previous.Version = values.DisplayVersion;
  return previous;
}

PreviousInstallation FindPreviousInstallation(const PackageSettings& settings, bool userScope) {
  // In the list of one scope: an installation of the other scope is another
  // one, with its own entry.
  PreviousInstallation previous = InstallationOfEntry(ProductEntryKeyName(settings), userScope);
  // A product that took a product.id in this version: the versions before
  // wrote their entry under the product name.
  if (!previous.Found && !settings.ProductId.IsEmpty())
    previous = InstallationOfEntry(ProductNameEntryKeyName(settings), userScope);
  return previous;
}

void StartScope(PackageSettings& settings, const SetupSwitches& switches, PreviousInstallation found[2]) {
  bool ask = settings.AskScope();
  for (int scope = kForMachine; scope <= kForUser; scope++) {
    found[scope] = PreviousInstallation();
    if (ask || settings.UserScope() == (scope == kForUser))
      found[scope] = FindPreviousInstallation(settings, scope == kForUser);
  }
  if (ask)
    settings.Scope =
        StartingScope(settings.Scope, switches, found[kForUser].Found, found[kForMachine].Found, ProcessElevated());
}

// The full, long form of a path, without a trailing backslash; the path
// itself where there is none.
static CString FullLongPath(const char* path) {
  WCHAR full[MAX_PATH + 1], longer[MAX_PATH + 1];
  DWORD n = GetFullPathNameW(CWideText(path), MAX_PATH + 1, full, 0);
  if (n == 0 || n > MAX_PATH) return CString(path);
  DWORD m = GetLongPathNameW(full, longer, MAX_PATH + 1);
  BOOL lost = FALSE;
  CString result = m > 0 && m <= MAX_PATH ? NarrowText(longer, static_cast<int>(m), &lost) : NarrowText(full, -1, &lost);
  if (lost) return CString(path);
  while (result.GetLength() > 3 && EndsWithBackslashMb(result)) result = result.Left(result.GetLength() - 1);
  return result;
}

bool SameFolder(const char* a, const char* b) {
  if (!a || !a[0] || !b || !b[0]) return false;
  return CompareNoCaseMb(FullLongPath(a), FullLongPath(b)) == 0;
}

DWORD CSetupServices::TickCount() { return GetTickCount(); }

void CSetupServices::Sleep(DWORD ms) { PauseForReading(ms); }

int CSetupServices::RegisterServer(const char* path) { return ::RegisterServer(path, m_package.UserScope()); }

void CSetupServices::RegisterFileType(const char* ext, const char* program) {
  // What it replaces, for UndoFileType (once per extension: the first state counts).
  bool saved = false;
  for (int i = 0; i < m_savedCount && !saved; i++) saved = CompareNoCaseMb(m_saved[i].Ext, ext) == 0;
  if (!saved && ext && ext[0]) {
    if (!m_saved) m_saved = new SavedFileType[kSavedFileTypeMax];
    if (m_saved && m_savedCount < kSavedFileTypeMax) {
      SavedFileType& s = m_saved[m_savedCount++];
      s.Ext = ext;
      for (int k = 0; k < ASSOC_KEY_COUNT; k++) ReadDefault(m_package.UserScope(), AssociationKey(ext, k), s.Keys[k]);
    }
  }
  ::RegisterFileType(ext, program, m_package.UserScope());
}

void CSetupServices::UndoFileType(const char* ext) {
  for (int i = 0; i < m_savedCount; i++) {
    if (CompareNoCaseMb(m_saved[i].Ext, ext) != 0) continue;
    // The deepest first, as the keys are removed.
    for (int k = 0; k < ASSOC_KEY_COUNT; k++) RestoreDefault(m_package.UserScope(), AssociationKey(ext, k), m_saved[i].Keys[k]);
    return;
  }
  UnregisterFileType(ext);
}

bool CSetupServices::FileInUse(const char* path) {
  // Opened for writing and shared with nobody: refused while anyone has it
  // open (a running program, a loaded library, a document open in an editor).
  HANDLE h = CreateFileW(CWideText(path), GENERIC_READ | GENERIC_WRITE, 0, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
  if (h != INVALID_HANDLE_VALUE) {
    CloseHandle(h);
    return false;
  }
  DWORD error = GetLastError();
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// The Restart Manager, where the system has it (Windows Vista on), names the
// programs that hold files. Loaded when asked, from the system folder only.
typedef DWORD(WINAPI* RmStartSessionFn)(DWORD*, DWORD, WCHAR*);
typedef DWORD(WINAPI* RmRegisterResourcesFn)(DWORD, UINT, LPCWSTR*, UINT, RM_UNIQUE_PROCESS*, UINT, LPCWSTR*);
typedef DWORD(WINAPI* RmGetListFn)(DWORD, UINT*, UINT*, RM_PROCESS_INFO*, DWORD*);
typedef DWORD(WINAPI* RmEndSessionFn)(DWORD);
template <typename Fn>
Fn RestartManagerProc(const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(SystemLibraryProc("rstrtmgr.dll", name)));
}
// The files and programs asked about and named at most.
const int kRmFilesMax = 64;
const UINT kRmProgramsMax = 16;

CString CSetupServices::ProgramsUsing(const CPathList& files) {
  CString names;
  RmStartSessionFn start = RestartManagerProc<RmStartSessionFn>("RmStartSession");
  RmRegisterResourcesFn add = RestartManagerProc<RmRegisterResourcesFn>("RmRegisterResources");
  RmGetListFn list = RestartManagerProc<RmGetListFn>("RmGetList");
  RmEndSessionFn end = RestartManagerProc<RmEndSessionFn>("RmEndSession");
  if (!start || !add || !list || !end || files.Count() == 0) return names;
  DWORD session = 0;
  WCHAR key[CCH_RM_SESSION_KEY + 1] = {0};
  if (start(&session, 0, key) != ERROR_SUCCESS) return names;
  int n = files.Count() < kRmFilesMax ? files.Count() : kRmFilesMax;
  CWideText* wide[kRmFilesMax];
  LPCWSTR paths[kRmFilesMax];
  for (int i = 0; i < n; i++) {
    wide[i] = new CWideText(files[i]);
    paths[i] = wide[i] ? wide[i]->Get() : L"";
  }
  RM_PROCESS_INFO* info = new RM_PROCESS_INFO[kRmProgramsMax];
  UINT needed = 0, count = kRmProgramsMax;
  DWORD reasons = 0;
  if (info && add(session, static_cast<UINT>(n), paths, 0, 0, 0, 0) == ERROR_SUCCESS) {
    DWORD r = list(session, &needed, &count, info, &reasons);
    if (r == ERROR_SUCCESS || r == ERROR_MORE_DATA) {
      for (UINT i = 0; i < count && i < kRmProgramsMax; i++) {
        CString name = NarrowText(info[i].strAppName);
        if (name.IsEmpty()) continue;
        CString line;
        line.Format("%s (%lu)", name.c_str(), static_cast<unsigned long>(info[i].Process.dwProcessId));
        if (!names.IsEmpty()) names += "\r\n";
        names += line;
      }
    }
  }
  delete[] info;
  for (int i = 0; i < n; i++) delete wide[i];
  end(session);
  return names;
}

bool CSetupServices::AtRestart(const char* from, const char* to) {
  if (m_package.UserScope()) return m_logonWork.Schedule(from, to);
  CWideText wideFrom(from), wideTo(to);
  return MoveFileExW(wideFrom, to && to[0] ? wideTo.Get() : 0,
                     MOVEFILE_DELAY_UNTIL_REBOOT | (to && to[0] ? MOVEFILE_REPLACE_EXISTING : 0)) != 0;
}

CString CSetupServices::LongPath(const char* path) {
  WCHAR longer[MAX_PATH + 1];
  DWORD n = GetLongPathNameW(CWideText(path), longer, MAX_PATH + 1);
  if (n == 0 || n > MAX_PATH) return CString(path);
  BOOL lost = FALSE;
  CString result = NarrowText(longer, static_cast<int>(n), &lost);
  return lost ? CString(path) : result;
}

void CSetupServices::RegisterListType(const char* ext, const char* typeClass, const char* command,
                                      const char* description, const char* icon, TypeRecord& record) {
  ::RegisterListType(ext, typeClass, command, description, icon, record, m_package.UserScope());
}

void CSetupServices::UnregisterListType(const char* typeClass, const TypeRecord& record) {
  ::UnregisterListType(typeClass, record, m_package.UserScope());
}

int CSetupServices::UnregisterServer(const char* path) {
  // RegisterServer keeps a control it registered loaded: that hold is let go
  // here, so that the file can be removed next.
  HMODULE held = GetModuleHandleA(path);
  HMODULE lib = held ? held : LoadLibraryA(path);
  if (!lib) return 0;
  HRESULT hr = CallServerEntry(lib, "DllUnregisterServer", m_package.UserScope());
  FreeLibrary(lib);
  return hr < 0 ? 0 : 1;
}

void CSetupServices::UnregisterFileType(const char* ext) { RemoveFileType(ext, m_package.UserScope()); }
// As the uninstaller deletes them: the reference gives the root.
void CSetupServices::DeleteKeyEntry(const char* reference) { ::DeleteKeyEntry(reference); }
void CSetupServices::DeleteValueEntry(const char* reference) { ::DeleteValueEntry(reference); }

bool CSetupServices::WriteUninstaller(const char* installDir) {
  if (m_package.UninstallerRegion.Method != kMethodNone) return WriteCarriedUninstaller(m_package, installDir);
  DWORD packedSize = 0;
  const void* packed = GetResourceBytes(IDR_UNINSTALLER, kUninstallerResourceType, packedSize);
  // A damaged resource leaves no program: writing the uninstaller then fails
  // like any other failure to write it.
  size_t size = 0;
  // It went through the x86 branch filter before it was packed.
  char* program = packed ? DecodeLzmaProgram(packed, packedSize, kUninstallerProgramMax, true, size) : 0;
  BOOL ok = ::WriteUninstaller(
      UninstallerSourceOf(m_package, program, static_cast<DWORD>(size), m_package.Path, installDir));
  FreeBuffer(program);
  return ok;
}

CString CSetupServices::SpecialFolder(int csidl) { return GetSpecialFolderPath(csidl); }

bool CSetupServices::CreateShortcut(const char* target, const char* linkPath) {
  return ::CreateShortcut(target, linkPath);
}

void CSetupServices::CreateFolder(const char* path) { ::CreateFolder(path); }

void CSetupServices::Open(const char* path) { ShellExecuteW(0, 0, CWideText(path), 0, 0, SW_SHOW); }

void CSetupServices::ShowError(const char* text) { AfxMessageBox(text, MB_OK); }
