#include "wizard.h"

#include "common/container.h"
#include "common/shellhelpers.h"
#include "framework/memory.h"
#include "setupapp.h"

HICON MakeProductIcon(CSetupApp& app) {
  if (app.IconLength > 0) {
    long length = app.IconLength;
    char* bytes = ReadRegion(app.ModulePath, length, app.IconOffset);
    if (!bytes) return 0;
    HICON icon = LoadIconFromBytes(bytes, static_cast<int>(length));
    FreeBuffer(bytes);
    return icon;
  }
  return LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDI_SETUP));
}

CWizardSheet::CWizardSheet(const char* caption, HWND parent, UINT selectPage)
    : CPropertySheet(caption, parent, selectPage), m_hIcon(0), m_firstSize(TRUE) {
  AddPage(&m_step1);
  AddPage(&m_step2);
  AddPage(&m_step3);
  AddPage(&m_step4);
  AddPage(&m_step5);
  m_hIcon = MakeProductIcon(*GetSetupApp());
}

LRESULT CWizardSheet::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg != WM_SIZE) return Default(msg, wp, lp);
  LRESULT result = Default(msg, wp, lp);
  OnSize();
  return result;
}

void CWizardSheet::OnSize() {
  if (!m_firstSize) return;
  m_firstSize = FALSE;
  LONG_PTR style = GetWindowLongPtrW(m_hWnd, GWL_STYLE);
  SetWindowLongPtrW(m_hWnd, GWL_STYLE, style | WS_MINIMIZEBOX);
  SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
  SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
}

INT_PTR RunWizard(CSetupApp& app) {
  if (app.SplashEnabled) {
    app.SplashWnd.m_color = static_cast<COLORREF>(app.SplashBackColor);
    app.SplashWnd.m_caption = app.SplashCaption;
    if (app.SplashWnd.Create(IDD_SPLASH, 0)) app.SplashWnd.ShowWindow(SW_SHOW);
  }
  CWizardSheet sheet(kTextSheetCaption, 0, 0);
  sheet.m_psh.dwFlags |= PSH_WIZARD;
  app.m_pMainWnd = &sheet;
  INT_PTR result = sheet.DoModal();
  if (app.SplashEnabled) app.SplashWnd.DestroyWindow();
  sheet.DestroyWindow();
  app.m_pMainWnd = 0;
  return result;
}

int CSetupApp::ConfirmCancel(CString message, CString first, CString second) {
  // One dialog object serves every question: run inside itself, the inner run
  // would leave the outer one unable to close and the setup unable to end.
  if (Confirming) return -1;
  if (!CancelDlg.m_hIcon) {
    CancelDlg.m_hIcon = MakeProductIcon(*this);
    CancelDlg.m_strCaption = ProductName;
  }
  CancelDlg.m_strMessage = message;
  CancelDlg.m_strFirst = first;
  CancelDlg.m_strSecond = second;
  Confirming = TRUE;
  INT_PTR result = CancelDlg.DoModal();
  Confirming = FALSE;
  return result == IDOK ? 0 : 1;
}
