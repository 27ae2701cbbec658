// mksetup extract: every file of a setup file written below a folder, each
// checked, nothing created, changed or removed outside that folder.
#pragma once
#include <stdio.h>

#include <string>
#include <vector>

#include "inspect.h"

// Where a file row goes below the folder: its folders and name as they are
// created (UTF-8), or why it is not written.
struct RowTarget {
  std::vector<std::string> folders;
  std::string name;
  std::string why;   // not empty: refused
  std::string note;  // something to say about a row that is written
};
// The row judged on the parts that are created: its name and sub-folder as
// the setup cuts them, refused by the setup's own rule (IsContainedEntry),
// then converted to UTF-8, refused when any byte does not convert, and
// judged again part by part after the conversion.
RowTarget TargetOf(const InspectedFile& f);

// Writes every file of the setup file into dir: what was done on out,
// problems on err. The exit status: 0 when every file was written as it
// should be, 1 otherwise.
int ExtractFiles(const std::string& setup, const std::string& dir, FILE* out, FILE* err);
