#include "uninstallapp.h"

#include <commdlg.h>
#include <shellapi.h>
#include <string.h>

#include "common/exitcodes.h"
#include "common/setuplog.h"
#include "common/shellhelpers.h"
#include "framework/fsys.h"
#include "framework/msgbox.h"
#include "tempcopy.h"
#include "uninstalldlg.h"

// Paths of the start-up are held in buffers of this many bytes.
#define START_PATH_SIZE 256

CUninstallApp::CUninstallApp() : CWinApp(0) {
  char path[START_PATH_SIZE] = {0};
  DWORD n = GetModuleFileNameA(0, path, START_PATH_SIZE - 1);
  path[n < START_PATH_SIZE ? n : START_PATH_SIZE - 1] = 0;
  ModulePath = path;
}

BOOL CUninstallApp::LoadUninstallTable() {
  return LoadUninstallTableFrom(ModulePath, TempFilePath(TEMP_FILE_NAME), *this);
}

BOOL CUninstallApp::InitInstance() {
  AfxEnableControlContainer();
  Enable3dControls();
  // The picture loader and the shell's file dialog want OLE.
  AfxOleInit();
  if (!LoadUninstallTable()) {
    AfxMessageBox(TABLE_FAILED_TEXT, MB_OK);
    m_nExitCode = EXIT_DAMAGED_PACKAGE;
    return FALSE;
  }
  char temp[START_PATH_SIZE] = {0};
  DWORD n = GetTempPathA(START_PATH_SIZE - 1, temp);
  if (n >= START_PATH_SIZE - 1) temp[0] = 0;  // did not fit: no temporary folder

  if (!IsTemporaryCopy(ModulePath)) {
    m_nExitCode = RelaunchFromTemporaryFolder(temp) ? EXIT_DONE : EXIT_COPY_FAILED;
    return FALSE;
  }
  if (!LocateSetupLog()) {
    m_nExitCode = EXIT_CANCELLED;
    return FALSE;
  }
  CUninstallDlg dlg(*this, ModulePath);
  m_pMainWnd = &dlg;
  dlg.DoModal();
  m_pMainWnd = 0;
  m_nExitCode = dlg.ExitCode();
  return FALSE;
}

BOOL CUninstallApp::RelaunchFromTemporaryFolder(const char* tempFolder) {
  // Without a temporary folder the copy would land in the current folder.
  if (!tempFolder[0]) return FALSE;
  CTemporaryCopy copy;
  if (!copy.Make(ModulePath, tempFolder)) return FALSE;
  SetupLogPath = SetupLogBeside(ModulePath);
  // Scheduled first: the copy goes at the next restart however its run ends.
  copy.ScheduleRemoval();
  return copy.Start(SetupLogPath);
}

BOOL CUninstallApp::LocateSetupLog() {
  CommandLine = StripQuotes(CommandLineParameters(GetCommandLineA()));
  SetupLogPath = CommandLine;
  if (SetupLogPath.IsEmpty() || GetAttributes(SetupLogPath) == INVALID_FILE_ATTRIBUTES) {
    char file[MAX_PATH + 1];
    strcpy(file, SETUP_LOG_NAME);
    CString folder = FolderOf(SetupLogPath);  // lives as long as the dialog runs
    OPENFILENAMEA ofn;
    memset(&ofn, 0, sizeof ofn);
    ofn.lStructSize = sizeof ofn;
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file;
    ofn.lpstrInitialDir = folder.IsEmpty() ? 0 : folder.c_str();
    ofn.lpstrDefExt = SETUP_LOG_NAME;
    ofn.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_EXPLORER;
    if (!GetOpenFileNameA(&ofn)) return FALSE;
    SetupLogPath = file;
    if (!IsSetupLogName(SetupLogPath)) return FALSE;
  }
  // The installation folder is taken from this path: make it absolute, so a
  // relative parameter can never name the current drive's root.
  char full[MAX_PATH + 1];
  DWORD n = GetFullPathNameA(SetupLogPath, sizeof full, full, 0);
  if (n > 0 && n < sizeof full) SetupLogPath = full;
  return TRUE;
}
