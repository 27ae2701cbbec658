#include "step4.h"

#include <commctrl.h>

#include "filesinusedlg.h"
#include "setupapp.h"

namespace {

// Frames far past the clip's end: the animation stops.
const int kAnimationEndFrame = 1000;

// A question or message that has to wait: another question is open on the
// page's thread (only one at a time). The run asks again once it may go on.
const LRESULT kBusy = -1;

}  // namespace

// ---- the run's side -------------------------------------------------------------

namespace {

// The slots of what is handed over for the page.
enum { kSlotStatus, kSlotEstimate, kSlotProgress };
// What the relay sends.
enum Report { kReportAsk, kReportError, kReportStopAnimation, kReportFilesInUse };

// The question about files in use, as it is sent.
struct FilesInUse {
  const char* Programs;
  const char* Files;
};

// The page as the run's thread sees it. Questions, messages and the
// animation's stop are sent to the page's window and done on its thread; the
// status line, the estimate and the bar are handed over for the page to show.
// Before each file (and each question) the run looks at the page's gate: it
// waits there while the user is asked whether to quit.
class CCopyRelay : public ICopyPage {
 public:
  CCopyRelay(CWindowRun& run, CRunGate& gate) : m_run(run), m_gate(gate) {}

  void SetStatus(const char* text) { m_run.NoteText(kSlotStatus, text); }
  void SetEstimate(const char* text) { m_run.NoteText(kSlotEstimate, text); }
  void SetProgress(int pos) { m_run.NoteNumber(kSlotProgress, pos); }
  bool AskOverwrite(const char* question) {
    for (;;) {
      // A user who quit meanwhile is not asked: the file stays as it is.
      if (StopRequested()) return false;
      LRESULT answer = m_run.Send(kReportAsk, reinterpret_cast<LPARAM>(question));
      if (answer != kBusy) return answer == 1;
    }
  }
  void ShowError(const char* text) {
    while (!StopRequested() && m_run.Send(kReportError, reinterpret_cast<LPARAM>(text)) == kBusy) {
    }
  }
  void StopAnimation() { m_run.Send(kReportStopAnimation, 0); }
  InUseAnswer AskFilesInUse(const char* programs, const char* files) {
    FilesInUse question = {programs, files};
    for (;;) {
      if (StopRequested()) return kInUseCancel;
      LRESULT answer = m_run.Send(kReportFilesInUse, reinterpret_cast<LPARAM>(&question));
      if (answer != kBusy) return static_cast<InUseAnswer>(answer);
    }
  }
  // Waits while the user is asked whether to quit; true once they chose to.
  bool StopRequested() { return m_gate.StopRequested(); }

 private:
  CWindowRun& m_run;
  CRunGate& m_gate;
};

}  // namespace

struct CStep4::CRun {
  CRun(CSetupApp& app, CWindowRun& runner, CRunGate& gate)
      : Relay(runner, gate), Services(app.Package), Engine(app.Package, Relay, Services) {}
  CCopyRelay Relay;
  CSetupServices Services;
  CCopyEngine Engine;
};

int CStep4::CopyWork(void* param) {
  CStep4* page = static_cast<CStep4*>(param);
  int result = page->m_run->Engine.CopyAll();
  // Stopped, or the user quit while the last steps went on: what the run
  // created goes, here, before the wizard closes.
  if (page->m_run->Relay.StopRequested()) page->m_run->Engine.RollBack();
  return result;
}

// ---- the page -------------------------------------------------------------------


CStep4::CStep4()
    : CStepPage(IDD_STEP4),
      m_run(0),
      m_state(kBeforeRun),
      m_runner(*this) {}

CStep4::~CStep4() {
  StopAndWait();
  delete m_run;
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
  SetNextCaption(Text(kTextNext));
  SetWizardButtons(0);
  SendDlgItemMessage(IDC_COPY_ANIMATION, ACM_OPENW, reinterpret_cast<WPARAM>(AfxGetResourceHandle()),
                     reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(IDR_COPY_AVI)));
  SendDlgItemMessage(IDC_COPY_ANIMATION, ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, 0xFFFF));
  return CStepPage::OnSetActive();
}

BOOL CStep4::OnQueryCancel() {
  if (App().PackageDamaged) return TRUE;  // the run found damage and said so: the wizard just ends
  switch (m_state) {
    case kCancelled:
      return TRUE;  // the run has undone its work after a quit: the wizard closes
    case kAsking:
    case kEndedAsking:
    case kUndoing:
      return FALSE;  // asked once; the wizard closes once the run has undone its work
    case kRunning: {
      // Asked at once; the run waits before its next file (or question)
      // until the answer is in.
      m_gate.Hold();
      m_state = kAsking;
      BOOL quit = ConfirmQuit(Text(kTextQuitRunning));
      BOOL ended = m_state == kEndedAsking;
      m_state = quit ? kUndoing : kRunning;
      if (quit) m_gate.Stop();
      m_gate.Release();
      if (ended) m_runner.RepostDone();  // the run ended while the question was open
      return FALSE;
    }
    default:
      break;
  }
  if (!ConfirmQuit(Text(kTextQuitRunning))) {
    // A Cancel typed ahead of the run held it back: the page's next paint
    // starts it.
    if (m_state == kBeforeRun) InvalidateRect(m_hWnd, 0, TRUE);
    return FALSE;
  }
  // Before the run nothing was made; after it (the wizard could not move on)
  // what it made goes.
  if (m_run) m_run->Engine.RollBack();
  m_state = kCancelled;
  return TRUE;
}

