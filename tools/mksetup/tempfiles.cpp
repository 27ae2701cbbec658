#include "tempfiles.h"

#include <errno.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <random>
#include <vector>

#include "hostfs.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <stddef.h>
#include <windows.h>
#include <winternl.h>
#else
#include <unistd.h>
#endif

const char kTempPrefix[] = ".mksetup-";

namespace {

#ifdef _WIN32

#ifndef FILE_OPEN_REPARSE_POINT
#define FILE_OPEN_REPARSE_POINT 0x00200000
#endif
#ifndef FILE_DELETE_ON_CLOSE
#define FILE_DELETE_ON_CLOSE 0x00001000
#endif
const FILE_INFORMATION_CLASS kFileRenameInformation = static_cast<FILE_INFORMATION_CLASS>(10);

// FILE_RENAME_INFORMATION of the native interface.
struct RenameInformation {
  BOOLEAN ReplaceIfExists;
  HANDLE RootDirectory;
  ULONG FileNameLength;
  WCHAR FileName[1];
};

bool Failed(NTSTATUS status) {
  if (status >= 0) return false;
  SetLastError(RtlNtStatusToDosError(status));
  SetErrnoFromWin32();
  return true;
}

#endif

// Removes a temporary file by its place (also from the signal handler).
void RemoveAt(FolderRef dir, const char* name) {
#ifdef _WIN32
  if (dir == kCurrentFolder) DeleteFileW(WidePath(name).c_str());
  else RemoveBelow(dir, name);
#else
  unlinkat(dir, name, 0);
#endif
}

// The files held, for the signal handler: a slot is filled before it is
// marked used, and read only when used.
struct Held {
  volatile sig_atomic_t used;
  FolderRef dir;
  char name[4096];
};
Held g_held[4];

void OnSignal(int sig) {
  for (Held& h : g_held)
    if (h.used) RemoveAt(h.dir, h.name);
  signal(sig, SIG_DFL);
  raise(sig);
}

bool Hold(FolderRef dir, const std::string& name) {
  if (name.size() >= sizeof g_held[0].name) return false;
  for (Held& h : g_held) {
    if (h.used) continue;
    h.dir = dir;
    memcpy(h.name, name.c_str(), name.size() + 1);
    h.used = 1;
    return true;
  }
  return false;
}

// ".mksetup-PID-" and six random letters, below the folder when it is named
// by path (kCurrentFolder).
std::string TempName(FolderRef dir, const std::string& folder) {
  static std::mt19937 letters(std::random_device{}() ^ static_cast<unsigned>(ProcessId()));
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string name = kTempPrefix + std::to_string(ProcessId()) + "-";
  for (int i = 0; i < 6; i++) name += kLetters[letters() % (sizeof kLetters - 1)];
  if (dir == kCurrentFolder && !folder.empty()) name = (folder.back() == '/' ? folder : folder + "/") + name;
  return name;
}

std::string Shown(const std::string& folder) { return folder.empty() ? "." : folder; }

// A new file of that name, never through a link; errno EEXIST when the name
// is taken.
bool CreateNew(FolderRef dir, const std::string& name, TempFileRef& file) {
#ifdef _WIN32
  const DWORD access = GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES;
  if (dir == kCurrentFolder) {
    file = CreateFileW(WidePath(name).c_str(), access, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) SetErrnoFromWin32();
  } else {
    file = OpenBelow(dir, name, access, FILE_CREATE, FILE_NON_DIRECTORY_FILE);
  }
  return file != INVALID_HANDLE_VALUE;
#else
  file = openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  return file >= 0;
#endif
}

}  // namespace

bool CreateTempFile(FolderRef dir, const std::string& folder, TempFileRef& file, std::string& name,
                    std::string& error) {
  for (int attempt = 0; attempt < 100; attempt++) {
    name = TempName(dir, folder);
    if (!Hold(dir, name)) {
      error = "too many temporary files at once, or a folder path too long: " + Shown(folder);
      return false;
    }
    if (CreateNew(dir, name, file)) return true;
    int why = errno;
    ReleaseTempFile(dir, name);
    if (why != EEXIST) {
      error = "cannot create a file in " + Shown(folder) + ": " + strerror(why);
      return false;
    }
  }
  error = "cannot create a file in " + Shown(folder) + ": no free temporary name";
  return false;
}

