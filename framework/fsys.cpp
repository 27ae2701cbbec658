#include "fsys.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

CString HostPath(const char* path) {
  CString out;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(path); *p; p++) {
    // A lead byte of code page 936 takes the next byte with it, whatever it is.
    if (*p >= 0x81 && *p <= 0xFE && p[1]) {
      out += static_cast<char>(p[0]);
      out += static_cast<char>(p[1]);
      p++;
    } else {
      out += *p == '\\' ? '/' : static_cast<char>(*p);
    }
  }
  return out;
}
#endif

DWORD GetAttributes(const char* path) {
#ifdef _WIN32
  return GetFileAttributesA(path);
#else
  struct stat st;
  if (stat(HostPath(path), &st) != 0) return INVALID_FILE_ATTRIBUTES;
  return S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_FOLDER : FILE_ATTRIBUTE_NORMAL;
#endif
}

void SetAttributesNormal(const char* path) {
#ifdef _WIN32
  SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
#else
  (void)path;
#endif
}

BOOL RemoveFile(const char* path) {
#ifdef _WIN32
  return DeleteFileA(path);
#else
  return unlink(HostPath(path)) == 0;
#endif
}

BOOL CreateFolder(const char* path) {
#ifdef _WIN32
  return CreateDirectoryA(path, NULL);
#else
  return mkdir(HostPath(path), 0755) == 0;
#endif
}
