// The uninstaller's application object: reads its own table, restarts itself
// from the temporary folder, finds setup.log and shows the uninstall dialog.
#pragma once
#include "framework/app.h"
#include "uninstall/core/texts.h"
#include "uninstall/core/uninstallsettings.h"

class CUninstallApp : public CWinApp, public UninstallSettings {
 public:
  CUninstallApp();
  BOOL InitInstance();
  // Reads the table appended to the running file into the settings.
  BOOL LoadUninstallTable();

  CString ModulePath;  // the running file
  UninstallSwitches Switches;  // from the command line, read first of all

 private:
  // The instance started by the user: copies itself into a folder of its own
  // in the temporary folder and starts the copy with the switches and the
  // path of setup.log, asking for the administrator's rights when elevate
  // (never with /S, which waits for the copy and gives its exit code).
  // ERROR_SUCCESS when it started; ERROR_CANCELLED when the user refused
  // the rights; another error when the copy could not be made, checked or
  // started.
  DWORD RelaunchFromTemporaryFolder(const char* tempFolder, bool elevate, DWORD& copyExitCode);
  // An unattended run's failure before the removal: into the /LOG file.
  void LogFailure(const char* text, int exitCode);
  // The temporary copy: SetupLogPath from the parameter, or from the user when
  // there is no such file. FALSE when the user gave no log.
  BOOL LocateSetupLog();
};

inline CUninstallApp* GetUninstallApp() { return static_cast<CUninstallApp*>(AfxGetApp()); }
