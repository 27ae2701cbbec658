#include "dialog.h"

#include <commctrl.h>
#include <stdio.h>

#include "app.h"
#include "dialogfont.h"
#include "language.h"
#include "memory.h"
#include "widetext.h"

// ---- data exchange ---------------------------------------------------------

CDataExchange::CDataExchange(CDialog* dialog, BOOL saveAndValidate)
    : m_bSaveAndValidate(saveAndValidate), m_bFailed(FALSE), m_pDlgWnd(dialog), m_hWndLastControl(0) {}

HWND CDataExchange::PrepareCtrl(int id) {
  m_hWndLastControl = m_pDlgWnd->GetDlgItem(id);
  return m_hWndLastControl;
}

void CDataExchange::Fail() {
  m_bFailed = TRUE;
  if (!m_hWndLastControl) return;
  SetFocus(m_hWndLastControl);
  WCHAR cls[16] = {0};
  GetClassNameW(m_hWndLastControl, cls, sizeof cls / sizeof cls[0]);
  if (lstrcmpiW(cls, L"Edit") == 0) SendMessageW(m_hWndLastControl, EM_SETSEL, 0, -1);
}

void DDX_Text(CDataExchange* pDX, int id, CString& value) {
  if (pDX->m_bFailed) return;
  HWND ctl = pDX->PrepareCtrl(id);
  if (pDX->m_bSaveAndValidate)
    value = CWnd::WindowText(ctl);
  else
    SetWindowTextMb(ctl, value);
}

CString TooLongText(int maxBytes) {
  CString text;
  text.Format(FrameworkText(kTextTooLong), maxBytes);
  return text;
}

void DDV_MaxChars(CDataExchange* pDX, const CString& value, int maxBytes) {
  if (pDX->m_bFailed) return;
  if (!pDX->m_bSaveAndValidate) {
    // Statics ignore the limit; edits take it as their entry limit (in
    // characters: the check on saving counts the bytes).
    if (pDX->m_hWndLastControl) SendMessageW(pDX->m_hWndLastControl, EM_LIMITTEXT, maxBytes, 0);
    return;
  }
  if (value.GetLength() <= maxBytes) return;
  CWinApp* app = AfxGetApp();
  MessageBoxMb(AfxGetMainWnd(), TooLongText(maxBytes), app ? app->m_strAppName.c_str() : "",
              MB_OK | MB_ICONEXCLAMATION);
  pDX->Fail();
}

void DDX_Check(CDataExchange* pDX, int id, int& value) {
  if (pDX->m_bFailed) return;
  HWND ctl = pDX->PrepareCtrl(id);
  if (pDX->m_bSaveAndValidate)
    value = SendMessageW(ctl, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
  else
    SendMessageW(ctl, BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
}

void DDX_Control(CDataExchange* pDX, int id, CWnd& control) {
  if (pDX->m_bFailed) return;
  // Bound once per dialog window: a dialog object run again has new controls,
  // and the handle of the last run names a destroyed window.
  HWND w = control.m_hWnd;
  if (w && IsWindow(w) && GetParent(w) == pDX->m_pDlgWnd->m_hWnd && GetDlgCtrlID(w) == id) return;
  control.m_hWnd = pDX->PrepareCtrl(id);
}

// ---- templates and their texts ---------------------------------------------

CDialogTemplate::~CDialogTemplate() { FreeBuffer(m_copy); }

const DLGTEMPLATE* CDialogTemplate::Load(UINT id) {
  HINSTANCE module = AfxGetResourceHandle();
  HRSRC res = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5));  // RT_DIALOG
  HGLOBAL h = res ? LoadResource(module, res) : 0;
  const unsigned char* stored = h ? static_cast<const unsigned char*>(LockResource(h)) : 0;
  if (!stored) return 0;
  size_t size = SizeofResource(module, res);
  const TextLanguage* language = ProgramLanguage();
  const char* face = language ? language->DialogFont : 0;
  if (!face) return reinterpret_cast<const DLGTEMPLATE*>(stored);
  FreeBuffer(m_copy);
  m_copy = AllocBuffer(TemplateWithFontRoom(size, face));
  if (m_copy && TemplateWithFont(stored, size, face, language->DialogFontPoints, static_cast<unsigned char*>(m_copy)))
    return static_cast<const DLGTEMPLATE*>(m_copy);
  return reinterpret_cast<const DLGTEMPLATE*>(stored);
}

void ShowControlTexts(HWND dialog, UINT templateId, const ControlText* list, int count, const CLanguages& languages) {
  for (int i = 0; i < count; i++)
    if (list[i].Template == templateId) SetDlgItemTextMb(dialog, list[i].Control, languages.Text(list[i].Text));
}

// ---- dialogs ---------------------------------------------------------------

// Modeless dialogs alive now, for the message loops' pre-translation.
static CDialog* g_modeless = 0;

CDialog::CDialog(UINT idTemplate, HWND parent)
    : m_nIDTemplate(idTemplate), m_hParent(parent), m_modal(FALSE), m_nextModeless(0) {
  static BOOL controlsReady = FALSE;
  if (!controlsReady) {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES | ICC_ANIMATE_CLASS | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    controlsReady = TRUE;
  }
}

CDialog::~CDialog() {
  if (m_hWnd && !m_modal) DestroyWindow();
  LinkModeless(FALSE);
}

