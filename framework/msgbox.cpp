#include "msgbox.h"

#include "app.h"

int AfxMessageBox(const char* text, UINT type) {
  CWinApp* app = AfxGetApp();
  HWND owner = app ? app->m_hMainWnd : 0;
  const char* caption = app ? app->m_strAppName.c_str() : "";
  return MessageBoxA(owner, text, caption, type);
}
