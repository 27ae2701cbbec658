#include "uninstalldlg.h"

#include <commctrl.h>

#include "common/container.h"
#include "common/exitcodes.h"
#include "common/shellhelpers.h"
#include "framework/app.h"
#include "framework/dpi.h"
#include "framework/memory.h"
#include "framework/msgbox.h"
#include "resource.h"
#include "uninstall/core/texts.h"

namespace {

// The list of files left, in client pixels at 96 DPI (scaled to the system's
// DPI where used), and the headline's place above it.
const RECT kListRect = {125, 35, 410, 220};
const int kHeadlineLeft = 125, kHeadlineTop = 10, kHeadlineWidth = 200, kHeadlineHeight = 25;
// The picture beside the texts.
const int kPictureLeft = 10, kPictureTop = 10, kPictureWidth = 110, kPictureHeight = 240;
const COLORREF kListText = RGB(0, 0, 160);
const COLORREF kListBack = RGB(214, 211, 206);
// Button 1 moves this far right in state Finished, where button 2 is hidden.
const int kButtonShift = 60;

// The texts of the template's controls in state Ready (the template holds none).
const ControlText kReadyTexts[] = {
    {IDD_UNINSTALL, IDOK, kTextUninstallButton},
    {IDD_UNINSTALL, IDCANCEL, kTextCancelButton},
    {IDD_UNINSTALL, IDC_STATUS, kTextReadyStatus},
};

// The slots of what is handed over for the dialog.
enum { kSlotStatus, kSlotProgress };
// What the relay sends.
enum Report { kReportHeadline, kReportMessage, kReportFileLeft };

// The dialog as the run's thread sees it: a report is sent to the dialog's
// window and done on its thread (directly when sent from there), or, for the
// status line and the bar, handed over for the dialog to show.
class CRemovalRelay : public IRemovalProgress {
 public:
  explicit CRemovalRelay(CWindowRun& run) : m_run(run) {}
  void SetHeadline(const char* text) { m_run.Send(kReportHeadline, reinterpret_cast<LPARAM>(text)); }
  void SetStatus(const char* text) { m_run.NoteText(kSlotStatus, text); }
  void SetProgress(int pos) { m_run.NoteNumber(kSlotProgress, pos); }
  void ShowMessage(const char* text) { m_run.Send(kReportMessage, reinterpret_cast<LPARAM>(text)); }
  void FileLeft(const char* path) { m_run.Send(kReportFileLeft, reinterpret_cast<LPARAM>(path)); }

 private:
  CWindowRun& m_run;
};

}  // namespace

struct CUninstallDlg::CRun {
  CRun(UninstallSettings& settings, CWindowRun& runner, CRemovalServices& services)
      : Relay(runner), Engine(settings, Relay, services) {}
  CRemovalRelay Relay;
  CRemovalEngine Engine;
};

CUninstallDlg::CUninstallDlg(UninstallSettings& settings, const char* modulePath, HWND parent)
    : CDialog(IDD_UNINSTALL, parent),
      m_settings(settings),
      m_state(kReady),
      m_icon(0),
      m_ownIcon(FALSE),
      m_refused(FALSE),
      m_listBrush(0),
      m_deleteAll(FALSE),
      m_restart(false),
      m_runner(*this),
      m_run(new CRun(settings, m_runner, m_services)) {
  if (settings.PictureLength > 0) {
    long n = settings.PictureLength;
    char* bytes = ReadRegion(modulePath, n, settings.PictureOffset);
    if (bytes) {
      m_picture.LoadFromMemory(bytes, static_cast<int>(n));
      FreeBuffer(bytes);
    }
  }
  if (settings.IconLength > 0) {
    long n = settings.IconLength;
    char* bytes = ReadRegion(modulePath, n, settings.IconOffset);
    if (bytes) {
      m_icon = LoadIconFromBytes(bytes, static_cast<int>(n));
      m_ownIcon = m_icon != 0;
      FreeBuffer(bytes);
    }
  } else {
    m_icon = LoadIconW(AfxGetInstanceHandle(), MAKEINTRESOURCEW(IDI_RIDKIT));
  }
}

CUninstallDlg::~CUninstallDlg() {
  // The dialog cannot close while the run goes: m_runner has nothing to wait for.
  delete m_run;
  if (m_ownIcon) DestroyIcon(m_icon);
  if (m_listBrush) DeleteObject(m_listBrush);
}

void CUninstallDlg::DoDataExchange(CDataExchange* pDX) {
  DDX_Control(pDX, IDCANCEL, m_button2);
  DDX_Control(pDX, IDC_PROGRESS, m_progress);
  DDX_Control(pDX, IDC_HEADLINE, m_headline);
  DDX_Control(pDX, IDC_STATUS, m_status);
  DDX_Control(pDX, IDC_ANIMATION, m_animation);
  DDX_Text(pDX, IDC_HEADLINE, m_headlineText);
}

