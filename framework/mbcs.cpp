#include "mbcs.h"

#include <string.h>

int CharWidthMb(const char* s) { return IsLeadByteMb(static_cast<unsigned char>(s[0])) && s[1] ? 2 : 1; }

bool IsWholeTextMb(const char* s) {
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(s); *p; p++) {
    if (*p == 0xFF) return false;
    if (IsLeadByteMb(*p) && !IsTrailByteMb(*++p)) return false;
  }
  return true;
}

int CharBoundary(const char* s, int max) {
  int i = 0;
  while (s[i] && i < max) {
    // A lead byte of a double-byte character needs its trail byte in the limit.
    int w = CharWidthMb(s + i);
    if (i + w > max) break;
    i += w;
  }
  return i;
}

void CopyText(char* dst, int size, const char* src) {
  if (size <= 0) return;
  int n = CharBoundary(src, size - 1);
  memcpy(dst, src, static_cast<size_t>(n));
  dst[n] = 0;
}

int FindCharMb(const char* s, char c) {
  for (int i = 0; s[i]; i += CharWidthMb(s + i))
    if (s[i] == c) return i;
  return -1;
}

int ReverseFindCharMb(const char* s, char c) {
  int found = -1;
  for (int i = 0; s[i]; i += CharWidthMb(s + i))
    if (s[i] == c) found = i;
  return found;
}

int FindTextMb(const char* s, const char* needle) {
  size_t m = strlen(needle);
  size_t n = strlen(s);
  for (size_t i = 0; i < n; i += static_cast<size_t>(CharWidthMb(s + i)))
    if (n - i >= m && memcmp(s + i, needle, m) == 0) return static_cast<int>(i);
  return m == 0 ? 0 : -1;
}

bool EndsWithBackslashMb(const char* s) {
  int i = ReverseFindCharMb(s, '\\');
  return i >= 0 && s[i + 1] == 0;
}

void AppendBackslashIfMissing(CString& path) {
  if (!EndsWithBackslashMb(path)) path += '\\';
}

CString WithBackslash(const char* folder) {
  CString s(folder);
  AppendBackslashIfMissing(s);  // never after a double-byte character's 0x5C
  return s;
}

CString FolderOf(const char* path) {
  int slash = ReverseFindCharMb(path, '\\');
  return slash < 0 ? CString() : CString(path, slash);
}

const char* ParametersOf(const char* commandLine) {
  const char* s = commandLine ? commandLine : "";
  if (*s == '"') {
    s++;
    while (*s && *s != '"') s++;
    if (*s) s++;
  } else {
    while (*s && !IsBlank(*s)) s++;
  }
  while (IsBlank(*s)) s++;
  return s;
}

CString NextWord(const char*& s) {
  while (IsBlank(*s)) s++;
  CString word;
  bool quoted = false;
  for (; *s && (quoted || !IsBlank(*s)); s++) {
    if (*s == '"') quoted = !quoted;
    else word += *s;
  }
  return word;
}

void LowerAsciiMb(char* s, size_t n) {
  for (size_t i = 0; i < n; i++) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (IsLeadByteMb(c) && i + 1 < n) i++;
    else if (c >= 'A' && c <= 'Z') s[i] = static_cast<char>(c + ('a' - 'A'));
  }
}

CString LowerTextMb(const char* s) {
  CString result;
  char chunk[256];  // the string class has no writable buffer: fill in pieces
  while (*s) {
    // Pieces end between characters, so no pair is split across two of them.
    int n = CharBoundary(s, static_cast<int>(sizeof chunk));
    memcpy(chunk, s, static_cast<size_t>(n));
    LowerAsciiMb(chunk, static_cast<size_t>(n));
    result.Append(chunk, n);
    s += n;
  }
  return result;
}

int CompareNoCaseMb(const char* a, const char* b) {
  return strcmp(LowerTextMb(a ? a : ""), LowerTextMb(b ? b : ""));
}
