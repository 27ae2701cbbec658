#include "setupservices.h"

#include <shellapi.h>

#include "common/container.h"
#include "common/lzmastream.h"
#include "common/regref.h"
#include "common/shellhelpers.h"
#include "framework/mbcs.h"
#include "framework/memory.h"
#include "framework/msgbox.h"
#include "resource.h"

const char kUninstallerResourceType[] = "EXE";
// The uninstaller carried in the resources is LZMA-compressed; no uninstaller
// program is anywhere near this size unpacked.
const size_t kUninstallerMaxSize = 16UL << 20;

// A folder the platform reports, or empty when it does not fit the buffer.
static CString PlatformFolder(UINT (WINAPI* get)(LPSTR, UINT)) {
  char dir[256];
  dir[0] = 0;
  UINT n = get(dir, 255);
  return n > 0 && n < 255 ? CString(dir) : CString();
}

CInstallFolders CurrentFolders(const char* installDir) {
  return CInstallFolders(PlatformFolder(GetWindowsDirectoryA), PlatformFolder(GetSystemDirectoryA), installDir);
}

DWORD CSetupServices::TickCount() { return GetTickCount(); }

void CSetupServices::Sleep(DWORD ms) { ::Sleep(ms); }

int CSetupServices::RegisterServer(const char* path) { return ::RegisterServer(path); }

void CSetupServices::RegisterFileType(const char* ext, const char* program) { ::RegisterFileType(ext, program); }

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

BOOL CSetupServices::WriteUninstaller(const char* installDir) {
  DWORD packedSize = 0;
  const void* packed = GetResourceBytes(IDR_UNINSTALLER, kUninstallerResourceType, packedSize);
  // A damaged resource leaves no program: writing the uninstaller then fails
  // like any other failure to write it.
  size_t size = 0;
  char* program = packed ? DecodeLzmaBuffer(packed, packedSize, kUninstallerMaxSize, size) : 0;
  BOOL ok = ::WriteUninstaller(
      UninstallerSourceOf(m_settings, program, static_cast<DWORD>(size), m_modulePath, installDir));
  FreeBuffer(program);
  return ok;
}

CString CSetupServices::SpecialFolder(int csidl) { return GetSpecialFolderPath(csidl); }

BOOL CSetupServices::CreateShortcut(const char* target, const char* linkPath) {
  return ::CreateShortcut(target, linkPath);
}

void CSetupServices::CreateFolder(const char* path) { CreateDirectoryA(path, 0); }

void CSetupServices::Open(const char* path) { ShellExecuteA(0, 0, path, 0, 0, SW_SHOW); }

void CSetupServices::ShowError(const char* text) { AfxMessageBox(text, MB_OK); }