BOOL CUninstallDlg::OnInitDialog() {
  ShowControlTexts(m_hWnd, IDD_UNINSTALL, kReadyTexts, sizeof kReadyTexts / sizeof kReadyTexts[0],
                   UninstallLanguages());
  CDialog::OnInitDialog();
  SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
  SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_icon));
  m_progress.SendMessage(PBM_SETRANGE, 0, MAKELPARAM(0, kRemovalProgressMax));
  m_animation.SendMessage(ACM_OPENW, reinterpret_cast<WPARAM>(AfxGetInstanceHandle()),
                         reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(IDR_CLIP)));
  m_animation.ShowWindow(SW_HIDE);
  m_headlineText.Format(Text(kTextPreparing), m_settings.ProductName.c_str());
  SetWindowText(m_settings.ProductName);
  m_list.m_hWnd = CreateWindowExW(0, L"LISTBOX", L"", WS_CHILD | WS_BORDER | WS_VSCROLL, ScaleForDpi(kListRect.left),
                                 ScaleForDpi(kListRect.top), ScaleForDpi(kListRect.right - kListRect.left),
                                 ScaleForDpi(kListRect.bottom - kListRect.top), m_hWnd,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_LEFT_LIST)),
                                 AfxGetInstanceHandle(), 0);
  // The dialog's font, so that paths in Chinese read like the rest.
  m_list.SendMessage(WM_SETFONT, SendMessage(WM_GETFONT), FALSE);
  UpdateData(FALSE);
  return TRUE;
}

void CUninstallDlg::OnOK() {
  if (m_runner.Running()) return;  // button 1 is disabled meanwhile; Enter waits too
  if (m_state == kFinished) {
    EndDialog(IDOK);
  } else if (m_state == kFilesLeft) {
    DeleteAll();
  } else {
    RunRemoval();
  }
}

int CUninstallDlg::ExitCode() const {
  if (m_state == kFinished) return m_restart ? EXIT_RESTART_REQUIRED : EXIT_DONE;
  if (m_state == kFilesLeft) return m_refused ? EXIT_REMOVAL_REFUSED : EXIT_FILES_LEFT;
  return EXIT_CANCELLED;
}

BOOL CUninstallDlg::OnPaint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(m_hWnd, &ps);
  if (IsIconic(m_hWnd)) {
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT r;
    GetClientRect(m_hWnd, &r);
    int x = (r.right - r.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (r.bottom - r.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    if (m_icon) DrawIcon(dc, x, y, m_icon);
  }
  if (m_picture.IsLoaded())
    m_picture.Draw(dc, ScaleForDpi(kPictureLeft), ScaleForDpi(kPictureTop), ScaleForDpi(kPictureWidth),
                  ScaleForDpi(kPictureHeight));
  EndPaint(m_hWnd, &ps);
  return TRUE;
}

HBRUSH CUninstallDlg::OnCtlColor(HDC dc, HWND ctl, UINT ctlType) {
  if (ctlType != CTLCOLOR_LISTBOX || ctl != m_list.m_hWnd || !ctl) return 0;
  if (!m_listBrush) m_listBrush = CreateSolidBrush(kListBack);
  SetTextColor(dc, kListText);
  SetBkColor(dc, kListBack);
  return m_listBrush;
}

void CUninstallDlg::OnCancel() {
  if (!m_runner.Running()) CDialog::OnCancel();
}

BOOL CUninstallDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  if (m_runner.OnMessage(msg, wp, lp, result)) return TRUE;
  if (msg != WM_QUERYDRAGICON) return FALSE;
  *result = reinterpret_cast<LRESULT>(m_icon);
  return TRUE;
}

// ---- the removal run and its ends ----------------------------------------------

void CUninstallDlg::RunRemoval() {
  m_animation.ShowWindow(SW_SHOW);
  m_animation.SendMessage(ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, 0xFFFF));
  m_deleteAll = FALSE;
  StartThread();
}

void CUninstallDlg::DeleteAll() {
  m_deleteAll = TRUE;
  StartThread();
}

void CUninstallDlg::StartThread() {
  ::EnableWindow(GetDlgItem(IDOK), FALSE);
  m_button2.EnableWindow(FALSE);
  m_runner.Start(m_hWnd, RemovalWork, this);
}

int CUninstallDlg::RemovalWork(void* param) {
  CUninstallDlg* dialog = static_cast<CUninstallDlg*>(param);
  return dialog->m_deleteAll ? static_cast<int>(dialog->m_run->Engine.RemoveInstallFolder())
                             : static_cast<int>(dialog->m_run->Engine.RunRemoval());
}

