#include "steppage.h"

#include "framework/dpi.h"
#include "setupapp.h"

CSetupApp& CStepPage::App() const { return *GetSetupApp(); }

void CStepPage::SetWizardButtons(DWORD flags) {
  ::PostMessageW(GetSheetWindow(), PSM_SETWIZBUTTONS, 0, flags);
}

HWND CStepPage::SheetItem(int id) const { return ::GetDlgItem(GetSheetWindow(), id); }

void CStepPage::SetNextCaption(const char* text) { SetDlgItemTextMb(GetSheetWindow(), ID_WIZNEXT, text); }

BOOL CStepPage::ConfirmQuit(const char* message) {
  if (App().ConfirmCancel(message, kTextContinue, kTextQuit) == 1) return CPropertyPage::OnQueryCancel();
  return FALSE;
}

void CStepPage::ExchangeLines(CDataExchange* pDX, int firstId, CString* lines, int count) {
  for (int i = 0; i < count; i++) {
    DDX_Text(pDX, firstId + i, lines[i]);
    DDV_MaxChars(pDX, lines[i], kPageLineMax);
  }
}

void CStepPage::ShowLines(int page, CString* lines, int count) {
  for (int i = 0; i < count; i++) lines[i] = App().Package.PageText[page][i];
  UpdateData(FALSE);
}

BOOL CStepPage::OnPaint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(m_hWnd, &ps);
  CSetupApp& app = App();
  if (app.Picture.IsLoaded())
    app.Picture.Draw(dc, 0, 0, ScaleForDpi(kPagePictureWidth), ScaleForDpi(kPagePictureHeight));
  EndPaint(m_hWnd, &ps);
  return TRUE;
}
