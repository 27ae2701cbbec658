#include "uninstallapp.h"

#include <commdlg.h>
#include <shellapi.h>
#include <string.h>

#include "common/exitcodes.h"
#include "common/runlog.h"
#include "common/setuplog.h"
#include "common/shellhelpers.h"
#include "framework/fsys.h"
#include "framework/msgbox.h"
#include "framework/widetext.h"
#include "silentremoval.h"
#include "tempcopy.h"
#include "uninstalldlg.h"

// Paths of the start-up are held in buffers of this many bytes.
#define START_PATH_SIZE 256

CUninstallApp::CUninstallApp() : CWinApp(0) {
  ModulePath = ModulePathMb(0, START_PATH_SIZE - 1);
}

BOOL CUninstallApp::LoadUninstallTable() {
  // A start whose temporary folder has no usable path reads no table, as
  // when the table went through a copy there.
  CString indexCopy = TempFilePath(TEMP_FILE_NAME);
  return !indexCopy.IsEmpty() && LoadUninstallTableFrom(ModulePath, indexCopy, *this);
}

BOOL CUninstallApp::InitInstance() {
  AfxEnableControlContainer();
  Enable3dControls();
  // The picture loader and the shell's file dialog want OLE.
  AfxOleInit();
  ParseUninstallSwitches(ParametersOf(NarrowText(GetCommandLineW())), Switches);
  // The removal speaks the language the installation spoke, as the table
  // says; a table that cannot be read names none.
  BOOL loaded = LoadUninstallTable();
  UninstallLanguages().Choose(loaded ? Language.c_str() : 0, GetUserDefaultUILanguage());
  if (!loaded) {
    if (Switches.Silent) LogFailure(Text(kTextTableFailed), EXIT_DAMAGED_PACKAGE);
    else AfxMessageBox(Text(kTextTableFailed), MB_OK);
    m_nExitCode = EXIT_DAMAGED_PACKAGE;
    return FALSE;
  }
  // Empty when it does not fit: no temporary folder.
  CString temp = TempFolderMb(START_PATH_SIZE - 2);

  if (!IsTemporaryCopy(ModulePath)) {
    // A removal for all users needs the administrator's rights, which the
    // copy asks for when this instance has not got them (an uninstaller that
    // serves an installation of either scope does not ask for them itself).
    bool elevate = !UserScope() && !ProcessElevated();
    if (elevate && Switches.Silent) {
      LogFailure(Text(kTextElevationRequired), EXIT_ELEVATION_REQUIRED);
      m_nExitCode = EXIT_ELEVATION_REQUIRED;
      return FALSE;
    }
    DWORD copyExitCode = EXIT_DONE;
    DWORD error = RelaunchFromTemporaryFolder(temp, elevate, copyExitCode);
    if (error == ERROR_CANCELLED && elevate) {
      m_nExitCode = EXIT_CANCELLED;  // the user said no to the rights: nothing removed
    } else if (error != ERROR_SUCCESS) {
      if (Switches.Silent) LogFailure(Text(kTextCopyFailed), EXIT_COPY_FAILED);
      m_nExitCode = EXIT_COPY_FAILED;
    } else {
      m_nExitCode = static_cast<int>(copyExitCode);
    }
    return FALSE;
  }
  if (!LocateSetupLog()) {
    if (Switches.Silent) LogFailure(Text(kTextLogOpenFailed), EXIT_CANCELLED);
    m_nExitCode = EXIT_CANCELLED;
    return FALSE;
  }
  if (Switches.Silent) {
    m_nExitCode = RunSilentRemoval(*this, Switches);
    return FALSE;
  }
  CUninstallDlg dlg(*this, ModulePath);
  m_pMainWnd = &dlg;
  dlg.DoModal();
  m_pMainWnd = 0;
  m_nExitCode = dlg.ExitCode();
  return FALSE;
}

void CUninstallApp::LogFailure(const char* text, int exitCode) {
  CRunLog log;
  log.Open(Switches.LogPath);
  log.Line(Text(kTextSilentMessage), text);
  CString line;
  line.Format(Text(kTextSilentExit), exitCode);
  log.Line(line);
}

DWORD CUninstallApp::RelaunchFromTemporaryFolder(const char* tempFolder, bool elevate, DWORD& copyExitCode) {
  // Without a temporary folder the copy would land in the current folder.
  if (!tempFolder[0]) return ERROR_PATH_NOT_FOUND;
  CTemporaryCopy copy;
  // An instance that starts its copy with the administrator's rights has
  // none of its own to schedule the copy's removal for the restart.
  copy.AtLogon = UserScope() || elevate;
  if (!copy.Make(ModulePath, tempFolder)) return ERROR_WRITE_FAULT;
  SetupLogPath = SetupLogBeside(ModulePath);
  CString parameters = CopyParameters(Switches, SetupLogPath);
  if (!Switches.Silent) {
    // Scheduled first: the copy goes at the next restart however its run ends.
    copy.ScheduleRemoval();
    return copy.Start(parameters, 0, elevate);
  }
  // This instance waits for the copy, so its file would be in use when the
  // copy removes the installation: it steps out of the folder first, into
  // the copy's (a running program may be renamed on its volume). Where that
  // cannot be done the copy reports the file as left.
  CString parked = copy.Folder + "\\" + TEMP_PARKED_NAME;
  CWideText wideModule(ModulePath), wideParked(parked);
  BOOL movedAway = MoveFileExW(wideModule, wideParked, 0);
  if (movedAway) copy.RemoveAtRestart(parked);
  copy.ScheduleRemoval();
  BOOL started = copy.Start(parameters, &copyExitCode) == ERROR_SUCCESS;
  // A run that did not get as far as the uninstaller (not started, no log,
  // damaged data, a stop before the end, which leaves setup.log) gets it
  // back in its place.
  BOOL untouched = !started || copyExitCode == EXIT_CANCELLED || copyExitCode == EXIT_DAMAGED_PACKAGE ||
                   GetAttributes(SetupLogPath) != INVALID_FILE_ATTRIBUTES;
  if (movedAway && untouched) MoveFileExW(wideParked, wideModule, 0);
  return started ? ERROR_SUCCESS : ERROR_GEN_FAILURE;
}

BOOL CUninstallApp::LocateSetupLog() {
  CommandLine = Switches.SetupLog;
  SetupLogPath = CommandLine;
  if (SetupLogPath.IsEmpty() || GetAttributes(SetupLogPath) == INVALID_FILE_ATTRIBUTES) {
    if (Switches.Silent) return FALSE;  // nobody to ask
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
