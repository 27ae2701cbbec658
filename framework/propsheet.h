// Property sheets in wizard mode and their pages. The sheet runs modeless
// under a message loop of its own, so that the program's other modeless
// windows get their pre-translation while the wizard is up, and it is
// subclassed from its creation on, so a sheet class sees every message of its
// window (its first WM_SIZE included).
#pragma once
#include "dialog.h"

#include <commctrl.h>
#include <prsht.h>

class CPropertySheet;

class CPropertyPage : public CDialog {
 public:
  explicit CPropertyPage(UINT idTemplate);

  // Called when the page becomes current; FALSE refuses it. The default
  // exchanges members into controls on every activation but the first
  // (the first one follows OnInitDialog, which did that already).
  virtual BOOL OnSetActive();
  // Called when the page is left; FALSE keeps it. The default saves the
  // controls into the members and refuses when a check fails.
  virtual BOOL OnKillActive();
  // Next or Back in a wizard: 0 goes on, -1 stays, else a template id.
  virtual LRESULT OnWizardNext() { return 0; }
  virtual LRESULT OnWizardBack() { return 0; }
  // Finish in a wizard: TRUE lets the wizard end.
  virtual BOOL OnWizardFinish() { return TRUE; }
  // Cancel, Esc or the close box: TRUE lets the sheet close.
  virtual BOOL OnQueryCancel() { return TRUE; }
  virtual void OnReset() {}

  // The sheet's window (the page's parent).
  HWND GetSheetWindow() const { return ::GetParent(m_hWnd); }
  // The page's template as the sheet makes the page from it (CDialogTemplate).
  const DLGTEMPLATE* LoadTemplate() { return m_template.Load(m_nIDTemplate); }

  PROPSHEETPAGEW m_psp;
  CPropertySheet* m_pSheet;

 protected:
  BOOL HandleMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result);
  // Pages never end a dialog of their own.
  void OnOK() {}
  void OnCancel() {}

 private:
  static INT_PTR CALLBACK PageProc(HWND w, UINT msg, WPARAM wp, LPARAM lp);
  BOOL m_firstSetActive;
};

class CPropertySheet : public CWnd {
 public:
  CPropertySheet(const char* caption, HWND parent = 0, UINT selectPage = 0);
  virtual ~CPropertySheet();

  // FALSE past kMaxPages: the page is not taken, and the sheet then refuses
  // to run (DoModal gives -1) rather than show a wizard with a page missing.
  BOOL AddPage(CPropertyPage* page);
  // Runs the sheet until it is finished or cancelled: IDOK when a page let it
  // finish, IDCANCEL otherwise, -1 when it could not be made or a page was
  // refused. The window stays
  // until DestroyWindow (or the destructor).
  INT_PTR DoModal();
  BOOL DestroyWindow();
  // Makes the page with that index current.
  BOOL SetActivePage(int index);
  // The index of a page added to the sheet, -1 for any other.
  int GetPageIndex(const CPropertyPage* page) const;

  PROPSHEETHEADERW m_psh;

 protected:
  // Every message of the sheet's window; the default hands it on.
  virtual LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) { return Default(msg, wp, lp); }
  LRESULT Default(UINT msg, WPARAM wp, LPARAM lp);

 private:
  friend class CPropertyPage;
  static LRESULT CALLBACK SheetProc(HWND w, UINT msg, WPARAM wp, LPARAM lp);
  static LRESULT CALLBACK CreationHook(int code, WPARAM wp, LPARAM lp);

  enum { kMaxPages = 8 };
  CPropertyPage* m_pages[kMaxPages];
  int m_pageCount;
  CString m_caption;
  WNDPROC m_oldProc;
  INT_PTR m_result;
  BOOL m_pageTitlePending;  // a page change is about to set the page's title
  BOOL m_pageRefused;       // AddPage was called once too often
  CPropertySheet(const CPropertySheet&);
  CPropertySheet& operator=(const CPropertySheet&);
};
