// The wizard: a property sheet in wizard mode owning the five pages, the
// setup's main window while it runs.
#pragma once
#include "framework/propsheet.h"
#include "step1.h"
#include "step2.h"
#include "step3.h"
#include "step4.h"
#include "step5.h"

class CSetupApp;

class CWizardSheet : public CPropertySheet {
 public:
  CWizardSheet(const char* caption, HWND parent = 0, UINT selectPage = 0);

  CStep1 m_step1;
  CStep2 m_step2;
  CStep3 m_step3;
  CStep4 m_step4;
  CStep5 m_step5;
  HICON m_hIcon;       // the product icon
  BOOL m_firstSize;    // the first WM_SIZE finishes the window

 protected:
  LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp);

 private:
  void OnSize();
};

// The wizard's modal run (the whole installation); returns when it closes:
// IDOK when it was finished, IDCANCEL when it was cancelled.
INT_PTR RunWizard(CSetupApp& app);
