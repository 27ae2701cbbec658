#include "shellhelpers.h"

#include <objbase.h>
#include <shellapi.h>
#include <string.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "framework/dllsearch.h"
#include "framework/file.h"
#include "framework/fsys.h"
#include "framework/mbcs.h"
#include "framework/widetext.h"
#include "regref.h"
#include "setuplog.h"

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

bool ProcessElevated() {
  HANDLE token = 0;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return true;
  TOKEN_ELEVATION elevation = {0};
  DWORD size = 0;
  BOOL known = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
  CloseHandle(token);
  return !known || elevation.TokenIsElevated != 0;
}

DWORD StartProgram(const char* program, const char* parameters, const char* folder, bool elevated, HANDLE& process) {
  process = 0;
  CWideText file(program), wideParameters(parameters), wideFolder(folder);
  SHELLEXECUTEINFOW sei;
  memset(&sei, 0, sizeof sei);
  sei.cbSize = sizeof sei;
  sei.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  sei.lpVerb = elevated ? L"runas" : 0;
  sei.lpFile = file;
  sei.lpParameters = wideParameters;
  sei.lpDirectory = folder ? wideFolder.Get() : 0;
  sei.nShow = SW_SHOW;
  if (!ShellExecuteExW(&sei)) {
    DWORD error = GetLastError();
    return error ? error : ERROR_GEN_FAILURE;
  }
  if (!sei.hProcess) return ERROR_GEN_FAILURE;
  process = sei.hProcess;
  return ERROR_SUCCESS;
}

BOOL WaitForExitCode(HANDLE process, DWORD& exitCode) {
  BOOL read = WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0 && GetExitCodeProcess(process, &exitCode);
  CloseHandle(process);
  return read;
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

// Sets an open key's default value to text (REG_SZ, the terminator counted).
static void SetDefault(HKEY h, const char* text) {
  CWideText value(text);
  RegSetValueExW(h, 0, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.Get()),
                 static_cast<DWORD>((lstrlenW(value) + 1) * sizeof(WCHAR)));
}

// Sets a key's default value to text.
static void SetDefaultValue(HKEY root, const CString& key, const CString& text) {
  HKEY h = 0;
  if (RegOpenKeyW(root, CWideText(key), &h) != ERROR_SUCCESS) return;
  SetDefault(h, text);
  RegCloseKey(h);
}

// Creates a key (with the keys above it) below the scope's classes
// (ClassesRootKey, ClassesKeyPath); null when it cannot be made.
static HKEY CreateClassesKey(const char* key, bool userScope) {
  HKEY h = 0;
  DWORD disposition = 0;
  WCHAR cls[1] = {0};
  if (RegCreateKeyExW(ClassesRootKey(userScope), CWideText(ClassesKeyPath(key, userScope)), 0, cls,
                      REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, 0, &h, &disposition) != ERROR_SUCCESS)
    return 0;
  return h;
}

// An open key's default value as a string: 1 when there is one it gave
// (REG_SZ, with a code page 936 form and on one line), 0 when it has none,
// -1 when it has one that is not such a text.
static int DefaultText(HKEY h, CString& text) {
  DWORD type = 0, size = 0;
  text.Empty();
  LONG r = RegQueryValueExW(h, 0, 0, &type, 0, &size);
  if (r == ERROR_FILE_NOT_FOUND) return 0;
  if (r != ERROR_SUCCESS || type != REG_SZ || size > 4096) return -1;
  WCHAR buf[2050];
  size = sizeof buf - sizeof(WCHAR);
  if (RegQueryValueExW(h, 0, 0, &type, reinterpret_cast<BYTE*>(buf), &size) != ERROR_SUCCESS || type != REG_SZ)
    return -1;
  buf[size / sizeof(WCHAR)] = 0;
  BOOL lost = FALSE;
  text = NarrowText(buf, -1, &lost);
  if (lost || FindCharMb(text, '\r') >= 0 || FindCharMb(text, '\n') >= 0) return -1;
  return 1;
}

