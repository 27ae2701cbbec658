// One run of the shell's folder chooser: file-system folders only, starting at
// an initial folder, with a caption and a title.
#pragma once
#include "framework/cstring.h"
#include "framework/platform.h"

class CFolderBrowser {
 public:
  CFolderBrowser() : m_folderLost(FALSE) {}

  void SetCaption(const char* caption) { m_caption = caption; }
  void SetTitle(const char* title) { m_title = title; }
  void SetInitialFolder(const char* folder) { m_initial = folder; }
  // TRUE when the user chose a file-system folder (then in GetFolder).
  BOOL Browse(HWND owner);
  CString GetFolder() const { return m_folder; }
  // TRUE when the folder chosen has no code page 936 form (GetFolder then
  // holds question marks in its place).
  BOOL FolderLost() const { return m_folderLost; }

  CString m_caption;
  CString m_folder;
  CString m_initial;
  CString m_title;
  BOOL m_folderLost;

 private:
  static int CALLBACK Callback(HWND w, UINT msg, LPARAM lp, LPARAM data);
};

// The initial folder as the chooser gets it: trailing blanks and then one
// trailing "\" or "/" removed.
CString TrimInitialFolder(const char* folder);
