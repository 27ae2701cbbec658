#include "propsheet.h"

#include "app.h"

// ---- pages -----------------------------------------------------------------

CPropertyPage::CPropertyPage(UINT idTemplate)
    : CDialog(idTemplate), m_pSheet(0), m_firstSetActive(TRUE) {
  ZeroMemory(&m_psp, sizeof m_psp);
  m_psp.dwSize = sizeof m_psp;
  m_psp.dwFlags = PSP_DEFAULT | PSP_DLGINDIRECT;
  m_psp.pfnDlgProc = PageProc;
  m_psp.lParam = reinterpret_cast<LPARAM>(this);
}

BOOL CPropertyPage::OnSetActive() {
  if (m_firstSetActive)
    m_firstSetActive = FALSE;
  else
    UpdateData(FALSE);
  return TRUE;
}

BOOL CPropertyPage::OnKillActive() { return UpdateData(TRUE); }

BOOL CPropertyPage::HandleMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  if (msg != WM_NOTIFY) return CDialog::HandleMessage(msg, wp, lp, result);
  if (OnMessage(msg, wp, lp, result)) return TRUE;
  const NMHDR* hdr = reinterpret_cast<const NMHDR*>(lp);
  switch (hdr->code) {
    case PSN_SETACTIVE:
      *result = OnSetActive() ? 0 : -1;
      if (m_pSheet && (m_pSheet->m_psh.dwFlags & PSH_WIZARD)) m_pSheet->m_pageTitlePending = TRUE;
      return TRUE;
    case PSN_KILLACTIVE:
      *result = OnKillActive() ? FALSE : TRUE;
      return TRUE;
    case PSN_WIZNEXT:
      *result = OnWizardNext();
      return TRUE;
    case PSN_WIZBACK:
      *result = OnWizardBack();
      return TRUE;
    case PSN_WIZFINISH: {
      BOOL done = OnWizardFinish();
      if (done && m_pSheet) m_pSheet->m_result = IDOK;
      *result = done ? FALSE : TRUE;
      return TRUE;
    }
    case PSN_QUERYCANCEL:
      *result = OnQueryCancel() ? FALSE : TRUE;
      return TRUE;
    case PSN_RESET:
      OnReset();
      *result = 0;
      return TRUE;
  }
  return FALSE;
}

INT_PTR CALLBACK CPropertyPage::PageProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  // The page's object rides in the lParam of the page description.
  if (msg == WM_INITDIALOG) lp = reinterpret_cast<const PROPSHEETPAGEW*>(lp)->lParam;
  return DialogProc(w, msg, wp, lp);
}

// ---- the sheet -------------------------------------------------------------

// The sheet being made, for the creation hook.
static CPropertySheet* g_creating = 0;
static HHOOK g_hook = 0;
static const WCHAR kSheetProp[] = L"CPropertySheet";

CPropertySheet::CPropertySheet(const char* caption, HWND parent, UINT selectPage)
    : m_pageCount(0), m_caption(caption), m_oldProc(0), m_result(IDCANCEL), m_pageTitlePending(FALSE), m_pageRefused(FALSE) {
  ZeroMemory(&m_psh, sizeof m_psh);
  m_psh.dwSize = sizeof m_psh;
  m_psh.dwFlags = PSH_DEFAULT;
  m_psh.hwndParent = parent;
  m_psh.nStartPage = selectPage;
}

CPropertySheet::~CPropertySheet() { DestroyWindow(); }

BOOL CPropertySheet::AddPage(CPropertyPage* page) {
  if (m_pageCount >= kMaxPages) {
    m_pageRefused = TRUE;
    return FALSE;
  }
  page->m_pSheet = this;
  m_pages[m_pageCount++] = page;
  return TRUE;
}

LRESULT CALLBACK CPropertySheet::CreationHook(int code, WPARAM wp, LPARAM lp) {
  // The first window made while the hook is set is the sheet itself.
  if (code == HCBT_CREATEWND && g_creating) {
    HWND w = reinterpret_cast<HWND>(wp);
    CPropertySheet* sheet = g_creating;
    g_creating = 0;
    sheet->m_hWnd = w;
    SetPropW(w, kSheetProp, sheet);
    sheet->m_oldProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SheetProc)));
  }
  return CallNextHookEx(g_hook, code, wp, lp);
}

