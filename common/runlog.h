// The account of an unattended run (/LOG=file): plain text, a line per
// action, in UTF-8 with a byte-order mark so that it reads alike on every
// display language. Without a path every line goes nowhere.
#pragma once
#include "framework/cstring.h"
#include "framework/platform.h"

class CRunLog {
 public:
  CRunLog();
  ~CRunLog();
  // Creates (or empties) the file; FALSE when it cannot be written.
  BOOL Open(const char* path);
  // One line of text in the program's code page.
  void Line(const char* text);
  // One line made of a format with one text.
  void Line(const char* format, const char* text);
  void Close();

 private:
  CRunLog(const CRunLog&);
  CRunLog& operator=(const CRunLog&);
  HANDLE m_file;
};
