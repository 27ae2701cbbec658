#include "step5.h"

CStep5::CStep5() : CStepPage(IDD_STEP5) {}

BOOL CStep5::OnSetActive() {
  SetWizardButtons(PSWIZB_FINISH);
  return CStepPage::OnSetActive();
}

BOOL CStep5::OnQueryCancel() { return ConfirmQuit(FINISHING_TEXT); }
