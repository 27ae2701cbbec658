#include "installfolders.h"

#include <string.h>

#include "framework/mbcs.h"

// Appends text and checks that it all arrived: the string class drops an
// append it has no memory for.
static bool AppendChecked(CString& s, const char* text) {
  int want = s.GetLength() + static_cast<int>(strlen(text));
  s += text;
  return s.GetLength() == want;
}

static bool AppendBackslashChecked(CString& s) {
  return EndsWithBackslashMb(s) ? true : AppendChecked(s, "\\");
}

const CString& CInstallFolders::Base(int kind) const {
  return kind == FOLDER_WINDOWS ? WindowsDir : kind == FOLDER_SYSTEM ? SystemDir : InstallDir;
}

bool CInstallFolders::Resolve(int kind, const char* subDir, const char* name, CString& path) const {
  path.Empty();
  bool ok = AppendChecked(path, Base(kind)) && AppendBackslashChecked(path) && AppendChecked(path, subDir) &&
            AppendBackslashChecked(path) && AppendChecked(path, name);
  if (!ok) path.Empty();
  return ok;
}

CString CInstallFolders::ResolveRef(const char* ref) const {
  int slash = FindCharMb(ref, '\\');
  CString token = slash < 0 ? CString() : CString(ref, slash);
  const char* rest = slash < 0 ? ref : ref + slash + 1;
  CString path(token == KW_WINDOWS_FOLDER ? WindowsDir : token == KW_SYSTEM_FOLDER ? SystemDir : InstallDir);
  AppendBackslashIfMissing(path);
  path += rest;
  return path;
}

CString CInstallFolders::ResolveIconRef(const char* icon) const {
  int comma = ReverseFindCharMb(icon, ',');
  const char* index = comma >= 0 ? icon + comma + 1 : "";
  const char* digits = index[0] == '-' ? index + 1 : index;
  bool number = digits[0] != 0 && strspn(digits, "0123456789") == strlen(digits) && strlen(digits) <= 10;
  CString path = number ? ResolveRef(CString(icon, comma)) : ResolveRef(icon);
  path += ",";
  path += number ? index : "0";
  return path;
}
