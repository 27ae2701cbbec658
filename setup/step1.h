// Welcome page (dialog 129): eight lines of package text. Its first display
// gives the wizard the product name as caption.
#pragma once
#include "steppage.h"

const int kWelcomeLines = 8;

class CStep1 : public CStepPage {
 public:
  CStep1();
  CString m_line[kWelcomeLines];  // statics 1007 to 1014

 protected:
  void DoDataExchange(CDataExchange* pDX);
  BOOL OnInitDialog();
  BOOL OnSetActive();
  BOOL OnQueryCancel();

 private:
  BOOL m_captionPending;  // the caption becomes the product name once per run
};
