// The folder mksetup extract writes into, and the one place that touches it.
// Every folder and file below it is made one name at a time relative to the
// folder already open (never through a path), nothing found there is followed
// (a link where a folder goes is refused; a link where the file goes is
// replaced by the file, and what it leads to stays as it was), and each file
// is written under a temporary name beside its place and takes its name only
// once its bytes are checked, so a damaged row never costs the file that
// was there. The platform's part is outfolder_posix.cpp (openat and the
// like) or outfolder_windows.cpp (NtCreateFile relative to a folder's
// handle).
#pragma once
#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "common/packagefile.h"
#include "framework/file.h"
#include "tempfiles.h"

// Tells a file apart from every other one on the machine.
struct FileId {
  uint64_t volume = 0, file = 0;
  bool operator<(const FileId& o) const { return volume != o.volume ? volume < o.volume : file < o.file; }
};

class OutFolder {
 public:
  OutFolder();
  ~OutFolder();
  // Opens the folder (a path as given, made with its parents when missing).
  // False with the reason.
  bool Open(const std::string& dir, std::string& error);

  struct Placed {
    ExtractResult result = kExtractFailed;
    std::string why;          // for kExtractFailed: what stood in the way
    FileId id;                // the file now in place
    bool replaced = false;    // a file or link of that name was there
    FileId replacedId;
  };
  // Writes the file name in the folders below the open folder (each a plain
  // name, made when missing): fill writes its bytes into a new temporary
  // file, which takes the name when fill gives kExtractDone and is removed
  // otherwise.
  Placed Write(const std::vector<std::string>& folders, const std::string& name,
               const std::function<ExtractResult(CFile&)>& fill);

 private:
  OutFolder(const OutFolder&) = delete;
  OutFolder& operator=(const OutFolder&) = delete;
  // The folders below the root, made when missing, open; kNoFolder with
  // the reason.
  FolderRef Folder(const std::vector<std::string>& folders, std::string& why);

  std::string dir_;
  FolderRef root_ = kNoFolder;
  // The folder of the last file: files of one folder follow each other.
  std::vector<std::string> lastFolders_;
  FolderRef last_ = kNoFolder;
};
