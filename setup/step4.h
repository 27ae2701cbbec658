// Copy page (dialog 132): installs the package from its first paint on,
// showing the target path, a progress bar, the copy animation and the
// remaining time, then moves the wizard on to the finish page once the run
// ends. The run goes on a thread of its own, so the window keeps answering;
// its questions and messages are sent to the window's thread and wait there
// for their answer, and its status, estimate and bar are handed over for the
// page to show (the latest of each, at most every few dozen milliseconds).
// The platform is reached through CSetupServices.
#pragma once
#include "copyengine.h"
#include "framework/handover.h"
#include "setupservices.h"
#include "steppage.h"

class CStep4;

// The page as the run's thread sees it. Questions, messages and the
// animation's stop are sent to the page's window and done on its thread; the
// status line, the estimate and the bar are noted here and the page is told
// (once until it has taken them) to show them. The page shows what is noted
// before it does anything sent, so the order of the run is what the user sees.
class CCopyRelay : public ICopyPage {
 public:
  explicit CCopyRelay(CStep4& page) : m_page(page) {}

  void SetStatus(const char* text);
  void SetEstimate(const char* text);
  void SetProgress(int pos);
  BOOL AskOverwrite(const char* question);
  void ShowError(const char* text);
  void StopAnimation();
  // Waits while the user is asked whether to quit; TRUE once they chose to.
  BOOL StopRequested();

  // The slots of what is noted for the page.
  enum { kSlotStatus, kSlotEstimate, kSlotProgress };
  CHandOver Noted;

 private:
  LRESULT Send(int what, LPARAM arg);
  void Tell();
  CStep4& m_page;
};

class CStep4 : public CStepPage {
 public:
  CStep4();
  ~CStep4();

  CWnd m_estimate;
  CWnd m_progress;
  CWnd m_status;
  CWnd m_animation;
  CString m_heading;

 protected:
  void DoDataExchange(CDataExchange* pDX);
  BOOL OnInitDialog();
  BOOL OnSetActive();
  BOOL OnQueryCancel();
  BOOL OnPaint();
  void OnDestroy();
  BOOL OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result);

 private:
  friend class CCopyRelay;
  // What the relay sends (wParam of kMsgCopyReport).
  enum Report { kReportAsk, kReportError, kReportStopAnimation };

  void StartCopy();
  static DWORD WINAPI CopyThread(void* page);
  // The run's thread has ended: on to the next page, or closed after a quit.
  void OnCopyDone();
  void WaitForRun();
  LRESULT OnReport(int what, LPARAM arg);
  // Puts what the run noted into the controls: now, or when
  // CHandOver::kShowInterval has passed since the last time.
  void ShowChanges(BOOL now);

  // The run's services and engine, made when it starts.
  struct CRun {
    CRun(CSetupApp& app, ICopyPage& page);
    CSetupServices Services;
    CCopyEngine Engine;
    int Result;  // what CopyAll gave
  };
  CRun* m_run;
  CCopyRelay m_relay;
  HANDLE m_thread;        // the run's thread until the page has seen it end
  HANDLE m_goOn;          // set while the run may go on (no quit question open)
  volatile LONG m_quit;   // the user chose "退出安装" while the run went on
  BOOL m_copyPending;     // the run has not started yet: it starts on a paint, once
  BOOL m_running;         // started, and its end not yet seen by the page
  BOOL m_asking;          // the quit question of a running copy is open
  BOOL m_runEnded;        // the run's end has arrived; handled once no question is open
  BOOL m_cancelled;       // the wizard may close: the user ended the installation
  BOOL m_closing;         // the window goes away: the run is neither shown nor asked anything
};