LRESULT CALLBACK CPropertySheet::SheetProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  CPropertySheet* sheet = static_cast<CPropertySheet*>(GetPropW(w, kSheetProp));
  if (!sheet) return DefWindowProcW(w, msg, wp, lp);
  if (msg == WM_NCDESTROY) {
    WNDPROC old = sheet->m_oldProc;
    RemovePropW(w, kSheetProp);
    SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
    sheet->m_hWnd = 0;
    return CallWindowProcW(old, w, msg, wp, lp);
  }
  // The close box is the Cancel button, asked once (passed on, it would come
  // back as a second cancel through WM_CLOSE).
  if (msg == WM_SYSCOMMAND && (wp & 0xFFF0) == SC_CLOSE) {
    ::PostMessageW(w, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    return 0;
  }
  // A wizard may show each new page's title as its caption; a page without a
  // title leaves the sheet the caption it was given (or set later).
  if (msg == WM_SETTEXT && sheet->m_pageTitlePending) {
    sheet->m_pageTitlePending = FALSE;
    if (lp && !*reinterpret_cast<const WCHAR*>(lp)) return TRUE;
  }
  return sheet->WindowProc(msg, wp, lp);
}

LRESULT CPropertySheet::Default(UINT msg, WPARAM wp, LPARAM lp) {
  return CallWindowProcW(m_oldProc, m_hWnd, msg, wp, lp);
}

INT_PTR CPropertySheet::DoModal() {
  if (m_hWnd || m_pageCount == 0 || m_pageRefused) return -1;
  HPROPSHEETPAGE handles[kMaxPages];
  for (int i = 0; i < m_pageCount; ++i) {
    CPropertyPage* page = m_pages[i];
    page->m_psp.hInstance = AfxGetResourceHandle();
    // The page's template in the program's language (CDialogTemplate).
    page->m_psp.pResource = page->LoadTemplate();
    handles[i] = page->m_psp.pResource ? CreatePropertySheetPageW(&page->m_psp) : 0;
    if (!handles[i]) {
      for (int j = 0; j < i; ++j) DestroyPropertySheetPage(handles[j]);
      return -1;
    }
  }
  m_psh.dwFlags |= PSH_MODELESS;
  m_psh.dwFlags &= ~PSH_PROPSHEETPAGE;
  m_psh.hInstance = AfxGetResourceHandle();
  CWideText caption(m_caption);
  m_psh.pszCaption = caption;
  m_psh.nPages = m_pageCount;
  m_psh.phpage = handles;
  m_result = IDCANCEL;

  g_creating = this;
  g_hook = SetWindowsHookExW(WH_CBT, CreationHook, 0, GetCurrentThreadId());
  HWND w = reinterpret_cast<HWND>(PropertySheetW(&m_psh));
  UnhookWindowsHookEx(g_hook);
  g_hook = 0;
  g_creating = 0;
  m_psh.phpage = 0;
  m_psh.pszCaption = 0;
  if (!w || w == reinterpret_cast<HWND>(-1)) {
    m_hWnd = 0;
    return -1;
  }
  if (!m_hWnd) m_hWnd = w;  // no hook: the sheet runs without its own handler

  // The modal loop: an owner stays disabled while the sheet runs; the sheet is
  // done when it has no current page any more (finished or cancelled).
  HWND owner = m_psh.hwndParent;
  BOOL ownerWasEnabled = owner && IsWindowEnabled(owner);
  if (ownerWasEnabled) ::EnableWindow(owner, FALSE);
  MSG msg;
  while (m_hWnd && PropSheet_GetCurrentPageHwnd(m_hWnd)) {
    m_pageTitlePending = FALSE;  // the title comes within the page change, or never
    BOOL got = GetMessageW(&msg, 0, 0, 0);
    if (got <= 0) {
      if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (CDialog::PreTranslateModeless(&msg)) continue;
    if (m_hWnd && PropSheet_IsDialogMessage(m_hWnd, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  if (ownerWasEnabled) ::EnableWindow(owner, TRUE);
  return m_result;
}

BOOL CPropertySheet::DestroyWindow() {
  if (!m_hWnd) return FALSE;
  return ::DestroyWindow(m_hWnd);
}

BOOL CPropertySheet::SetActivePage(int index) {
  if (!m_hWnd) return FALSE;
  return static_cast<BOOL>(::SendMessageW(m_hWnd, PSM_SETCURSEL, index, 0));
}

int CPropertySheet::GetPageIndex(const CPropertyPage* page) const {
  for (int i = 0; i < m_pageCount; ++i)
    if (m_pages[i] == page) return i;
  return -1;
}
