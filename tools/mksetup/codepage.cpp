#include "codepage.h"

#include <errno.h>
#include <stdio.h>

#include <algorithm>
#include <stdexcept>

#include "hostfs.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace {

// ASCII is the same bytes in both encodings.
bool IsAscii(const std::string& s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

size_t Utf8Width(unsigned char c) { return c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1; }

}  // namespace

#ifdef _WIN32

// Windows' own tables: code page 936 as the setup program reads it there.
namespace {

const UINT kCp936 = 936;

// UTF-16 of UTF-8 text; false when it is not valid UTF-8.
bool Utf16Of(const char* p, size_t n, std::wstring& w) {
  int len = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, p, static_cast<int>(n), nullptr, 0);
  if (len <= 0) return false;
  w.assign(static_cast<size_t>(len), L'\0');
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, p, static_cast<int>(n), &w[0], len) == len;
}

// Code page 936 bytes of UTF-16 text; false when a character has none of its
// own (no look-alike "best fit").
bool Cp936Of(const std::wstring& w, std::string& out) {
  BOOL usedDefault = FALSE;
  int n = static_cast<int>(w.size());
  int len = WideCharToMultiByte(kCp936, WC_NO_BEST_FIT_CHARS, w.data(), n, nullptr, 0, nullptr, &usedDefault);
  if (len <= 0 || usedDefault) return false;
  out.assign(static_cast<size_t>(len), '\0');
  return WideCharToMultiByte(kCp936, WC_NO_BEST_FIT_CHARS, w.data(), n, &out[0], len, nullptr, &usedDefault) == len &&
         !usedDefault;
}

// One code page 936 character at p (two bytes, else one) as UTF-16; 0 when
// the bytes there are none.
size_t DecodeOne(const char* p, size_t left, wchar_t& wc) {
  if (left >= 2 && MultiByteToWideChar(kCp936, MB_ERR_INVALID_CHARS, p, 2, &wc, 1) == 1) return 2;
  if (MultiByteToWideChar(kCp936, MB_ERR_INVALID_CHARS, p, 1, &wc, 1) == 1) return 1;
  return 0;
}

}  // namespace

bool Utf8ToCp936(const std::string& utf8, std::string& out, std::string* bad) {
  if (IsAscii(utf8)) {
    out = utf8;
    return true;
  }
  std::wstring w;
  if (Utf16Of(utf8.data(), utf8.size(), w) && Cp936Of(w, out)) return true;
  // Character by character: what converts before the first that does not.
  out.clear();
  for (size_t at = 0; at < utf8.size();) {
    size_t width = Utf8Width(static_cast<unsigned char>(utf8[at]));
    std::string one;
    if (!Utf16Of(utf8.data() + at, std::min(width, utf8.size() - at), w) || !Cp936Of(w, one)) {
      if (bad) *bad = utf8.substr(at, width);
      return false;
    }
    out += one;
    at += width;
  }
  return false;
}

std::string Cp936ToUtf8(const std::string& bytes, bool* lossless) {
  if (lossless) *lossless = true;
  if (IsAscii(bytes)) return bytes;
  int len = MultiByteToWideChar(kCp936, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (len > 0) {
    std::wstring w(static_cast<size_t>(len), L'\0');
    MultiByteToWideChar(kCp936, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), &w[0], len);
    return Utf8Text(w.data(), len);
  }
  // Character by character, a byte that is none as \xNN.
  std::string out;
  for (size_t i = 0; i < bytes.size();) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    wchar_t wc = 0;
    size_t width = c < 0x80 ? 0 : DecodeOne(bytes.data() + i, bytes.size() - i, wc);
    if (c < 0x80) {
      out += static_cast<char>(c);
      i++;
    } else if (width) {
      out += Utf8Text(&wc, 1);
      i += width;
    } else {
      char esc[8];
      snprintf(esc, sizeof esc, "\\x%02X", c);
      out += esc;
      i++;
      if (lossless) *lossless = false;
    }
  }
  return out;
}

#else

namespace {

// glibc calls the code page "CP936"; "GBK" is the same table under the name
// other iconv builds know.
iconv_t OpenConverter(const char* to, const char* from) {
  static const char* const kNames[] = {"CP936", "GBK"};
  for (const char* name : kNames) {
    iconv_t cd = iconv_open(to ? to : name, from ? from : name);
    if (cd != reinterpret_cast<iconv_t>(-1)) return cd;
  }
  throw std::runtime_error("iconv knows neither CP936 nor GBK");
}

class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(OpenConverter(to, from)) {}
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  void Reset() { iconv(cd_, nullptr, nullptr, nullptr, nullptr); }

  // Converts from *in; stops at the first byte that does not convert and
  // returns false with *in pointing at it.
  bool Run(const char** in, size_t* inLeft, std::string& out) {
    char buf[4096];
    while (*inLeft > 0) {
      char* o = buf;
      size_t oLeft = sizeof buf;
      size_t r = iconv(cd_, const_cast<char**>(in), inLeft, &o, &oLeft);
      out.append(buf, static_cast<size_t>(o - buf));
      if (r == static_cast<size_t>(-1) && errno != E2BIG) return false;
    }
    return true;
  }

 private:
  iconv_t cd_;
};

}  // namespace

bool Utf8ToCp936(const std::string& utf8, std::string& out, std::string* bad) {
  if (IsAscii(utf8)) {
    out = utf8;
    return true;
  }
  static Converter conv(nullptr, "UTF-8");
  conv.Reset();
  out.clear();
  const char* in = utf8.data();
  size_t left = utf8.size();
  if (conv.Run(&in, &left, out)) return true;
  if (bad) {
    size_t at = static_cast<size_t>(in - utf8.data());
    size_t w = Utf8Width(static_cast<unsigned char>(utf8[at]));
    *bad = utf8.substr(at, w);
  }
  return false;
}

std::string Cp936ToUtf8(const std::string& bytes, bool* lossless) {
  if (IsAscii(bytes)) {
    if (lossless) *lossless = true;
    return bytes;
  }
  static Converter conv("UTF-8", nullptr);
  conv.Reset();
  std::string out;
  const char* in = bytes.data();
  size_t left = bytes.size();
  bool all = true;
  while (!conv.Run(&in, &left, out)) {
    char esc[8];
    snprintf(esc, sizeof esc, "\\x%02X", static_cast<unsigned char>(*in));
    out += esc;
    in++;
    left--;
    all = false;
    conv.Reset();
  }
  if (lossless) *lossless = all;
  return out;
}

#endif

std::string CodePointName(const std::string& s) {
  if (s.empty()) return "U+0000";
  unsigned char c = static_cast<unsigned char>(s[0]);
  unsigned long cp = c;
  size_t w = Utf8Width(c);
  if (w > 1 && s.size() >= w) {
    cp = c & (0xFF >> (w + 1));
    for (size_t i = 1; i < w; i++) cp = (cp << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
  }
  char buf[16];
  snprintf(buf, sizeof buf, "U+%04lX", cp);
  return buf;
}
