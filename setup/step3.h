// Destination folder page (dialog 131): proposes a folder under the system
// drive's "Program Files\", lets the user type or browse, checks the parent
// folder and its drive, creates the folder and stores it as InstallDir.
#pragma once
#include "setup/core/folderrules.h"
#include "steppage.h"

const int kFolderLines = 4;

class CStep3 : public CStepPage {
 public:
  CStep3();
  CString m_line[kFolderLines];  // statics 1017 to 1020
  CString m_folder;              // edit 1000

 protected:
  void DoDataExchange(CDataExchange* pDX);
  BOOL OnInitDialog();
  BOOL OnSetActive();
  LRESULT OnWizardNext();
  BOOL OnQueryCancel();
  BOOL OnCommand(UINT id, UINT notifyCode);

 private:
  void OnBrowse();
  // The choice for whom changed (a package that lets the user choose).
  void OnScope(bool user);
  // Starts the setup again with the administrator's rights and closes this
  // wizard once it has started; -1 (the page stays) either way.
  LRESULT StartElevated();
  // The folder proposed for the scope chosen: the installation's there, or
  // the scope's default folder.
  CString Proposal() const;
  // Over a newer version of the product the user is asked once whether to go on.
  bool DowngradeAccepted();
  bool m_downgradeAccepted;
  bool m_captionShown;
};

// TRUE when the installation folder may be created under path; otherwise says
// why in a message box with the caption and returns FALSE.
BOOL ValidateFolder(const char* path, const char* caption);
