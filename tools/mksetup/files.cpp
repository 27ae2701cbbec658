#include "files.h"

#include <errno.h>
#include <unistd.h>

#include <filesystem>

#include "hostfs.h"

#ifndef _WIN32
#include <fcntl.h>
#endif

namespace fs = std::filesystem;

bool ReadWholeFile(const std::string& path, std::string& bytes) {
  bytes.clear();
  int fd = OpenRead(path);
  if (fd < 0) return false;
  char buf[65536];
  bool ok = true;
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    bytes.append(buf, static_cast<size_t>(n));
  }
  int saved = errno;
  close(fd);
  errno = saved;
  return ok;
}

bool WriteAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    ssize_t w = write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

#ifdef _WIN32
// A folder's entries are on the disk with the file system's own journal.
void SyncFolder(const std::string&) {}
#else
void SyncFolder(const std::string& dir) {
  int dfd = open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY);
  if (dfd >= 0) {
    fsync(dfd);
    close(dfd);
  }
}
#endif

bool ThroughLink(std::string& output, std::string& why) {
  FileInfo info;
  if (!StatPath(output, info, false) || !info.link) return true;
  std::error_code ec;
  fs::path target = fs::canonical(FsPath(output), ec);
  if (ec) {
    why = "a link to nothing (" + ec.message() + ")";
    return false;
  }
  output = PathText(target);
  return true;
}
