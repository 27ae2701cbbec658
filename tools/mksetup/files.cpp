#include "files.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace fs = std::filesystem;

bool ReadWholeFile(const std::string& path, std::string& bytes) {
  bytes.clear();
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
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

void SyncFolder(const std::string& dir) {
  int dfd = open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY);
  if (dfd >= 0) {
    fsync(dfd);
    close(dfd);
  }
}

bool ThroughLink(std::string& output, std::string& why) {
  struct stat st;
  if (lstat(output.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
  std::error_code ec;
  fs::path target = fs::canonical(output, ec);
  if (ec) {
    why = "a link to nothing (" + ec.message() + ")";
    return false;
  }
  output = target.string();
  return true;
}
