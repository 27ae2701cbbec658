// The uninstall dialog (template 102): start state Ready, then the removal run
// behind button 1 (CRemovalEngine) with the states Running, Files left and
// Finished. It is the run's page: the engine changes the controls through it.
#pragma once
#include "common/picture.h"
#include "framework/dialog.h"
#include "removalengine.h"
#include "removalservices.h"
#include "uninstallsettings.h"

class CUninstallDlg : public CDialog, public IRemovalPage {
 public:
  // Loads the package picture and icon of the running file.
  CUninstallDlg(UninstallSettings& settings, const char* modulePath, HWND parent = 0);
  ~CUninstallDlg();

  // IRemovalPage
  void SetHeadline(const char* text);
  void SetStatus(const char* text);
  void SetProgress(int pos);
  void PlayAnimation();
  void StopAnimation();
  void CloseAnimation();
  void EnableButton1(BOOL enable);
  void SetButton1Text(const char* text);
  void SetButton2Text(const char* text);
  void HideButton2();
  void MoveButton1Right(int pixels);
  void AddListEntry(const char* path);
  int ListCount();
  void ShowList();
  void MoveHeadlineAboveList();
  void ShowMessage(const char* text);
  void Close();

  // The program's exit code for how the dialog ended (common/exitcodes.h):
  // closed by the run, ended in Files left (or with the whole folder refused),
  // or cancelled before the run.
  int ExitCode() const;

 protected:
  void DoDataExchange(CDataExchange* pDX);
  BOOL OnInitDialog();
  void OnOK();
  BOOL OnPaint();
  HBRUSH OnCtlColor(HDC dc, HWND ctl, UINT ctlType);
  BOOL OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result);

 private:
  UninstallSettings& settings_;
  CPictureImage picture_;
  CWnd list_;
  CWnd button2_;
  CWnd progress_;
  CWnd headline_;
  CWnd status_;
  CWnd animation_;
  CString headlineText_;
  HICON icon_;
  BOOL ownIcon_;  // made from the package's bytes: destroyed with the dialog
  BOOL closed_;     // the run ended the dialog (Finished, or all deleted)
  BOOL listShown_;  // the run ended in Files left
  BOOL refused_;    // the last "delete all" found the folder not removable whole
  CRemovalServices services_;
  CRemovalEngine engine_;
};
