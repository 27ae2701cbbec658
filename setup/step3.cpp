#include "step3.h"

#include "common/productentry.h"
#include "common/setuplog.h"
#include "common/shellhelpers.h"
#include "folderbrowser.h"
#include "framework/fsys.h"
#include "framework/widetext.h"
#include "setupapp.h"
#include "setupservices.h"
#include "setup/core/texts.h"

static int DriveType(const char* drive) { return static_cast<int>(GetDriveTypeW(CWideText(drive))); }
static bool Exists(const char* path) { return GetAttributes(path) != INVALID_FILE_ATTRIBUTES; }

// The folder is written into setup.log in code page 936: a name with
// characters outside it cannot be written so that the uninstaller finds it.
static void RefuseFolderWithoutGbkForm() { MessageBoxMb(0, Text(kTextFolderNotGbk), "", MB_OK); }

BOOL ValidateFolder(const char* path, const char* caption) {
  const char* refusal = FolderRefusal(path, DriveType, Exists);
  if (!refusal) return TRUE;
  MessageBoxMb(0, refusal, caption, MB_OK);
  return FALSE;
}

CStep3::CStep3() : CStepPage(IDD_STEP3), m_downgradeAccepted(false), m_captionShown(false) {
  m_folder = Proposal();
  // A folder given with /D= is the page's proposal all the same.
  if (!App().Switches.Folder.IsEmpty()) m_folder = App().Switches.Folder;
}

CString CStep3::Proposal() const {
  // Where the product is installed already (in the scope chosen), there again.
  if (App().Previous.Found) return App().Previous.Folder;
  return ProposedInstallFolder(App().Package);
}

void CStep3::DoDataExchange(CDataExchange* pDX) {
  ExchangeLines(pDX, IDC_FOLDER_LINE1, m_line, kFolderLines);
  DDX_Text(pDX, IDC_FOLDER, m_folder);
  DDV_MaxChars(pDX, m_folder, kFolderMax);
}

BOOL CStep3::OnInitDialog() {
  CStepPage::OnInitDialog();
  ShowLines(2, m_line, kFolderLines);
  // The choice for whom, only where the package lets the user choose.
  bool user = App().Package.UserScope();
  const int choices[] = {IDC_SCOPE_MACHINE, IDC_SCOPE_USER};
  for (int id : choices) {
    ::ShowWindow(GetDlgItem(id), App().AskScope ? SW_SHOW : SW_HIDE);
    SendDlgItemMessage(id, BM_SETCHECK, (id == IDC_SCOPE_USER) == user ? BST_CHECKED : BST_UNCHECKED, 0);
    // Started again for all users, the choice is made: with an
    // administrator's account "just for me" would be that account's.
    if (App().Switches.Resume) ::EnableWindow(GetDlgItem(id), FALSE);
  }
  return TRUE;
}

BOOL CStep3::OnSetActive() {
  // The first page of a setup started again by this page.
  if (App().Switches.Resume && !m_captionShown) ShowSheetCaption();
  m_captionShown = true;
  SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
  SetNextCaption(Text(kTextInstall));
  return CStepPage::OnSetActive();
}

BOOL CStep3::OnCommand(UINT id, UINT notifyCode) {
  if (id == IDC_BROWSE && notifyCode == BN_CLICKED) {
    OnBrowse();
    return TRUE;
  }
  if ((id == IDC_SCOPE_MACHINE || id == IDC_SCOPE_USER) && notifyCode == BN_CLICKED && App().AskScope) {
    OnScope(id == IDC_SCOPE_USER);
    return TRUE;
  }
  return CStepPage::OnCommand(id, notifyCode);
}

void CStep3::OnScope(bool user) {
  if (user == App().Package.UserScope()) return;
  UpdateData(TRUE);  // a failed reading leaves the last folder read
  // The proposal follows the choice; a folder the user typed stays.
  bool proposed = m_folder == Proposal();
  App().ChooseScope(user);
  if (!proposed) return;
  m_folder = Proposal();
  UpdateData(FALSE);
}

LRESULT CStep3::StartElevated() {
  // The same setup file, at this page, for all users, with the folder the
  // user typed (else the proposal there is the same as here).
  CString parameters = ALL_USERS_SWITCH " " RESUME_SWITCH;
  if (m_folder != Proposal()) {
    parameters += " /D=";
    parameters += m_folder;
  }
  HANDLE process = 0;
  DWORD error = StartProgram(App().ModulePath, parameters, 0, true, process);
  // The user said no to the rights: the page stays as it is, to choose again.
  if (error == ERROR_CANCELLED) return -1;
  if (error != ERROR_SUCCESS) {
    MessageBoxMb(GetSheetWindow(), Text(kTextElevationFailed), App().Package.ProductName, MB_OK | MB_ICONERROR);
    return -1;
  }
  App().HandedOver = process;
  ::PostMessageW(GetSheetWindow(), PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
  return -1;
}

void CStep3::OnBrowse() {
  UpdateData(TRUE);  // a failed reading leaves the last folder read
  CFolderBrowser browser;
  browser.SetCaption(App().Package.ProductName);
  browser.SetTitle(Text(kTextBrowseTitle));
  browser.SetInitialFolder(m_folder);
  if (browser.Browse(m_hWnd)) {
    if (browser.FolderLost()) {
      RefuseFolderWithoutGbkForm();
      return;
    }
    m_folder = browser.GetFolder();
    UpdateData(FALSE);
  }
}

LRESULT CStep3::OnWizardNext() {
  UpdateData(TRUE);
  BOOL lost = FALSE;
  WindowTextMb(GetDlgItem(IDC_FOLDER), &lost);
  if (lost) {
    RefuseFolderWithoutGbkForm();
    return -1;
  }
  // For all users without the administrator's rights: the setup starts
  // again with them and goes on there (once: an instance started so never
  // starts another).
  if (App().AskScope && !App().Package.UserScope() && !App().Switches.Resume && !ProcessElevated())
    return StartElevated();
  // The backslash goes into the member only; the edit never shows it, and the
  // next attempt reads the edit afresh.
  m_folder = WithBackslash(m_folder);
  PrepareUserProgramsFolder(App().Package, m_folder);
  if (!ValidateFolder(ParentFolder(m_folder), "")) return -1;
  if (!DowngradeAccepted()) return -1;
  App().MadeInstallDir = GetAttributes(m_folder) == INVALID_FILE_ATTRIBUTES && CreateFolder(m_folder);
  App().InstallDir = m_folder;
  // Into the folder of the product's installation: an upgrade (or a repair)
  // in place.
  const PreviousInstallation& previous = App().Previous;
  App().PreviousLog = previous.Found && SameFolder(m_folder, previous.Folder) ? SetupLogPathIn(m_folder) : CString();
  return CStepPage::OnWizardNext();
}

bool CStep3::DowngradeAccepted() {
  const PreviousInstallation& previous = App().Previous;
  const CPackage& package = App().Package;
  if (m_downgradeAccepted || !previous.Found || !IsDowngrade(package.ProductVersion, previous.Version)) return true;
  CString question;
  question.Format(Text(kTextDowngradeQuestion), previous.Version.c_str(), package.ProductVersion.c_str());
  m_downgradeAccepted = MessageBoxMb(GetSheetWindow(), question, package.ProductName, MB_YESNO | MB_ICONQUESTION) == IDYES;
  return m_downgradeAccepted;
}

BOOL CStep3::OnQueryCancel() {
  // Handed over to the setup started with the administrator's rights.
  if (App().HandedOver) return CStepPage::OnQueryCancel();
  return ConfirmQuit(Text(kTextQuitStarting));
}
