// Dialogs made from templates in the program's resources, modal or modeless,
// with data exchange between members and controls. Data exchange has no
// exceptions: the first failed check marks the exchange failed, shows its
// message once, and every later step of the same exchange does nothing, so
// the members after the failing one keep their values.
#pragma once
#include "wnd.h"

class CDialog;

class CDataExchange {
 public:
  CDataExchange(CDialog* dialog, BOOL saveAndValidate);

  BOOL m_bSaveAndValidate;  // TRUE: controls to members
  BOOL m_bFailed;
  CDialog* m_pDlgWnd;
  HWND m_hWndLastControl;  // the control of the last exchange

  HWND PrepareCtrl(int id);
  // Marks the exchange failed and puts the focus on the last control.
  void Fail();
};

// Text of control id <-> value.
void DDX_Text(CDataExchange* pDX, int id, CString& value);
// The last text exchanged holds at most maxBytes bytes (code page 936 bytes):
// loading makes it the control's entry limit; saving tests it and shows the
// "too long" message when it is exceeded.
void DDV_MaxChars(CDataExchange* pDX, const CString& value, int maxBytes);
// Check state of a check box or radio button (0 or 1) <-> value.
void DDX_Check(CDataExchange* pDX, int id, int& value);
// Binds a window object to control id (once per dialog window; saving and
// loading alike).
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);

// The text of the "too long" message for a limit.
CString TooLongText(int maxBytes);

// A dialog template of the program's resources as the dialog is made from
// it: in the font of the program's language (ProgramLanguage) when that
// names one, else as stored. Valid while the object lives.
class CDialogTemplate {
 public:
  CDialogTemplate() : m_copy(0) {}
  ~CDialogTemplate();
  // The template with that id; null when the resources have none.
  const DLGTEMPLATE* Load(UINT id);

 private:
  CDialogTemplate(const CDialogTemplate&);
  CDialogTemplate& operator=(const CDialogTemplate&);
  void* m_copy;
};

// A control of a dialog template and the id of the text it shows, in the
// program's table (CLanguages).
struct ControlText {
  UINT Template;
  int Control;
  int Text;
};
class CLanguages;
// Puts the texts of the controls of templateId in list into the dialog's
// controls, in the language the program speaks.
void ShowControlTexts(HWND dialog, UINT templateId, const ControlText* list, int count, const CLanguages& languages);

class CDialog : public CWnd {
 public:
  explicit CDialog(UINT idTemplate, HWND parent = 0);
  virtual ~CDialog();

  // Runs the dialog modally, owned by the parent or else by the application's
  // main window, centred over its owner. Returns the value given to EndDialog,
  // or -1 when the dialog could not be made.
  INT_PTR DoModal();
  // Creates the dialog modeless (not shown unless its template says so).
  BOOL Create(UINT idTemplate, HWND parent = 0);
  BOOL DestroyWindow();
  void EndDialog(INT_PTR result);
  // TRUE when every exchange step succeeded.
  BOOL UpdateData(BOOL saveAndValidate = TRUE);

  // Sees a message of a modeless dialog before it is dispatched; TRUE when it
  // was handled and must not be dispatched. The default gives the dialog its
  // keyboard navigation.
  virtual BOOL PreTranslateMessage(MSG* msg);
  // Offers a message to the modeless dialog it belongs to (the message loops
  // of the framework call this); TRUE when handled.
  static BOOL PreTranslateModeless(MSG* msg);

 protected:
  virtual BOOL OnInitDialog();  // exchanges members into controls
  virtual void DoDataExchange(CDataExchange*) {}
  virtual void OnOK();      // saves the controls; ends with IDOK when that worked
  virtual void OnCancel();  // ends with IDCANCEL
  // WM_COMMAND from a control or menu; TRUE when handled.
  virtual BOOL OnCommand(UINT id, UINT notifyCode);
  // WM_PAINT; TRUE when the dialog painted (else the default painting runs).
  virtual BOOL OnPaint() { return FALSE; }
  // The control-colour messages; a brush, or null for the default.
  virtual HBRUSH OnCtlColor(HDC, HWND, UINT /*ctlType: CTLCOLOR_...*/) { return 0; }
  virtual void OnDestroy() {}
  // Every other message (and those above, first); TRUE when handled, with
  // the message's result in *result.
  virtual BOOL OnMessage(UINT, WPARAM, LPARAM, LRESULT*) { return FALSE; }

  // The dialog procedure's work for this object; pages add the notifications.
  virtual BOOL HandleMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result);
  // Attaches the object to its window at WM_INITDIALOG.
  void Attach(HWND w);
  static INT_PTR CALLBACK DialogProc(HWND w, UINT msg, WPARAM wp, LPARAM lp);

  UINT m_nIDTemplate;
  HWND m_hParent;
  CDialogTemplate m_template;

 private:
  BOOL m_modal;
  CDialog* m_nextModeless;
  void LinkModeless(BOOL in);
  CDialog(const CDialog&);
  CDialog& operator=(const CDialog&);
};
