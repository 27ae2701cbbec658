#include "shortenpath.h"

#include <string.h>

CString ShortenPath(const char* path, int maxLength) {
  CString p(path);
  int len = p.GetLength();
  if (len <= maxLength) return p;
  int first = p.Find('\\');
  int last = p.ReverseFind('\\');
  CString head = first >= 0 ? p.Left(first + 1) : CString();
  head += "...\\";
  CString tail = last >= 0 ? p.Mid(last) : p;
  if (head.GetLength() + tail.GetLength() > maxLength) return CString("...") + tail;
  // Here the path has a backslash: without one the tail is the whole path,
  // longer than the maximum on its own.
  int middle = maxLength - head.GetLength() - tail.GetLength();
  CString result(head);
  result += p.Mid(last - middle, middle);
  result += tail;
  return result;
}