int CreateTempFd(const std::string& folder, std::string& name, std::string& error) {
  TempFileRef file;
  if (!CreateTempFile(kCurrentFolder, folder, file, name, error)) return -1;
#ifdef _WIN32
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_BINARY);
  if (fd < 0) {
    error = "cannot create a file in " + Shown(folder) + ": " + strerror(errno);
    CloseHandle(file);
    RemoveTempFile(kCurrentFolder, name);
  }
  return fd;
#else
  return file;
#endif
}

bool ReserveTempName(const std::string& folder, std::string& name, std::string& error) {
  int fd = CreateTempFd(folder, name, error);
  if (fd < 0) return false;
  close(fd);
  // The name stays held: whatever the program makes there goes on a signal.
  RemovePath(name);
  return true;
}

void ReleaseTempFile(FolderRef dir, const std::string& name) {
  for (Held& h : g_held)
    if (h.used && h.dir == dir && name == h.name) h.used = 0;
}

void RemoveTempFile(FolderRef dir, const std::string& name) {
  RemoveAt(dir, name.c_str());
  ReleaseTempFile(dir, name);
}

void RemoveTempFilesOnSignals() {
  signal(SIGINT, OnSignal);
  signal(SIGTERM, OnSignal);
#ifdef SIGHUP
  signal(SIGHUP, OnSignal);
#endif
#ifdef SIGBREAK
  signal(SIGBREAK, OnSignal);
#endif
}

void RemoveStaleTempFiles(const std::string& folder) {
  namespace fs = std::filesystem;
  std::error_code ec;
  for (fs::directory_iterator it(folder.empty() ? fs::path(".") : FsPath(folder), ec), end; !ec && it != end;
       it.increment(ec)) {
    std::string name = PathText(it->path().filename());
    if (name.compare(0, sizeof kTempPrefix - 1, kTempPrefix) != 0) continue;
    long pid = strtol(name.c_str() + sizeof kTempPrefix - 1, nullptr, 10);
    // A run that still lives keeps its file; one killed outright left it behind.
    if (pid > 0 && ProcessGone(pid)) {
      std::error_code rm;
      fs::remove(it->path(), rm);
    }
  }
}

#ifdef _WIN32

void* OpenBelow(FolderRef dir, const std::string& name, unsigned long access, unsigned long disposition,
                unsigned long options) {
  std::wstring wide = WidePath(name);
  UNICODE_STRING path;
  path.Buffer = &wide[0];
  path.Length = path.MaximumLength = static_cast<USHORT>(wide.size() * sizeof(WCHAR));
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &path, OBJ_CASE_INSENSITIVE, dir, nullptr);
  IO_STATUS_BLOCK io;
  HANDLE h = INVALID_HANDLE_VALUE;
  NTSTATUS status = NtCreateFile(&h, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, disposition,
                                 options | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT, nullptr, 0);
  return Failed(status) ? INVALID_HANDLE_VALUE : h;
}

bool RenameBelow(void* file, FolderRef dir, const std::string& name) {
  std::wstring wide = WidePath(name);
  std::vector<char> buffer(offsetof(RenameInformation, FileName) + wide.size() * sizeof(WCHAR));
  RenameInformation* info = reinterpret_cast<RenameInformation*>(buffer.data());
  info->ReplaceIfExists = TRUE;
  info->RootDirectory = dir;
  info->FileNameLength = static_cast<ULONG>(wide.size() * sizeof(WCHAR));
  memcpy(info->FileName, wide.data(), info->FileNameLength);
  IO_STATUS_BLOCK io;
  return !Failed(NtSetInformationFile(file, &io, info, static_cast<ULONG>(buffer.size()), kFileRenameInformation));
}

bool RemoveBelow(FolderRef dir, const std::string& name) {
  HANDLE h = OpenBelow(dir, name, DELETE, FILE_OPEN, FILE_NON_DIRECTORY_FILE | FILE_DELETE_ON_CLOSE);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

#endif
