// One run of the shell's folder chooser: file-system folders only, starting at
// an initial folder, with a caption and a title.
#pragma once
#include "framework/cstring.h"
#include "framework/platform.h"

class CFolderBrowser {
 public:
  CFolderBrowser() {}

  void SetCaption(const char* caption) { m_caption = caption; }
  void SetTitle(const char* title) { m_title = title; }
  void SetInitialFolder(const char* folder) { m_initial = folder; }
  // TRUE when the user chose a file-system folder (then in GetFolder).
  BOOL Browse(HWND owner);
  CString GetFolder() const { return m_folder; }

  CString m_caption;
  CString m_folder;
  CString m_initial;
  CString m_title;

 private:
  static int CALLBACK Callback(HWND w, UINT msg, LPARAM lp, LPARAM data);
};

// The initial folder as the chooser gets it: trailing blanks and then one
// trailing "\" or "/" removed.
CString TrimInitialFolder(const char* folder);
