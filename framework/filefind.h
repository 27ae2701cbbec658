// Searching a folder, in the manner of the class framework's file search:
//
//   CFileFind find;
//   BOOL more = find.FindFile("C:\\dir\\*.*");
//   while (more) {
//     more = find.FindNextFile();
//     ... find.GetFilePath(), find.IsDirectory(), find.IsDots() ...
//   }
//
// The pattern is a folder, a backslash and "*.*" (every entry). On the Linux
// host only that pattern is understood; paths use backslashes there too (see
// fsys.h), and GetFilePath gives them back with backslashes.
#pragma once
#include "cstring.h"
#include "platform.h"

class CFileFind {
 public:
  CFileFind();
  ~CFileFind();
  // Starts the search; FALSE when nothing matches or the folder cannot be read.
  BOOL FindFile(const char* pattern);
  // Moves to the next entry; FALSE when that entry is the last one.
  BOOL FindNextFile();
  void Close();

  CString GetFileName() const { return m_name; }
  // The folder of the pattern, a backslash, the entry's name.
  CString GetFilePath() const;
  BOOL IsDirectory() const { return m_directory; }
  // "." and "..".
  BOOL IsDots() const;
  // A folder that is a link to another place (a junction or symbolic link):
  // walks must not follow it.
  BOOL IsLink() const { return m_link; }

 private:
  BOOL ReadAhead();
  CFileFind(const CFileFind&);
  CFileFind& operator=(const CFileFind&);

  CString m_folder;  // with a trailing backslash
  CString m_name;
  BOOL m_directory;
  BOOL m_link;
  // The entry read ahead of the current one.
  CString m_nextName;
  BOOL m_nextDirectory;
  BOOL m_nextLink;
  BOOL m_haveNext;
#ifdef _WIN32
  HANDLE m_h;
#else
  void* m_dir;
#endif
};
