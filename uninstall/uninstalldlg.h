// The uninstall dialog (template 102): start state Ready, then the removal run
// behind button 1 (CRemovalEngine) with the states Running, Files left and
// Finished. The engine reports its progress to the dialog and says how the run
// ended; the dialog owns the states, their captions and its controls' places.
// The run goes on a thread of its own, so the dialog keeps answering: its
// headline, messages and files left are sent to the dialog's thread and done
// there, in order; its status line and bar are handed over and shown at most
// every few dozen milliseconds (and before anything sent, and at the end).
#pragma once
#include "common/picture.h"
#include "framework/dialog.h"
#include "framework/windowrun.h"
#include "removalservices.h"
#include "uninstall/core/removalengine.h"
#include "uninstall/core/uninstallsettings.h"

class CUninstallDlg : public CDialog, private IRunWindow {
 public:
  // Loads the package picture and icon of the running file.
  CUninstallDlg(UninstallSettings& settings, const char* modulePath, HWND parent = 0);
  ~CUninstallDlg();

  // The program's exit code for how the dialog ended (common/exitcodes.h):
  // finished (or everything deleted), ended in Files left (or with the whole
  // folder refused), or cancelled before the run ended.
  int ExitCode() const;

 protected:
  void DoDataExchange(CDataExchange* pDX);
  BOOL OnInitDialog();
  void OnOK();
  // Button 2, Esc and the close box: not while the run goes (it cannot be
  // stopped half-way).
  void OnCancel();
  BOOL OnPaint();
  HBRUSH OnCtlColor(HDC dc, HWND ctl, UINT ctlType);
  BOOL OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result);

 private:
  // What button 1 does: the run in state Ready, "全部删除" in Files left, the
  // end of the dialog in Finished.
  enum State { kReady, kFilesLeft, kFinished };

  void RunRemoval();
  // "全部删除", on the run's thread too.
  void DeleteAll();
  // Starts the thread for what button 1 does (m_deleteAll tells which).
  void StartThread();
  static int RemovalWork(void* dialog);
  // The work's end, on the dialog's thread.
  void OnRunDone(int result);
  // "全部删除" has ended.
  void OnDeleteAllDone(RemovalResult result);
  // The run has ended.
  void OnRemovalDone(RemovalOutcome outcome);
  LRESULT OnRunReport(int what, LPARAM arg);
  void OnRunChanges(int changes, const CString* texts, const int* numbers);
  void ShowFilesLeft();
  void ShowFinished();
  void StopAnimation();

  // What the run reports, done on the dialog's thread.
  void ShowHeadline(const char* text);
  void ShowStatus(const char* text);
  void ShowProgress(int pos);
  void ShowMessageBox(const char* text);
  void ListFileLeft(const char* path);

  UninstallSettings& m_settings;
  State m_state;
  CPictureImage m_picture;
  CWnd m_list;
  CWnd m_button2;
  CWnd m_progress;
  CWnd m_headline;
  CWnd m_status;
  CWnd m_animation;
  CString m_headlineText;
  HICON m_icon;
  BOOL m_ownIcon;  // made from the package's bytes: destroyed with the dialog
  BOOL m_refused;      // the last "全部删除" found the folder not removable whole
  HBRUSH m_listBrush;  // made at the list's first colour request; freed with the dialog
  BOOL m_deleteAll;   // the thread does "全部删除", not the run
  bool m_restart;     // finished, with files in use going at the next restart
  CRemovalServices m_services;
  CWindowRun m_runner;
  // The run: the dialog as its thread sees it and the engine (uninstalldlg.cpp).
  struct CRun;
  CRun* m_run;
};
