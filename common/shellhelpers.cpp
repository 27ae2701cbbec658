#include "shellhelpers.h"

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "framework/dllsearch.h"
#include "framework/file.h"
#include "framework/fsys.h"
#include "framework/mbcs.h"
#include "framework/widetext.h"
#include "regref.h"

typedef HRESULT(STDAPICALLTYPE* ServerProc)();

namespace {

// The machine's roots standing for the user's while it lives (On). Where
// they cannot be redirected the entry point is not called at all: what it
// writes must not land in the machine's part instead.
class CUserRegistryRoots {
 public:
  CUserRegistryRoots() : m_classes(0), m_user(0), m_classesOn(false), m_machineOn(false) {
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"" USER_CLASSES_KEY, 0, 0, 0, KEY_ALL_ACCESS, 0, &m_classes, 0) !=
        ERROR_SUCCESS)
      m_classes = 0;
    // A handle of its own: the predefined one cannot stand for another root.
    if (RegOpenCurrentUser(KEY_ALL_ACCESS, &m_user) != ERROR_SUCCESS) m_user = 0;
    m_classesOn = m_classes && RegOverridePredefKey(HKEY_CLASSES_ROOT, m_classes) == ERROR_SUCCESS;
    m_machineOn = m_classesOn && m_user && RegOverridePredefKey(HKEY_LOCAL_MACHINE, m_user) == ERROR_SUCCESS;
  }
  ~CUserRegistryRoots() {
    if (m_machineOn) RegOverridePredefKey(HKEY_LOCAL_MACHINE, 0);
    if (m_classesOn) RegOverridePredefKey(HKEY_CLASSES_ROOT, 0);
    if (m_user) RegCloseKey(m_user);
    if (m_classes) RegCloseKey(m_classes);
  }
  bool On() const { return m_machineOn; }

 private:
  HKEY m_classes, m_user;
  bool m_classesOn, m_machineOn;
};

}  // namespace

HRESULT CallServerEntry(HMODULE lib, const char* name, bool userScope) {
  ServerProc proc = reinterpret_cast<ServerProc>(reinterpret_cast<void (*)()>(GetProcAddress(lib, name)));
  if (!proc) return S_OK;
  if (!userScope) return proc();
  CUserRegistryRoots roots;
  return roots.On() ? proc() : E_ACCESSDENIED;
}

int RegisterServer(const char* path, bool userScope) {
  HMODULE lib = LoadLibraryBeside(path);
  if (reinterpret_cast<UINT_PTR>(lib) < 32) return 0;
  if (FAILED(CallServerEntry(lib, "DllRegisterServer", userScope))) {
    FreeLibrary(lib);
    return 0;
  }
  return 1;
}

BOOL CreateShortcut(const char* target, const char* linkPath) {
  IShellLinkW* link = 0;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, 0, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link))) ||
      !link)
    return FALSE;
  CString t(target);
  // The last backslash of its own: a double-byte character's trail byte can
  // be 0x5C.
  int slash = ReverseFindCharMb(t, '\\');
  CString folder = slash >= 0 ? t.Left(slash) : CString();
  link->SetWorkingDirectory(CWideText(folder));
  // A link keeps its target's path in the system's code page too, and some
  // readers (Wine among them) take it from there alone: a target without a
  // form in that code page is given by its short form, which names the same
  // file in ASCII. On a system of code page 936 the link is as before.
  CWideText wideTarget(target);
  const WCHAR* path = wideTarget;
  WCHAR shortPath[MAX_PATH + 1];
  if (!HasSystemCodePageForm(path)) {
    DWORD n = GetShortPathNameW(path, shortPath, MAX_PATH + 1);
    if (n > 0 && n <= MAX_PATH) path = shortPath;
  }
  link->SetPath(path);
  link->SetDescription(L"");
  link->SetShowCmd(SW_SHOW);
  IPersistFile* file = 0;
  if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) || !file) {
    link->Release();
    return FALSE;
  }
  CWideText wide(linkPath);
  // A path that does not fit gives no name at all rather than a cut one.
  HRESULT hr = wide.Get()[0] && lstrlenW(wide) < MAX_PATH ? file->Save(wide, TRUE) : E_INVALIDARG;
  file->Release();
  link->Release();
  return SUCCEEDED(hr);
}

