// Copy page (dialog 132): installs the package from its first paint on,
// showing the target path, a progress bar, the copy animation and the
// remaining time, then moves the wizard on to the finish page once the run
// ends. The run goes on a thread of its own (CWindowRun), so the window keeps
// answering; its questions and messages are sent to the window's thread and
// wait there for their answer, and its status, estimate and bar are handed
// over for the page to show (the latest of each, at most every few dozen
// milliseconds).
// The platform is reached through CSetupServices.
#pragma once
#include "framework/sync.h"
#include "framework/windowrun.h"
#include "setup/core/copyengine.h"
#include "setupservices.h"
#include "steppage.h"

class CStep4 : public CStepPage, private IRunWindow {
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
  // Where the page stands with its run.
  enum State {
    kBeforeRun,    // the run starts on the page's next paint
    kRunning,      // the run goes on
    kAsking,       // it goes on while the user is asked whether to quit
    kEndedAsking,  // it ended while that question was open
    kUndoing,      // the user quit: the run undoes what it made, then the wizard closes
    kEnded,        // the run is over and the page moved on (or could not)
    kCancelled,    // the user ended the installation: the wizard may close
    kClosing,      // the window goes away: the run is neither shown nor asked anything
  };

  void StartCopy();
  static int CopyWork(void* page);
  // Stops a run that still goes and waits for it, taking what it sends.
  void StopAndWait();
  // The run's end, on the page's thread: on to the next page, or closed
  // after a quit.
  void OnRunDone(int result);
  LRESULT OnRunReport(int what, LPARAM arg);
  void OnRunChanges(int changes, const CString* texts, const int* numbers);
  // The wizard ends as cancelled (the run has undone its work, or found the
  // package damaged).
  void CloseWizard();

  // The run, made when it starts: the page as its thread sees it, its
  // services and its engine (step4.cpp).
  struct CRun;
  CRun* m_run;
  State m_state;
  CRunGate m_gate;
  CWindowRun m_runner;
};