void CDialog::LinkModeless(BOOL in) {
  for (CDialog** p = &g_modeless; *p; p = &(*p)->m_nextModeless) {
    if (*p == this) {
      *p = m_nextModeless;
      break;
    }
  }
  m_nextModeless = 0;
  if (in) {
    m_nextModeless = g_modeless;
    g_modeless = this;
  }
}

INT_PTR CDialog::DoModal() {
  HWND owner = m_hParent ? m_hParent : AfxGetMainWnd();
  const DLGTEMPLATE* dialogTemplate = m_template.Load(m_nIDTemplate);
  if (!dialogTemplate) return -1;
  m_modal = TRUE;
  INT_PTR result = DialogBoxIndirectParamW(AfxGetResourceHandle(), dialogTemplate, owner, DialogProc,
                                           reinterpret_cast<LPARAM>(this));
  m_modal = FALSE;
  return result;
}

BOOL CDialog::Create(UINT idTemplate, HWND parent) {
  m_nIDTemplate = idTemplate;
  m_hParent = parent;
  m_modal = FALSE;
  const DLGTEMPLATE* dialogTemplate = m_template.Load(idTemplate);
  if (!dialogTemplate) return FALSE;
  HWND w = CreateDialogIndirectParamW(AfxGetResourceHandle(), dialogTemplate, parent, DialogProc,
                                      reinterpret_cast<LPARAM>(this));
  if (!w) return FALSE;
  LinkModeless(TRUE);
  return TRUE;
}

BOOL CDialog::DestroyWindow() {
  if (!m_hWnd) return FALSE;
  return ::DestroyWindow(m_hWnd);
}

void CDialog::EndDialog(INT_PTR result) {
  if (!m_hWnd) return;
  if (m_modal)
    ::EndDialog(m_hWnd, result);
  else
    ::ShowWindow(m_hWnd, SW_HIDE);
}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
  CDataExchange dx(this, saveAndValidate);
  DoDataExchange(&dx);
  return !dx.m_bFailed;
}

BOOL CDialog::PreTranslateMessage(MSG* msg) { return m_hWnd && IsDialogMessageW(m_hWnd, msg); }

BOOL CDialog::PreTranslateModeless(MSG* msg) {
  for (CDialog* d = g_modeless; d; d = d->m_nextModeless) {
    if (d->m_hWnd && (msg->hwnd == d->m_hWnd || IsChild(d->m_hWnd, msg->hwnd)))
      return d->PreTranslateMessage(msg);
  }
  return FALSE;
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnOK() {
  if (UpdateData(TRUE)) EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::OnCommand(UINT id, UINT notifyCode) {
  if (notifyCode != BN_CLICKED) return FALSE;
  if (id == IDOK) {
    OnOK();
    return TRUE;
  }
  if (id == IDCANCEL) {
    OnCancel();
    return TRUE;
  }
  return FALSE;
}

// Places a modal dialog over the middle of its owner (or of the screen).
static void CenterOverOwner(HWND w) {
  RECT r, area;
  GetWindowRect(w, &r);
  HWND owner = GetWindow(w, GW_OWNER);
  if (owner && IsWindowVisible(owner) && !IsIconic(owner))
    GetWindowRect(owner, &area);
  else
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  int x = area.left + ((area.right - area.left) - (r.right - r.left)) / 2;
  int y = area.top + ((area.bottom - area.top) - (r.bottom - r.top)) / 2;
  if (x < 0) x = 0;
  if (y < 0) y = 0;
  SetWindowPos(w, 0, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL CDialog::HandleMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  if (OnMessage(msg, wp, lp, result)) return TRUE;
  switch (msg) {
    case WM_INITDIALOG:
      if (m_modal) CenterOverOwner(m_hWnd);
      *result = OnInitDialog();
      return TRUE;
    case WM_COMMAND:
      return OnCommand(LOWORD(wp), HIWORD(wp));
    case WM_PAINT:
      return OnPaint();
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC: {
      HBRUSH brush = OnCtlColor(reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp),
                                msg - WM_CTLCOLORMSGBOX);
      if (!brush) return FALSE;
      *result = reinterpret_cast<LRESULT>(brush);
      return TRUE;
    }
    case WM_DESTROY:
      OnDestroy();
      return FALSE;
  }
  return FALSE;
}

void CDialog::Attach(HWND w) {
  m_hWnd = w;
  SetWindowLongPtrW(w, DWLP_USER, reinterpret_cast<LONG_PTR>(this));
}

// Messages whose result is the dialog procedure's return value itself; all
// others return theirs through DWLP_MSGRESULT.
static BOOL ReturnsDirectly(UINT msg) {
  return msg == WM_INITDIALOG || (msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC) ||
         msg == WM_COMPAREITEM || msg == WM_VKEYTOITEM || msg == WM_CHARTOITEM ||
         msg == WM_QUERYDRAGICON;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  CDialog* self;
  if (msg == WM_INITDIALOG) {
    self = reinterpret_cast<CDialog*>(lp);
    if (self) self->Attach(w);
  } else {
    self = reinterpret_cast<CDialog*>(GetWindowLongPtrW(w, DWLP_USER));
  }
  if (!self) return FALSE;
  LRESULT result = 0;
  BOOL handled = self->HandleMessage(msg, wp, lp, &result);
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrW(w, DWLP_USER, 0);
    self->m_hWnd = 0;
    self->LinkModeless(FALSE);
    return FALSE;
  }
  if (!handled) return FALSE;
  if (ReturnsDirectly(msg)) return static_cast<INT_PTR>(result);
  SetWindowLongPtrW(w, DWLP_MSGRESULT, result);
  return TRUE;
}
