#include "folderbrowser.h"

#include <shlobj.h>

#include "framework/mbcs.h"
#include "framework/widetext.h"

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
      SendMessageW(w, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(CWideText(self->m_initial).Get()));
    if (!self->m_caption.IsEmpty()) SetWindowTextMb(w, self->m_caption);
  } else if (msg == BFFM_SELCHANGED) {
    SendMessageW(w, BFFM_ENABLEOK, 0, 1);
  }
  return 0;
}

BOOL CFolderBrowser::Browse(HWND owner) {
  m_folderLost = FALSE;
  if (!m_initial.IsEmpty()) m_initial = TrimInitialFolder(m_initial);
  IMalloc* shellMalloc = 0;
  if (FAILED(SHGetMalloc(&shellMalloc)) || !shellMalloc) return FALSE;

  WCHAR display[kBrowsePathSize] = {0};
  CWideText title(m_title);
  BROWSEINFOW info;
  ZeroMemory(&info, sizeof info);
  info.hwndOwner = owner;
  info.pszDisplayName = display;
  info.lpszTitle = title;
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_RETURNFSANCESTORS;
  info.lpfn = Callback;
  info.lParam = reinterpret_cast<LPARAM>(this);
  LPITEMIDLIST item = SHBrowseForFolderW(&info);
  if (!item) {
    shellMalloc->Release();
    return FALSE;
  }
  WCHAR path[kBrowsePathSize] = {0};
  BOOL ok = SHGetPathFromIDListW(item, path);
  shellMalloc->Free(item);
  shellMalloc->Release();
  if (!ok || !path[0]) return FALSE;
  // A folder without a code page 936 form is reported (FolderLost).
  BOOL lost = FALSE;
  m_folder = NarrowText(path, -1, &lost);
  m_folderLost = lost;
  return TRUE;
}
