#include "wnd.h"

#include "memory.h"

CString CWnd::WindowText(HWND w) {
  CString text;
  if (!w) return text;
  int len = GetWindowTextLengthA(w);
  if (len <= 0) return text;
  char* buf = static_cast<char*>(AllocBuffer(len + 1));
  if (!buf) return text;
  int got = ::GetWindowTextA(w, buf, len + 1);
  if (got > 0) text.Append(buf, got < len ? got : len);
  FreeBuffer(buf);
  return text;
}
