// The extract folder on Windows: every folder and file opened or made by its
// plain name relative to the handle of the folder above it (NtCreateFile
// with a root folder), never following a reparse point (a symbolic link or
// a junction: one where a folder goes is refused), and renamed into place
// relative to its folder's handle, which replaces a link of that name rather
// than write through it.
#include <errno.h>
#include <string.h>
#include <windows.h>
#include <winternl.h>

#include <filesystem>

#include "hostfs.h"
#include "outfolder.h"
#include "tempfiles.h"

namespace {

const DWORD kFolderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;

// One name, never a way out: no separator, no drive or stream (":"), not "."
// or "..". The callers judge names long before; this stands in the way of
// anything they missed.
bool PlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string("/\\:\0", 4)) == std::string::npos;
}

bool InfoOf(HANDLE h, BY_HANDLE_FILE_INFORMATION& info) { return GetFileInformationByHandle(h, &info) != 0; }

FileId IdOf(const BY_HANDLE_FILE_INFORMATION& info) {
  FileId id;
  id.volume = info.dwVolumeSerialNumber;
  id.file = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return id;
}

}  // namespace

OutFolder::OutFolder() {}

OutFolder::~OutFolder() {
  if (last_ != kNoFolder && last_ != root_) CloseHandle(last_);
  if (root_ != kNoFolder) CloseHandle(root_);
}

bool OutFolder::Open(const std::string& dir, std::string& error) {
  dir_ = dir;
  std::error_code ec;
  std::filesystem::create_directories(FsPath(dir), ec);
  HANDLE h = CreateFileW(WidePath(dir).c_str(), kFolderAccess | SYNCHRONIZE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  BY_HANDLE_FILE_INFORMATION info;
  if (h == INVALID_HANDLE_VALUE) {
    SetErrnoFromWin32();
  } else if (!InfoOf(h, info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    CloseHandle(h);
    h = INVALID_HANDLE_VALUE;
    errno = ENOTDIR;
  }
  if (h == INVALID_HANDLE_VALUE) {
    error = "cannot make the folder " + dir + ": " + (ec ? ec.message() : std::string(strerror(errno)));
    return false;
  }
  root_ = last_ = h;
  return true;
}

FolderRef OutFolder::Folder(const std::vector<std::string>& folders, std::string& why) {
  if (last_ != kNoFolder && folders == lastFolders_) return last_;
  if (last_ != kNoFolder && last_ != root_) CloseHandle(last_);
  last_ = kNoFolder;
  lastFolders_.clear();
  HANDLE h = root_;
  std::string shown;
  for (const std::string& part : folders) {
    shown += (shown.empty() ? "" : "/") + part;
    HANDLE next = INVALID_HANDLE_VALUE;
    BY_HANDLE_FILE_INFORMATION info;
    if (!PlainName(part)) {
      why = "the folder name \"" + part + "\" is not a plain name";
    } else if ((next = OpenBelow(h, part, kFolderAccess, FILE_OPEN_IF, FILE_DIRECTORY_FILE)) ==
               INVALID_HANDLE_VALUE) {
      if (errno == ENOTDIR) why = "a file stands where the folder " + shown + " goes";
      else why = "cannot make the folder " + shown + ": " + strerror(errno);
    } else if (!InfoOf(next, info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      // Opened as itself: a link or a junction, whose target is not entered.
      why = shown + " is a link, which is not followed";
      CloseHandle(next);
      next = INVALID_HANDLE_VALUE;
    }
    if (h != root_) CloseHandle(h);
    if (next == INVALID_HANDLE_VALUE) return kNoFolder;
    h = next;
  }
  lastFolders_ = folders;
  last_ = h;
  return h;
}

OutFolder::Placed OutFolder::Write(const std::vector<std::string>& folders, const std::string& name,
                                   const std::function<ExtractResult(CFile&)>& fill) {
  Placed p;
  FolderRef dir = Folder(folders, p.why);
  if (dir == kNoFolder) return p;
  if (!PlainName(name)) {
    p.why = "the name \"" + name + "\" is not a plain name";
    return p;
  }
  std::string folderShown = dir_;
  for (const std::string& part : folders) folderShown += "/" + part;
  std::string tmp;
  TempFileRef file;
  if (!CreateTempFile(dir, folderShown, file, tmp, p.why)) return p;
  BY_HANDLE_FILE_INFORMATION info;
  if (InfoOf(file, info)) p.id = IdOf(info);
  CFile out;
  out.Attach(file);
  p.result = fill(out);
  if (p.result == kExtractFailed) p.why = std::string("reading or writing its bytes failed: ") + strerror(errno);
  if (!out.Close() && p.result == kExtractDone) {
    SetErrnoFromWin32();
    p.result = kExtractFailed;
    p.why = std::string("writing it failed: ") + strerror(errno);
  }
  if (p.result == kExtractDone) {
    HANDLE there = OpenBelow(dir, name, FILE_READ_ATTRIBUTES, FILE_OPEN, 0);
    if (there != INVALID_HANDLE_VALUE) {
      p.replaced = true;
      if (InfoOf(there, info)) {
        p.replacedId = IdOf(info);
        if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
          p.result = kExtractFailed;
          p.why = "a folder stands where the file goes";
        }
      }
      CloseHandle(there);
    }
  }
  // The name is taken by a rename relative to the folder's handle, which
  // replaces a link rather than write through it.
  if (p.result == kExtractDone) {
    HANDLE moving = OpenBelow(dir, tmp, DELETE, FILE_OPEN, FILE_NON_DIRECTORY_FILE);
    if (moving == INVALID_HANDLE_VALUE || !RenameBelow(moving, dir, name)) {
      p.result = kExtractFailed;
      p.why = strerror(errno);
    }
    if (moving != INVALID_HANDLE_VALUE) CloseHandle(moving);
  }
  if (p.result == kExtractDone) ReleaseTempFile(dir, tmp);
  else RemoveTempFile(dir, tmp);
  return p;
}
