// The setup's application object: the package of the running file (its
// settings and file list), the pictures, and the start-up that reads them.
#pragma once
#include "canceldlg.h"
#include "common/package.h"
#include "common/picture.h"
#include "common/setuplog.h"
#include "framework/app.h"
#include "framework/cstring.h"
#include "setup/core/commandline.h"
#include "setup/core/copyengine.h"
#include "setupservices.h"
#include "splashwnd.h"

// The page picture the program would carry as a resource (it carries none).
#define PICTURE_RESOURCE_ID 130
#define PICTURE_RESOURCE_TYPE "PIC"

class CSetupApp : public CWinApp {
 public:
  CSetupApp();

  BOOL InitInstance();
  // Opens ModulePath as the package, then loads the pictures. TRUE when the
  // index was read and parsed; PackageDamaged tells a damaged package from
  // one that cannot be read.
  BOOL LoadPackage();

  SetupSwitches Switches;  // from the command line, read first of all

  CPictureImage Picture;
  CPictureImage SplashPicture;
  CString ModulePath;
  CPackage Package;    // opened from ModulePath by LoadPackage
  CString InstallDir;  // ends with a backslash once the folder page set it
  BOOL MadeInstallDir;  // the folder page made it (it was not there)
  // The product's installation the list of installed programs names, found
  // at the start; the folder page proposes its folder.
  PreviousInstallation Previous;
  // A package that lets the user choose for whom (its Scope holds the
  // choice): the installations of both scopes (kForMachine, kForUser), and
  // the choice made on the folder page, which makes Previous the chosen
  // scope's installation.
  bool AskScope;
  PreviousInstallation PreviousFor[2];
  void ChooseScope(bool user);
  // The setup started again with the administrator's rights by the folder
  // page: this one waits for it and ends with its exit code.
  HANDLE HandedOver;
  // Its setup.log when InstallDir is its folder (an upgrade or a repair in
  // place); empty otherwise.
  CString PreviousLog;
  // The copy run, once the copy page started it (the page owns it); the
  // finish page settles it or takes it back.
  CCopyEngine* CopyRun;
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

// The package's icon, or the program's own icon 128 when the package has none.
HICON MakeProductIcon(const CPackage& package);

inline CSetupApp* GetSetupApp() { return static_cast<CSetupApp*>(AfxGetApp()); }
