#include "step4.h"

#include <commctrl.h>
#include <objbase.h>

#include "setupapp.h"

namespace {

// Frames far past the clip's end: the animation stops.
const int kAnimationEndFrame = 1000;

// Sent by the run's thread: a report (wParam: what, lParam: its text); posted
// by it: changes to show, and once, as its last act, the end of the run.
const UINT kMsgCopyReport = WM_APP + 1;
const UINT kMsgCopyDone = WM_APP + 2;
const UINT kMsgCopyShow = WM_APP + 3;
// The run's changes are shown at most every CHandOver::kShowInterval ms (every
// change is kept), and always before a question and at the end.
const UINT_PTR kShowTimer = 1;
// A question or message that has to wait: another question is open on the
// page's thread (only one at a time). The run asks again once it may go on.
const LRESULT kBusy = -1;

}  // namespace

// ---- the run's side -------------------------------------------------------------

LRESULT CCopyRelay::Send(int what, LPARAM arg) {
  return ::SendMessageA(m_page.m_hWnd, kMsgCopyReport, static_cast<WPARAM>(what), arg);
}

void CCopyRelay::Tell() { ::PostMessageA(m_page.m_hWnd, kMsgCopyShow, 0, 0); }

void CCopyRelay::SetStatus(const char* text) {
  if (Noted.NoteText(kSlotStatus, text)) Tell();
}

void CCopyRelay::SetEstimate(const char* text) {
  if (Noted.NoteText(kSlotEstimate, text)) Tell();
}

void CCopyRelay::SetProgress(int pos) {
  if (Noted.NoteNumber(kSlotProgress, pos)) Tell();
}

BOOL CCopyRelay::AskOverwrite(const char* question) {
  for (;;) {
    // A user who quit meanwhile is not asked: the file stays as it is.
    if (StopRequested()) return FALSE;
    LRESULT answer = Send(CStep4::kReportAsk, reinterpret_cast<LPARAM>(question));
    if (answer != kBusy) return answer == 1;
  }
}

void CCopyRelay::ShowError(const char* text) {
  while (!StopRequested() && Send(CStep4::kReportError, reinterpret_cast<LPARAM>(text)) == kBusy) {
  }
}

void CCopyRelay::StopAnimation() { Send(CStep4::kReportStopAnimation, 0); }

BOOL CCopyRelay::StopRequested() {
  WaitForSingleObject(m_page.m_goOn, INFINITE);
  return InterlockedCompareExchange(&m_page.m_quit, 0, 0) != 0;
}

DWORD WINAPI CStep4::CopyThread(void* param) {
  CStep4* page = static_cast<CStep4*>(param);
  // Controls register themselves on this thread: it gets COM as the page's
  // thread has it.
  HRESULT com = CoInitialize(0);
  page->m_run->Result = page->m_run->Engine.CopyAll();
  // Stopped, or the user quit while the last steps went on: what the run
  // created goes, here, before the wizard closes.
  if (page->m_relay.StopRequested()) page->m_run->Engine.RollBack();
  if (SUCCEEDED(com)) CoUninitialize();
  ::PostMessageA(page->m_hWnd, kMsgCopyDone, 0, 0);
  return 0;
}

// ---- the page -------------------------------------------------------------------

CStep4::CRun::CRun(CSetupApp& app, ICopyPage& page)
    : Services(app.Package), Engine(app.Package, page, Services), Result(0) {}

CStep4::CStep4()
    : CStepPage(IDD_STEP4),
      m_run(0),
      m_relay(*this),
      m_thread(0),
      m_goOn(0),
      m_quit(0),
      m_copyPending(TRUE),
      m_running(FALSE),
      m_asking(FALSE),
      m_runEnded(FALSE),
      m_cancelled(FALSE),
      m_closing(FALSE) {}

CStep4::~CStep4() {
  WaitForRun();
  delete m_run;
  if (m_goOn) CloseHandle(m_goOn);
}

