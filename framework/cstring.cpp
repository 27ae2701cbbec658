#include "cstring.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "memory.h"

int FormatTextV(char* out, size_t size, const char* fmt, va_list ap) {
  if (!size) return -1;
  va_list again;
  va_copy(again, ap);
#ifdef _WIN32
  // _vsnprintf leaves the text unterminated when it does not fit and tells no
  // length then; _vscprintf measures.
  int n = _vsnprintf(out, size, fmt, ap);
  out[size - 1] = 0;
  if (n < 0 || static_cast<size_t>(n) >= size) n = _vscprintf(fmt, again);
#else
  int n = vsnprintf(out, size, fmt, again);
#endif
  va_end(again);
  return n;
}

int FormatText(char* out, size_t size, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int n = FormatTextV(out, size, fmt, ap);
  va_end(ap);
  return n;
}

CString::CString() : buf_(0), len_(0), cap_(0) {}
CString::CString(const char* s) : buf_(0), len_(0), cap_(0) { *this = s; }
CString::CString(const char* s, int len) : buf_(0), len_(0), cap_(0) { Append(s, len); }
CString::CString(const CString& other) : buf_(0), len_(0), cap_(0) { Append(other.buf_, other.len_); }
CString::~CString() { FreeBuffer(buf_); }

bool CString::Reserve(int cap) {
  if (cap < cap_) return true;
  int want = cap_ ? cap_ : 16;
  while (want <= cap) {
    if (want > (1 << 29)) return false;
    want *= 2;
  }
  char* nb = static_cast<char*>(AllocBuffer(static_cast<size_t>(want)));
  if (!nb) return false;
  if (buf_) memcpy(nb, buf_, static_cast<size_t>(len_) + 1);
  else nb[0] = 0;
  FreeBuffer(buf_);
  buf_ = nb;
  cap_ = want;
  return true;
}

void CString::Append(const char* s, int len) {
  if (!s || len <= 0) return;
  if (len_ > 0x3FFFFFFF - len || !Reserve(len_ + len)) return;
  memmove(buf_ + len_, s, static_cast<size_t>(len));
  len_ += len;
  buf_[len_] = 0;
}

void CString::Empty() {
  len_ = 0;
  if (buf_) buf_[0] = 0;
}

CString& CString::operator=(const CString& other) {
  if (this != &other) {
    Empty();
    Append(other.buf_, other.len_);
  }
  return *this;
}

CString& CString::operator=(const char* s) {
  if (s && buf_ && s >= buf_ && s < buf_ + cap_) {  // assigning a part of ourselves
    CString copy(s);
    return *this = copy;
  }
  Empty();
  if (s) Append(s, static_cast<int>(strlen(s)));
  return *this;
}

CString& CString::operator+=(const char* s) {
  if (s) {
    CString copy(s);  // s may point into our own buffer
    Append(copy.buf_, copy.len_);
  }
  return *this;
}
CString& CString::operator+=(const CString& s) {
  CString copy(s);
  Append(copy.buf_, copy.len_);
  return *this;
}
CString& CString::operator+=(char c) {
  Append(&c, 1);
  return *this;
}

int CString::Find(char c, int start) const {
  for (int i = start < 0 ? 0 : start; i < len_; i++)
    if (buf_[i] == c) return i;
  return -1;
}

int CString::ReverseFind(char c) const {
  for (int i = len_ - 1; i >= 0; i--)
    if (buf_[i] == c) return i;
  return -1;
}

CString CString::Left(int n) const {
  if (n < 0) n = 0;
  if (n > len_) n = len_;
  return CString(buf_, n);
}

CString CString::Mid(int start, int n) const {
  if (start < 0) start = 0;
  if (start > len_) start = len_;
  if (n < 0 || n > len_ - start) n = len_ - start;
  return CString(buf_ ? buf_ + start : "", n);
}

bool CString::Format(const char* fmt, ...) {
  char small[512];
  va_list ap;
  va_start(ap, fmt);
  int n = FormatTextV(small, sizeof small, fmt, ap);
  va_end(ap);
  Empty();
  if (n < 0) return false;
  if (n < static_cast<int>(sizeof small)) {
    Append(small, n);
    return true;
  }
  if (!Reserve(n)) return false;
  va_start(ap, fmt);
  FormatTextV(buf_, static_cast<size_t>(n) + 1, fmt, ap);
  va_end(ap);
  len_ = n;
  return true;
}

bool CString::operator==(const char* s) const { return strcmp(c_str(), s ? s : "") == 0; }

CString operator+(const CString& a, const char* b) {
  CString r(a);
  r += b;
  return r;
}
