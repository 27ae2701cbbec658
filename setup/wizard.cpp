#include "wizard.h"

#include "setupapp.h"

CWizardSheet::CWizardSheet(const char* caption, HWND parent, UINT selectPage)
    : CPropertySheet(caption, parent, selectPage), m_hIcon(0), m_firstSize(TRUE) {
  AddPage(&m_step1);
  AddPage(&m_step2);
  AddPage(&m_step3);
  AddPage(&m_step4);
  AddPage(&m_step5);
  m_hIcon = MakeProductIcon(GetSetupApp()->Package);
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
  if (app.Package.SplashEnabled) {
    app.SplashWnd.m_color = static_cast<COLORREF>(app.Package.SplashBackColor);
    app.SplashWnd.m_caption = app.Package.SplashCaption;
    app.SplashWnd.m_captionBar = app.Package.SplashCaptionBar;
    app.SplashWnd.m_picture = &app.SplashPicture;
    if (app.SplashWnd.Create(IDD_SPLASH, 0)) app.SplashWnd.ShowWindow(SW_SHOW);
  }
  CWizardSheet sheet(Text(kTextSheetCaption), 0, 0);
  sheet.m_psh.dwFlags |= PSH_WIZARD;
  // Started again by the folder page with the administrator's rights: there
  // it goes on, the licence agreed before.
  if (app.Switches.Resume) sheet.m_psh.nStartPage = sheet.GetPageIndex(&sheet.m_step3);
  app.m_pMainWnd = &sheet;
  INT_PTR result = sheet.DoModal();
  if (app.Package.SplashEnabled) app.SplashWnd.DestroyWindow();
  sheet.DestroyWindow();
  app.m_pMainWnd = 0;
  return result;
}