void CUninstallDlg::OnRunDone(int result) {
  if (m_deleteAll) OnDeleteAllDone(static_cast<RemovalResult>(result));
  else OnRemovalDone(static_cast<RemovalOutcome>(result));
}

void CUninstallDlg::OnDeleteAllDone(RemovalResult result) {
  m_button2.EnableWindow(TRUE);
  ::EnableWindow(GetDlgItem(IDOK), TRUE);
  // Refused or failed: the dialog stays as it is, with its list.
  m_refused = result == kFolderRefused;
  if (result == kFolderRemoved) {
    m_state = kFinished;
    EndDialog(IDOK);
  }
}

void CUninstallDlg::OnRemovalDone(RemovalOutcome outcome) {
  m_button2.EnableWindow(TRUE);
  if (outcome == kRemovalFilesLeft) {
    ShowFilesLeft();
  } else if (outcome == kRemovalFinished || outcome == kRemovalAtRestart) {
    m_restart = outcome == kRemovalAtRestart;
    ShowFinished();
  } else if (outcome == kRemovalNoLog) {
    // Ready again: the user may put the log back and press again.
    StopAnimation();
    ::EnableWindow(GetDlgItem(IDOK), TRUE);
  }
  // Stopped: the dialog stays as the run left it; its message said why.
}

void CUninstallDlg::ShowFilesLeft() {
  m_state = kFilesLeft;
  m_animation.SendMessage(ACM_OPENW, 0, 0);  // the clip closed: the control goes blank
  SetDlgItemText(IDOK, Text(kTextDeleteAll));
  m_button2.SetWindowText(Text(kTextExitButton));
  m_list.ShowWindow(SW_SHOW);
  ::EnableWindow(GetDlgItem(IDOK), TRUE);
  ShowStatus("");
  ShowHeadline(Text(kTextFilesLeft));
  MoveWindow(m_headline.m_hWnd, ScaleForDpi(kHeadlineLeft), ScaleForDpi(kHeadlineTop), ScaleForDpi(kHeadlineWidth),
             ScaleForDpi(kHeadlineHeight), TRUE);
  ShowProgress(kRemovalProgressMax);
  StopAnimation();
}

void CUninstallDlg::ShowFinished() {
  m_state = kFinished;
  m_button2.ShowWindow(SW_HIDE);
  HWND button = GetDlgItem(IDOK);
  RECT r;
  GetWindowRect(button, &r);
  MapWindowPoints(0, m_hWnd, reinterpret_cast<POINT*>(&r), 2);
  MoveWindow(button, r.left + ScaleForDpi(kButtonShift), r.top, r.right - r.left, r.bottom - r.top, TRUE);
  StopAnimation();
  ::EnableWindow(button, TRUE);
  SetDlgItemText(IDOK, Text(kTextDone));
  ShowStatus("");
  ShowHeadline(Text(m_restart ? kTextFinishedRestart : kTextFinished));
  ShowProgress(kRemovalProgressMax);
}

void CUninstallDlg::StopAnimation() {
  // The stop itself, then the request for frame 1000 that the clip does not
  // have (the control refuses it and stays stopped).
  m_animation.SendMessage(ACM_STOP);
  m_animation.SendMessage(ACM_PLAY, 0, MAKELPARAM(1000, 1000));
}

void CUninstallDlg::ShowHeadline(const char* text) {
  m_headlineText = text;
  m_headline.SetWindowText(text);
}

void CUninstallDlg::OnRunChanges(int changes, const CString* texts, const int* numbers) {
  if (changes & (1 << kSlotStatus)) ShowStatus(texts[kSlotStatus]);
  if (changes & (1 << kSlotProgress)) ShowProgress(numbers[kSlotProgress]);
}

LRESULT CUninstallDlg::OnRunReport(int what, LPARAM arg) {
  const char* text = reinterpret_cast<const char*>(arg);
  switch (what) {
    case kReportHeadline: ShowHeadline(text); break;
    case kReportMessage: ShowMessageBox(text); break;
    case kReportFileLeft: ListFileLeft(text); break;
  }
  return 0;
}

void CUninstallDlg::ShowStatus(const char* text) { m_status.SetWindowText(text); }
void CUninstallDlg::ShowProgress(int pos) { m_progress.SendMessage(PBM_SETPOS, pos); }
void CUninstallDlg::ShowMessageBox(const char* text) { AfxMessageBox(text, MB_OK); }
void CUninstallDlg::ListFileLeft(const char* path) {
  m_list.SendMessage(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(CWideText(path).Get()));
}
