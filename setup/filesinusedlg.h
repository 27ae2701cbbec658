// The question about files in use (dialog 140), asked by the copy run before
// its first file: the programs that hold files it is to replace (or the files
// themselves when the system cannot name the programs), with "重试",
// "忽略" and "取消".
#pragma once
#include "framework/dialog.h"
#include "setup/core/copyengine.h"

class CFilesInUseDlg : public CDialog {
 public:
  CFilesInUseDlg(const char* caption, const char* programs, const char* files, HWND parent);
  // The answer; "取消" also for Esc and the close box.
  InUseAnswer Ask();

 protected:
  BOOL OnInitDialog();
  BOOL OnCommand(UINT id, UINT notifyCode);

 private:
  CString m_caption;
  CString m_programs;
  CString m_files;
};
