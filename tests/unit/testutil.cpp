#include "testutil.h"

#include "framework/fsys.h"

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <winioctl.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

bool MakeReadOnly(const std::string& path) {
#ifdef _WIN32
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
  if (h == INVALID_HANDLE_VALUE) return true;
  CloseHandle(h);
  return false;
#else
  chmod(path.c_str(), 0444);
  // Root writes whatever the permissions say.
  int fd = open(path.c_str(), O_WRONLY);
  if (fd < 0) return true;
  close(fd);
  return false;
#endif
}

int RunWhereReadOnlyHolds(int (*check)()) {
#ifdef _WIN32
  return check();
#else
  if (geteuid() != 0) return check();
  fflush(stdout);
  fflush(stderr);
  pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
    int r = check();
    _exit(r > 0 ? 0 : r == 0 ? 1 : 3);
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return 0;
  return WEXITSTATUS(status) == 0 ? 1 : WEXITSTATUS(status) == 3 ? -1 : 0;
#endif
}

#ifdef _WIN32
static bool ReportedAsLink(const std::string& path) {
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA(path.c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return false;
  FindClose(h);
  return (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

static std::wstring Wide(const std::string& s, UINT cp) {
  wchar_t w[2 * MAX_PATH];
  int n = MultiByteToWideChar(cp, 0, s.c_str(), -1, w, 2 * MAX_PATH);
  return n > 0 ? std::wstring(w) : std::wstring();
}

// Under Wine: the Unix name of an existing path, in UTF-8; "" elsewhere.
static std::string UnixName(const std::string& path) {
  typedef char*(CDECL * UnixNameProc)(const wchar_t*);
  UnixNameProc proc = reinterpret_cast<UnixNameProc>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (!proc) return "";
  char* name = proc(Wide(path, CP_ACP).c_str());
  if (!name) return "";
  std::string out = name;
  HeapFree(GetProcessHeap(), 0, name);
  return out;
}
#endif

#ifdef _WIN32
// A mount point (junction) through the platform's own call: an empty folder
// with a reparse point that leads to target (an absolute path).
static bool MakeMountPoint(const std::string& link, const std::string& target) {
  if (!CreateDirectoryA(link.c_str(), NULL)) return false;
  HANDLE h = CreateFileA(link.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
  bool made = false;
  if (h != INVALID_HANDLE_VALUE) {
    std::wstring substitute = L"\\??\\" + Wide(target, CP_ACP), print = Wide(target, CP_ACP);
    WORD subBytes = static_cast<WORD>(substitute.size() * 2), printBytes = static_cast<WORD>(print.size() * 2);
    // Tag, data length, reserved; then the four name offsets and lengths and
    // both names, each with its terminator.
    std::vector<char> buf(8 + 8 + subBytes + 2 + printBytes + 2, 0);
    WORD dataLength = static_cast<WORD>(buf.size() - 8);
    WORD fields[6] = {dataLength, 0, 0, subBytes, static_cast<WORD>(subBytes + 2), printBytes};
    DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    memcpy(&buf[0], &tag, 4);
    memcpy(&buf[4], fields, sizeof fields);
    memcpy(&buf[16], substitute.c_str(), subBytes);
    memcpy(&buf[16 + subBytes + 2], print.c_str(), printBytes);
    DWORD got = 0;
    made = DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, &buf[0], static_cast<DWORD>(buf.size()), NULL, 0, &got, NULL);
    CloseHandle(h);
  }
  if (!made || !ReportedAsLink(link)) {
    RemoveDirectoryA(link.c_str());
    return false;
  }
  return true;
}
#endif

bool MakeFolderLink(const std::string& link, const std::string& target) {
#ifdef _WIN32
  if (MakeMountPoint(link, target)) return true;
  std::string unixTarget = UnixName(target);
  size_t slash = link.rfind('\\');
  std::string unixParent = slash == std::string::npos ? "" : UnixName(link.substr(0, slash));
  if (!unixTarget.empty() && !unixParent.empty()) {
    // Wine's own call makes nothing; a Unix link in the prefix is what it
    // reports as a link.
    std::string command = "ln -s \"" + unixTarget + "\" \"" + unixParent + "/" + link.substr(slash + 1) + "\"";
    std::wstring wide = Wide(command, CP_UTF8);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    if (CreateProcessW(L"Z:\\bin\\ln", &wide[0], NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) {
      // The handle of a Unix program does not wait for it: the link's
      // appearance does.
      for (int i = 0; i < 100 && !ReportedAsLink(link); i++) Sleep(50);
      CloseHandle(pi.hProcess);
      CloseHandle(pi.hThread);
    }
  } else {
    CreateSymbolicLinkA(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY | 0x2 /* unprivileged */);
  }
  return ReportedAsLink(link);
#else
  return symlink(target.c_str(), link.c_str()) == 0;
#endif
}

std::string Native(const std::string& p) {
#ifdef _WIN32
  return p;
#else
  return HostPath(p.c_str()).c_str();
#endif
}

std::vector<std::string> FolderNames(const std::string& dir) {
  std::vector<std::string> names;
#ifdef _WIN32
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((dir + (dir.back() == '\\' ? "*" : "\\*")).c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      if (strcmp(fd.cFileName, ".") && strcmp(fd.cFileName, "..")) names.push_back(fd.cFileName);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
  }
#else
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) names.push_back(e->d_name);
    closedir(d);
  }
#endif
  std::sort(names.begin(), names.end());
  return names;
}

#ifdef _WIN32
void RemoveTree(const std::string& dir) {
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      if (!strcmp(fd.cFileName, ".") || !strcmp(fd.cFileName, "..")) continue;
      std::string p = dir + "\\" + fd.cFileName;
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        RemoveDirectoryA(p.c_str());  // the link, never what it leads to
        continue;
      }
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
