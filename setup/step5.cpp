#include "step5.h"

#include <shellapi.h>

#include "common/shellhelpers.h"
#include "framework/msgbox.h"
#include "setupapp.h"

// Process-wide once-flags: the folders are captured on the first paint, and
// the uninstaller's shortcut is made with the first program-group shortcut.
static BOOL g_capturePending = TRUE;
static BOOL g_uninstallerLinkPending = TRUE;

CStep5::CStep5()
    : CStepPage(IDD_STEP5), m_desktop(0), m_group(1), m_startMenu(0), m_readme(0), m_run(0) {}

void CStep5::DoDataExchange(CDataExchange* pDX) {
  DDX_Control(pDX, IDC_FINISH_STARTMENU, m_startMenuBox);
  DDX_Control(pDX, IDC_FINISH_GROUP, m_groupBox);
  DDX_Control(pDX, IDC_FINISH_DESKTOP, m_desktopBox);
  DDX_Control(pDX, IDC_FINISH_RUN, m_runBox);
  DDX_Control(pDX, IDC_FINISH_README, m_readmeBox);
  for (int i = 0; i < 3; i++) {
    DDX_Text(pDX, IDC_FINISH_LINE1 + i, m_line[i]);
    DDV_MaxChars(pDX, m_line[i], PAGE_LINE_MAX);
  }
  DDX_Check(pDX, IDC_FINISH_DESKTOP, m_desktop);
  DDX_Check(pDX, IDC_FINISH_GROUP, m_group);
  DDX_Check(pDX, IDC_FINISH_STARTMENU, m_startMenu);
  DDX_Check(pDX, IDC_FINISH_README, m_readme);
  DDX_Check(pDX, IDC_FINISH_RUN, m_run);
}

BOOL CStep5::OnInitDialog() {
  CStepPage::OnInitDialog();
  CSetupApp& app = App();
  for (int i = 0; i < 3; i++) m_line[i] = app.PageText[4][i];
  UpdateData(FALSE);

  // Only the shortcut kinds some file asks for can be chosen; a disabled box
  // keeps its state.
  int bits = 0;
  for (const CFileList::Node* n = app.FileList.head; n; n = n->next) bits |= n->entry.Shortcuts;
  if (!(bits & SHORTCUT_DESKTOP)) m_desktopBox.EnableWindow(FALSE);
  if (!(bits & SHORTCUT_STARTMENU)) m_startMenuBox.EnableWindow(FALSE);
  if (!(bits & SHORTCUT_GROUP)) m_groupBox.EnableWindow(FALSE);
  if (!app.ReadmeFile[0]) m_readmeBox.ShowWindow(SW_HIDE);
  if (!app.RunFile[0]) m_runBox.ShowWindow(SW_HIDE);
  return TRUE;
}

BOOL CStep5::OnSetActive() {
  SetWizardButtons(PSWIZB_FINISH);
  ::ShowWindow(SheetItem(IDCANCEL), SW_HIDE);
  ::ShowWindow(SheetItem(ID_WIZBACK), SW_HIDE);
  return CStepPage::OnSetActive();
}

BOOL CStep5::OnQueryCancel() { return ConfirmQuit(FINISHING_TEXT); }

// A folder the platform reports, or empty when it does not fit the buffer.
static CString PlatformFolder(UINT (WINAPI* get)(LPSTR, UINT)) {
  char dir[256];
  dir[0] = 0;
  UINT n = get(dir, 255);
  return n > 0 && n < 255 ? CString(dir) : CString();
}

void CStep5::Capture() {
  g_capturePending = FALSE;
  CSetupApp& app = App();
  m_windowsDir = PlatformFolder(GetWindowsDirectoryA);
  m_systemDir = PlatformFolder(GetSystemDirectoryA);
  m_installDir = app.InstallDir;
  m_groupName = app.ProductName;
}

BOOL CStep5::OnPaint() {
  CStepPage::OnPaint();
  if (g_capturePending) Capture();
  return TRUE;
}

BOOL CStep5::OnWizardFinish() {
  // A line that is too long stops the transfer with its message; the states
  // then stay as they started.
  UpdateData(TRUE);
  if (g_capturePending) Capture();  // Finish before any paint: the same values

  CFinishRun run(App(), *this, g_uninstallerLinkPending);
  run.WindowsDir = m_windowsDir;
  run.SystemDir = m_systemDir;
  run.InstallDir = m_installDir;
  run.GroupName = m_groupName;
  FinishChoices choices = {m_desktop, m_startMenu, m_group, m_readme, m_run};
  run.Run(choices);
  return CStepPage::OnWizardFinish();
}

CString CStep5::SpecialFolder(int csidl) { return GetSpecialFolderPath(csidl); }

BOOL CStep5::CreateShortcut(const char* target, const char* linkPath) {
  return ::CreateShortcut(target, linkPath);
}

void CStep5::CreateFolder(const char* path) { CreateDirectoryA(path, 0); }

void CStep5::Open(const char* path) { ShellExecuteA(0, 0, path, 0, 0, SW_SHOW); }

void CStep5::ShowError(const char* text) { AfxMessageBox(text, MB_OK); }
