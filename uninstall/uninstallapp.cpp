#include "uninstallapp.h"

#include <commdlg.h>
#include <shellapi.h>
#include <string.h>

#include "common/exitcodes.h"
#include "common/setuplog.h"
#include "common/shellhelpers.h"
#include "framework/fsys.h"
#include "framework/msgbox.h"
#include "framework/widetext.h"
#include "tempcopy.h"
#include "uninstalldlg.h"

// Paths of the start-up are held in buffers of this many bytes.
#define START_PATH_SIZE 256

CUninstallApp::CUninstallApp() : CWinApp(0) {
  ModulePath = ModulePathMb(0, START_PATH_SIZE - 1);
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
  // Empty when it does not fit: no temporary folder.
  CString temp = TempFolderMb(START_PATH_SIZE - 2);

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
  CommandLine = StripQuotes(CommandLineParameters(NarrowText(GetCommandLineW())));
  SetupLogPath = CommandLine;
  if (SetupLogPath.IsEmpty() || GetAttributes(SetupLogPath) == INVALID_FILE_ATTRIBUTES) {
    WCHAR file[MAX_PATH + 1];
    lstrcpyW(file, L"" SETUP_LOG_NAME);
    CString folder = FolderOf(SetupLogPath);
    CWideText wideFolder(folder.IsEmpty() ? 0 : folder.c_str());  // lives as long as the dialog runs
    OPENFILENAMEW ofn;
    memset(&ofn, 0, sizeof ofn);
    ofn.lStructSize = sizeof ofn;
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file / sizeof file[0];
    ofn.lpstrInitialDir = wideFolder;
    ofn.lpstrDefExt = L"" SETUP_LOG_NAME;
    ofn.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_EXPLORER;
    if (!GetOpenFileNameW(&ofn)) return FALSE;
    // A log in a folder without a code page 936 form is taken by its short
    // path, which names the same file.
    if (!NarrowPath(file, SetupLogPath)) return FALSE;
    if (!IsSetupLogName(SetupLogPath)) return FALSE;
  }
  // The installation folder is taken from this path: make it absolute, so a
  // relative parameter can never name the current drive's root.
  WCHAR full[MAX_PATH + 1];
  DWORD n = GetFullPathNameW(CWideText(SetupLogPath), MAX_PATH + 1, full, 0);
  BOOL lost = FALSE;
  CString fullPath = n > 0 && n <= MAX_PATH ? NarrowText(full, static_cast<int>(n), &lost) : CString();
  if (!fullPath.IsEmpty() && !lost) SetupLogPath = fullPath;
  return TRUE;
}
