#include "names.h"

#include <locale.h>
#include <stdio.h>
#include <string.h>
#include <wctype.h>

#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "codepage.h"
#include "diagnostics.h"

namespace {

// Decodes one UTF-8 character at s[i]; false for a malformed one.
bool Decode(const std::string& s, size_t& i, unsigned long& cp) {
  unsigned char c = static_cast<unsigned char>(s[i]);
  size_t w;
  unsigned long min;
  if (c < 0x80) {
    cp = c;
    i++;
    return true;
  } else if (c >= 0xC2 && c <= 0xDF) {
    w = 2, min = 0x80, cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    w = 3, min = 0x800, cp = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    w = 4, min = 0x10000, cp = c & 0x07;
  } else {
    return false;
  }
  if (i + w > s.size()) return false;
  for (size_t k = 1; k < w; k++) {
    unsigned char d = static_cast<unsigned char>(s[i + k]);
    if ((d & 0xC0) != 0x80) return false;
    cp = (cp << 6) | (d & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
  i += w;
  return true;
}

void Encode(unsigned long cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

#ifdef _WIN32
// Windows' own upper case, as its file systems compare names.
unsigned long Upper(unsigned long cp) {
  if (cp < 0x80) return cp >= 'a' && cp <= 'z' ? cp - 'a' + 'A' : cp;
  if (cp > 0xFFFF) return cp;
  wchar_t c = static_cast<wchar_t>(cp);
  CharUpperBuffW(&c, 1);
  return c;
}
#else
locale_t Utf8Locale() {
  static locale_t loc = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    if (!l) l = newlocale(LC_CTYPE_MASK, "C.utf8", static_cast<locale_t>(0));
    return l;
  }();
  return loc;
}

unsigned long Upper(unsigned long cp) {
  if (cp < 0x80) return cp >= 'a' && cp <= 'z' ? cp - 'a' + 'A' : cp;
  locale_t loc = Utf8Locale();
  return loc ? static_cast<unsigned long>(towupper_l(static_cast<wint_t>(cp), loc)) : cp;
}
#endif

bool IsAscii(const std::string& s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

std::string Upper(const std::string& s) {
  // Most names are ASCII: no decoding then (thousands of files are checked).
  if (IsAscii(s)) {
    std::string out = s;
    for (char& c : out)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
  }
  std::string out;
  for (size_t i = 0; i < s.size();) {
    unsigned long cp;
    size_t at = i;
    if (Decode(s, i, cp)) {
      Encode(Upper(cp), out);
    } else {
      out += s[at];
      i = at + 1;
    }
  }
  return out;
}

const char* const kDevices[] = {"CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3",   "COM4",    "COM5",
                                "COM6", "COM7", "COM8", "COM9", "LPT1", "LPT2", "LPT3",   "LPT4",    "LPT5",
                                "LPT6", "LPT7", "LPT8", "LPT9", "COM0", "LPT0", "CONIN$", "CONOUT$", "CLOCK$"};

}  // namespace

std::string WindowsNameProblem(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return "needs a name (not empty, \".\" or \"..\")";
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7F) {
      char hex[8];
      snprintf(hex, sizeof hex, "0x%02X", c);
      return std::string("holds the control character ") + hex + "; Windows names cannot";
    }
  }
  std::string bad;
  for (char c : name)
    if (strchr("\\/:*?\"<>|", c) && bad.find(c) == std::string::npos) bad += c;
  if (!bad.empty()) return "a Windows name cannot hold " + QuoteValue(bad);
  if (name.back() == '.' || name.back() == ' ')
    return "ends in a dot or a space, which Windows drops from names";
  // The device names are reserved whatever follows a dot, and before trailing spaces.
  std::string base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  // Every device name has 3, 4, 6 or 7 letters (an ASCII name of another
  // length is none; other letters may turn into ASCII ones in upper case).
  if (IsAscii(base) && (base.size() < 3 || base.size() > 7 || base.size() == 5 || !strchr("CPANLcpanl", base[0])))
    return "";
  base = Upper(base);
  for (const char* d : kDevices)
    if (strcmp(base.c_str(), d) == 0) return "\"" + std::string(d) + "\" is a device name on Windows, in any letter case and with any extension";
  return "";
}

std::string FoldForWindows(const std::string& utf8) {
  // Part by part; ASCII parts are upper-cased in place (every file's
  // destination passes here).
  bool ascii = IsAscii(utf8);
  std::string out;
  out.reserve(utf8.size());
  size_t start = 0;
  while (start <= utf8.size()) {
    size_t end = utf8.find('\\', start);
    if (end == std::string::npos) end = utf8.size();
    size_t keep = end;
    while (keep > start && (utf8[keep - 1] == '.' || utf8[keep - 1] == ' ')) keep--;
    if (!out.empty() || keep > start) {
      if (!out.empty()) out += '\\';
      if (ascii) {
        size_t at = out.size();
        out.append(utf8, start, keep - start);
        for (size_t i = at; i < out.size(); i++)
          if (out[i] >= 'a' && out[i] <= 'z') out[i] = static_cast<char>(out[i] - 'a' + 'A');
      } else {
        out += Upper(utf8.substr(start, keep - start));
      }
    }
    start = end + 1;
  }
  return out;
}

bool IsUtf8(const std::string& s, size_t* badAt) {
  for (size_t i = 0; i < s.size();) {
    unsigned long cp;
    size_t at = i;
    if (!Decode(s, i, cp)) {
      if (badAt) *badAt = at;
      return false;
    }
  }
  return true;
}

std::string DescribeNotUtf8(const std::string& b) {
  size_t zeros = 0;
  for (char c : b) zeros += c == 0;
  bool bom16 = b.size() >= 2 && ((b[0] == '\xFF' && b[1] == '\xFE') || (b[0] == '\xFE' && b[1] == '\xFF'));
  if (bom16 || (b.size() >= 2 && zeros * 4 >= b.size()))
    return "not UTF-8 (looks like UTF-16; save it as UTF-8)";
  std::string out;
  bool lossless = false;
  Cp936ToUtf8(b, &lossless);
  if (lossless) return "not UTF-8 (looks like GBK, code page 936; save it as UTF-8)";
  size_t at = 0;
  IsUtf8(b, &at);
  char hex[64];
  snprintf(hex, sizeof hex, "not UTF-8 (the byte 0x%02X at offset %zu)", static_cast<unsigned char>(b[at]), at);
  return hex;
}
