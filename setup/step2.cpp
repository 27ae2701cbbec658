#include "step2.h"

#include "setupapp.h"

const int kLicenceMax = 506;

// The setup started again by the folder page had the licence agreed in the
// instance that started it.
CStep2::CStep2() : CStepPage(IDD_STEP2), m_agreed(App().Switches.Resume ? 1 : 0), m_wholeLicence(false) {}

void CStep2::DoDataExchange(CDataExchange* pDX) {
  ExchangeLines(pDX, IDC_LICENCE_LINE1, m_line, 2);
  if (m_wholeLicence) return;
  DDX_Text(pDX, IDC_LICENCE, m_licence);
  DDV_MaxChars(pDX, m_licence, kLicenceMax);
}

BOOL CStep2::OnInitDialog() {
  m_wholeLicence = !App().Package.Licence.IsEmpty();
  CStepPage::OnInitDialog();
  if (m_wholeLicence) ShowWholeLicence();
  else m_licence = App().Package.PageText[1][2];
  ShowLines(1, m_line, 2);
  return TRUE;
}

void CStep2::ShowWholeLicence() {
  // An edit's scroll bars are fixed when it is made: the template's edit
  // (without them, as the licence line needs none) gives way to one with a
  // vertical scroll bar, in its place, size, font and tab order.
  HWND old = GetDlgItem(IDC_LICENCE);
  RECT r;
  ::GetWindowRect(old, &r);
  ::MapWindowPoints(0, m_hWnd, reinterpret_cast<POINT*>(&r), 2);
  DWORD style = static_cast<DWORD>(::GetWindowLongW(old, GWL_STYLE)) | WS_VSCROLL;
  DWORD exStyle = static_cast<DWORD>(::GetWindowLongW(old, GWL_EXSTYLE));
  HWND edit = ::CreateWindowExW(exStyle, L"EDIT", L"", style, r.left, r.top, r.right - r.left, r.bottom - r.top,
                                m_hWnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_LICENCE)),
                                AfxGetInstanceHandle(), 0);
  if (!edit) {
    // Without it the licence goes into the template's edit, unscrolled.
    ::SetWindowTextW(old, CWideText(App().Package.Licence));
    return;
  }
  ::SendMessageW(edit, WM_SETFONT, ::SendMessageW(old, WM_GETFONT, 0, 0), FALSE);
  ::SetWindowPos(edit, old, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  ::DestroyWindow(old);
  ::SendMessageW(edit, EM_SETLIMITTEXT, 0, 0);
  ::SetWindowTextW(edit, CWideText(App().Package.Licence));
  ::SetWindowLongPtrW(edit, GWLP_USERDATA, ::GetWindowLongPtrW(edit, GWLP_WNDPROC));
  ::SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(LicenceEditProc));
}

LRESULT CALLBACK CStep2::LicenceEditProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  WNDPROC base = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(w, GWLP_USERDATA));
  // Ctrl+A selects the whole text, as in every edit of newer systems; its
  // character (0x01) is not typed into a read-only edit.
  if (msg == WM_KEYDOWN && wp == 'A' && ::GetKeyState(VK_CONTROL) < 0) {
    ::SendMessageW(w, EM_SETSEL, 0, -1);
    return 0;
  }
  if (msg == WM_CHAR && wp == 1) return 0;
  return ::CallWindowProcW(base, w, msg, wp, lp);
}

BOOL CStep2::OnSetActive() {
  SetNextCaption(Text(kTextNext));
  SetWizardButtons(m_agreed == 1 ? PSWIZB_BACK | PSWIZB_NEXT : PSWIZB_BACK);
  ::ShowWindow(SheetItem(ID_WIZBACK), SW_SHOW);
  SendDlgItemMessage(m_agreed == 1 ? IDC_AGREE : IDC_DISAGREE, BM_SETCHECK, 1, 0);
  return CStepPage::OnSetActive();
}

BOOL CStep2::OnCommand(UINT id, UINT notifyCode) {
  if (notifyCode == BN_CLICKED && id == IDC_AGREE) {
    m_agreed = 1;
    SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
    return TRUE;
  }
  if (notifyCode == BN_CLICKED && id == IDC_DISAGREE) {
    m_agreed = 0;
    SetWizardButtons(PSWIZB_BACK);
    return TRUE;
  }
  return CStepPage::OnCommand(id, notifyCode);
}

BOOL CStep2::OnQueryCancel() { return ConfirmQuit(Text(kTextQuitNotStarted)); }
