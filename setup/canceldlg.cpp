#include "canceldlg.h"

#include "resource.h"

CCancelDlg::CCancelDlg() : CDialog(IDD_CANCEL), m_hIcon(0) {}

void CCancelDlg::DoDataExchange(CDataExchange* pDX) {
  DDX_Control(pDX, IDC_CANCEL_ICON, m_iconCtl);
  DDX_Text(pDX, IDC_CANCEL_MESSAGE, m_strMessage);
}

BOOL CCancelDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  m_iconCtl.SendMessage(STM_SETICON, reinterpret_cast<WPARAM>(m_hIcon), 0);
  SetWindowText(m_strCaption);
  SetDlgItemText(IDOK, m_strFirst);
  SetDlgItemText(IDCANCEL, m_strSecond);
  return TRUE;
}
