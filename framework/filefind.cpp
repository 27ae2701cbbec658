#include "filefind.h"

#include <string.h>

#include "fsys.h"
#include "mbcs.h"

#ifndef _WIN32
#include <dirent.h>
#include <sys/stat.h>
#endif

CFileFind::CFileFind()
    : directory_(FALSE), link_(FALSE), nextDirectory_(FALSE), nextLink_(FALSE), haveNext_(FALSE),
#ifdef _WIN32
      h_(INVALID_HANDLE_VALUE)
#else
      dir_(0)
#endif
{
}

CFileFind::~CFileFind() { Close(); }

BOOL CFileFind::IsDots() const { return name_ == "." || name_ == ".."; }

CString CFileFind::GetFilePath() const { return folder_ + name_; }

// The folder part of a pattern: up to and including its last backslash (a
// backslash never occurs as a second byte in what this finds, but a code page
// 936 trail byte can be one, so the scan goes character by character).
static CString FolderOfPattern(const char* pattern) {
  return CString(pattern, ReverseFindCharMb(pattern, '\\') + 1);
}

#ifdef _WIN32

void CFileFind::Close() {
  if (h_ != INVALID_HANDLE_VALUE) FindClose(h_);
  h_ = INVALID_HANDLE_VALUE;
  haveNext_ = FALSE;
}

static void TakeEntry(const WIN32_FIND_DATAA& fd, CString& name, BOOL& directory, BOOL& link) {
  name = fd.cFileName;
  directory = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  link = (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

BOOL CFileFind::FindFile(const char* pattern) {
  Close();
  folder_ = FolderOfPattern(pattern);
  WIN32_FIND_DATAA fd;
  h_ = FindFirstFileA(pattern, &fd);
  if (h_ == INVALID_HANDLE_VALUE) return FALSE;
  TakeEntry(fd, nextName_, nextDirectory_, nextLink_);
  haveNext_ = TRUE;
  return TRUE;
}

BOOL CFileFind::ReadAhead() {
  WIN32_FIND_DATAA fd;
  haveNext_ = h_ != INVALID_HANDLE_VALUE && ::FindNextFileA(h_, &fd);
  if (haveNext_) TakeEntry(fd, nextName_, nextDirectory_, nextLink_);
  return haveNext_;
}

#else  // POSIX host build

void CFileFind::Close() {
  if (dir_) closedir(static_cast<DIR*>(dir_));
  dir_ = 0;
  haveNext_ = FALSE;
}

BOOL CFileFind::FindFile(const char* pattern) {
  Close();
  folder_ = FolderOfPattern(pattern);
  CString dir = HostPath(folder_);
  dir_ = opendir(dir.IsEmpty() ? "." : dir.c_str());
  if (!dir_) return FALSE;
  return ReadAhead();
}

BOOL CFileFind::ReadAhead() {
  haveNext_ = FALSE;
  if (!dir_) return FALSE;
  dirent* e = readdir(static_cast<DIR*>(dir_));
  if (!e) return FALSE;
  nextName_ = e->d_name;
  struct stat st;
  // lstat: a symbolic link is an entry of its own, never followed.
  CString path = HostPath(folder_ + nextName_);
  BOOL known = lstat(path, &st) == 0;
  nextLink_ = known && S_ISLNK(st.st_mode);
  // As on Windows, a link to a folder is a folder (and a link).
  if (nextLink_) known = stat(path, &st) == 0;
  nextDirectory_ = known && S_ISDIR(st.st_mode);
  haveNext_ = TRUE;
  return TRUE;
}

#endif

BOOL CFileFind::FindNextFile() {
  if (!haveNext_) return FALSE;
  name_ = nextName_;
  directory_ = nextDirectory_;
  link_ = nextLink_;
  return ReadAhead();
}