void RegisterFileType(const char* ext, const char* program, bool userScope) {
  CString dotKey = CString(".") + ext;
  CString fileKey = CString(ext) + "file";
  CString keys[6] = {dotKey,
                     fileKey,
                     fileKey + "\\DefaultIcon",
                     fileKey + "\\shell",
                     fileKey + "\\shell\\open",
                     fileKey + "\\shell\\open\\command"};
  for (int i = 0; i < 6; i++) {
    if (HKEY h = CreateClassesKey(keys[i], userScope)) RegCloseKey(h);
  }
  HKEY root = ClassesRootKey(userScope);
  SetDefaultValue(root, ClassesKeyPath(dotKey, userScope), fileKey);
  SetDefaultValue(root, ClassesKeyPath(keys[2], userScope), CString(program) + ",0");
  SetDefaultValue(root, ClassesKeyPath(keys[5], userScope), CString(program) + " %1");
}

void RemoveFileType(const char* ext, bool userScope) {
  if (!ext || !ext[0] || FindCharMb(ext, '\\') >= 0) return;
  for (int i = 0; i < ASSOC_KEY_COUNT; i++)
    RegDeleteKeyW(ClassesRootKey(userScope), CWideText(ClassesKeyPath(AssociationKey(ext, i), userScope)));
}

void RegisterListType(const char* ext, const char* typeClass, const char* command, const char* description,
                      const char* icon, TypeRecord& record, bool userScope) {
  CString dotKey = CString(".") + ext;
  // What ".ext" holds now decides how it is taken back; a key that names
  // this class already is this product's from an earlier installation.
  record.State = kTypeMade;
  record.Previous.Empty();
  HKEY h = 0;
  if (RegOpenKeyExW(ClassesRootKey(userScope), CWideText(ClassesKeyPath(dotKey, userScope)), 0, KEY_QUERY_VALUE,
                    &h) == ERROR_SUCCESS) {
    CString previous;
    int found = DefaultText(h, previous);
    RegCloseKey(h);
    if (found == 0) record.State = kTypeNone;
    else if (found < 0) record.State = kTypeKept;
    else if (CompareNoCaseMb(previous, typeClass) != 0) {
      record.State = kTypeWas;
      record.Previous = previous;
    }
  }
  for (int i = LIST_CLASS_KEY_COUNT - 1; i >= 0; i--) {
    HKEY key = CreateClassesKey(ListTypeClassKey(typeClass, i), userScope);
    if (!key) continue;
    if (i == 4 && description && description[0]) SetDefault(key, description);
    if (i == 3) SetDefault(key, icon);
    if (i == 0) SetDefault(key, command);
    RegCloseKey(key);
  }
  if (HKEY key = CreateClassesKey(dotKey, userScope)) {
    SetDefault(key, typeClass);
    RegCloseKey(key);
  }
}

void UnregisterListType(const char* typeClass, const TypeRecord& record, bool userScope) {
  HKEY root = ClassesRootKey(userScope);
  for (int i = 0; i < LIST_CLASS_KEY_COUNT; i++)
    RegDeleteKeyW(root, CWideText(ClassesKeyPath(ListTypeClassKey(typeClass, i), userScope)));
  CWideText dotKey(ClassesKeyPath(CString(".") + record.Extension, userScope));
  HKEY h = 0;
  if (RegOpenKeyExW(root, dotKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &h) != ERROR_SUCCESS) return;
  // Another program that took the type over since keeps it.
  CString now;
  bool ours = DefaultText(h, now) > 0 && CompareNoCaseMb(now, typeClass) == 0;
  if (ours && record.State == kTypeWas) SetDefault(h, record.Previous);
  if (ours && (record.State == kTypeMade || record.State == kTypeNone)) RegDeleteValueW(h, 0);
  DWORD subKeys = 1, values = 1;
  bool empty = RegQueryInfoKeyW(h, 0, 0, 0, &subKeys, 0, 0, &values, 0, 0, 0, 0) == ERROR_SUCCESS &&
               subKeys == 0 && values == 0;
  RegCloseKey(h);
  if (ours && record.State == kTypeMade && empty) RegDeleteKeyW(root, dotKey);
}
