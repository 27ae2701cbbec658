// The one bridge between the programs' code page 936 text and the wide (UTF-16)
// functions of Windows. The stored formats (package index, uninstaller table,
// setup.log) and the runs keep their code page 936 bytes; every text and path
// handed to Windows is converted from code page 936 explicitly, and every one
// Windows gives back is converted to it, whatever the system's own code page
// is. A character with no code page 936 form is reported, never passed on as
// a question mark that would name something else.
#pragma once
#include "cstring.h"
#include "platform.h"

// The code page of every text the programs keep.
#ifdef WIDETEXT_UTF8
// The builder on Windows (mksetup.exe) names its files in UTF-8, as on Linux.
const UINT kTextCodePage = CP_UTF8;
#else
const UINT kTextCodePage = 936;
#endif

// The UTF-16 form of a code page 936 text, for a wide function. A null text
// gives a null pointer (optional parameters stay optional); a text that cannot
// be converted (no memory) gives an empty one.
class CWideText {
 public:
  explicit CWideText(const char* text);
  ~CWideText();
  operator const WCHAR*() const { return m_text; }
  const WCHAR* Get() const { return m_text; }

 private:
  WCHAR* m_text;
  WCHAR* m_heap;
  WCHAR m_small[96];
  CWideText(const CWideText&);
  CWideText& operator=(const CWideText&);
};

// The code page 936 form of UTF-16 text (length in WCHARs, -1: up to the
// terminator). A character without a code page 936 form comes out as '?' and
// sets *lost (when given) to TRUE; otherwise *lost is FALSE.
CString NarrowText(const WCHAR* text, int length = -1, BOOL* lost = 0);
// TRUE when every character of the text has a code page 936 form.
BOOL HasNarrowForm(const WCHAR* text);

// TRUE when every character of the text has a form in the system's own
// (ANSI) code page, the one older stored structures of Windows use.
BOOL HasSystemCodePageForm(const WCHAR* text);

// A path Windows gave back, in code page 936: its own form, or where that has
// none its short (8.3) form, which names the same file or folder in ASCII.
// FALSE, and out empty, when neither has a code page 936 form. For paths the
// programs only use (their own file, the temporary folder), never for paths
// they write into setup.log.
BOOL NarrowPath(const WCHAR* path, CString& out);

// The whole text of a window in code page 936; *lost as for NarrowText.
CString WindowTextMb(HWND w, BOOL* lost = 0);
BOOL SetWindowTextMb(HWND w, const char* text);
BOOL SetDlgItemTextMb(HWND w, int id, const char* text);
int MessageBoxMb(HWND owner, const char* text, const char* caption, UINT type);

// Folders of the system, in code page 936, at most maxBytes bytes long
// (terminator not counted); empty when it has no code page 936 form or is
// longer. The temporary folder (with its trailing backslash) falls back to its
// short form (NarrowPath).
CString WindowsFolderMb(int maxBytes);
CString SystemFolderMb(int maxBytes);
CString TempFolderMb(int maxBytes);
// The program file's path as NarrowPath gives it; empty when it has none or
// is longer than maxBytes bytes.
CString ModulePathMb(HMODULE module, int maxBytes);
