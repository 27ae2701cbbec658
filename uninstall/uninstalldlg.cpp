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
#include "texts.h"

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

}  // namespace

CUninstallDlg::CUninstallDlg(UninstallSettings& settings, const char* modulePath, HWND parent)
    : CDialog(IDD_UNINSTALL, parent),
      settings_(settings),
      state_(STATE_READY),
      icon_(0),
      ownIcon_(FALSE),
      refused_(FALSE),
      listBrush_(0),
      engine_(settings, *this, services_) {
  if (settings.PictureLength > 0) {
    long n = settings.PictureLength;
    char* bytes = ReadRegion(modulePath, n, settings.PictureOffset);
    if (bytes) {
      picture_.LoadFromMemory(bytes, static_cast<int>(n));
      FreeBuffer(bytes);
    }
  }
  if (settings.IconLength > 0) {
    long n = settings.IconLength;
    char* bytes = ReadRegion(modulePath, n, settings.IconOffset);
    if (bytes) {
      icon_ = LoadIconFromBytes(bytes, static_cast<int>(n));
      ownIcon_ = icon_ != 0;
      FreeBuffer(bytes);
    }
  } else {
    icon_ = LoadIconA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(IDI_RIDKIT));
  }
}

CUninstallDlg::~CUninstallDlg() {
  if (ownIcon_) DestroyIcon(icon_);
  if (listBrush_) DeleteObject(listBrush_);
}

void CUninstallDlg::DoDataExchange(CDataExchange* pDX) {
  DDX_Control(pDX, IDCANCEL, button2_);
  DDX_Control(pDX, IDC_PROGRESS, progress_);
  DDX_Control(pDX, IDC_HEADLINE, headline_);
  DDX_Control(pDX, IDC_STATUS, status_);
  DDX_Control(pDX, IDC_ANIMATION, animation_);
  DDX_Text(pDX, IDC_HEADLINE, headlineText_);
}

BOOL CUninstallDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
  progress_.SendMessage(PBM_SETRANGE, 0, MAKELPARAM(0, REMOVAL_PROGRESS_MAX));
  animation_.SendMessage(ACM_OPENA, reinterpret_cast<WPARAM>(AfxGetInstanceHandle()),
                         reinterpret_cast<LPARAM>(MAKEINTRESOURCEA(IDR_CLIP)));
  animation_.ShowWindow(SW_HIDE);
  headlineText_.Format(TEXT_PREPARING_FORMAT, settings_.ProductName.c_str());
  SetWindowText(settings_.ProductName);
  list_.m_hWnd = CreateWindowExA(0, "LISTBOX", "", WS_CHILD | WS_BORDER | WS_VSCROLL, ScaleForDpi(kListRect.left),
                                 ScaleForDpi(kListRect.top), ScaleForDpi(kListRect.right - kListRect.left),
                                 ScaleForDpi(kListRect.bottom - kListRect.top), m_hWnd,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_LEFT_LIST)),
                                 AfxGetInstanceHandle(), 0);
  // The dialog's font, so that paths in Chinese read like the rest.
  list_.SendMessage(WM_SETFONT, SendMessage(WM_GETFONT), FALSE);
  UpdateData(FALSE);
  return TRUE;
}

void CUninstallDlg::OnOK() {
  if (state_ == STATE_FINISHED) {
    EndDialog(IDOK);
  } else if (state_ == STATE_FILES_LEFT) {
    // Refused or failed: the dialog stays as it is, with its list.
    RemovalResult result = engine_.RemoveInstallFolder();
    refused_ = result == FOLDER_REFUSED;
    if (result == FOLDER_REMOVED) {
      state_ = STATE_FINISHED;
      EndDialog(IDOK);
    }
  } else {
    RunRemoval();
  }
}

int CUninstallDlg::ExitCode() const {
  if (state_ == STATE_FINISHED) return EXIT_DONE;
  if (state_ == STATE_FILES_LEFT) return refused_ ? EXIT_REMOVAL_REFUSED : EXIT_FILES_LEFT;
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
    if (icon_) DrawIcon(dc, x, y, icon_);
  }
  if (picture_.IsLoaded())
    picture_.Draw(dc, ScaleForDpi(kPictureLeft), ScaleForDpi(kPictureTop), ScaleForDpi(kPictureWidth),
                  ScaleForDpi(kPictureHeight));
  EndPaint(m_hWnd, &ps);
  return TRUE;
}

