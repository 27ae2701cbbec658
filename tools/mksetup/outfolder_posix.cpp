// The extract folder on POSIX systems: openat, mkdirat and renameat relative
// to descriptors of folders already open, O_NOFOLLOW everywhere.
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "outfolder.h"
#include "tempfiles.h"

namespace {

// One name, never a way out: the callers judge names long before, this
// stands in the way of anything they missed.
bool PlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

FileId IdOf(const struct stat& st) {
  FileId id;
  id.volume = static_cast<uint64_t>(st.st_dev);
  id.file = static_cast<uint64_t>(st.st_ino);
  return id;
}

// Why a name could not be made or opened: the system's reason, with the
// limit of the name's length where that is the reason.
std::string Reason(int error, int dirFd, const std::string& name) {
  std::string why = strerror(error);
  if (error == ENAMETOOLONG) {
    long max = fpathconf(dirFd, _PC_NAME_MAX);
    why += " (the name is " + std::to_string(name.size()) + " bytes in UTF-8; the file system takes " +
           (max > 0 ? std::to_string(max) : std::string("fewer")) + ")";
  }
  return why;
}

}  // namespace

OutFolder::OutFolder() {}

OutFolder::~OutFolder() {
  if (last_ != kNoFolder && last_ != root_) close(last_);
  if (root_ != kNoFolder) close(root_);
}

bool OutFolder::Open(const std::string& dir, std::string& error) {
  dir_ = dir;
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  root_ = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (root_ < 0) {
    error = "cannot make the folder " + dir + ": " + (ec ? ec.message() : std::string(strerror(errno)));
    return false;
  }
  last_ = root_;
  return true;
}

int OutFolder::Folder(const std::vector<std::string>& folders, std::string& why) {
  if (last_ != kNoFolder && folders == lastFolders_) return last_;
  if (last_ != kNoFolder && last_ != root_) close(last_);
  last_ = kNoFolder;
  lastFolders_.clear();
  int fd = root_;
  std::string shown;
  for (const std::string& part : folders) {
    shown += (shown.empty() ? "" : "/") + part;
    int next = -1;
    if (!PlainName(part)) {
      why = "the folder name \"" + part + "\" is not a plain name";
    } else if (mkdirat(fd, part.c_str(), 0777) != 0 && errno != EEXIST) {
      why = "cannot make the folder " + shown + ": " + Reason(errno, fd, part);
    } else if ((next = openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)) < 0) {
      int error = errno;
      struct stat st;
      if (fstatat(fd, part.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
        why = shown + " is a link, which is not followed";
      else if (error == ENOTDIR)
        why = "a file stands where the folder " + shown + " goes";
      else
        why = "cannot open the folder " + shown + ": " + Reason(error, fd, part);
    }
    if (fd != root_) close(fd);
    if (next < 0) return kNoFolder;
    fd = next;
  }
  lastFolders_ = folders;
  last_ = fd;
  return fd;
}

OutFolder::Placed OutFolder::Write(const std::vector<std::string>& folders, const std::string& name,
                                   const std::function<ExtractResult(CFile&)>& fill) {
  Placed p;
  int dir = Folder(folders, p.why);
  if (dir == kNoFolder) return p;
  if (!PlainName(name)) {
    p.why = "the name \"" + name + "\" is not a plain name";
    return p;
  }
  std::string folderShown = dir_;
  for (const std::string& part : folders) folderShown += "/" + part;
  std::string tmp;
  int fd;
  if (!CreateTempFile(dir, folderShown, fd, tmp, p.why)) return p;
  mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  struct stat st;
  if (fstat(fd, &st) == 0) p.id = IdOf(st);
  CFile out;
  out.Attach(fd);
  p.result = fill(out);
  if (p.result == kExtractFailed) p.why = std::string("reading or writing its bytes failed: ") + strerror(errno);
  if (!out.Close() && p.result == kExtractDone) {
    p.result = kExtractFailed;
    p.why = std::string("writing it failed: ") + strerror(errno);
  }
  if (p.result == kExtractDone) {
    struct stat there;
    if (fstatat(dir, name.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0) {
      p.replaced = true;
      p.replacedId = IdOf(there);
      if (S_ISDIR(there.st_mode)) {
        p.result = kExtractFailed;
        p.why = "a folder stands where the file goes";
      }
    }
  }
  // The name is taken by rename, which replaces a link rather than write
  // through it.
  if (p.result == kExtractDone && renameat(dir, tmp.c_str(), dir, name.c_str()) != 0) {
    p.result = kExtractFailed;
    p.why = Reason(errno, dir, name);
  }
  if (p.result == kExtractDone) ReleaseTempFile(dir, tmp);
  else RemoveTempFile(dir, tmp);
  return p;
}
