#include "productentry.h"

#include <string.h>

#include "container.h"
#include "framework/mbcs.h"

namespace {

CString WithoutTrailingBackslashes(const char* path) {
  CString s(path ? path : "");
  while (s.GetLength() > 0 && EndsWithBackslashMb(s)) s = s.Left(s.GetLength() - 1);
  return s;
}

CString QuotedUninstaller(const char* installDir) {
  CString s("\"");
  s += WithoutTrailingBackslashes(installDir);
  s += "\\" UNINSTALLER_NAME "\"";
  return s;
}

}  // namespace

namespace {

CString KeyNameFrom(const char* source) {
  CString name;
  for (int i = 0; source[i]; i++) {
    int w = CharWidthMb(source + i);
    if (w == 1 && source[i] == '\\') name += '_';
    else name.Append(source + i, w);
    i += w - 1;
  }
  if (name.IsEmpty()) name = "Setup";
  return name;
}

}  // namespace

CString ProductEntryKeyName(const PackageSettings& s) {
  return KeyNameFrom(!s.ProductId.IsEmpty() ? s.ProductId.c_str() : s.ProductName);
}

CString ProductNameEntryKeyName(const PackageSettings& s) { return KeyNameFrom(s.ProductName); }

CString EntryInstallLocation(const char* installDir) { return WithoutTrailingBackslashes(installDir); }

CString EntryUninstallString(const char* installDir) { return QuotedUninstaller(installDir); }

CString EntryQuietUninstallString(const char* installDir) { return QuotedUninstaller(installDir) + " /S"; }

bool EntryBelongsTo(const char* installLocation, const char* uninstallString, const char* folder) {
  CString location = WithoutTrailingBackslashes(installLocation);
  CString own = WithoutTrailingBackslashes(folder);
  if (own.IsEmpty() || CompareNoCaseMb(location, own) != 0) return false;
  CString expected = QuotedUninstaller(own);
  CString command(uninstallString ? uninstallString : "");
  if (command.GetLength() < expected.GetLength()) return false;
  return CompareNoCaseMb(command.Left(expected.GetLength()), expected) == 0;
}

DWORD SizeInKiB(long long bytes) {
  if (bytes <= 0) return 0;
  long long kib = (bytes + 1023) / 1024;
  return kib > 0xFFFFFFFFLL ? 0xFFFFFFFFu : static_cast<DWORD>(kib);
}

