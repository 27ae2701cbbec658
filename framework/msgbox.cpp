#include "msgbox.h"

#include "app.h"
#include "widetext.h"

int AfxMessageBox(const char* text, UINT type) {
  CWinApp* app = AfxGetApp();
  HWND owner = AfxGetMainWnd();
  const char* caption = app ? app->m_strAppName.c_str() : "";
  return MessageBoxMb(owner, text, caption, type);
}
