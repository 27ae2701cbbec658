#include "hostfs.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

fs::path FsPath(const std::string& utf8) { return fs::u8path(utf8); }

std::string PathText(const fs::path& path) { return path.generic_u8string(); }

bool WriteText(const std::string& path, const std::string& text, std::string& error) {
  FILE* f = OpenFile(path, "wb");
  bool ok = f && fwrite(text.data(), 1, text.size(), f) == text.size();
  if (!ok) error = strerror(errno);
  if (f && fclose(f) != 0 && ok) {
    error = strerror(errno);
    ok = false;
  }
  return ok;
}

std::vector<std::string> StubPlaces() {
  std::string self = SelfFolder();
  if (self.empty()) return {"setup.exe"};
  fs::path dir = FsPath(self);
  std::vector<std::string> places = {PathText(dir / "setup.exe")};
#ifndef _WIN32
  places.push_back(PathText((dir / ".." / "lib" / "mksetup" / "setup.exe").lexically_normal()));
#endif
  return places;
}

std::string StubPlacesText() {
  std::string text;
  for (const std::string& place : StubPlaces()) text += (text.empty() ? "" : ", ") + place;
  return text;
}

std::string FindStub() {
  for (const std::string& place : StubPlaces()) {
    FileInfo info;
    if (StatPath(place, info) && info.regular) return place;
  }
  return "";
}

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <io.h>
#include <windows.h>

std::wstring WidePath(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
  return out;
}

std::string Utf8Text(const wchar_t* text, int length) {
  if (length < 0) length = static_cast<int>(wcslen(text));
  if (length == 0) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text, length, &out[0], n, nullptr, nullptr);
  return out;
}

// The errno values POSIX gives for the same conditions, so that messages
// (strerror) read alike on both systems.
void SetErrnoFromWin32() {
  switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_PATHNAME:
      errno = ENOENT;
      break;
    case ERROR_DIRECTORY:  // a file where a folder is asked for
      errno = ENOTDIR;
      break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      errno = EACCES;
      break;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      errno = EEXIST;
      break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      errno = ENOSPC;
      break;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      errno = ENOMEM;
      break;
    case ERROR_FILENAME_EXCED_RANGE:
      errno = ENAMETOOLONG;
      break;
    case ERROR_CANT_RESOLVE_FILENAME:
      errno = ELOOP;
      break;
    default:
      errno = EIO;
  }
}

namespace {

bool InfoOf(HANDLE h, FileInfo& info) {
  BY_HANDLE_FILE_INFORMATION fi;
  info = FileInfo();
  if (GetFileType(h) != FILE_TYPE_DISK) return true;  // a device or a pipe: no regular file
  if (!GetFileInformationByHandle(h, &fi)) {
    SetErrnoFromWin32();
    return false;
  }
  info.folder = (fi.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  info.link = (fi.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  info.regular = !info.folder && !info.link;
  info.size = static_cast<int64_t>((static_cast<uint64_t>(fi.nFileSizeHigh) << 32) | fi.nFileSizeLow);
  info.device = fi.dwVolumeSerialNumber;
  info.id = (static_cast<uint64_t>(fi.nFileIndexHigh) << 32) | fi.nFileIndexLow;
  return true;
}

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

bool StatPath(const std::string& path, FileInfo& info, bool followLinks) {
  info = FileInfo();
  // Folders open only with backup semantics; a link itself only with
  // FILE_FLAG_OPEN_REPARSE_POINT.
  DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  HANDLE h = CreateFileW(WidePath(path).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING, flags,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    SetErrnoFromWin32();
    return false;
  }
  bool ok = InfoOf(h, info);
  CloseHandle(h);
  return ok;
}

bool StatFd(int fd, FileInfo& info) {
  HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  if (h == INVALID_HANDLE_VALUE) {
    errno = EBADF;
    return false;
  }
  return InfoOf(h, info);
}

int OpenRead(const std::string& path) {
  HANDLE h = CreateFileW(WidePath(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    SetErrnoFromWin32();
    return -1;
  }
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDONLY | _O_BINARY);
  if (fd < 0) CloseHandle(h);
  return fd;
}

FILE* OpenFile(const std::string& path, const char* mode) {
  std::wstring wmode(mode, mode + strlen(mode));
  return _wfopen(WidePath(path).c_str(), wmode.c_str());
}

FILE* AnonymousTempFile() {
  wchar_t dir[MAX_PATH + 1], name[MAX_PATH + 1];
  DWORD n = GetTempPathW(MAX_PATH + 1, dir);
  if (n == 0 || n > MAX_PATH || !GetTempFileNameW(dir, L"mks", 0, name)) {
    SetErrnoFromWin32();
    return nullptr;
  }
  HANDLE h = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    SetErrnoFromWin32();
    DeleteFileW(name);
    return nullptr;
  }
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDWR | _O_BINARY);
  FILE* f = fd >= 0 ? _fdopen(fd, "w+b") : nullptr;
  if (!f) {
    if (fd >= 0) _close(fd);
    else CloseHandle(h);
  }
  return f;
}

int CreateUniqueFile(std::string& pathTemplate) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  if (pathTemplate.size() < 6) {
    errno = EINVAL;
    return -1;
  }
  size_t at = pathTemplate.size() - 6;
  LARGE_INTEGER seed;
  QueryPerformanceCounter(&seed);
  uint64_t x = static_cast<uint64_t>(seed.QuadPart) ^ (static_cast<uint64_t>(GetCurrentProcessId()) << 32);
  for (int attempt = 0; attempt < 100; attempt++) {
    for (size_t i = 0; i < 6; i++) {
      x = x * 6364136223846793005ULL + 1442695040888963407ULL;
      pathTemplate[at + i] = kLetters[(x >> 33) % (sizeof kLetters - 1)];
    }
    HANDLE h = CreateFileW(WidePath(pathTemplate).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      SetErrnoFromWin32();
      return -1;
    }
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDWR | _O_BINARY);
    if (fd < 0) CloseHandle(h);
    return fd;
  }
  errno = EEXIST;
  return -1;
}

