#include "fsys.h"

#include "mbcs.h"

#ifdef _WIN32
#include "widetext.h"
#endif

#ifndef _WIN32
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

CString HostPath(const char* path) {
  CString out;
  // A double-byte character goes as it is, whatever its trail byte.
  for (int w; *path; path += w) {
    w = CharWidthMb(path);
    if (w == 1 && *path == '\\') out += '/';
    else out.Append(path, w);
  }
  return out;
}
#endif

DWORD GetAttributes(const char* path) {
#ifdef _WIN32
  return GetFileAttributesW(CWideText(path));
#else
  struct stat st;
  if (stat(HostPath(path), &st) != 0) return INVALID_FILE_ATTRIBUTES;
  return S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_FOLDER : FILE_ATTRIBUTE_NORMAL;
#endif
}

void SetAttributesNormal(const char* path) {
#ifdef _WIN32
  SetFileAttributesW(CWideText(path), FILE_ATTRIBUTE_NORMAL);
#else
  // The host's read-only: no write permission for the owner.
  CString p = HostPath(path);
  struct stat st;
  if (lstat(p, &st) == 0 && !S_ISLNK(st.st_mode) && !(st.st_mode & S_IWUSR)) chmod(p, (st.st_mode & 07777) | S_IWUSR);
#endif
}

bool RemoveFile(const char* path) {
#ifdef _WIN32
  return DeleteFileW(CWideText(path));
#else
  return unlink(HostPath(path)) == 0;
#endif
}

bool CreateFolder(const char* path) {
#ifdef _WIN32
  return CreateDirectoryW(CWideText(path), NULL);
#else
  return mkdir(HostPath(path), 0755) == 0;
#endif
}

long long GetFileSize64(const char* path) {
#ifdef _WIN32
  WIN32_FILE_ATTRIBUTE_DATA d;
  if (!GetFileAttributesExW(CWideText(path), GetFileExInfoStandard, &d)) return -1;
  if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -1;
  return (static_cast<long long>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
#else
  struct stat st;
  if (stat(HostPath(path), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<long long>(st.st_size);
#endif
}

bool ClearAttributes(const char* path) {
#ifdef _WIN32
  return SetFileAttributesW(CWideText(path), FILE_ATTRIBUTE_NORMAL);
#else
  struct stat st;
  return lstat(HostPath(path), &st) == 0;
#endif
}

bool RemoveFolder(const char* path) {
#ifdef _WIN32
  return RemoveDirectoryW(CWideText(path));
#else
  // As on Windows, a link to a folder goes as a link.
  CString p = HostPath(path);
  while (p.GetLength() > 1 && p.EndsWith('/')) p = p.Left(p.GetLength() - 1);
  struct stat st;
  if (lstat(p, &st) == 0 && S_ISLNK(st.st_mode)) return unlink(p) == 0;
  return rmdir(p) == 0;
#endif
}

bool IsLinkPath(const char* path) {
#ifdef _WIN32
  // The search reports what the entry itself is, also where the platform's
  // attribute query follows the link.
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW(CWideText(path), &fd);
  if (h == INVALID_HANDLE_VALUE) return false;
  FindClose(h);
  return (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
#else
  struct stat st;
  return lstat(HostPath(path), &st) == 0 && S_ISLNK(st.st_mode);
#endif
}

bool MoveFileTo(const char* from, const char* to) {
#ifdef _WIN32
  CWideText wideFrom(from), wideTo(to);
  const DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED;
  if (MoveFileExW(wideFrom, wideTo, flags)) return true;
  // Some systems (Wine) move no read-only file: moved without the attribute,
  // which it then gets back in its new place (or its old one).
  DWORD attributes = GetFileAttributesW(wideFrom);
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY)) return false;
  SetFileAttributesW(wideFrom, FILE_ATTRIBUTE_NORMAL);
  bool moved = MoveFileExW(wideFrom, wideTo, flags) != 0;
  SetFileAttributesW(moved ? wideTo.Get() : wideFrom.Get(), attributes);
  return moved;
#else
  return rename(HostPath(from), HostPath(to)) == 0;
#endif
}

unsigned ProcessNumber() {
#ifdef _WIN32
  return GetCurrentProcessId();
#else
  return static_cast<unsigned>(getpid());
#endif
}
