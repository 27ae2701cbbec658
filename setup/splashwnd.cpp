#include "splashwnd.h"

#include "resource.h"

CSplashWnd::CSplashWnd() : CDialog(IDD_SPLASH), m_color(0), m_brush(0), m_captionBar(FALSE), m_picture(0) {}

BOOL CSplashWnd::OnInitDialog() {
  CDialog::OnInitDialog();
  if (!m_captionBar) {
    LONG_PTR style = GetWindowLongPtrW(m_hWnd, GWL_STYLE);
    SetWindowLongPtrW(m_hWnd, GWL_STYLE, style & ~static_cast<LONG_PTR>(WS_CAPTION));
  }
  // The template puts the window at the screen's origin; only its size changes.
  SetWindowPos(m_hWnd, 0, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
               SWP_NOMOVE | SWP_NOZORDER | SWP_FRAMECHANGED);
  m_brush = CreateSolidBrush(m_color);
  SetWindowText(m_caption);
  return TRUE;
}

HBRUSH CSplashWnd::OnCtlColor(HDC, HWND, UINT) { return m_brush; }

void CSplashWnd::OnDestroy() {
  if (m_brush) DeleteObject(m_brush);
  m_brush = 0;
}

BOOL CSplashWnd::OnPaint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(m_hWnd, &ps);
  RECT r;
  GetWindowRect(m_hWnd, &r);
  if (m_picture && m_picture->IsLoaded()) m_picture->Draw(dc, r.left, r.top, r.right - r.left, r.bottom - r.top);
  EndPaint(m_hWnd, &ps);
  return TRUE;
}

BOOL CSplashWnd::PreTranslateMessage(MSG* msg) {
  // Nothing but painting reaches the window: it cannot be clicked, moved or
  // closed from the keyboard.
  if (msg->message == WM_PAINT) return CDialog::PreTranslateMessage(msg);
  return TRUE;
}
