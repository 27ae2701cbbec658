#include "filesinusedlg.h"

#include "resource.h"
#include "setup/core/texts.h"

CFilesInUseDlg::CFilesInUseDlg(const char* caption, const char* programs, const char* files, HWND parent)
    : CDialog(IDD_FILES_IN_USE, parent), m_caption(caption), m_programs(programs), m_files(files) {}

InUseAnswer CFilesInUseDlg::Ask() {
  INT_PTR result = DoModal();
  return result == IDRETRY ? kInUseRetry : result == IDIGNORE ? kInUseIgnore : kInUseCancel;
}

BOOL CFilesInUseDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SetWindowText(m_caption);
  bool named = !m_programs.IsEmpty();
  SetDlgItemText(IDC_INUSE_MESSAGE, Text(named ? kTextInUsePrograms : kTextInUseFiles));
  SetDlgItemText(IDC_INUSE_LIST, named ? m_programs : m_files);
  SetDlgItemText(IDRETRY, Text(kTextRetry));
  SetDlgItemText(IDIGNORE, Text(kTextIgnore));
  SetDlgItemText(IDCANCEL, Text(kTextCancel));
  return TRUE;
}

BOOL CFilesInUseDlg::OnCommand(UINT id, UINT notifyCode) {
  if ((id == IDRETRY || id == IDIGNORE) && notifyCode == BN_CLICKED) {
    EndDialog(id);
    return TRUE;
  }
  return CDialog::OnCommand(id, notifyCode);
}
