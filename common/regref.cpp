#include "regref.h"

#include <string.h>

#include "framework/mbcs.h"

static const struct {
  const char* name;
  DWORD value;
} kRoots[] = {
    {"HKEY_CLASSES_ROOT", ROOT_CLASSES_ROOT},     {"HKEY_CURRENT_USER", ROOT_CURRENT_USER},
    {"HKEY_LOCAL_MACHINE", ROOT_LOCAL_MACHINE},   {"HKEY_USERS", ROOT_USERS},
    {"HKEY_CURRENT_CONFIG", ROOT_CURRENT_CONFIG},
};

DWORD RootValueFromName(const char* name) {
  if (!name) return 0;
  for (size_t i = 0; i < sizeof kRoots / sizeof kRoots[0]; i++)
    if (strcmp(name, kRoots[i].name) == 0) return kRoots[i].value;
  return 0;
}

CString TrimKeyPath(const char* path) {
  CString s(path ? path : "");
  if (s[0] == '\\') s = s.Mid(1);
  // Only a backslash of its own: in code page 936 it can be a trail byte.
  if (EndsWithBackslashMb(s)) s = s.Left(s.GetLength() - 1);
  return s;
}

static void Clear(RegReference& ref) {
  ref.Root.Empty();
  ref.SubKey.Empty();
  ref.ValueName.Empty();
  ref.RootValue = 0;
}

// Clears ref, takes the root name (before the first "|") and finds the first
// and last "|" of the text (-1 when there is none).
static bool SplitReference(const char* text, RegReference& ref, CString& t, int& first, int& last) {
  Clear(ref);
  if (!text) return false;
  t = text;
  first = FindCharMb(t, '|');
  last = ReverseFindCharMb(t, '|');
  if (first >= 0) ref.Root = t.Left(first);
  return true;
}

bool ParseKeyReference(const char* text, RegReference& ref) {
  CString t;
  int first, last;
  if (!SplitReference(text, ref, t, first, last)) return false;
  ref.SubKey = TrimKeyPath(t.Mid(last + 1));
  ref.RootValue = RootValueFromName(ref.Root);
  return ref.RootValue != 0 && !ref.SubKey.IsEmpty();
}

bool ParseValueReference(const char* text, RegReference& ref) {
  CString t;
  int first, last;
  if (!SplitReference(text, ref, t, first, last)) return false;
  ref.ValueName = t.Mid(last + 1);
  if (first >= 0 && last > first) ref.SubKey = TrimKeyPath(t.Mid(first + 1, last - first - 1));
  ref.RootValue = RootValueFromName(ref.Root);
  return ref.RootValue != 0 && !ref.ValueName.IsEmpty();
}

bool JoinKeyPath(char* out, size_t size, const char* parent, const char* name) {
  if (!out || size == 0) return false;
  out[0] = 0;
  size_t p = strlen(parent), n = strlen(name);
  size_t sep = EndsWithBackslashMb(parent) ? 0 : 1;
  if (p + sep + n + 1 > size) return false;
  memcpy(out, parent, p);
  if (sep) out[p] = '\\';
  memcpy(out + p + sep, name, n + 1);
  return true;
}

CString AssociationKey(const char* ext, int index) {
  static const char* const kSuffix[ASSOC_KEY_COUNT] = {
      0, "file\\DefaultIcon", "file\\shell\\open\\command", "file\\shell\\open", "file\\shell", "file"};
  CString key;
  if (index < 0 || index >= ASSOC_KEY_COUNT) return key;
  if (index == 0) key = ".";
  key += ext ? ext : "";
  if (kSuffix[index]) key += kSuffix[index];
  return key;
}

CString ListTypeClass(const char* productName, const char* ext) {
  CString name;
  const char* p = productName ? productName : "";
  int cut = CharBoundary(p, LIST_CLASS_PRODUCT_MAX);
  for (int i = 0; i < cut;) {
    int w = CharWidthMb(p + i);
    if (w == 1 && p[i] == '\\') name += '_';
    else name.Append(p + i, w);
    i += w;
  }
  if (name.IsEmpty()) name = "Setup";
  name += ".";
  name += ext ? ext : "";
  return name;
}

CString ListTypeClassKey(const char* typeClass, int index) {
  static const char* const kSuffix[LIST_CLASS_KEY_COUNT] = {"\\shell\\open\\command", "\\shell\\open", "\\shell",
                                                            "\\DefaultIcon", ""};
  if (index < 0 || index >= LIST_CLASS_KEY_COUNT) return CString();
  CString key(typeClass);
  key += kSuffix[index];
  return key;
}

CString ListTypeCommand(const char* program) {
  CString command("\"");
  command += program;
  command += "\" \"%1\"";
  return command;
}
