// Finish page (dialog 133): three lines of the package and five choices (three
// kinds of shortcut, the read-me, the program). Finish writes setup.log, makes
// the shortcuts, the uninstaller's among them, and opens what was asked for;
// the page is that run's way to the shell.
#pragma once
#include "finishrun.h"
#include "steppage.h"

class CStep5 : public CStepPage, private IFinishServices {
 public:
  CStep5();

  // Captured on the first paint.
  CString m_windowsDir;
  CString m_systemDir;
  CString m_installDir;
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

  // IFinishServices
  CString SpecialFolder(int csidl);
  BOOL CreateShortcut(const char* target, const char* linkPath);
  void CreateFolder(const char* path);
  void Open(const char* path);
  void ShowError(const char* text);
};
