#include "testutil.h"

#include "framework/fsys.h"

#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifdef _WIN32
static const char kSep = '\\';
#else
static const char kSep = '/';
#endif

TempDir::TempDir() {
#ifdef _WIN32
  char base[MAX_PATH];
  GetTempPathA(sizeof base, base);
  static int counter = 0;
  for (;;) {
    char name[MAX_PATH];
    snprintf(name, sizeof name, "%sut%lu_%d", base, GetCurrentProcessId(), counter++);
    if (CreateDirectoryA(name, NULL)) {
      dir_ = name;
      break;
    }
  }
#else
  char tmpl[] = "/tmp/ut_XXXXXX";
  dir_ = mkdtemp(tmpl);
#endif
  dir_ += kSep;
}

TempDir::~TempDir() {
#ifdef _WIN32
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((dir_ + "*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::string p = dir_ + fd.cFileName;
      SetFileAttributesA(p.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileA(p.c_str());
    } while (FindNextFileA(h, &fd));
    FindClose(h);
  }
  RemoveDirectoryA(dir_.c_str());
#else
  if (DIR* d = opendir(dir_.c_str())) {
    while (dirent* e = readdir(d)) {
      if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) unlink((dir_ + e->d_name).c_str());
    }
    closedir(d);
  }
  rmdir(dir_.c_str());
#endif
}

std::string TempDir::Path(const std::string& name) const { return dir_ + name; }

bool WriteBytes(const std::string& path, const std::string& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return fclose(f) == 0 && ok;
}

std::string ReadBytes(const std::string& path) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return "";
  std::string out;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  fclose(f);
  return out;
}

bool FileExists(const std::string& path) {
#ifdef _WIN32
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
#else
  struct stat st;
  return stat(path.c_str(), &st) == 0;
#endif
}

void MakeReadOnly(const std::string& path) {
#ifdef _WIN32
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
#else
  chmod(path.c_str(), 0444);
#endif
}

std::string Native(const std::string& p) {
#ifdef _WIN32
  return p;
#else
  return HostPath(p.c_str()).c_str();
#endif
}

#ifdef _WIN32
void RemoveTree(const std::string& dir) {
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      if (!strcmp(fd.cFileName, ".") || !strcmp(fd.cFileName, "..")) continue;
      std::string p = dir + "\\" + fd.cFileName;
      SetFileAttributesA(p.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(p);
      else DeleteFileA(p.c_str());
    } while (FindNextFileA(h, &fd));
    FindClose(h);
  }
  RemoveDirectoryA(dir.c_str());
}
#else
void RemoveTree(const std::string& dir) {
  nftw(
      dir.c_str(), [](const char* p, const struct stat*, int, struct FTW*) { return remove(p); }, 16,
      FTW_DEPTH | FTW_PHYS);
}
#endif
