// The work a run leaves for the user's next logon (files in use in an
// installation of the current user alone): the text of a command script that
// does it in the order it was asked for and then removes itself. The script is
// kept in code page 936, the programs' own, so that every path goes into it as
// the runs hold it; its first line switches the console to that code page
// before any path is read, whatever code pages the user's system has.
#pragma once
#include "framework/cstring.h"

class CLogonScript {
 public:
  // Each false, and the script as before, for a path that cannot be written
  // into a script line (empty, a quotation mark or a control character) or
  // without memory.
  // from takes the place of to (to replaced when there).
  bool Replace(const char* from, const char* to);
  // The file goes, whatever its attributes.
  bool RemoveFile(const char* path);
  // The folder goes when it is empty by then.
  bool RemoveFolder(const char* path);
  bool IsEmpty() const { return m_steps.IsEmpty(); }
  // The whole script: the steps in the order given, then its own removal.
  CString Text() const;

 private:
  bool AddStep(const char* format, const char* first, const char* second);
  CString m_steps;
};
