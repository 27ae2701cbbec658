#include "canceldlg.h"

#include "resource.h"

CCancelDlg::CCancelDlg() : CDialog(IDD_CANCEL), m_hIcon(0) {}

void CCancelDlg::DoDataExchange(CDataExchange* pDX) {
  DDX_Control(pDX, IDC_CANCEL_ICON, m_iconCtl);
  DDX_Text(pDX, IDC_CANCEL_MESSAGE, m_strMessage);
}

BOOL CCancelDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  m_iconCtl.SendMessage(STM_SETICON, reinterpret_cast<WPARAM>(m_hIcon), 0);
  SetWindowText(m_strCaption);
  SetDlgItemText(IDOK, m_strFirst);
  SetDlgItemText(IDCANCEL, m_strSecond);
  FitMessage();
  return TRUE;
}

// Moves a control down by dy pixels.
static void MoveDown(HWND dialog, int id, int dy) {
  HWND control = GetDlgItem(dialog, id);
  RECT r;
  GetWindowRect(control, &r);
  MapWindowPoints(0, dialog, reinterpret_cast<POINT*>(&r), 2);
  SetWindowPos(control, 0, r.left, r.top + dy, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CCancelDlg::FitMessage() {
  // As many lines as the edit wraps the message into (a question that names
  // a long path takes more than the template's two): the edit, and the
  // dialog with it, grow by the lines missing; the buttons move down.
  HWND edit = GetDlgItem(IDC_CANCEL_MESSAGE);
  int lines = static_cast<int>(::SendMessageW(edit, EM_GETLINECOUNT, 0, 0));
  if (lines < 2) return;
  // A line's height: how far below the first line's start the second's is.
  WPARAM second = static_cast<WPARAM>(::SendMessageW(edit, EM_LINEINDEX, 1, 0));
  int lineHeight = static_cast<short>(HIWORD(::SendMessageW(edit, EM_POSFROMCHAR, second, 0))) -
                   static_cast<short>(HIWORD(::SendMessageW(edit, EM_POSFROMCHAR, 0, 0)));
  RECT shown;
  ::SendMessageW(edit, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&shown));
  int grow = lines * lineHeight - (shown.bottom - shown.top);
  if (grow <= 0) return;
  RECT r;
  GetWindowRect(edit, &r);
  SetWindowPos(edit, 0, 0, 0, r.right - r.left, r.bottom - r.top + grow, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  MoveDown(m_hWnd, IDOK, grow);
  MoveDown(m_hWnd, IDCANCEL, grow);
  GetWindowRect(m_hWnd, &r);
  int top = r.top - grow / 2;  // still over the middle of its owner
  SetWindowPos(m_hWnd, 0, r.left, top < 0 ? 0 : top, r.right - r.left, r.bottom - r.top + grow,
               SWP_NOZORDER | SWP_NOACTIVATE);
}
