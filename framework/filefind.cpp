#include "filefind.h"

#include <string.h>

#include "fsys.h"
#include "mbcs.h"

#ifndef _WIN32
#include <dirent.h>
#include <sys/stat.h>
#else
#include "widetext.h"
#endif

CFileFind::CFileFind()
    : m_directory(FALSE), m_link(FALSE), m_nextDirectory(FALSE), m_nextLink(FALSE), m_haveNext(FALSE),
#ifdef _WIN32
      m_h(INVALID_HANDLE_VALUE)
#else
      m_dir(0)
#endif
{
}

CFileFind::~CFileFind() { Close(); }

BOOL CFileFind::IsDots() const { return m_name == "." || m_name == ".."; }

CString CFileFind::GetFilePath() const { return m_folder + m_name; }

// The folder part of a pattern: up to and including its last backslash (a
// backslash never occurs as a second byte in what this finds, but a code page
// 936 trail byte can be one, so the scan goes character by character).
static CString FolderOfPattern(const char* pattern) {
  return CString(pattern, ReverseFindCharMb(pattern, '\\') + 1);
}

#ifdef _WIN32

void CFileFind::Close() {
  if (m_h != INVALID_HANDLE_VALUE) FindClose(m_h);
  m_h = INVALID_HANDLE_VALUE;
  m_haveNext = FALSE;
}

// A name without a code page 936 form is taken in its short form, which
// names the same entry; without one either it keeps its question marks, which
// no file name holds, so it names nothing else.
static void TakeEntry(const WIN32_FIND_DATAW& fd, CString& name, BOOL& directory, BOOL& link) {
  BOOL lost = FALSE;
  name = NarrowText(fd.cFileName, -1, &lost);
  if (lost && fd.cAlternateFileName[0]) name = NarrowText(fd.cAlternateFileName);
  directory = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  link = (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

BOOL CFileFind::FindFile(const char* pattern) {
  Close();
  m_folder = FolderOfPattern(pattern);
  WIN32_FIND_DATAW fd;
  m_h = FindFirstFileW(CWideText(pattern), &fd);
  if (m_h == INVALID_HANDLE_VALUE) return FALSE;
  TakeEntry(fd, m_nextName, m_nextDirectory, m_nextLink);
  m_haveNext = TRUE;
  return TRUE;
}

BOOL CFileFind::ReadAhead() {
  WIN32_FIND_DATAW fd;
  m_haveNext = m_h != INVALID_HANDLE_VALUE && ::FindNextFileW(m_h, &fd);
  if (m_haveNext) TakeEntry(fd, m_nextName, m_nextDirectory, m_nextLink);
  return m_haveNext;
}

#else  // POSIX host build

void CFileFind::Close() {
  if (m_dir) closedir(static_cast<DIR*>(m_dir));
  m_dir = 0;
  m_haveNext = FALSE;
}

BOOL CFileFind::FindFile(const char* pattern) {
  Close();
  m_folder = FolderOfPattern(pattern);
  CString dir = HostPath(m_folder);
  m_dir = opendir(dir.IsEmpty() ? "." : dir.c_str());
  if (!m_dir) return FALSE;
  return ReadAhead();
}

BOOL CFileFind::ReadAhead() {
  m_haveNext = FALSE;
  if (!m_dir) return FALSE;
  dirent* e = readdir(static_cast<DIR*>(m_dir));
  if (!e) return FALSE;
  m_nextName = e->d_name;
  struct stat st;
  // lstat: a symbolic link is an entry of its own, never followed.
  CString path = HostPath(m_folder + m_nextName);
  BOOL known = lstat(path, &st) == 0;
  m_nextLink = known && S_ISLNK(st.st_mode);
  // As on Windows, a link to a folder is a folder (and a link).
  if (m_nextLink) known = stat(path, &st) == 0;
  m_nextDirectory = known && S_ISDIR(st.st_mode);
  m_haveNext = TRUE;
  return TRUE;
}

#endif

BOOL CFileFind::FindNextFile() {
  if (!m_haveNext) return FALSE;
  m_name = m_nextName;
  m_directory = m_nextDirectory;
  m_link = m_nextLink;
  return ReadAhead();
}
