// The setup's two-answer question (dialog 136): every page's Cancel and the
// copy run's overwrite question go through it.
#pragma once
#include "framework/dialog.h"

class CCancelDlg : public CDialog {
 public:
  CCancelDlg();

  CString m_strFirst;   // button 1 (IDOK)
  CString m_strSecond;  // button 2 (IDCANCEL)
  CWnd m_iconCtl;       // static 1027
  CString m_strMessage;
  HICON m_hIcon;        // set at the first confirmation that obtains one
  CString m_strCaption;

 protected:
  void DoDataExchange(CDataExchange* pDX);
  BOOL OnInitDialog();

 private:
  // A message longer than the template's lines makes the dialog taller.
  void FitMessage();
};
