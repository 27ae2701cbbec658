// Licence page (dialog 130): two lines, the licence text, and Next only after
// "我同意" was chosen. The choice lasts while the user moves between pages.
// A package that gives its whole licence shows it in an edit of its own with
// a vertical scroll bar, opened at the top, where Ctrl+A and Ctrl+C work.
#pragma once
#include "steppage.h"

class CStep2 : public CStepPage {
 public:
  CStep2();
  CString m_line[2];  // statics 1015 and 1016
  CString m_licence;  // edit 1006 (the licence line; the whole licence is not exchanged)
  int m_agreed;       // 1 after "我同意", 0 after "我不同意"

 protected:
  void DoDataExchange(CDataExchange* pDX);
  BOOL OnInitDialog();
  BOOL OnSetActive();
  BOOL OnQueryCancel();
  BOOL OnCommand(UINT id, UINT notifyCode);

 private:
  // The template's edit replaced by one with a vertical scroll bar, holding
  // the package's whole licence.
  void ShowWholeLicence();
  static LRESULT CALLBACK LicenceEditProc(HWND w, UINT msg, WPARAM wp, LPARAM lp);
  bool m_wholeLicence;
};
