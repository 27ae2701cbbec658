// Licence page (dialog 130): two lines, the licence text, and Next only after
// "我同意" was chosen. The choice lasts while the user moves between pages.
#pragma once
#include "steppage.h"

class CStep2 : public CStepPage {
 public:
  CStep2();
  CString m_line[2];  // statics 1015 and 1016
  CString m_licence;  // edit 1006
  int m_agreed;       // 1 after "我同意", 0 after "我不同意"

 protected:
  void DoDataExchange(CDataExchange* pDX);
  BOOL OnInitDialog();
  BOOL OnSetActive();
  BOOL OnQueryCancel();
  BOOL OnCommand(UINT id, UINT notifyCode);
};