CString GetSpecialFolderPath(int csidl) {
  WCHAR path[MAX_PATH + 1];
  path[0] = 0;
  LPITEMIDLIST pidl = 0;
  if (SUCCEEDED(SHGetSpecialFolderLocation(0, csidl, &pidl)) && pidl) {
    if (!SHGetPathFromIDListW(pidl, path)) path[0] = 0;
    CoTaskMemFree(pidl);
  }
  // A folder without a code page 936 form is no folder for the programs: a
  // path written into setup.log must name it, and a look-alike would not.
  BOOL lost = FALSE;
  CString result = NarrowText(path, -1, &lost);
  if (lost) result.Empty();
  AppendBackslashIfMissing(result);  // never after a trail byte 0x5C
  return result;
}

CString TempFilePath(const char* name) {
  CString path = TempFolderMb(254);
  if (path.IsEmpty()) return path;
  path += name;
  return path;
}

HICON LoadIconFromBytes(const void* bytes, int count) {
  CString tmp = TempFilePath(TEMP_FILE_NAME);
  if (tmp.IsEmpty() || count < 0) return 0;
  // A read-only leftover of the same name must not stop the write.
  if (GetAttributes(tmp) != INVALID_FILE_ATTRIBUTES) SetAttributesNormal(tmp);
  CFile f;
  if (!f.Open(tmp, CFile::modeCreate | CFile::modeWrite)) return 0;
  BOOL written = f.Write(bytes, static_cast<unsigned>(count));
  if (!f.Close()) written = FALSE;
  HICON icon = 0;
  if (written)
    icon = static_cast<HICON>(
        LoadImageW(0, CWideText(tmp), IMAGE_ICON, 0, 0, LR_LOADFROMFILE | LR_DEFAULTSIZE | LR_CREATEDIBSECTION));
  RemoveFile(tmp);
  return icon;
}

HKEY ClassesRootKey(bool userScope) { return userScope ? HKEY_CURRENT_USER : HKEY_CLASSES_ROOT; }

CString ClassesKeyPath(const char* key, bool userScope) {
  if (!userScope) return CString(key);
  CString path(USER_CLASSES_KEY "\\");
  path += key;
  return path;
}

// Sets a key's default value to text (REG_SZ, the terminator counted).
static void SetDefaultValue(HKEY root, const CString& key, const CString& text) {
  HKEY h = 0;
  if (RegOpenKeyW(root, CWideText(key), &h) != ERROR_SUCCESS) return;
  CWideText value(text);
  RegSetValueExW(h, 0, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.Get()),
                 static_cast<DWORD>((lstrlenW(value) + 1) * sizeof(WCHAR)));
  RegCloseKey(h);
}

void RegisterFileType(const char* ext, const char* program, bool userScope) {
  HKEY root = ClassesRootKey(userScope);
  CString dotKey = ClassesKeyPath(CString(".") + ext, userScope);
  CString fileKey = ClassesKeyPath(CString(ext) + "file", userScope);
  CString keys[6] = {dotKey,
                     fileKey,
                     fileKey + "\\DefaultIcon",
                     fileKey + "\\shell",
                     fileKey + "\\shell\\open",
                     fileKey + "\\shell\\open\\command"};
  for (int i = 0; i < 6; i++) {
    HKEY h = 0;
    DWORD disposition = 0;
    WCHAR cls[1] = {0};
    if (RegCreateKeyExW(root, CWideText(keys[i]), 0, cls, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, 0, &h,
                        &disposition) == ERROR_SUCCESS)
      RegCloseKey(h);
  }
  SetDefaultValue(root, dotKey, CString(ext) + "file");
  SetDefaultValue(root, keys[2], CString(program) + ",0");
  SetDefaultValue(root, keys[5], CString(program) + " %1");
}

void RemoveFileType(const char* ext, bool userScope) {
  if (!ext || !ext[0] || FindCharMb(ext, '\\') >= 0) return;
  for (int i = 0; i < ASSOC_KEY_COUNT; i++)
    RegDeleteKeyW(ClassesRootKey(userScope), CWideText(ClassesKeyPath(AssociationKey(ext, i), userScope)));
}