namespace {

// One dot-separated part of a version from s: its bytes up to the next dot.
const char* NextPart(const char* s, CString& part) {
  const char* dot = strchr(s, '.');
  int n = dot ? static_cast<int>(dot - s) : static_cast<int>(strlen(s));
  part = CString(s, n);
  return dot ? dot + 1 : s + n;
}

bool AllDigits(const CString& s) {
  if (s.IsEmpty()) return false;
  for (int i = 0; i < s.GetLength(); i++)
    if (s[i] < '0' || s[i] > '9') return false;
  return true;
}

int CompareParts(const CString& a, const CString& b) {
  if (AllDigits(a) && AllDigits(b)) {
    int i = 0, j = 0;
    while (i < a.GetLength() - 1 && a[i] == '0') i++;
    while (j < b.GetLength() - 1 && b[j] == '0') j++;
    int la = a.GetLength() - i, lb = b.GetLength() - j;
    if (la != lb) return la < lb ? -1 : 1;
    int c = strcmp(a.c_str() + i, b.c_str() + j);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
  }
  int c = CompareNoCaseMb(a, b);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

}  // namespace

int CompareVersions(const char* a, const char* b) {
  const char* p = a ? a : "";
  const char* q = b ? b : "";
  while (*p || *q) {
    CString x, y;
    p = NextPart(p, x);
    q = NextPart(q, y);
    if (x.IsEmpty()) x = "0";
    if (y.IsEmpty()) y = "0";
    int c = CompareParts(x, y);
    if (c != 0) return c;
  }
  return 0;
}

bool IsDowngrade(const char* installing, const char* installed) {
  if (!installing || !installing[0] || !installed || !installed[0]) return false;
  return CompareVersions(installing, installed) < 0;
}

#ifdef _WIN32

#include "framework/widetext.h"

namespace {

bool SetText(HKEY key, const char* name, const char* value) {
  CWideText wide(value);
  return RegSetValueExW(key, CWideText(name), 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.Get()),
                        static_cast<DWORD>((lstrlenW(wide) + 1) * sizeof(WCHAR))) == ERROR_SUCCESS;
}

bool SetNumber(HKEY key, const char* name, DWORD value) {
  return RegSetValueExW(key, CWideText(name), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) ==
         ERROR_SUCCESS;
}

// A text when given; a value left from an earlier version is removed.
bool SetOptionalText(HKEY key, const char* name, const CString& value) {
  if (!value.IsEmpty()) return SetText(key, name, value);
  RegDeleteValueW(key, CWideText(name));
  return true;
}

// A text value of the entry, empty when it has none (or one too long).
CString ReadText(HKEY key, const char* name) {
  WCHAR buffer[MAX_PATH * 2];
  DWORD type = 0, size = sizeof buffer - sizeof(WCHAR);
  if (RegQueryValueExW(key, CWideText(name), 0, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return CString();
  DWORD chars = size / sizeof(WCHAR);
  buffer[chars < MAX_PATH * 2 ? chars : MAX_PATH * 2 - 1] = 0;
  return NarrowText(buffer);
}

}  // namespace

bool WriteProductEntry(const PackageSettings& s, const char* installDir, const char* displayIcon,
                       long long installedBytes, CString& keyName) {
  keyName = ProductEntryKeyName(s);
  CString path(PRODUCT_ENTRY_ROOT "\\");
  path += keyName;
  HKEY key = 0;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, CWideText(path), 0, 0, 0, KEY_SET_VALUE, 0, &key, 0) != ERROR_SUCCESS) return false;
  SYSTEMTIME now;
  GetLocalTime(&now);
  CString date;
  date.Format("%04u%02u%02u", now.wYear, now.wMonth, now.wDay);
  bool ok = SetText(key, "DisplayName", s.ProductName);
  ok = SetOptionalText(key, "DisplayVersion", s.ProductVersion) && ok;
  ok = SetOptionalText(key, "Publisher", s.ProductPublisher) && ok;
  ok = SetText(key, "DisplayIcon", displayIcon) && ok;
  ok = SetText(key, "InstallLocation", EntryInstallLocation(installDir)) && ok;
  ok = SetText(key, "UninstallString", EntryUninstallString(installDir)) && ok;
  ok = SetText(key, "QuietUninstallString", EntryQuietUninstallString(installDir)) && ok;
  ok = SetNumber(key, "EstimatedSize", SizeInKiB(installedBytes)) && ok;
  ok = SetNumber(key, "NoModify", 1) && ok;
  ok = SetNumber(key, "NoRepair", 1) && ok;
  ok = SetOptionalText(key, "URLInfoAbout", s.ProductUrl) && ok;
  ok = SetText(key, "InstallDate", date) && ok;
  RegCloseKey(key);
  return ok;
}

bool ReadProductEntry(const char* keyName, ProductEntryValues& values) {
  values = ProductEntryValues();
  CString path(PRODUCT_ENTRY_ROOT "\\");
  path += keyName;
  HKEY key = 0;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, CWideText(path), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  values.InstallLocation = ReadText(key, "InstallLocation");
  values.UninstallString = ReadText(key, "UninstallString");
  values.DisplayVersion = ReadText(key, "DisplayVersion");
  RegCloseKey(key);
  return true;
}

int RemoveProductEntries(const char* folder, const char* except) {
  HKEY root = 0;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"" PRODUCT_ENTRY_ROOT, 0, KEY_READ | KEY_WRITE, &root) != ERROR_SUCCESS)
    return 0;
  int removed = 0;
  // Names are gathered first: deleting while enumerating shifts the indexes.
  CString names[64];
  int count = 0;
  WCHAR name[256];
  for (DWORD i = 0; count < 64; i++) {
    DWORD n = sizeof name / sizeof name[0];
    LONG r = RegEnumKeyExW(root, i, name, &n, 0, 0, 0, 0);
    if (r == ERROR_NO_MORE_ITEMS) break;
    if (r != ERROR_SUCCESS) continue;
    // A key without a code page 936 form is not one this setup wrote.
    if (!HasNarrowForm(name)) continue;
    if (except && CompareNoCaseMb(NarrowText(name), except) == 0) continue;
    HKEY entry = 0;
    if (RegOpenKeyExW(root, name, 0, KEY_READ, &entry) != ERROR_SUCCESS) continue;
    if (EntryBelongsTo(ReadText(entry, "InstallLocation"), ReadText(entry, "UninstallString"), folder))
      names[count++] = NarrowText(name);
    RegCloseKey(entry);
  }
  for (int i = 0; i < count; i++)
    if (RegDeleteKeyW(root, CWideText(names[i])) == ERROR_SUCCESS) removed++;
  RegCloseKey(root);
  return removed;
}

#endif
