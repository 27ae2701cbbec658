// The setup's application object: every setting of the package, the file list,
// the pictures, and the start-up that reads them from the running file.
#pragma once
#include "common/packagefile.h"
#include "common/packageindex.h"
#include "common/picture.h"
#include "framework/app.h"
#include "framework/cstring.h"
#include "canceldlg.h"
#include "commandline.h"
#include "splashwnd.h"

// The page picture the program would carry as a resource (it carries none).
#define PICTURE_RESOURCE_ID 130
#define PICTURE_RESOURCE_TYPE "PIC"

class CSetupApp : public CWinApp, public PackageSettings {
 public:
  CSetupApp();

  BOOL InitInstance();
  // Reads the package index of ModulePath into the settings and the file list,
  // then the pictures. TRUE when the index was read and parsed.
  BOOL LoadPackage();

  SetupSwitches Switches;  // from the command line, read first of all

  CPictureImage Picture;
  CPictureImage SplashPicture;
  CString ModulePath;
  CString InstallDir;  // ends with a backslash once the folder page set it
  BOOL MadeInstallDir;  // the folder page made it (it was not there)
  PackageSeal Seal;    // the trailer's seal, for the copy run's check
  long IndexSeek;      // where the index starts (the payload ends there)
  // The package's checksums do not match (at load or in the copy run):
  // nothing is installed, the setup ends with EXIT_DAMAGED_PACKAGE.
  BOOL PackageDamaged;

  // The two-answer question: 0 when the user chose the first answer, else 1.
  // Never one inside another: while one is open, -1 without asking (callers
  // then do what destroys nothing: keep the file, go on installing).
  int ConfirmCancel(CString message, CString first, CString second);
  CCancelDlg CancelDlg;
  BOOL Confirming = FALSE;  // a confirmation is open
  CSplashWnd SplashWnd;
};

// The wizard's modal run (the whole installation); returns when it closes:
// IDOK when it was finished, IDCANCEL when it was cancelled.
INT_PTR RunWizard(CSetupApp& app);

inline CSetupApp* GetSetupApp() { return static_cast<CSetupApp*>(AfxGetApp()); }
