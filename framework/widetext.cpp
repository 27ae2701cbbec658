#include "widetext.h"

#include "memory.h"

CWideText::CWideText(const char* text) : m_text(0), m_heap(0) {
  m_small[0] = 0;
  if (!text) return;
  m_text = m_small;
  int n = MultiByteToWideChar(kTextCodePage, 0, text, -1, 0, 0);
  if (n <= 0) return;
  WCHAR* buf = m_small;
  if (n > static_cast<int>(sizeof m_small / sizeof m_small[0])) {
    m_heap = static_cast<WCHAR*>(AllocBuffer(static_cast<size_t>(n) * sizeof(WCHAR)));
    if (!m_heap) return;
    buf = m_heap;
  }
  if (MultiByteToWideChar(kTextCodePage, 0, text, -1, buf, n) <= 0) {
    buf[0] = 0;
  }
  m_text = buf;
}

CWideText::~CWideText() { FreeBuffer(m_heap); }

CString NarrowText(const WCHAR* text, int length, BOOL* lost) {
  CString result;
  if (lost) *lost = FALSE;
  if (!text) return result;
  if (length < 0) length = lstrlenW(text);
  if (length == 0) return result;
  // No best-fit: a character without a form of its own is a loss, not a
  // look-alike that names another file. (UTF-8 has a form for every one and
  // takes neither the flag nor the question.)
  const DWORD flags = kTextCodePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  BOOL* askUsedDefault = kTextCodePage == CP_UTF8 ? 0 : &usedDefault;
  int n = WideCharToMultiByte(kTextCodePage, flags, text, length, 0, 0, 0, askUsedDefault);
  if (n <= 0) {
    if (lost) *lost = TRUE;
    return result;
  }
  char* buf = static_cast<char*>(AllocBuffer(static_cast<size_t>(n) + 1));
  if (!buf) {
    if (lost) *lost = TRUE;
    return result;
  }
  usedDefault = FALSE;
  n = WideCharToMultiByte(kTextCodePage, flags, text, length, buf, n, 0, askUsedDefault);
  if (n > 0) result.Append(buf, n);
  FreeBuffer(buf);
  if (lost) *lost = usedDefault || n <= 0;
  return result;
}

BOOL HasNarrowForm(const WCHAR* text) {
  BOOL lost = FALSE;
  NarrowText(text, -1, &lost);
  return !lost;
}

BOOL HasSystemCodePageForm(const WCHAR* text) {
  BOOL usedDefault = FALSE;
  // A system code page that takes no such check (UTF-8) has a form for all.
  if (!WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, 0, 0, 0, &usedDefault)) return TRUE;
  return !usedDefault;
}

BOOL NarrowPath(const WCHAR* path, CString& out) {
  BOOL lost = FALSE;
  out = NarrowText(path, -1, &lost);
  if (!lost) return TRUE;
  out = CString();
  WCHAR shortPath[MAX_PATH + 1];
  DWORD n = GetShortPathNameW(path, shortPath, MAX_PATH + 1);
  if (n == 0 || n > MAX_PATH) return FALSE;
  out = NarrowText(shortPath, static_cast<int>(n), &lost);
  if (lost) out = CString();
  return !lost;
}

CString WindowTextMb(HWND w, BOOL* lost) {
  if (lost) *lost = FALSE;
  if (!w) return CString();
  int len = GetWindowTextLengthW(w);
  if (len <= 0) return CString();
  WCHAR* buf = static_cast<WCHAR*>(AllocBuffer((static_cast<size_t>(len) + 1) * sizeof(WCHAR)));
  if (!buf) return CString();
  int got = GetWindowTextW(w, buf, len + 1);
  CString text = got > 0 ? NarrowText(buf, got < len ? got : len, lost) : CString();
  FreeBuffer(buf);
  return text;
}

BOOL SetWindowTextMb(HWND w, const char* text) { return SetWindowTextW(w, CWideText(text ? text : "")); }

BOOL SetDlgItemTextMb(HWND w, int id, const char* text) {
  return SetDlgItemTextW(w, id, CWideText(text ? text : ""));
}

int MessageBoxMb(HWND owner, const char* text, const char* caption, UINT type) {
  return MessageBoxW(owner, CWideText(text ? text : ""), CWideText(caption ? caption : ""), type);
}

// A folder in code page 936 when it has that form and fits.
static CString FittingFolder(const WCHAR* path, UINT n, int maxBytes, BOOL shortForm) {
  if (n == 0 || n > MAX_PATH) return CString();
  CString out;
  if (shortForm) {
    if (!NarrowPath(path, out)) return CString();
  } else {
    BOOL lost = FALSE;
    out = NarrowText(path, static_cast<int>(n), &lost);
    if (lost) return CString();
  }
  return out.GetLength() <= maxBytes ? out : CString();
}

CString WindowsFolderMb(int maxBytes) {
  WCHAR path[MAX_PATH + 1];
  return FittingFolder(path, GetWindowsDirectoryW(path, MAX_PATH + 1), maxBytes, FALSE);
}

CString SystemFolderMb(int maxBytes) {
  WCHAR path[MAX_PATH + 1];
  return FittingFolder(path, GetSystemDirectoryW(path, MAX_PATH + 1), maxBytes, FALSE);
}

CString TempFolderMb(int maxBytes) {
  WCHAR path[MAX_PATH + 1];
  return FittingFolder(path, GetTempPathW(MAX_PATH + 1, path), maxBytes, TRUE);
}

CString ModulePathMb(HMODULE module, int maxBytes) {
  WCHAR path[MAX_PATH + 1];
  DWORD n = GetModuleFileNameW(module, path, MAX_PATH + 1);
  if (n >= MAX_PATH + 1) return CString();
  path[n] = 0;
  return FittingFolder(path, n, maxBytes, TRUE);
}
