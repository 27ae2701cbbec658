#include "codepage.h"

#include <errno.h>
#include <iconv.h>
#include <stdio.h>

#include <stdexcept>

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

// ASCII is the same bytes in both encodings.
bool IsAscii(const std::string& s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

size_t Utf8Width(unsigned char c) { return c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1; }

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
