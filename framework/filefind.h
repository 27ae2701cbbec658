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

  CString GetFileName() const { return name_; }
  // The folder of the pattern, a backslash, the entry's name.
  CString GetFilePath() const;
  BOOL IsDirectory() const { return directory_; }
  // "." and "..".
  BOOL IsDots() const;
  // A folder that is a link to another place (a junction or symbolic link):
  // walks must not follow it.
  BOOL IsLink() const { return link_; }

 private:
  BOOL ReadAhead();
  CFileFind(const CFileFind&);
  CFileFind& operator=(const CFileFind&);

  CString folder_;  // with a trailing backslash
  CString name_;
  BOOL directory_;
  BOOL link_;
  // The entry read ahead of the current one.
  CString nextName_;
  BOOL nextDirectory_;
  BOOL nextLink_;
  BOOL haveNext_;
#ifdef _WIN32
  HANDLE h_;
#else
  void* dir_;
#endif
};