void CStep4::DoDataExchange(CDataExchange* pDX) {
  DDX_Control(pDX, IDC_COPY_ESTIMATE, m_estimate);
  DDX_Control(pDX, IDC_COPY_PROGRESS, m_progress);
  DDX_Control(pDX, IDC_COPY_STATUS, m_status);
  DDX_Control(pDX, IDC_COPY_ANIMATION, m_animation);
  ExchangeLines(pDX, IDC_COPY_HEADING, &m_heading, 1);
}

BOOL CStep4::OnInitDialog() {
  m_heading = App().Package.PageText[3][0];
  return CStepPage::OnInitDialog();
}

BOOL CStep4::OnSetActive() {
  SetNextCaption(kTextNext);
  SetWizardButtons(0);
  SendDlgItemMessage(IDC_COPY_ANIMATION, ACM_OPENW, reinterpret_cast<WPARAM>(AfxGetResourceHandle()),
                     reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(IDR_COPY_AVI)));
  SendDlgItemMessage(IDC_COPY_ANIMATION, ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, 0xFFFF));
  return CStepPage::OnSetActive();
}

BOOL CStep4::OnQueryCancel() {
  if (App().PackageDamaged) return TRUE;  // the run found damage and said so: the wizard just ends
  // The run has undone its work after a quit: the wizard closes.
  if (m_cancelled) return TRUE;
  if (m_running) {
    // Asked at once, and once; the run waits before its next file (or
    // question) until the answer is in. The wizard closes once the run has
    // undone what it made (meanwhile Cancel has nothing more to ask).
    if (m_asking || m_quit) return FALSE;
    ResetEvent(m_goOn);
    m_asking = TRUE;
    if (ConfirmQuit(kTextQuitRunning)) InterlockedExchange(&m_quit, 1);
    m_asking = FALSE;
    SetEvent(m_goOn);
    if (m_runEnded) PostMessage(kMsgCopyDone);  // the run ended while the question was open
    return FALSE;
  }
  if (!ConfirmQuit(kTextQuitRunning)) {
    // A Cancel typed ahead of the run held it back: the page's next paint
    // starts it.
    if (m_copyPending) InvalidateRect(m_hWnd, 0, TRUE);
    return FALSE;
  }
  // Before the run nothing was made; after it (the wizard could not move on)
  // what it made goes.
  if (m_run) m_run->Engine.RollBack();
  m_cancelled = TRUE;
  return TRUE;
}

BOOL CStep4::OnPaint() {
  CStepPage::OnPaint();
  // Not while a confirmation is open (a Cancel typed ahead of the run), nor
  // once the user quit.
  if (m_copyPending && !App().Confirming && !m_cancelled) {
    m_copyPending = FALSE;
    StartCopy();
  }
  return TRUE;
}

void CStep4::OnDestroy() {
  WaitForRun();
  SendDlgItemMessage(IDC_COPY_ANIMATION, ACM_OPENW, 0, 0);
}

void CStep4::StartCopy() {
  CSetupApp& app = App();
  SendDlgItemMessage(IDC_COPY_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, PROGRESS_MAX));
  m_run = new CRun(app, m_relay);
  m_run->Engine.Folders = CurrentFolders(app.InstallDir);
  if (app.MadeInstallDir) m_run->Engine.MadeFolder = app.InstallDir;
  m_goOn = CreateEventA(0, TRUE, TRUE, 0);
  m_running = TRUE;
  DWORD id = 0;
  m_thread = m_goOn ? CreateThread(0, 0, CopyThread, this, 0, &id) : 0;
  if (!m_thread) {
    // No thread to be had: the run goes on this one, answering only inside
    // its own questions and messages.
    m_run->Result = m_run->Engine.CopyAll();
    OnCopyDone();
  }
}

