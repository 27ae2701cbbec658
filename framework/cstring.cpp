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

CString::CString() : m_buf(0), m_len(0), m_cap(0) {}
CString::CString(const char* s) : m_buf(0), m_len(0), m_cap(0) { *this = s; }
CString::CString(const char* s, int len) : m_buf(0), m_len(0), m_cap(0) { Append(s, len); }
CString::CString(const CString& other) : m_buf(0), m_len(0), m_cap(0) { Append(other.m_buf, other.m_len); }
CString::~CString() { FreeBuffer(m_buf); }

bool CString::Reserve(int cap) {
  if (cap < m_cap) return true;
  int want = m_cap ? m_cap : 16;
  while (want <= cap) {
    if (want > (1 << 29)) return false;
    want *= 2;
  }
  char* nb = static_cast<char*>(AllocBuffer(static_cast<size_t>(want)));
  if (!nb) return false;
  if (m_buf) memcpy(nb, m_buf, static_cast<size_t>(m_len) + 1);
  else nb[0] = 0;
  FreeBuffer(m_buf);
  m_buf = nb;
  m_cap = want;
  return true;
}

void CString::Append(const char* s, int len) {
  if (!s || len <= 0) return;
  if (m_len > 0x3FFFFFFF - len || !Reserve(m_len + len)) return;
  memmove(m_buf + m_len, s, static_cast<size_t>(len));
  m_len += len;
  m_buf[m_len] = 0;
}

void CString::Empty() {
  m_len = 0;
  if (m_buf) m_buf[0] = 0;
}

CString& CString::operator=(const CString& other) {
  if (this != &other) {
    Empty();
    Append(other.m_buf, other.m_len);
  }
  return *this;
}

CString& CString::operator=(const char* s) {
  if (s && m_buf && s >= m_buf && s < m_buf + m_cap) {  // assigning a part of ourselves
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
    Append(copy.m_buf, copy.m_len);
  }
  return *this;
}
CString& CString::operator+=(const CString& s) {
  CString copy(s);
  Append(copy.m_buf, copy.m_len);
  return *this;
}
CString& CString::operator+=(char c) {
  Append(&c, 1);
  return *this;
}

int CString::Find(char c, int start) const {
  for (int i = start < 0 ? 0 : start; i < m_len; i++)
    if (m_buf[i] == c) return i;
  return -1;
}

int CString::ReverseFind(char c) const {
  for (int i = m_len - 1; i >= 0; i--)
    if (m_buf[i] == c) return i;
  return -1;
}

CString CString::Left(int n) const {
  if (n < 0) n = 0;
  if (n > m_len) n = m_len;
  return CString(m_buf, n);
}

CString CString::Mid(int start, int n) const {
  if (start < 0) start = 0;
  if (start > m_len) start = m_len;
  if (n < 0 || n > m_len - start) n = m_len - start;
  return CString(m_buf ? m_buf + start : "", n);
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
  FormatTextV(m_buf, static_cast<size_t>(n) + 1, fmt, ap);
  va_end(ap);
  m_len = n;
  return true;
}

bool CString::operator==(const char* s) const { return strcmp(c_str(), s ? s : "") == 0; }

CString operator+(const CString& a, const char* b) {
  CString r(a);
  r += b;
  return r;
}
