// Copy page (dialog 132): installs the package on its first paint, showing the
// target path, a progress bar, the copy animation and the remaining time, then
// moves the wizard on to the finish page once the run returns. The page is the
// copy run's window; the platform is reached through CSetupServices.
#pragma once
#include "copyengine.h"
#include "steppage.h"

class CStep4 : public CStepPage, private ICopyPage {
 public:
  CStep4();

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

 private:
  void RunCopy();

  // ICopyPage
  void SetStatus(const char* text);
  void SetEstimate(const char* text);
  void SetProgress(int pos);
  BOOL AskOverwrite(const char* question);
  void ShowError(const char* text);
  void StopAnimation();

  BOOL m_copyPending;  // the run has not started yet: it starts on a paint, once
  BOOL m_cancelled;    // the user ended the installation while the run went on
  void ShowNow(BOOL always);
  BOOL m_shown;       // the run has drawn a change already
  DWORD m_lastShown;  // when it last did
  BOOL m_barSet;      // the bar has been moved already
  DWORD m_barTime;    // when it last was
  BOOL m_statusSet;   // a status line has been shown already
  DWORD m_statusTime; // when the last one was
};
