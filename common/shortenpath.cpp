#include "shortenpath.h"

#include <string.h>

#include "framework/mbcs.h"

// The first character start at or after byte offset from (code page 936: a
// trail byte is never a start).
static int CharStartFrom(const char* s, int from) {
  int i = 0;
  while (s[i] && i < from) i += CharWidthMb(s + i);
  return i;
}

CString ShortenPath(const char* path, int maxLength) {
  CString p(path);
  int len = p.GetLength();
  if (len <= maxLength) return p;
  // A trail byte can be 0x5C: only backslashes of their own split the path.
  int first = FindCharMb(p, '\\');
  int last = ReverseFindCharMb(p, '\\');
  CString head = first >= 0 ? p.Left(first + 1) : CString();
  head += "...\\";
  CString tail = last >= 0 ? p.Mid(last) : p;
  if (head.GetLength() + tail.GetLength() > maxLength) return CString("...") + tail;
  // Here the path has a backslash: without one the tail is the whole path,
  // longer than the maximum on its own.
  int middle = maxLength - head.GetLength() - tail.GetLength();
  // The middle never starts on the trail byte of a character: it is then one
  // byte shorter.
  int start = CharStartFrom(p, last - middle);
  CString result(head);
  result += p.Mid(start, last - start);
  result += tail;
  return result;
}
