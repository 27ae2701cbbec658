// Finish page (dialog 133). Stand-in until the finish page exists: it only
// confirms Cancel and lets the wizard finish.
#pragma once
#include "steppage.h"

class CStep5 : public CStepPage {
 public:
  CStep5();

 protected:
  BOOL OnSetActive();
  BOOL OnQueryCancel();
};
