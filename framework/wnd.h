// A window handle with the few operations the programs' dialogs use on
// themselves and on their controls. The windows are Unicode windows; texts
// go in and come out in code page 936 (framework/widetext.h).
#pragma once
#include "cstring.h"
#include "platform.h"
#include "widetext.h"

class CWnd {
 public:
  CWnd() : m_hWnd(0) {}
  virtual ~CWnd() {}

  HWND m_hWnd;

  HWND GetSafeHwnd() const { return m_hWnd; }
  HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
  HWND GetParent() const { return ::GetParent(m_hWnd); }

  void SetDlgItemText(int id, const char* text) { SetDlgItemTextMb(m_hWnd, id, text); }
  CString GetDlgItemText(int id) const { return WindowText(::GetDlgItem(m_hWnd, id)); }
  LRESULT SendDlgItemMessage(int id, UINT msg, WPARAM wp = 0, LPARAM lp = 0) {
    return ::SendDlgItemMessageW(m_hWnd, id, msg, wp, lp);
  }
  LRESULT SendMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) {
    return ::SendMessageW(m_hWnd, msg, wp, lp);
  }
  BOOL PostMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) {
    return ::PostMessageW(m_hWnd, msg, wp, lp);
  }
  void SetWindowText(const char* text) { SetWindowTextMb(m_hWnd, text); }
  CString GetWindowText() const { return WindowText(m_hWnd); }
  BOOL ShowWindow(int cmd) { return ::ShowWindow(m_hWnd, cmd); }
  BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
  void Invalidate(BOOL erase = TRUE) { InvalidateRect(m_hWnd, 0, erase); }

  // The whole text of any window, however long.
  static CString WindowText(HWND w);
};
