// Finish page (dialog 133): three lines of the package and five choices (three
// kinds of shortcut, the read-me, the program). Finish writes setup.log, makes
// the shortcuts, the uninstaller's among them, and opens what was asked for;
// the shell is reached through CSetupServices.
#pragma once
#include "setup/core/finishrun.h"
#include "steppage.h"

class CStep5 : public CStepPage {
 public:
  CStep5();

  // Captured on the first paint.
  CInstallFolders m_folders;
  CString m_groupName;
  CWnd m_startMenuBox;
  CWnd m_groupBox;
  CWnd m_desktopBox;
  CWnd m_runBox;
  CWnd m_readmeBox;
  CString m_line[3];
  int m_desktop;
  int m_group;
  int m_startMenu;
  int m_readme;
  int m_run;

 protected:
  void DoDataExchange(CDataExchange* pDX);
  BOOL OnInitDialog();
  BOOL OnSetActive();
  BOOL OnQueryCancel();
  BOOL OnWizardFinish();
  BOOL OnPaint();

 private:
  void Capture();
  void ShowRestart();

  BOOL m_capturePending;           // the folders are taken on the first paint
  bool m_uninstallerLinkPending;  // made with the first program-group shortcut
};
