#include "steppage.h"

#include "framework/dpi.h"
#include "setupapp.h"

const ControlText kPageTexts[] = {
    {IDD_STEP2, IDC_AGREE, kTextAgree},
    {IDD_STEP2, IDC_DISAGREE, kTextDisagree},
    {IDD_STEP3, IDC_BROWSE, kTextBrowse},
    {IDD_STEP3, IDC_SCOPE_MACHINE, kTextScopeMachine},
    {IDD_STEP3, IDC_SCOPE_USER, kTextScopeUser},
    {IDD_STEP4, IDC_COPY_STATUS, kTextCopying},
    {IDD_STEP4, IDC_COPY_ESTIMATE, kTextEstimateUnknown},
    {IDD_STEP5, IDC_FINISH_DESKTOP, kTextFinishDesktop},
    {IDD_STEP5, IDC_FINISH_STARTMENU, kTextFinishStartMenu},
    {IDD_STEP5, IDC_FINISH_GROUP, kTextFinishGroup},
    {IDD_STEP5, IDC_FINISH_README, kTextFinishReadme},
    {IDD_STEP5, IDC_FINISH_RUN, kTextFinishRun},
};
const int kPageTextCount = sizeof kPageTexts / sizeof kPageTexts[0];

CSetupApp& CStepPage::App() const { return *GetSetupApp(); }

BOOL CStepPage::OnInitDialog() {
  ShowControlTexts(m_hWnd, m_nIDTemplate, kPageTexts, kPageTextCount, SetupLanguages());
  return CPropertyPage::OnInitDialog();
}

void CStepPage::SetWizardButtons(DWORD flags) {
  ::PostMessageW(GetSheetWindow(), PSM_SETWIZBUTTONS, 0, flags);
}

HWND CStepPage::SheetItem(int id) const { return ::GetDlgItem(GetSheetWindow(), id); }

void CStepPage::ShowSheetCaption() {
  SetWindowTextMb(GetSheetWindow(), App().Package.ProductName);
  ::ShowWindow(SheetItem(ID_SHEET_HELP), SW_HIDE);
}

void CStepPage::SetNextCaption(const char* text) { SetDlgItemTextMb(GetSheetWindow(), ID_WIZNEXT, text); }

BOOL CStepPage::ConfirmQuit(const char* message) {
  if (App().ConfirmCancel(message, Text(kTextContinue), Text(kTextQuit)) == 1) return CPropertyPage::OnQueryCancel();
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
