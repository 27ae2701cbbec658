// The programs' string class: a growable, zero-terminated byte string (code page
// 936 text, lengths in bytes). Storage comes from AllocBuffer, so the Windows
// programs carry no C++ runtime for it.
#pragma once
#include <stdarg.h>
#include <stddef.h>

// Formats like snprintf (%d, %s, %u, %x with their flags, widths and l): out
// (size bytes, size > 0) always ends with a zero byte. The length of the whole
// result, which may be more than fitted, or -1. On Windows this is the
// system C runtime's formatting: the compiler's own C99 one would add about
// 20 KiB to each program.
int FormatText(char* out, size_t size, const char* fmt, ...);
int FormatTextV(char* out, size_t size, const char* fmt, va_list ap);

class CString {
 public:
  CString();
  CString(const char* s);
  CString(const char* s, int len);
  CString(const CString& other);
  ~CString();
  CString& operator=(const CString& other);
  CString& operator=(const char* s);
  CString& operator+=(const char* s);
  CString& operator+=(const CString& s);
  CString& operator+=(char c);

  void Append(const char* s, int len);  // len bytes of s (may hold no zero byte)
  void Empty();
  int GetLength() const { return m_len; }
  bool IsEmpty() const { return m_len == 0; }
  const char* c_str() const { return m_buf ? m_buf : ""; }
  operator const char*() const { return c_str(); }
  char operator[](int i) const { return (i >= 0 && i < m_len) ? m_buf[i] : 0; }

  int Find(char c, int start = 0) const;  // -1 when absent
  int ReverseFind(char c) const;          // -1 when absent
  CString Left(int n) const;
  CString Mid(int start, int n = -1) const;  // n = -1: up to the end
  bool EndsWith(char c) const { return m_len > 0 && m_buf[m_len - 1] == c; }
  // Formats like sprintf, replacing the content. Returns false when the result
  // could not be formed (the string is then empty).
  bool Format(const char* fmt, ...);

  bool operator==(const char* s) const;
  bool operator!=(const char* s) const { return !(*this == s); }

 private:
  bool Reserve(int cap);
  char* m_buf;
  int m_len;
  int m_cap;
};

CString operator+(const CString& a, const char* b);
