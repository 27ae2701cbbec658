#include "step4.h"

#include <commctrl.h>

#include "setupapp.h"
#include "setupservices.h"

// Frames far past the clip's end: the animation stops.
const int kAnimationEndFrame = 1000;

CStep4::CStep4()
    : CStepPage(IDD_STEP4), m_copyPending(TRUE), m_cancelled(FALSE), m_shown(FALSE), m_lastShown(0),
      m_barSet(FALSE), m_barTime(0), m_statusSet(FALSE), m_statusTime(0) {}

void CStep4::DoDataExchange(CDataExchange* pDX) {
  DDX_Control(pDX, IDC_COPY_ESTIMATE, m_estimate);
  DDX_Control(pDX, IDC_COPY_PROGRESS, m_progress);
  DDX_Control(pDX, IDC_COPY_STATUS, m_status);
  DDX_Control(pDX, IDC_COPY_ANIMATION, m_animation);
  ExchangeLines(pDX, IDC_COPY_HEADING, &m_heading, 1);
}

BOOL CStep4::OnInitDialog() {
  m_heading = App().PageText[3][0];
  return CStepPage::OnInitDialog();
}

BOOL CStep4::OnSetActive() {
  SetNextCaption(kTextNext);
  SetWizardButtons(0);
  SendDlgItemMessage(IDC_COPY_ANIMATION, ACM_OPENA, reinterpret_cast<WPARAM>(AfxGetResourceHandle()),
                     reinterpret_cast<LPARAM>(MAKEINTRESOURCEA(IDR_COPY_AVI)));
  SendDlgItemMessage(IDC_COPY_ANIMATION, ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, 0xFFFF));
  return CStepPage::OnSetActive();
}

BOOL CStep4::OnQueryCancel() {
  if (App().PackageDamaged) return TRUE;  // the run found damage and said so: the wizard just ends
  if (!ConfirmQuit(kTextQuitRunning)) {
    // A Cancel typed ahead of the run held it back: the page's next paint
    // starts it.
    if (m_copyPending) InvalidateRect(m_hWnd, 0, TRUE);
    return FALSE;
  }
  m_cancelled = TRUE;
  return TRUE;
}

BOOL CStep4::OnPaint() {
  CStepPage::OnPaint();
  // Not while a confirmation is open (its message loop paints the page: the
  // run would ask its questions inside that one), nor once the user quit.
  if (m_copyPending && !App().Confirming && !m_cancelled) {
    m_copyPending = FALSE;
    // The controls get no paint of their own until the run ends: draw them now.
    RedrawWindow(m_hWnd, 0, 0, RDW_UPDATENOW | RDW_ALLCHILDREN);
    RunCopy();
  }
  return TRUE;
}

void CStep4::OnDestroy() { SendDlgItemMessage(IDC_COPY_ANIMATION, ACM_OPENA, 0, 0); }

void CStep4::RunCopy() {
  CSetupApp& app = App();
  SendDlgItemMessage(IDC_COPY_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, PROGRESS_MAX));
  CSetupServices services(app, app.ModulePath);
  CCopyEngine engine(app, *this, services);
  engine.Folders = CurrentFolders(app.InstallDir);
  engine.ModulePath = app.ModulePath;
  engine.Seal = app.Seal;
  engine.IndexSeek = app.IndexSeek;
  if (engine.CopyAll() == COPY_DAMAGED) {
    // Nothing was installed: the wizard ends as cancelled, the setup with
    // the damaged package's exit code.
    app.PackageDamaged = TRUE;
    m_cancelled = TRUE;
    if (m_pSheet) ::PostMessageA(m_pSheet->m_hWnd, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    return;
  }
  // On to the page after this one; a wizard the user ended during the run
  // closes instead.
  if (!m_cancelled && m_pSheet) m_pSheet->SetActivePage(m_pSheet->GetPageIndex(this) + 1);
}

// The run keeps the thread from its message queue, so the page draws its
// changes itself: at most every kShowInterval ms (every change is set at once;
// drawing each of thousands of small files would cost more than copying them),
// and always for the first change and the last position.
const DWORD kShowInterval = 50;

void CStep4::ShowNow(BOOL always) {
  DWORD now = GetTickCount();
  if (!always && m_shown && now - m_lastShown < kShowInterval) return;
  m_shown = TRUE;
  m_lastShown = now;
  RedrawWindow(m_hWnd, 0, 0, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

// The part of the file-by-file status before its path.
static BOOL IsCopyingStatus(const char* text) {
  const char* pattern = kTextCopyingTo;
  for (; *pattern && *pattern != '%'; pattern++, text++)
    if (*pattern != *text) return FALSE;
  return TRUE;
}

void CStep4::SetStatus(const char* text) {
  // The static paints itself on each new text (about a millisecond under
  // Wine): the file-by-file lines of many small files are thinned to one per
  // kShowInterval ms; every other status shows at once.
  DWORD now = GetTickCount();
  if (IsCopyingStatus(text) && m_statusSet && now - m_statusTime < kShowInterval) return;
  m_statusSet = TRUE;
  m_statusTime = now;
  SetDlgItemText(IDC_COPY_STATUS, text);
  ShowNow(FALSE);
}

void CStep4::SetEstimate(const char* text) {
  SetDlgItemText(IDC_COPY_ESTIMATE, text);
  ShowNow(FALSE);
}

void CStep4::SetProgress(int pos) {
  // The bar draws itself on each new position (a few milliseconds under
  // Wine): a run of small files moves it at most every kShowInterval ms, the
  // last position always.
  DWORD now = GetTickCount();
  if (pos < PROGRESS_MAX && pos != 0 && m_barSet && now - m_barTime < kShowInterval) return;
  m_barSet = TRUE;
  m_barTime = now;
  SendDlgItemMessage(IDC_COPY_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(pos), 0);
  ShowNow(pos >= PROGRESS_MAX);
}

BOOL CStep4::AskOverwrite(const char* question) {
  return App().ConfirmCancel(question, kTextOverwrite, kTextKeep) == 0;
}

void CStep4::ShowError(const char* text) {
  MessageBoxA(m_hWnd, text, App().m_strAppName, MB_OK);
}

void CStep4::StopAnimation() {
  SendDlgItemMessage(IDC_COPY_ANIMATION, ACM_PLAY, 0, MAKELPARAM(kAnimationEndFrame, kAnimationEndFrame));
}
