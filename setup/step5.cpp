#include "step5.h"

#include "setupapp.h"
#include "setupservices.h"

CStep5::CStep5()
    : CStepPage(IDD_STEP5), m_desktop(0), m_group(1), m_startMenu(0), m_readme(0), m_run(0),
      m_capturePending(TRUE), m_uninstallerLinkPending(true) {}

void CStep5::DoDataExchange(CDataExchange* pDX) {
  DDX_Control(pDX, IDC_FINISH_STARTMENU, m_startMenuBox);
  DDX_Control(pDX, IDC_FINISH_GROUP, m_groupBox);
  DDX_Control(pDX, IDC_FINISH_DESKTOP, m_desktopBox);
  DDX_Control(pDX, IDC_FINISH_RUN, m_runBox);
  DDX_Control(pDX, IDC_FINISH_README, m_readmeBox);
  ExchangeLines(pDX, IDC_FINISH_LINE1, m_line, 3);
  DDX_Check(pDX, IDC_FINISH_DESKTOP, m_desktop);
  DDX_Check(pDX, IDC_FINISH_GROUP, m_group);
  DDX_Check(pDX, IDC_FINISH_STARTMENU, m_startMenu);
  DDX_Check(pDX, IDC_FINISH_README, m_readme);
  DDX_Check(pDX, IDC_FINISH_RUN, m_run);
}

BOOL CStep5::OnInitDialog() {
  CStepPage::OnInitDialog();
  CSetupApp& app = App();
  ShowLines(4, m_line, 3);

  // Only the shortcut kinds some file asks for can be chosen; a disabled box
  // keeps its state.
  int bits = 0;
  for (const CFileList::Node* n = app.Package.FileList.Head; n; n = n->Next) bits |= n->Entry.Shortcuts;
  if (!(bits & SHORTCUT_DESKTOP)) m_desktopBox.EnableWindow(FALSE);
  if (!(bits & SHORTCUT_STARTMENU)) m_startMenuBox.EnableWindow(FALSE);
  if (!(bits & SHORTCUT_GROUP)) m_groupBox.EnableWindow(FALSE);
  if (!app.Package.ReadmeFile[0]) m_readmeBox.ShowWindow(SW_HIDE);
  if (!app.Package.RunFile[0]) m_runBox.ShowWindow(SW_HIDE);
  return TRUE;
}

void CStep5::ShowRestart() {
  // Files in use wait for the next restart: the page says so.
  CCopyEngine* run = App().CopyRun;
  if (!run || !run->RestartNeeded) return;
  SetDlgItemText(IDC_FINISH_RESTART, Text(kTextRestartNeeded));
  ::ShowWindow(GetDlgItem(IDC_FINISH_RESTART), SW_SHOW);
}

BOOL CStep5::OnSetActive() {
  SetWizardButtons(PSWIZB_FINISH);
  ShowRestart();
  ::ShowWindow(SheetItem(IDCANCEL), SW_HIDE);
  ::ShowWindow(SheetItem(ID_WIZBACK), SW_HIDE);
  return CStepPage::OnSetActive();
}

BOOL CStep5::OnQueryCancel() {
  if (!ConfirmQuit(Text(kTextQuitFinishing))) return FALSE;
  // Quitting here leaves the files as they are, without setup.log and
  // shortcuts; over an installation of the product that would leave it half
  // old and half new: the copy run is taken back, and that one comes back.
  CCopyEngine* run = App().CopyRun;
  if (run && !run->PreviousLog.IsEmpty()) {
    run->RollBack();
  } else if (run) {
    CPathList none;
    run->Commit(none, "");
  }
  return TRUE;
}

void CStep5::Capture() {
  m_capturePending = FALSE;
  m_folders = CurrentFolders(App().InstallDir);
  m_groupName = App().Package.ProductName;
}

BOOL CStep5::OnPaint() {
  CStepPage::OnPaint();
  if (m_capturePending) Capture();
  return TRUE;
}

BOOL CStep5::OnWizardFinish() {
  // A line that is too long stops the transfer with its message; the states
  // then stay as they started.
  UpdateData(TRUE);
  if (m_capturePending) Capture();  // Finish before any paint: the same values

  CSetupServices services(App().Package);
  CFinishRun run(App().Package, services, m_uninstallerLinkPending);
  run.Folders = m_folders;
  run.GroupName = m_groupName;
  CCopyEngine* copyRun = App().CopyRun;
  CPathList logFolders;
  if (copyRun) copyRun->FoldersToLog(logFolders);
  run.LogFolders = &logFolders;
  run.Types = copyRun ? &copyRun->Types : 0;
  FinishChoices choices = {m_desktop, m_startMenu, m_group, m_readme, m_run};
  bool ran = run.Run(choices);
  if (copyRun && !run.LogWritten && !copyRun->PreviousLog.IsEmpty()) {
    // Without its log the new version could not be removed: the one before
    // comes back.
    copyRun->RollBack();
    services.ShowError(Text(kTextPreviousRestored));
    return CStepPage::OnWizardFinish();
  }
  if (copyRun) copyRun->Commit(run.Links, run.ProgramsFolder());
  if (copyRun && copyRun->NotScheduled.Count() > 0) {
    // The page said a restart completes it: not for these.
    CString lines("\r\n"), text;
    lines += copyRun->NotScheduled.Lines(10);
    text.Format(Text(kTextRunNotScheduled), lines.c_str());
    services.ShowError(text);
  }
  if (ran) {
    CString key;
    // An entry that could not be written is said, like any other failure.
    if (!RegisterProductEntry(App().Package, m_folders, key)) services.ShowError(Text(kTextEntryFailed));
  }
  return CStepPage::OnWizardFinish();
}