void CStep4::WaitForRun() {
  if (!m_thread) return;
  // The window is going away while the run goes on (the wizard never closes
  // so on its own): the run stops after its file and undoes what it made,
  // told nothing more and asking nothing; its messages are taken meanwhile.
  m_closing = TRUE;
  InterlockedExchange(&m_quit, 1);
  if (m_goOn) SetEvent(m_goOn);
  while (MsgWaitForMultipleObjects(1, &m_thread, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
    MSG msg;
    PeekMessageA(&msg, 0, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
  CloseHandle(m_thread);
  m_thread = 0;
}

void CStep4::OnCopyDone() {
  ShowChanges(TRUE);
  if (m_thread) {
    // The thread's last act was to post this: it ends without the page's help.
    WaitForSingleObject(m_thread, INFINITE);
    CloseHandle(m_thread);
    m_thread = 0;
  }
  m_running = FALSE;
  m_runEnded = TRUE;
  if (m_asking || m_cancelled || !m_pSheet) return;  // after the answer, or never
  if (m_run->Result == COPY_DAMAGED) {
    // Nothing was installed and the damage message has been shown: the
    // wizard ends as cancelled, the setup with the damaged package's code.
    App().PackageDamaged = TRUE;
    m_cancelled = TRUE;
    ::PostMessageA(GetSheetWindow(), PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    return;
  }
  if (m_quit) {
    // A quit after the run's last look (or a run on this thread): what it
    // made goes now.
    m_run->Engine.RollBack();
    m_cancelled = TRUE;
    ::PostMessageA(GetSheetWindow(), PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    return;
  }
  m_runEnded = FALSE;  // handled: the page moves on once
  m_pSheet->SetActivePage(m_pSheet->GetPageIndex(this) + 1);
}

BOOL CStep4::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  if (msg == kMsgCopyShow || (msg == WM_TIMER && wp == kShowTimer)) {
    ShowChanges(msg == WM_TIMER);
    *result = 0;
    return TRUE;
  }
  if (msg == kMsgCopyDone) {
    OnCopyDone();
    *result = 0;
    return TRUE;
  }
  if (msg != kMsgCopyReport) return FALSE;
  *result = OnReport(static_cast<int>(wp), lp);
  return TRUE;
}

void CStep4::ShowChanges(BOOL now) {
  CString texts[CHandOver::kSlots];
  int numbers[CHandOver::kSlots];
  int changes = m_relay.Noted.TakePaced(m_hWnd, kShowTimer, now, texts, numbers);
  if (changes & (1 << CCopyRelay::kSlotStatus)) SetDlgItemText(IDC_COPY_STATUS, texts[CCopyRelay::kSlotStatus]);
  if (changes & (1 << CCopyRelay::kSlotEstimate))
    SetDlgItemText(IDC_COPY_ESTIMATE, texts[CCopyRelay::kSlotEstimate]);
  if (changes & (1 << CCopyRelay::kSlotProgress))
    SendDlgItemMessage(IDC_COPY_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(numbers[CCopyRelay::kSlotProgress]), 0);
}

LRESULT CStep4::OnReport(int what, LPARAM arg) {
  const char* text = reinterpret_cast<const char*>(arg);
  // What the run noted before comes first: the status line names the file a
  // question is about.
  ShowChanges(TRUE);
  switch (what) {
    case kReportAsk: {
      if (m_closing) return 0;  // kept
      if (App().Confirming) return kBusy;
      return App().ConfirmCancel(text, kTextOverwrite, kTextKeep) == 0 ? 1 : 0;
    }
    case kReportError:
      if (m_closing) return 0;
      if (App().Confirming) return kBusy;
      MessageBoxMb(m_hWnd, text, App().m_strAppName, MB_OK);
      return 0;
    case kReportStopAnimation:
      SendDlgItemMessage(IDC_COPY_ANIMATION, ACM_PLAY, 0, MAKELPARAM(kAnimationEndFrame, kAnimationEndFrame));
      return 0;
  }
  return 0;
}
