// setup.log as the uninstaller reads it: a file the user can edit. Every
// section, every line, and what the run does with each line's text.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "common/setuplog.h"
#include "common/shortenpath.h"
#include "uninstall/core/removalengine.h"

namespace {

// Each walk ends: a log of n bytes has at most n + 1 lines.
void Paths(const CString& line) {
  CString group;
  ProgramGroupOf(line, "c:\\users\\a\\start menu\\programs\\", group);
  ProgramGroupOf(line, "\\", group);
  ShortenPath(line, kRemovalStatusPathMax);
  CRemovalEngine::IsOcxPath(line);
  CString key = FolderKey(line);
  IsRootOrRelative(key);
  ParentFolderOf(line);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  static char path[64];
  if (!path[0]) snprintf(path, sizeof path, "/tmp/setuplog_fuzz.%d", static_cast<int>(getpid()));
  FILE* f = fopen(path, "wb");
  if (!f) return 0;
  fwrite(data, 1, size, f);
  fclose(f);

  CSetupLogReader log;
  if (log.Open(path)) {
    CString line;
    size_t limit = size + 2;
    // Both passes over the files, as the run makes them.
    for (int pass = 0; pass < 2; pass++) {
      if (!log.BeginFileList()) break;
      for (size_t i = 0; i < limit && log.NextFilePath(line); i++) Paths(line);
    }
    log.BeginTypeList();
    for (size_t i = 0; i < limit && log.NextExtension(line); i++) {
      if (line.GetLength() > 3) __builtin_trap();  // cut to 3 bytes
    }
    // The list's associations after the shortcuts, then back to those.
    if (log.BeginSection(LOG_TYPES2_SECTION)) {
      TypeRecord record;
      for (size_t i = 0; i < limit && log.NextEntry(line); i++)
        if (ParseTypeRecord(line, record) && !IsListExtension(record.Extension)) __builtin_trap();
    }
    log.BeginGroup(2);
    for (size_t i = 0; i < limit && log.NextShortcut(line); i++) Paths(line);

    log.Rewind();
    for (size_t i = 0; i < limit && log.ReadLine(line) != kLogLineEnd; i++) {
    }
    log.Close();
  }
  unlink(path);
  return 0;
}