bool RemovePath(const std::string& path) {
  if (DeleteFileW(WidePath(path).c_str())) return true;
  SetErrnoFromWin32();
  return false;
}

bool RenameOver(const std::string& from, const std::string& to) {
  if (MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  SetErrnoFromWin32();
  return false;
}

bool SyncToDisk(int fd) { return _commit(fd) == 0; }

int64_t FilePosition(int fd) { return _lseeki64(fd, 0, SEEK_CUR); }

bool SeekTo(int fd, int64_t offset) { return _lseeki64(fd, offset, SEEK_SET) == offset; }

void MakeExecutable(int) {}

bool SameMode(const std::string&, const FileInfo&) { return true; }

long ProcessId() { return static_cast<long>(GetCurrentProcessId()); }

bool ProcessGone(long pid) {
  HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (!h) return GetLastError() == ERROR_INVALID_PARAMETER;  // no such process
  bool ended = WaitForSingleObject(h, 0) == WAIT_OBJECT_0;
  CloseHandle(h);
  return ended;
}

bool IsTerminal(FILE* stream) { return _isatty(_fileno(stream)) != 0; }

std::string SelfFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (n == 0) return "";
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  return PathText(fs::path(path).parent_path());
}

#else  // POSIX

#include <signal.h>
#include <unistd.h>

namespace {

void InfoOf(const struct stat& st, FileInfo& info) {
  info = FileInfo();
  info.regular = S_ISREG(st.st_mode);
  info.folder = S_ISDIR(st.st_mode);
  info.link = S_ISLNK(st.st_mode);
  info.size = static_cast<int64_t>(st.st_size);
  info.device = static_cast<uint64_t>(st.st_dev);
  info.id = static_cast<uint64_t>(st.st_ino);
  info.mode = static_cast<unsigned>(st.st_mode & 07777);
}

}  // namespace

bool StatPath(const std::string& path, FileInfo& info, bool followLinks) {
  info = FileInfo();
  struct stat st;
  if ((followLinks ? stat(path.c_str(), &st) : lstat(path.c_str(), &st)) != 0) return false;
  InfoOf(st, info);
  return true;
}

bool StatFd(int fd, FileInfo& info) {
  struct stat st;
  if (fstat(fd, &st) != 0) return false;
  InfoOf(st, info);
  return true;
}

// One open that cannot wait (a pipe opens at once without a writer).
int OpenRead(const std::string& path) { return open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); }

FILE* OpenFile(const std::string& path, const char* mode) { return fopen(path.c_str(), mode); }

FILE* AnonymousTempFile() { return tmpfile(); }

int CreateUniqueFile(std::string& pathTemplate) { return mkstemp(&pathTemplate[0]); }

bool RemovePath(const std::string& path) { return unlink(path.c_str()) == 0; }

bool RenameOver(const std::string& from, const std::string& to) { return rename(from.c_str(), to.c_str()) == 0; }

bool SyncToDisk(int fd) { return fsync(fd) == 0; }

int64_t FilePosition(int fd) { return static_cast<int64_t>(lseek(fd, 0, SEEK_CUR)); }

bool SeekTo(int fd, int64_t offset) { return lseek(fd, static_cast<off_t>(offset), SEEK_SET) == offset; }

void MakeExecutable(int fd) {
  mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0777 & ~mask);
}

bool SameMode(const std::string& path, const FileInfo& like) { return chmod(path.c_str(), like.mode) == 0; }

long ProcessId() { return static_cast<long>(getpid()); }

bool ProcessGone(long pid) { return kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH; }

bool IsTerminal(FILE* stream) { return isatty(fileno(stream)) != 0; }

std::string SelfFolder() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return "";
  return PathText(self.parent_path());
}

#endif
