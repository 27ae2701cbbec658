#include "step1.h"

#include "setupapp.h"

// Set at program start; the caption becomes the product name once per run.
static BOOL g_captionPending = TRUE;

CStep1::CStep1() : CStepPage(IDD_STEP1) {}

void CStep1::DoDataExchange(CDataExchange* pDX) {
  for (int i = 0; i < WELCOME_LINES; ++i) {
    DDX_Text(pDX, IDC_WELCOME_LINE1 + i, m_line[i]);
    DDV_MaxChars(pDX, m_line[i], PAGE_LINE_MAX);
  }
}

BOOL CStep1::OnInitDialog() {
  CStepPage::OnInitDialog();
  for (int i = 0; i < WELCOME_LINES; ++i) m_line[i] = App().PageText[0][i];
  UpdateData(FALSE);
  return TRUE;
}

BOOL CStep1::OnSetActive() {
  SetWizardButtons(PSWIZB_NEXT);
  if (g_captionPending) {
    g_captionPending = FALSE;
    ::SetWindowTextA(GetSheetWindow(), App().ProductName);
  }
  ::ShowWindow(SheetItem(ID_SHEET_HELP), SW_HIDE);
  ::ShowWindow(SheetItem(ID_WIZBACK), SW_HIDE);
  return CStepPage::OnSetActive();
}

BOOL CStep1::OnQueryCancel() { return ConfirmQuit(kTextQuitNotStarted); }
