#include "step3.h"

#include "common/productentry.h"
#include "common/setuplog.h"
#include "folderbrowser.h"
#include "framework/fsys.h"
#include "framework/widetext.h"
#include "setupapp.h"
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

CStep3::CStep3() : CStepPage(IDD_STEP3), m_downgradeAccepted(false) {
  m_folder = DefaultInstallFolder(WindowsFolderMb(254), App().Package.ProductName);
  // Where the product is installed already, there again; a folder given
  // with /D= is the page's proposal all the same.
  if (App().Previous.Found) m_folder = App().Previous.Folder;
  if (!App().Switches.Folder.IsEmpty()) m_folder = App().Switches.Folder;
}

void CStep3::DoDataExchange(CDataExchange* pDX) {
  ExchangeLines(pDX, IDC_FOLDER_LINE1, m_line, kFolderLines);
  DDX_Text(pDX, IDC_FOLDER, m_folder);
  DDV_MaxChars(pDX, m_folder, kFolderMax);
}

BOOL CStep3::OnInitDialog() {
  CStepPage::OnInitDialog();
  ShowLines(2, m_line, kFolderLines);
  return TRUE;
}

BOOL CStep3::OnSetActive() {
  SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
  SetNextCaption(Text(kTextInstall));
  return CStepPage::OnSetActive();
}

BOOL CStep3::OnCommand(UINT id, UINT notifyCode) {
  if (id == IDC_BROWSE && notifyCode == BN_CLICKED) {
    OnBrowse();
    return TRUE;
  }
  return CStepPage::OnCommand(id, notifyCode);
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
  // The backslash goes into the member only; the edit never shows it, and the
  // next attempt reads the edit afresh.
  m_folder = WithBackslash(m_folder);
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

BOOL CStep3::OnQueryCancel() { return ConfirmQuit(Text(kTextQuitStarting)); }
