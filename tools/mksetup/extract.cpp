#include "extract.h"

#include <stdio.h>
#include <string.h>

#include <map>

#include "codepage.h"
#include "common/packagefile.h"
#include "common/packageindex.h"
#include "framework/mbcs.h"
#include "outfolder.h"

namespace {

// The bytes of the first character of s that do not convert, as "0xA1 0x5C".
std::string FirstLoss(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    size_t w = static_cast<size_t>(CharWidthMb(s.c_str() + i));
    bool lossless = true;
    Cp936ToUtf8(s.substr(i, w), &lossless);
    if (!lossless || !IsWholeTextMb(s.substr(i, w).c_str())) {
      std::string hex;
      for (size_t k = i; k < i + w; k++) {
        char b[8];
        snprintf(b, sizeof b, "%s0x%02X", k > i ? " " : "", static_cast<unsigned char>(s[k]));
        hex += b;
      }
      return hex + " at byte " + std::to_string(i + 1);
    }
    i += w;
  }
  return "";
}

// What is wrong with one part of a path as created, "" when nothing.
std::string PartProblem(const std::string& part) {
  if (part.find(':') != std::string::npos) return "the part \"" + Escaped(part) + "\" names a drive or a stream";
  if (part.find_first_not_of(". ") == std::string::npos)
    return "the part \"" + Escaped(part) + "\" climbs out of its folder";
  return "";
}

}  // namespace

RowTarget TargetOf(const InspectedFile& f) {
  RowTarget t;
  // Cut as the setup cuts them into its buffers.
  FileEntry e = EntryOf(f);
  if (f.nameRaw.size() > strlen(e.Name))
    t.note = "its name of " + std::to_string(f.nameRaw.size()) + " bytes is cut to " + std::to_string(strlen(e.Name)) +
             ", as the setup cuts it";
  if (f.subdirRaw.size() > strlen(e.SubDir))
    t.note = "its sub-folder of " + std::to_string(f.subdirRaw.size()) + " bytes is cut to " +
             std::to_string(strlen(e.SubDir)) + ", as the setup cuts it";
  const struct {
    const char* what;
    std::string raw;
  } texts[] = {{"name", e.Name}, {"sub-folder", e.SubDir}};
  for (const auto& text : texts) {
    bool lossless = true;
    std::string utf8 = Cp936ToUtf8(text.raw, &lossless);
    // Bytes that do not convert are refused, never written as some text of
    // their own: that text could hold a separator the check never saw.
    if (!lossless || !IsWholeTextMb(text.raw.c_str())) {
      t.why = std::string("its ") + text.what + " \"" + Escaped(utf8) +
              "\" holds bytes that are not code page 936 text (" + FirstLoss(text.raw) + ")";
      return t;
    }
  }
  // Judged on the parts as they are created, after the conversion.
  std::string name = Cp936ToUtf8(e.Name), subdir = Cp936ToUtf8(e.SubDir);
  if (e.Folder == FOLDER_SYSTEM || e.Folder == FOLDER_WINDOWS) t.folders.push_back(FolderKeyword(e.Folder));
  std::string why;
  if (!subdir.empty() && (subdir[0] == '\\' || subdir[0] == '/')) why = "its sub-folder starts at the root";
  std::string part;
  for (char c : subdir + "\\") {
    if (c != '\\' && c != '/') {
      part += c;
    } else if (!part.empty()) {
      if (why.empty()) why = PartProblem(part);
      t.folders.push_back(part);
      part.clear();
    }
  }
  if (why.empty()) why = name.empty() ? "it has no name" : PartProblem(name);
  if (why.empty() && name.find_first_of("\\/") != std::string::npos) why = "its name holds a folder separator";
  // The setup's own rule has the last word.
  if (why.empty() && !IsContainedEntry(e)) why = "the setup would not write it";
  if (!why.empty()) t.why = "its path leaves its folder: " + why;
  t.name = name;
  return t;
}

int ExtractFiles(const std::string& path, const std::string& dir, FILE* out, FILE* err) {
  InspectReport report;
  PackageReader reader;
  std::string error;
  if (!reader.Open(path, report, error)) {
    fprintf(err, "error: %s\n", error.c_str());
    return 1;
  }
  // A damaged package gives nothing, as the setup installs nothing of it;
  // nor does an index that ends before its header or a row does.
  InspectedFile f;
  CBlockTable blocks;
  if (!report.damaged && !report.cut) {
    while (reader.NextFile(f, &report)) {
    }
    std::string key, value;
    while (reader.NextSetting(key, value, &report)) {
    }
    CheckRowsAndBlocks(reader, blocks, nullptr, report);
    // The whole licence too: the setup installs nothing of a package whose
    // licence is not what it says.
    reader.CheckLicence(report);
  }
  if (report.damaged || report.cut) {
    for (const std::string& p : report.problems) fprintf(err, "error: %s: %s\n", path.c_str(), p.c_str());
    fprintf(err, "mksetup: %s %s; nothing written\n", path.c_str(),
            report.damaged ? "is damaged" : "is not a whole package (its index ends early)");
    return 1;
  }
  OutFolder folder;
  if (!folder.Open(dir, error)) {
    fprintf(err, "error: %s\n", error.c_str());
    return 1;
  }
  CPackageFile package;
  package.UseBlocks(&blocks);
  if (!package.Open(path.c_str())) {
    fprintf(err, "error: %s: cannot be read\n", path.c_str());
    return 1;
  }
  // The files this run made, by the row that made them: a later row of the
  // same place replaces one of them rather than add a file.
  std::map<FileId, size_t> made;
  size_t written = 0, failed = 0;
  for (size_t row = 1; reader.NextFile(f, nullptr); row++) {
    std::string shown = "file " + std::to_string(row) + " (" + Escaped(f.name) + ")";
    RowTarget t = TargetOf(f);
    if (!t.why.empty()) {
      fprintf(err, "error: %s: %s; not written\n", shown.c_str(), t.why.c_str());
      failed++;
      continue;
    }
    if (!t.note.empty()) fprintf(err, "note: %s: %s\n", shown.c_str(), t.note.c_str());
    FileEntry e = EntryOf(f);
    OutFolder::Placed p = folder.Write(t.folders, t.name, [&](CFile& file) { return package.WriteTo(e, &file); });
    if (p.result != kExtractDone) {
      fprintf(err, "error: %s: %s\n", shown.c_str(),
              p.result == kExtractDamaged
                  ? "damaged: its bytes are not what its row says; not written (a file there stays as it was)"
                  : ("cannot be written: " + p.why).c_str());
      failed++;
      continue;
    }
    auto earlier = p.replaced ? made.find(p.replacedId) : made.end();
    if (earlier != made.end()) {
      fprintf(err, "note: %s: goes where file %zu went; the later one stays\n", shown.c_str(), earlier->second);
      made.erase(earlier);
    } else {
      written++;
    }
    made[p.id] = row;
  }
  fprintf(out, "%s: %zu file%s written to %s%s\n", path.c_str(), written, written == 1 ? "" : "s", dir.c_str(),
          failed ? "" : report.seal.Present ? ", every checksum matches" : " (a package without checksums)");
  if (failed) fprintf(err, "mksetup: %zu file%s not written\n", failed, failed == 1 ? "" : "s");
  return failed ? 1 : 0;
}
