#include "step4.h"

CStep4::CStep4() : CStepPage(IDD_STEP4) {}

BOOL CStep4::OnSetActive() {
  SetNextCaption(NEXT_TEXT);
  SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
  return CStepPage::OnSetActive();
}

BOOL CStep4::OnQueryCancel() { return ConfirmQuit(RUNNING_TEXT); }
