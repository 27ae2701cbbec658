#include "step1.h"

#include "setupapp.h"

CStep1::CStep1() : CStepPage(IDD_STEP1), m_captionPending(TRUE) {}

void CStep1::DoDataExchange(CDataExchange* pDX) {
  ExchangeLines(pDX, IDC_WELCOME_LINE1, m_line, kWelcomeLines);
}

BOOL CStep1::OnInitDialog() {
  CStepPage::OnInitDialog();
  ShowLines(0, m_line, kWelcomeLines);
  return TRUE;
}

BOOL CStep1::OnSetActive() {
  SetWizardButtons(PSWIZB_NEXT);
  if (m_captionPending) {
    m_captionPending = FALSE;
    ShowSheetCaption();
  }
  ::ShowWindow(SheetItem(ID_SHEET_HELP), SW_HIDE);
  ::ShowWindow(SheetItem(ID_WIZBACK), SW_HIDE);
  return CStepPage::OnSetActive();
}

BOOL CStep1::OnQueryCancel() { return ConfirmQuit(Text(kTextQuitNotStarted)); }
