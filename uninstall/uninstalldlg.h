// The uninstall dialog (template 102): start state Ready, then the removal run
// behind button 1 (CRemovalEngine) with the states Running, Files left and
// Finished. The engine reports its progress to the dialog and says how the run
// ended; the dialog owns the states, their captions and its controls' places.
#pragma once
#include "common/picture.h"
#include "framework/dialog.h"
#include "removalengine.h"
#include "removalservices.h"
#include "uninstallsettings.h"

class CUninstallDlg : public CDialog, private IRemovalProgress {
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
  BOOL OnPaint();
  HBRUSH OnCtlColor(HDC dc, HWND ctl, UINT ctlType);
  BOOL OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result);

 private:
  // What button 1 does: the run in state Ready, "全部删除" in Files left, the
  // end of the dialog in Finished.
  enum State { STATE_READY, STATE_FILES_LEFT, STATE_FINISHED };

  void RunRemoval();
  void ShowFilesLeft();
  void ShowFinished();
  void StopAnimation();

  // IRemovalProgress
  void SetHeadline(const char* text);
  void SetStatus(const char* text);
  void SetProgress(int pos);
  void ShowMessage(const char* text);
  void FileLeft(const char* path);

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
  CRemovalServices m_services;
  CRemovalEngine m_engine;
};
