#include "folderbrowser.h"

#include <shlobj.h>

#include "framework/mbcs.h"

// The chooser's buffers hold this many bytes.
const int kBrowsePathSize = 260;

CString TrimInitialFolder(const char* folder) {
  CString s(folder);
  int n = s.GetLength();
  while (n > 0 && (s[n - 1] == ' ' || s[n - 1] == '\t' || s[n - 1] == '\r' || s[n - 1] == '\n')) --n;
  s = s.Left(n);
  if (n > 0 && (s[n - 1] == '/' || EndsWithBackslashMb(s))) s = s.Left(n - 1);
  return s;
}

int CALLBACK CFolderBrowser::Callback(HWND w, UINT msg, LPARAM, LPARAM data) {
  CFolderBrowser* self = reinterpret_cast<CFolderBrowser*>(data);
  if (msg == BFFM_INITIALIZED) {
    if (!self->m_initial.IsEmpty())
      SendMessageA(w, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(self->m_initial.c_str()));
    if (!self->m_caption.IsEmpty()) SetWindowTextA(w, self->m_caption);
  } else if (msg == BFFM_SELCHANGED) {
    SendMessageA(w, BFFM_ENABLEOK, 0, 1);
  }
  return 0;
}

BOOL CFolderBrowser::Browse(HWND owner) {
  if (!m_initial.IsEmpty()) m_initial = TrimInitialFolder(m_initial);
  IMalloc* shellMalloc = 0;
  if (FAILED(SHGetMalloc(&shellMalloc)) || !shellMalloc) return FALSE;

  char display[kBrowsePathSize] = {0};
  BROWSEINFOA info;
  ZeroMemory(&info, sizeof info);
  info.hwndOwner = owner;
  info.pszDisplayName = display;
  info.lpszTitle = m_title;
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_RETURNFSANCESTORS;
  info.lpfn = Callback;
  info.lParam = reinterpret_cast<LPARAM>(this);
  LPITEMIDLIST item = SHBrowseForFolderA(&info);
  if (!item) {
    shellMalloc->Release();
    return FALSE;
  }
  char path[kBrowsePathSize] = {0};
  BOOL ok = SHGetPathFromIDListA(item, path);
  shellMalloc->Free(item);
  shellMalloc->Release();
  if (!ok || !path[0]) return FALSE;
  m_folder = path;
  return TRUE;
}
