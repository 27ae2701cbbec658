#include "step2.h"

#include "setupapp.h"

const int kLicenceMax = 506;

CStep2::CStep2() : CStepPage(IDD_STEP2), m_agreed(0) {}

void CStep2::DoDataExchange(CDataExchange* pDX) {
  ExchangeLines(pDX, IDC_LICENCE_LINE1, m_line, 2);
  DDX_Text(pDX, IDC_LICENCE, m_licence);
  DDV_MaxChars(pDX, m_licence, kLicenceMax);
}

BOOL CStep2::OnInitDialog() {
  CStepPage::OnInitDialog();
  m_licence = App().Package.PageText[1][2];
  ShowLines(1, m_line, 2);
  return TRUE;
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
