#include "tempfiles.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <filesystem>
#include <random>

const char kTempPrefix[] = ".mksetup-";

namespace {

// The files held, for the signal handler: a slot is filled before it is
// marked used, and read only when used.
struct Held {
  volatile sig_atomic_t used;
  int dirFd;
  char name[4096];
};
Held g_held[4];

void OnSignal(int sig) {
  for (Held& h : g_held)
    if (h.used) unlinkat(h.dirFd, h.name, 0);
  signal(sig, SIG_DFL);
  raise(sig);
}

bool Hold(int dirFd, const std::string& name) {
  if (name.size() >= sizeof g_held[0].name) return false;
  for (Held& h : g_held) {
    if (h.used) continue;
    h.dirFd = dirFd;
    memcpy(h.name, name.c_str(), name.size() + 1);
    h.used = 1;
    return true;
  }
  return false;
}

// ".mksetup-PID-" and six random letters, below the folder when it is named
// by path (dirFd AT_FDCWD).
std::string TempName(int dirFd, const std::string& folder) {
  static std::mt19937 letters(std::random_device{}() ^ static_cast<unsigned>(getpid()));
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string name = kTempPrefix + std::to_string(static_cast<long>(getpid())) + "-";
  for (int i = 0; i < 6; i++) name += kLetters[letters() % (sizeof kLetters - 1)];
  if (dirFd == AT_FDCWD && !folder.empty()) name = (folder.back() == '/' ? folder : folder + "/") + name;
  return name;
}

std::string Shown(const std::string& folder) { return folder.empty() ? "." : folder; }

}  // namespace

int CreateTempFile(int dirFd, const std::string& folder, std::string& name, std::string& error) {
  for (int attempt = 0; attempt < 100; attempt++) {
    name = TempName(dirFd, folder);
    if (!Hold(dirFd, name)) {
      error = "too many temporary files at once, or a folder path too long: " + Shown(folder);
      return -1;
    }
    int fd = openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    int why = errno;
    ReleaseTempFile(dirFd, name);
    if (why != EEXIST) {
      error = "cannot create a file in " + Shown(folder) + ": " + strerror(why);
      return -1;
    }
  }
  error = "cannot create a file in " + Shown(folder) + ": no free temporary name";
  return -1;
}

bool ReserveTempName(const std::string& folder, std::string& name, std::string& error) {
  int fd = CreateTempFile(AT_FDCWD, folder, name, error);
  if (fd < 0) return false;
  close(fd);
  // The name stays held: whatever the program makes there goes on a signal.
  unlink(name.c_str());
  return true;
}

void ReleaseTempFile(int dirFd, const std::string& name) {
  for (Held& h : g_held)
    if (h.used && h.dirFd == dirFd && name == h.name) h.used = 0;
}

void RemoveTempFile(int dirFd, const std::string& name) {
  unlinkat(dirFd, name.c_str(), 0);
  ReleaseTempFile(dirFd, name);
}

void RemoveTempFilesOnSignals() {
  signal(SIGINT, OnSignal);
  signal(SIGTERM, OnSignal);
  signal(SIGHUP, OnSignal);
}

void RemoveStaleTempFiles(const std::string& folder) {
  namespace fs = std::filesystem;
  std::error_code ec;
  for (fs::directory_iterator it(folder.empty() ? fs::path(".") : fs::path(folder), ec), end; !ec && it != end;
       it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (name.compare(0, sizeof kTempPrefix - 1, kTempPrefix) != 0) continue;
    long pid = strtol(name.c_str() + sizeof kTempPrefix - 1, nullptr, 10);
    // A run that still lives keeps its file; one killed outright left it behind.
    if (pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
      std::error_code rm;
      fs::remove(it->path(), rm);
    }
  }
}