HBRUSH CUninstallDlg::OnCtlColor(HDC dc, HWND ctl, UINT ctlType) {
  if (ctlType != CTLCOLOR_LISTBOX || ctl != list_.m_hWnd || !ctl) return 0;
  if (!listBrush_) listBrush_ = CreateSolidBrush(kListBack);
  SetTextColor(dc, kListText);
  SetBkColor(dc, kListBack);
  return listBrush_;
}

BOOL CUninstallDlg::OnMessage(UINT msg, WPARAM, LPARAM, LRESULT* result) {
  if (msg != WM_QUERYDRAGICON) return FALSE;
  *result = reinterpret_cast<LRESULT>(icon_);
  return TRUE;
}

// ---- the removal run and its ends ----------------------------------------------

void CUninstallDlg::RunRemoval() {
  animation_.ShowWindow(SW_SHOW);
  animation_.SendMessage(ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, 0xFFFF));
  ::EnableWindow(GetDlgItem(IDOK), FALSE);
  RemovalOutcome outcome = engine_.RunRemoval();
  if (outcome == REMOVAL_FILES_LEFT) {
    ShowFilesLeft();
  } else if (outcome == REMOVAL_FINISHED) {
    ShowFinished();
  } else if (outcome == REMOVAL_NO_LOG) {
    // Ready again: the user may put the log back and press again.
    StopAnimation();
    ::EnableWindow(GetDlgItem(IDOK), TRUE);
  }
  // Stopped: the dialog stays as the run left it; its message said why.
}

void CUninstallDlg::ShowFilesLeft() {
  state_ = STATE_FILES_LEFT;
  animation_.SendMessage(ACM_OPENA, 0, 0);  // the clip closed: the control goes blank
  SetDlgItemText(IDOK, BUTTON_DELETE_ALL);
  button2_.SetWindowText(BUTTON_EXIT);
  list_.ShowWindow(SW_SHOW);
  ::EnableWindow(GetDlgItem(IDOK), TRUE);
  SetStatus("");
  SetHeadline(TEXT_FILES_LEFT);
  MoveWindow(headline_.m_hWnd, ScaleForDpi(kHeadlineLeft), ScaleForDpi(kHeadlineTop), ScaleForDpi(kHeadlineWidth),
             ScaleForDpi(kHeadlineHeight), TRUE);
  SetProgress(REMOVAL_PROGRESS_MAX);
  StopAnimation();
}

void CUninstallDlg::ShowFinished() {
  state_ = STATE_FINISHED;
  button2_.ShowWindow(SW_HIDE);
  HWND button = GetDlgItem(IDOK);
  RECT r;
  GetWindowRect(button, &r);
  MapWindowPoints(0, m_hWnd, reinterpret_cast<POINT*>(&r), 2);
  MoveWindow(button, r.left + ScaleForDpi(kButtonShift), r.top, r.right - r.left, r.bottom - r.top, TRUE);
  StopAnimation();
  ::EnableWindow(button, TRUE);
  SetDlgItemText(IDOK, BUTTON_DONE);
  SetStatus("");
  SetHeadline(TEXT_FINISHED);
  SetProgress(REMOVAL_PROGRESS_MAX);
}

void CUninstallDlg::StopAnimation() {
  // The stop itself, then the request for frame 1000 that the clip does not
  // have (the control refuses it and stays stopped).
  animation_.SendMessage(ACM_STOP);
  animation_.SendMessage(ACM_PLAY, 0, MAKELPARAM(1000, 1000));
}

void CUninstallDlg::SetHeadline(const char* text) {
  headlineText_ = text;
  headline_.SetWindowText(text);
}

void CUninstallDlg::SetStatus(const char* text) { status_.SetWindowText(text); }
void CUninstallDlg::SetProgress(int pos) { progress_.SendMessage(PBM_SETPOS, pos); }
void CUninstallDlg::ShowMessage(const char* text) { AfxMessageBox(text, MB_OK); }
void CUninstallDlg::FileLeft(const char* path) { list_.SendMessage(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(path)); }
