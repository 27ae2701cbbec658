// Copy page (dialog 132). Stand-in until the copy page is wired to the copy
// engine: it only confirms Cancel.
#pragma once
#include "steppage.h"

class CStep4 : public CStepPage {
 public:
  CStep4();

 protected:
  BOOL OnSetActive();
  BOOL OnQueryCancel();
};
