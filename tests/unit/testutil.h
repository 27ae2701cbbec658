// Small helpers for tests that run both on the Linux host and under Wine.
#pragma once
#include <stdio.h>

#include <string>
#include <vector>

#include "tests/fileutil.h"

// A fresh folder for one test, removed with its files afterwards. Paths are
// formed with the platform's separator.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  std::string Path(const std::string& name) const;  // a file inside the folder
  const std::string& Dir() const { return dir_; }   // ends with a separator

 private:
  std::string dir_;
};

// Makes the file read-only; false when writes still get through (as root on
// the host), so a test of read-only handling cannot fail there.
bool MakeReadOnly(const std::string& path);
// Runs check where read-only files are refused to writers: on the host as
// root in a child process that gave up root's rights. check gives 1 for
// success, 0 for failure, -1 when read-only does not hold even there; so
// does this (the child's failure to give up its rights is -1 too).
int RunWhereReadOnlyHolds(int (*check)());

// Makes link a link to the folder target that the platform reports as a link
// (under Wine a Unix symbolic link: Wine's own call makes none). false when no
// such link can be made here.
bool MakeFolderLink(const std::string& link, const std::string& target);

// A Windows-style path of the engines as the platform takes it: on the host a
// backslash is a folder separator.
std::string Native(const std::string& p);
// The names in a folder (not "." and ".."), sorted.
std::vector<std::string> FolderNames(const std::string& dir);
// Removes a folder with everything in it (read-only files too; links are not
// followed).
void RemoveTree(const std::string& dir);
