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

namespace {

// The list of files left, in client pixels at 96 DPI (scaled to the system's
// DPI where used), and the headline's place above it.
const RECT kListRect = {125, 35, 410, 220};
const RECT kHeadlineAboveList = {125, 10, 125 + 200, 10 + 25};
// The picture beside the texts.
const int kPictureLeft = 10, kPictureTop = 10, kPictureWidth = 110, kPictureHeight = 240;
const COLORREF kListText = RGB(0, 0, 160);
const COLORREF kListBack = RGB(214, 211, 206);

}  // namespace

CUninstallDlg::CUninstallDlg(UninstallSettings& settings, const char* modulePath, HWND parent)
    : CDialog(IDD_UNINSTALL, parent),
      settings_(settings),
      icon_(0),
      ownIcon_(FALSE),
      closed_(FALSE),
      listShown_(FALSE),
      refused_(FALSE),
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
  headlineText_.Format("正在准备卸载%s...", settings_.ProductName.c_str());
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
  CString text = GetDlgItemText(IDOK);
  if (text == BUTTON_DELETE_ALL) refused_ = !engine_.MayRemoveWhole(engine_.InstallFolder());
  engine_.OnButton1(text);
}

int CUninstallDlg::ExitCode() const {
  if (closed_) return EXIT_DONE;
  if (listShown_) return refused_ ? EXIT_REMOVAL_REFUSED : EXIT_FILES_LEFT;
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
  // Made at the first request and kept for the rest of the run.
  static HBRUSH brush = 0;
  if (!brush) brush = CreateSolidBrush(kListBack);
  SetTextColor(dc, kListText);
  SetBkColor(dc, kListBack);
  return brush;
}

BOOL CUninstallDlg::OnMessage(UINT msg, WPARAM, LPARAM, LRESULT* result) {
  if (msg != WM_QUERYDRAGICON) return FALSE;
  *result = reinterpret_cast<LRESULT>(icon_);
  return TRUE;
}

// ---- the page of the removal run -----------------------------------------------

void CUninstallDlg::SetHeadline(const char* text) {
  headlineText_ = text;
  headline_.SetWindowText(text);
}

void CUninstallDlg::SetStatus(const char* text) { status_.SetWindowText(text); }

void CUninstallDlg::SetProgress(int pos) { progress_.SendMessage(PBM_SETPOS, pos); }

void CUninstallDlg::PlayAnimation() {
  animation_.ShowWindow(SW_SHOW);
  animation_.SendMessage(ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, 0xFFFF));
}

void CUninstallDlg::StopAnimation() {
  // The stop itself, then the request for frame 1000 that the clip does not
  // have (the control refuses it and stays stopped).
  animation_.SendMessage(ACM_STOP);
  animation_.SendMessage(ACM_PLAY, 0, MAKELPARAM(1000, 1000));
}

void CUninstallDlg::CloseAnimation() { animation_.SendMessage(ACM_OPENA, 0, 0); }

void CUninstallDlg::EnableButton1(BOOL enable) { ::EnableWindow(GetDlgItem(IDOK), enable); }

void CUninstallDlg::SetButton1Text(const char* text) { SetDlgItemText(IDOK, text); }

void CUninstallDlg::SetButton2Text(const char* text) { button2_.SetWindowText(text); }

void CUninstallDlg::HideButton2() { button2_.ShowWindow(SW_HIDE); }

void CUninstallDlg::MoveButton1Right(int pixels) {
  HWND button = GetDlgItem(IDOK);
  RECT r;
  GetWindowRect(button, &r);
  POINT corners[2] = {{r.left, r.top}, {r.right, r.bottom}};
  ScreenToClient(m_hWnd, &corners[0]);
  ScreenToClient(m_hWnd, &corners[1]);
  MoveWindow(button, corners[0].x + ScaleForDpi(pixels), corners[0].y, corners[1].x - corners[0].x,
             corners[1].y - corners[0].y, TRUE);
}

void CUninstallDlg::AddListEntry(const char* path) {
  list_.SendMessage(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(path));
}

int CUninstallDlg::ListCount() {
  LRESULT n = list_.SendMessage(LB_GETCOUNT);
  return n > 0 ? static_cast<int>(n) : 0;
}

void CUninstallDlg::ShowList() {
  listShown_ = TRUE;
  list_.ShowWindow(SW_SHOW);
}

void CUninstallDlg::MoveHeadlineAboveList() {
  MoveWindow(headline_.m_hWnd, ScaleForDpi(kHeadlineAboveList.left), ScaleForDpi(kHeadlineAboveList.top),
             ScaleForDpi(kHeadlineAboveList.right - kHeadlineAboveList.left),
             ScaleForDpi(kHeadlineAboveList.bottom - kHeadlineAboveList.top), TRUE);
}

void CUninstallDlg::ShowMessage(const char* text) { AfxMessageBox(text, MB_OK); }

void CUninstallDlg::Close() {
  closed_ = TRUE;
  EndDialog(IDOK);
}
