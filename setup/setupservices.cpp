#include "setupservices.h"

#include <shellapi.h>

#include "common/container.h"
#include "common/lzmastream.h"
#include "common/productentry.h"
#include "common/regref.h"
#include "common/setuplog.h"
#include "common/shellhelpers.h"
#include "framework/app.h"
#include "framework/fsys.h"
#include "framework/mbcs.h"
#include "framework/memory.h"
#include "framework/msgbox.h"
#include "framework/widetext.h"
#include "resource.h"

const char kUninstallerResourceType[] = "EXE";
// The uninstaller carried in the resources is LZMA-compressed; no uninstaller
// program is anywhere near this size unpacked.
const size_t kUninstallerMaxSize = 16UL << 20;

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
  return WriteProductEntry(settings, dir, icon, bytes, keyName);
}

DWORD CSetupServices::TickCount() { return GetTickCount(); }

void CSetupServices::Sleep(DWORD ms) { PauseForReading(ms); }

int CSetupServices::RegisterServer(const char* path) { return ::RegisterServer(path); }

void CSetupServices::RegisterFileType(const char* ext, const char* program) { ::RegisterFileType(ext, program); }

void CSetupServices::RegisterListType(const char* ext, const char* typeClass, const char* command,
                                      const char* description, const char* icon, TypeRecord& record) {
  ::RegisterListType(ext, typeClass, command, description, icon, record);
}

void CSetupServices::UnregisterListType(const char* typeClass, const TypeRecord& record) {
  ::UnregisterListType(typeClass, record);
}

int CSetupServices::UnregisterServer(const char* path) {
  // RegisterServer keeps a control it registered loaded: that hold is let go
  // here, so that the file can be removed next.
  HMODULE held = GetModuleHandleA(path);
  HMODULE lib = held ? held : LoadLibraryA(path);
  if (!lib) return 0;
  HRESULT hr = CallServerEntry(lib, "DllUnregisterServer");
  FreeLibrary(lib);
  return hr < 0 ? 0 : 1;
}

void CSetupServices::UnregisterFileType(const char* ext) {
  // The keys RegisterFileType made, the deepest first.
  if (!ext || !ext[0] || FindCharMb(ext, '\\') >= 0) return;
  for (int i = 0; i < ASSOC_KEY_COUNT; i++) RegDeleteKeyA(HKEY_CLASSES_ROOT, AssociationKey(ext, i));
}

bool CSetupServices::WriteUninstaller(const char* installDir) {
  DWORD packedSize = 0;
  const void* packed = GetResourceBytes(IDR_UNINSTALLER, kUninstallerResourceType, packedSize);
  // A damaged resource leaves no program: writing the uninstaller then fails
  // like any other failure to write it.
  size_t size = 0;
  char* program = packed ? DecodeLzmaBuffer(packed, packedSize, kUninstallerMaxSize, size) : 0;
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