BOOL CStep4::OnPaint() {
  CStepPage::OnPaint();
  // Not while a confirmation is open (a Cancel typed ahead of the run).
  if (m_state == kBeforeRun && !App().Confirming) StartCopy();
  return TRUE;
}

void CStep4::OnDestroy() {
  StopAndWait();
  SendDlgItemMessage(IDC_COPY_ANIMATION, ACM_OPENW, 0, 0);
}

void CStep4::StartCopy() {
  CSetupApp& app = App();
  SendDlgItemMessage(IDC_COPY_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, kProgressMax));
  m_run = new CRun(app, m_runner, m_gate);
  m_run->Engine.Folders = CurrentFolders(app.InstallDir);
  if (app.MadeInstallDir) m_run->Engine.MadeFolder = app.InstallDir;
  m_run->Engine.PreviousLog = app.PreviousLog;
  app.CopyRun = &m_run->Engine;
  m_state = kRunning;
  m_runner.Start(m_hWnd, CopyWork, this);
}

void CStep4::StopAndWait() {
  if (!m_runner.Running()) return;
  // The window is going away while the run goes on (the wizard never closes
  // so on its own): the run stops after its file and undoes what it made,
  // told nothing more and asking nothing; its messages are taken meanwhile.
  m_state = kClosing;
  m_gate.Stop();
  m_runner.JoinPumping();
}

void CStep4::CloseWizard() {
  m_state = kCancelled;
  ::PostMessageA(GetSheetWindow(), PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
}

void CStep4::OnRunDone(int) {
  if (m_state == kAsking) {
    m_state = kEndedAsking;  // handled after the answer
    return;
  }
  if (m_state == kCancelled || m_state == kClosing || !m_pSheet) return;
  if (m_run->Engine.Damaged) {
    // Nothing was installed and the damage message has been shown: the
    // wizard ends as cancelled, the setup with the damaged package's code.
    App().PackageDamaged = TRUE;
    CloseWizard();
    return;
  }
  if (m_run->Engine.RolledBack) {
    // Over an installation of the product not every file could be written:
    // the run put it back and said so; the wizard ends as cancelled.
    CloseWizard();
    return;
  }
  if (m_state == kUndoing) {
    // A quit after the run's last look (or a run on this thread): what it
    // made goes now.
    m_run->Engine.RollBack();
    CloseWizard();
    return;
  }
  m_state = kEnded;  // the page moves on once
  m_pSheet->SetActivePage(m_pSheet->GetPageIndex(this) + 1);
}

BOOL CStep4::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  return m_runner.OnMessage(msg, wp, lp, result);
}

void CStep4::OnRunChanges(int changes, const CString* texts, const int* numbers) {
  if (changes & (1 << kSlotStatus)) SetDlgItemText(IDC_COPY_STATUS, texts[kSlotStatus]);
  if (changes & (1 << kSlotEstimate))
    SetDlgItemText(IDC_COPY_ESTIMATE, texts[kSlotEstimate]);
  if (changes & (1 << kSlotProgress))
    SendDlgItemMessage(IDC_COPY_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(numbers[kSlotProgress]), 0);
}

LRESULT CStep4::OnRunReport(int what, LPARAM arg) {
  const char* text = reinterpret_cast<const char*>(arg);
  switch (what) {
    case kReportAsk:
      if (m_state == kClosing) return 0;  // kept
      if (App().Confirming) return kBusy;
      return App().ConfirmCancel(text, Text(kTextOverwrite), Text(kTextKeep)) == 0 ? 1 : 0;
    case kReportError:
      if (m_state == kClosing) return 0;
      if (App().Confirming) return kBusy;
      MessageBoxMb(m_hWnd, text, App().m_strAppName, MB_OK);
      return 0;
    case kReportStopAnimation:
      SendDlgItemMessage(IDC_COPY_ANIMATION, ACM_PLAY, 0, MAKELPARAM(kAnimationEndFrame, kAnimationEndFrame));
      return 0;
    case kReportFilesInUse: {
      if (m_state == kClosing) return kInUseCancel;
      if (App().Confirming) return kBusy;
      const FilesInUse* question = reinterpret_cast<const FilesInUse*>(arg);
      App().Confirming = TRUE;  // one question at a time, this one too
      CFilesInUseDlg dialog(App().Package.ProductName, question->Programs, question->Files, GetSheetWindow());
      InUseAnswer answer = dialog.Ask();
      App().Confirming = FALSE;
      if (answer == kInUseCancel) {
        // Nothing is written yet: the run ends here and the wizard closes.
        m_state = kUndoing;
        m_gate.Stop();
      }
      return answer;
    }
  }
  return 0;
}
