#include "inspect.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "codepage.h"
#include "hostfs.h"
#include "common/container.h"
#include "common/fieldtable.h"
#include "common/package.h"
#include "common/packagefile.h"
#include "common/packageindex.h"
#include "framework/memory.h"
#include "names.h"

namespace {

// An index much larger than any list of files could need is not one.
const long kMaxIndexBytes = 256L << 20;

bool Outside(int64_t length, int64_t offset, int64_t size) {
  return length < 0 || offset < 0 || offset > size || length > size - offset;
}

// The most bytes a value of the settings section may hold, by its key.
size_t SettingLimit(const std::string& key) {
  const char* rest = "";
  if (ListItemOf(key.c_str(), SETTING_UNINSTALL_KEY, &rest) || ListItemOf(key.c_str(), SETTING_UNINSTALL_VALUE, &rest))
    return REG_ENTRY_LIMIT;
  return SETTING_VALUE_LIMIT;
}

const char* FolderKindName(int kind) {
  return kind == FOLDER_WINDOWS ? "windows" : kind == FOLDER_SYSTEM ? "system" : "install";
}

std::string ShortcutWords(long bits) {
  std::string s;
  if (bits & SHORTCUT_DESKTOP) s += "desktop";
  if (bits & SHORTCUT_STARTMENU) s += std::string(s.empty() ? "" : "+") + "startmenu";
  if (bits & SHORTCUT_GROUP) s += std::string(s.empty() ? "" : "+") + "group";
  return s;
}

}  // namespace

std::string Shown(const std::string& s) { return "\"" + Escaped(s) + "\""; }

std::string Escaped(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    char esc[8];
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c == '\t') out += "\\t";
    else if (c < 0x20 || c == 0x7F) {
      snprintf(esc, sizeof esc, "\\x%02X", c);
      out += esc;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

namespace {

// Bytes that are not UTF-8 (a Linux path may hold any) as the text \xNN,
// so that the output stays JSON.
std::string AsUtf8(const std::string& s) {
  std::string out;
  size_t at = 0;
  for (std::string rest = s; !rest.empty();) {
    if (IsUtf8(rest, &at)) {
      out += rest;
      break;
    }
    char esc[8];
    snprintf(esc, sizeof esc, "\\x%02X", static_cast<unsigned char>(rest[at]));
    out += rest.substr(0, at) + esc;
    rest.erase(0, at + 1);
  }
  return out;
}

std::string Json(const std::string& raw) {
  std::string s = AsUtf8(raw);
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char esc[8];
          snprintf(esc, sizeof esc, "\\u%04x", c);
          out += esc;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

// The last bytes read "&LEN:digits,SEEK:digits." as the builder writes them
// (the setup itself is more lenient; a file that merely ends near an "&" is
// no setup file), then nothing or what starts like a seal (which ParseSeal
// judges); that text into seal.
bool TrailerShape(const std::string& path, std::string& seal) {
  char tail[TRAILER_WINDOW];
  int count = 0;
  long long end = 0;
  bool signedFile = false;
  if (!ReadTrailerWindow(path.c_str(), tail, count, end, signedFile)) return false;
  size_t n = static_cast<size_t>(count);
  size_t amp = std::string(tail, n).rfind('&');
  if (amp == std::string::npos) return false;
  std::string t(tail + amp, n - amp);
  size_t i = 0;
  auto lit = [&](const char* w) {
    size_t k = strlen(w);
    if (t.compare(i, k, w) != 0) return false;
    i += k;
    return true;
  };
  auto digits = [&] {
    size_t start = i;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') i++;
    return i > start && i - start <= 10;
  };
  if (!(lit("&LEN:") && digits() && lit(",SEEK:") && digits() && lit("."))) return false;
  seal = t.substr(i);
  return seal.empty() || seal.compare(0, 3, PACKAGE_TAG, 3) == 0;
}

}  // namespace

void InspectReport::AddProblem(const std::string& problem, bool damage) {
  damaged = damaged || damage;
  if (problems.size() < kMaxProblems) problems.push_back(problem);
  problemCount++;
}

// Fields end as NextField ends them; "" at the end of the text, which ended_
// tells from an empty field.
std::string PackageReader::Next() {
  const char* t = table_.text.c_str();
  int len = table_.text.GetLength();
  for (int i = table_.readPos; i < len; i++) {
    if (t[i] != FIELD_END && t[i] != ROW_END) continue;
    std::string f(t + table_.readPos, static_cast<size_t>(i - table_.readPos));
    table_.readPos = t[i] == FIELD_END ? i + 1 : i + 3;
    ended_ = false;
    return f;
  }
  ended_ = true;
  return "";
}

bool PackageReader::Open(const std::string& path, InspectReport& r, std::string& error) {
  r = InspectReport();
  r.path = path;
  table_.text.Empty();
  table_.readPos = 0;
  ended_ = false;
  row_ = 0;
  FileInfo st;
  if (!StatPath(path, st) || !st.regular) {
    error = path + ": cannot be read (not found or not a file)";
    return false;
  }
  r.size = size_ = st.size;
  CPackage package;
  if (package.OpenIndex(path.c_str(), kMaxIndexBytes) == kPackageNoTrailer || !TrailerShape(path, r.sealText)) {
    error = path + ": not a setup file: no trailer \"&LEN:...,SEEK:....\" in its last 127 bytes";
    return false;
  }
  r.seal = package.Seal;
  path_ = path;
  licence_.clear();
  int64_t len = r.len = package.Index.Length;
  int64_t seek = r.seek = package.Index.Offset;
  if (len <= 0 || Outside(len, seek, r.size)) {
    error = path + ": damaged: the trailer puts the index (" + std::to_string(len) + " bytes at offset " +
            std::to_string(seek) + ") outside the file (" + std::to_string(r.size) + " bytes)";
    return false;
  }
  if (len > kMaxIndexBytes) {
    error = path + ": damaged: the trailer gives an index of " + std::to_string(len) + " bytes";
    return false;
  }
  if (!package.IndexRead) {
    error = path + ": the index cannot be read";
    return false;
  }
  int64_t got = r.indexUnpacked = package.IndexUnpacked;
  package.ReadIndex(table_);
  if (r.seal.Present && !r.seal.Valid) {
    r.AddProblem("damaged: the seal after the trailer does not read: " + Shown(r.sealText) + " (the form is " PACKAGE_TAG
                 ":<payload start>:<payload crc>:<index crc>, for a packed index followed by :lzma,<unpacked>: "
                 "numbers in decimal without leading zeros, each checksum 8 lower-case hex digits)", true);
  } else if (r.seal.Present) {
    r.indexCrcMatches = package.IndexMatches;
    if (!r.indexCrcMatches) r.AddProblem("damaged: the index's checksum does not match the trailer's seal", true);
    CPackageFile data;
    r.payloadCrcMatches = data.Open(path.c_str()) && data.VerifyPayload(r.seal, seek, 0, 0);
    if (!r.payloadCrcMatches)
      r.AddProblem("damaged: the payload's checksum (bytes " + std::to_string(r.seal.PayloadStart) + " to " +
                   std::to_string(seek) + ") does not match the trailer's seal", true);
  }
  if (r.seal.Valid && r.seal.IndexMethod == kMethodLzma && !got)
    r.AddProblem("damaged: the packed index does not unpack to the " + std::to_string(r.seal.IndexUnpacked) +
                 " bytes the seal gives", true);
  if (table_.text.GetLength() < got)
    r.AddProblem("the index holds a zero byte at " + std::to_string(table_.text.GetLength()) + " of " +
                 std::to_string(got) + "; what follows it is not read");

  for (int i = 0; i < kIndexHeaderFields; i++) {
    std::string raw = Next();
    if (ended_) {
      r.AddProblem("the index ends after " + std::to_string(i) + " of its " + std::to_string(kIndexHeaderFields) +
                   " header fields");
      r.cut = true;
      break;
    }
    InspectedField f;
    f.position = i + 1;
    f.name = kIndexFields[i].name;
    f.raw = raw;
    bool lossless = true;
    f.text = Cp936ToUtf8(raw, &lossless);
    if (!lossless) r.AddProblem(f.name + ": bytes that are not code page 936 text");
    int limit = kIndexFields[i].limit;
    if (kIndexFields[i].kind == kFieldText && limit > 0 && static_cast<int>(raw.size()) > limit)
      r.AddProblem(f.name + ": " + std::to_string(raw.size()) + " bytes; the setup holds at most " +
                   std::to_string(limit));
    r.header.push_back(f);
  }
  auto number = [&](int position) {
    return position < static_cast<int>(r.header.size()) ? ParseLong(r.header[position].raw.c_str()) : 0;
  };
  struct {
    const char* what;
    int lengthPos;
  } regions[] = {{"PictureLength/PictureOffset", kIdxPictureLength},
                 {"IconLength/IconOffset", kIdxIconLength},
                 {"SplashPictureLength/SplashPictureOffset", kIdxSplashPictureLength}};
  for (auto& reg : regions) {
    long l = number(reg.lengthPos), o = number(reg.lengthPos + 1);
    if ((l != 0 || o != 0) && Outside(l, o, r.size))
      r.AddProblem(std::string(reg.what) + ": " + std::to_string(l) + " bytes at " + std::to_string(o) +
                   " lie outside the file");
  }
  r.extended = extended_ = static_cast<int>(r.header.size()) > kIdxExtension &&
                           r.header[kIdxExtension].raw == PACKAGE_TAG;
  if (r.extended != r.seal.Present)
    r.AddProblem(r.extended ? "damaged: the index carries the tag " PACKAGE_TAG " but the trailer no seal"
                            : "damaged: the trailer carries a seal but the index not the tag " PACKAGE_TAG, true);
  filesStart_ = ended_ ? -1 : table_.readPos;
  return true;
}

bool PackageReader::NextSetting(std::string& key, std::string& value, InspectReport* r) {
  if (!extended_ || !ended_ || table_.readPos >= table_.text.GetLength()) return false;
  CString storedKey, storedValue;
  if (!::NextSetting(table_, storedKey, storedValue)) return false;
  std::string rawKey(storedKey.c_str(), static_cast<size_t>(storedKey.GetLength()));
  std::string raw(storedValue.c_str(), static_cast<size_t>(storedValue.GetLength()));
  bool lossless = true;
  key = AsUtf8(rawKey);
  value = Cp936ToUtf8(raw, &lossless);
  if (!r) return true;
  r->settingCount++;
  if (rawKey.compare(0, strlen(SETTING_BLOCK), SETTING_BLOCK) == 0) {
    unsigned long long number = 0;
    const char* rest = 0;
    RegionRef ref;
    if (!ParseDecimal(rawKey.c_str() + strlen(SETTING_BLOCK), BLOCK_COUNT_MAX, number, &rest) || *rest ||
        !ParseRegionRef(raw.c_str(), ref))
      r->AddProblem("damaged: setting " + key + " = " + Shown(value) +
                        " is not a block (numbers 1 to " + std::to_string(BLOCK_COUNT_MAX) +
                        ", \"<offset>,<length>,lzma|stored[+x86],<unpacked>,<crc32>\")",
                    true);
    else
      r->blocks.emplace_back(static_cast<long long>(number), ref);
    return true;
  }
  if (!lossless) r->AddProblem("setting " + key + ": bytes that are not code page 936 text");
  size_t limit = SettingLimit(key);
  if (raw.size() > limit)
    r->AddProblem("setting " + key + ": " + std::to_string(raw.size()) + " bytes; the setup holds at most " +
                  std::to_string(limit) + (limit == SETTING_VALUE_LIMIT ? "" : " and leaves a longer one out"));
  const char* rest = "";
  if (ListItemOf(rawKey.c_str(), SETTING_ASSOCIATION, &rest) && strcmp(rest, ASSOCIATION_FIELD_EXTENSION) == 0 &&
      !IsListExtension(raw.c_str()))
    r->AddProblem("setting " + key + ": " + Shown(value) + " is no extension the setup takes (1 to " +
                  std::to_string(LIST_EXTENSION_CHARS) + " characters, none of them . \\ / : * ? \" < > | or a blank)");
  if (rawKey == SETTING_LICENCE_REGION) {
    RegionRef ref;
    licence_ = raw;
    if (!ParseRegionRef(raw.c_str(), ref))
      r->AddProblem("setting " + key + ": " + Shown(value) +
                    " does not read (the form is <offset>,<length>,stored|lzma,<unpacked>,<crc32>); the setup "
                    "shows the licence line alone");
  }
  return true;
}

void PackageReader::CheckLicence(InspectReport& r) {
  RegionRef ref;
  if (licence_.empty() || !ParseRegionRef(licence_.c_str(), ref)) return;
  CPackageFile file;
  char* text = nullptr;
  ExtractResult got = file.Open(path_.c_str()) ? file.ReadRegion(ref, LICENCE_TEXT_LIMIT, text) : kExtractFailed;
  if (got == kExtractDone) r.licenceBytes = static_cast<int64_t>(strlen(text));
  FreeBuffer(text);
  if (got == kExtractDamaged)
    r.AddProblem("damaged: the licence (" + std::to_string(ref.Length) + " bytes at " + std::to_string(ref.Offset) +
                 ") is not what licence.region says, or over " + std::to_string(LICENCE_TEXT_LIMIT) + " bytes", true);
  else if (got != kExtractDone)
    r.AddProblem("the licence (" + std::to_string(ref.Length) + " bytes at " + std::to_string(ref.Offset) +
                 ") cannot be read");
}

void PackageReader::Rewind() {
  ended_ = filesStart_ < 0;
  if (filesStart_ >= 0) table_.readPos = filesStart_;
  row_ = 0;
}

bool PackageReader::NextFile(InspectedFile& f, InspectReport* r) {
  if (ended_) return false;
  std::string name = Next();
  if (name.empty()) {
    if (ended_ && r)
      r->notes.push_back("the file list ends with the index text, not with an empty name (read the same: the "
                         "setup's reader gives an empty name at the end)");
    ended_ = true;
    return false;
  }
  std::string row[kFileRowFields];
  row[kRowName] = name;
  for (int k = kRowName + 1; k < kFileRowFields && !ended_; k++) row[k] = Next();
  if (ended_) {
    if (r) {
      r->AddProblem("the index ends inside file row " + std::to_string(row_ + 1));
      r->cut = true;
    }
    return false;
  }
  row_++;
  f = InspectedFile();
  f.name = Cp936ToUtf8(name);
  f.folder = Cp936ToUtf8(row[kRowFolder]);
  f.folderKind = FolderFromKeyword(row[kRowFolder].c_str());
  f.subdir = Cp936ToUtf8(row[kRowSubDir]);
  f.shortcuts = ParseLong(row[kRowShortcuts].c_str());
  f.copy = Cp936ToUtf8(row[kRowCopyMode]);
  f.copyMode = CopyModeFromKeyword(row[kRowCopyMode].c_str());
  f.length = ParseLong(row[kRowLength].c_str());
  f.offset = ParseLong(row[kRowOffset].c_str());
  bool extOk = ParseRowExtension(row[kRowExtension].c_str(), f.ext);
  // Past 2 GiB: the 32-bit fields hold what fits, 0 for what does not.
  bool wideAgrees = true;
  if (extOk && f.ext.Wide && extended_) {
    wideAgrees = WideRowAgrees(f.length, f.offset, f.ext);
    f.length = f.ext.Length;
    f.offset = f.ext.Offset;
  }
  f.outside = Outside(f.length, f.offset, size_);
  f.extension = row[kRowExtension];
  f.nameRaw = name;
  f.subdirRaw = row[kRowSubDir];
  f.folderRaw = f.folderKind;
  if (!r) return true;
  r->x86Count += f.ext.Filter == kFilterX86;
  std::string which = "file " + std::to_string(row_) + " (" + Escaped(f.name) + "): ";
  bool lossless = true;
  Cp936ToUtf8(name + row[kRowSubDir], &lossless);
  if (!lossless) r->AddProblem(which + "bytes that are not code page 936 text");
  if (name.size() > static_cast<size_t>(kFileRowLimits[kRowName]))
    r->AddProblem(which + "a name of " + std::to_string(name.size()) + " bytes; the setup holds at most " +
                  std::to_string(kFileRowLimits[kRowName]));
  if (row[kRowSubDir].size() > static_cast<size_t>(kFileRowLimits[kRowSubDir]))
    r->AddProblem(which + "a sub-folder of " + std::to_string(row[kRowSubDir].size()) + " bytes; the setup holds at most " +
                  std::to_string(kFileRowLimits[kRowSubDir]));
  std::string why = WindowsNameProblem(f.name);
  if (!why.empty()) r->AddProblem(which + "the name " + why);
  if (!row[kRowSubDir].empty()) {
    if (row[kRowSubDir].find(':') != std::string::npos || row[kRowSubDir][0] == '\\' || row[kRowSubDir][0] == '/')
      r->AddProblem(which + "the sub-folder " + Shown(f.subdir) + " does not lie below its folder");
    std::string part;
    for (char c : f.subdir + "\\") {
      if (c != '\\' && c != '/') {
        part += c;
        continue;
      }
      if (part == ".." || part == ".")
        r->AddProblem(which + "the sub-folder " + Shown(f.subdir) + " climbs out of its folder (\"" + part + "\")");
      part.clear();
    }
  }
  if (f.outside)
    r->AddProblem(which + std::to_string(f.length) + " bytes at " + std::to_string(f.offset) +
                  " lie outside the file");
  if (!extOk)
    r->AddProblem(which + "damaged: the row extension " + Shown(f.extension) + " cannot be read", true);
  else if ((f.ext.Method != kMethodNone) != extended_)
    r->AddProblem(which + (extended_ ? "damaged: no row extension in a package with the tag"
                                     : "damaged: a row extension in a package without the tag"), true);
  else if (f.ext.Method == kMethodStored && f.ext.Unpacked != static_cast<unsigned long long>(f.length))
    r->AddProblem(which + "damaged: stored, but its unpacked length is not its length", true);
  else if (!wideAgrees)
    r->AddProblem(which + "damaged: its 32-bit length and offset are not those of its 64-bit region", true);
  return true;
}

FileEntry EntryOf(const InspectedFile& f) {
  FileEntry e;
  memset(&e, 0, sizeof e);
  CopyText(e.Name, TEXT_SIZE, f.nameRaw.c_str());
  CopyText(e.SubDir, TEXT_SIZE, f.subdirRaw.c_str());
  e.Folder = f.folderRaw;
  e.Length = f.length;
  e.Offset = f.offset;
  e.Method = f.ext.Method;
  e.Unpacked = f.ext.Unpacked;
  e.Crc = f.ext.Crc;
  e.Block = f.ext.Block;
  e.BlockOffset = f.ext.BlockOffset;
  e.Filter = f.ext.Filter;
  e.FilterFrom = f.ext.FilterFrom;
  e.FilterLength = f.ext.FilterLength;
  return e;
}

void CheckFileData(CPackageFile& package, size_t row, const InspectedFile& f, InspectReport& r) {
  // Rows that give no method, or whose region or extension is reported
  // already, are not read.
  if (f.ext.Method == kMethodNone || f.outside || !r.extended) return;
  if (f.ext.Method == kMethodStored && f.ext.Unpacked != static_cast<unsigned long long>(f.length)) return;
  ExtractResult result = package.WriteTo(EntryOf(f), nullptr);
  if (result == kExtractDamaged)
    r.AddProblem("file " + std::to_string(row) + " (" + Escaped(f.name) + "): damaged: its bytes do not " +
                     (f.ext.Method == kMethodStored ? "come" : "unpack") + " to its unpacked length and checksum" +
                     (f.ext.Method == kMethodSolid ? " (block " + std::to_string(f.ext.Block) + " or after it)" : ""),
                 true);
  else if (result != kExtractDone)
    r.AddProblem("file " + std::to_string(row) + " (" + Escaped(f.name) + "): its bytes cannot be read");
}

void CheckRowsAndBlocks(PackageReader& reader, CBlockTable& blocks, CPackageFile* package, InspectReport& r) {
  blocks.Clear();
  for (const auto& [number, ref] : r.blocks) blocks.Set(number, ref);
  blocks.Finish();
  // Each block as the setup judges it.
  long long start = r.seal.PayloadStart, end = r.seek;
  for (int n = 1; n <= blocks.Count(); n++) {
    const RegionRef* b = blocks.At(n);
    if (!b) continue;
    std::string which = "block " + std::to_string(n) + ": damaged: ";
    if (b->Offset < start || b->Length < 0 || b->Offset > end || b->Length > end - b->Offset)
      r.AddProblem(which + std::to_string(b->Length) + " bytes at " + std::to_string(b->Offset) +
                       " do not lie in the payload (" + std::to_string(start) + " to " + std::to_string(end) + ")",
                   true);
    else if (b->Unpacked == 0 || b->Unpacked > BLOCK_UNPACKED_MAX)
      r.AddProblem(which + "it unpacks to " + std::to_string(b->Unpacked) + " bytes; a block holds 1 to " +
                       std::to_string(BLOCK_UNPACKED_MAX),
                   true);
    else if (b->Method == kMethodLzma ? b->Length < LZMA_PROPS_BYTES
                                      : b->Unpacked != static_cast<unsigned long long>(b->Length))
      r.AddProblem(which + (b->Method == kMethodLzma ? "shorter than the property bytes"
                                                     : "stored, but its unpacked length is not its length"),
                   true);
  }
  InspectedFile f;
  reader.Rewind();
  for (size_t row = 1; reader.NextFile(f, nullptr); row++) {
    if (f.ext.Method == kMethodSolid) {
      const RegionRef* b = blocks.At(f.ext.Block);
      long long at = b ? blocks.RunStart(f.ext.Block) + f.ext.BlockOffset : 0;
      if (!b || static_cast<unsigned long long>(f.ext.BlockOffset) > b->Unpacked ||
          f.ext.Unpacked > static_cast<unsigned long long>(blocks.RunEnd(f.ext.Block) - at)) {
        r.AddProblem("file " + std::to_string(row) + " (" + Escaped(f.name) + "): damaged: its " +
                         std::to_string(f.ext.Unpacked) + " bytes from " + std::to_string(f.ext.BlockOffset) +
                         " in block " + std::to_string(f.ext.Block) + " do not lie in the blocks given",
                     true);
        continue;
      }
    }
    if (package) CheckFileData(*package, row, f, r);
  }
  reader.Rewind();
}

void CheckPackageData(PackageReader& reader, const std::string& path, InspectReport& r) {
  reader.CheckLicence(r);
  CPackageFile package;
  CBlockTable blocks;
  package.UseBlocks(&blocks);
  bool data = r.extended && package.Open(path.c_str());
  CheckRowsAndBlocks(reader, blocks, data ? &package : nullptr, r);
}

bool InspectPackage(const std::string& path, InspectReport& r, std::string& error) {
  PackageReader reader;
  if (!reader.Open(path, r, error)) return false;
  InspectedFile f;
  while (reader.NextFile(f, &r)) r.files.push_back(f);
  r.fileCount = r.files.size();
  std::string key, value;
  while (reader.NextSetting(key, value, &r)) r.settings.emplace_back(key, value);
  CheckPackageData(reader, path, r);
  return true;
}

bool HasTrailer(const std::string& path) {
  std::string seal;
  return TrailerShape(path, seal);
}

std::string InspectTextHead(const InspectReport& r) {
  std::string out;
  char line[256];
  snprintf(line, sizeof line, ": %lld bytes\ntrailer: LEN %lld, SEEK %lld\n\nheader:\n", static_cast<long long>(r.size),
           static_cast<long long>(r.len), static_cast<long long>(r.seek));
  out += r.path + line;
  if (r.seal.Present && !r.seal.Valid) {
    out.insert(out.size() - strlen("\nheader:\n"), "seal: DOES NOT READ: " + Shown(r.sealText) + "\n");
  } else if (r.seal.Present) {
    char seal[256];
    snprintf(seal, sizeof seal,
             "seal: " PACKAGE_TAG ", payload from %lld, payload crc %08lx (%s), index crc %08lx (%s)\n",
             r.seal.PayloadStart, r.seal.PayloadCrc, r.payloadCrcMatches ? "matches" : "DOES NOT MATCH",
             r.seal.IndexCrc, r.indexCrcMatches ? "matches" : "DOES NOT MATCH");
    out.insert(out.size() - strlen("\nheader:\n"), seal);
    if (r.seal.Valid && r.seal.IndexMethod == kMethodLzma)
      out.insert(out.size() - strlen("\nheader:\n"),
                 "index: packed (" METHOD_LZMA_WORD "), " + std::to_string(r.len) + " bytes, unpacked " +
                     std::to_string(r.seal.IndexUnpacked) + "\n");
  }
  for (const InspectedField& f : r.header) {
    snprintf(line, sizeof line, "  %2d  %-24s ", f.position, f.name.c_str());
    out += line + Shown(f.text) + "\n";
  }
  return out + "\nfiles: " + std::to_string(r.fileCount) +
         (r.x86Count ? " (" + std::to_string(r.x86Count) + " with x86 code filtered)" : "") + "\n";
}

namespace {
const char* MethodName(int method) {
  return method == kMethodLzma ? METHOD_LZMA_WORD : method == kMethodSolid ? METHOD_SOLID_WORD : METHOD_STORED_WORD;
}

// A row's method, unpacked size and checksum (and a row of blocks: where its
// bytes start), for the text form.
std::string Packing(const InspectedFile& f) {
  if (f.ext.Method == kMethodNone) return f.extension.empty() ? "" : " extension=" + Shown(f.extension);
  char crc[16];
  snprintf(crc, sizeof crc, "%08lx", f.ext.Crc);
  std::string out = std::string(" method=") + MethodName(f.ext.Method) + " unpacked=" + std::to_string(f.ext.Unpacked) +
                    " crc=" + crc;
  if (f.ext.Method == kMethodSolid)
    out += " block=" + std::to_string(f.ext.Block) + " at=" + std::to_string(f.ext.BlockOffset);
  if (f.ext.Filter == kFilterX86)
    out += " x86=" + std::to_string(f.ext.FilterFrom) + "+" + std::to_string(f.ext.FilterLength);
  return out;
}
}  // namespace

std::string InspectTextFile(size_t i, const InspectedFile& f) {
  std::string folder = f.folder;
  if (folder != KW_WINDOWS_FOLDER && folder != KW_SYSTEM_FOLDER && folder != KW_INSTALL_FOLDER)
    folder = Shown(folder) + " (installation folder)";
  std::string copy = f.copy;
  if (copy != KW_ALWAYS_COPY && copy != KW_NOTEXIST_COPY && copy != KW_ASK_COPY)
    copy = Shown(copy) + " (" + CopyModeKeyword(f.copyMode) + ")";
  std::string sc = std::to_string(f.shortcuts);
  if (!ShortcutWords(f.shortcuts).empty()) sc += " (" + ShortcutWords(f.shortcuts) + ")";
  return "  " + std::to_string(i + 1) + "  name=" + Shown(f.name) + " folder=" + folder + " subdir=" + Shown(f.subdir) +
         " shortcuts=" + sc + " copy=" + copy + " length=" + std::to_string(f.length) +
         " offset=" + std::to_string(f.offset) + Packing(f) + (f.outside ? "  OUTSIDE THE FILE" : "") + "\n";
}

namespace {
std::string MoreProblems(const InspectReport& r) {
  return "and " + std::to_string(r.problemCount - r.problems.size()) + " more problems";
}
}  // namespace

std::string InspectTextSettings(const InspectReport& r) {
  return r.extended ? "\nsettings: " + std::to_string(r.settingCount) + "\n" : "";
}

std::string InspectTextSetting(size_t, const std::string& key, const std::string& value) {
  std::string shownKey = Shown(key);
  if (shownKey.size() < 24) shownKey.resize(24, ' ');
  return "  " + shownKey + " " + Shown(value) + "\n";
}

std::string InspectTextTail(const InspectReport& r) {
  std::string out;
  if (!r.problems.empty()) {
    out += "\nproblems:\n";
    for (const std::string& p : r.problems) out += "  " + p + "\n";
    if (r.problemCount > r.problems.size()) out += "  " + MoreProblems(r) + "\n";
  }
  if (!r.notes.empty()) {
    out += "\nnotes:\n";
    for (const std::string& n : r.notes) out += "  " + n + "\n";
  }
  return out;
}

std::string FormatInspectText(const InspectReport& r) {
  std::string out = InspectTextHead(r);
  for (size_t i = 0; i < r.files.size(); i++) out += InspectTextFile(i, r.files[i]);
  out += InspectTextSettings(r);
  for (size_t i = 0; i < r.settings.size(); i++) out += InspectTextSetting(i, r.settings[i].first, r.settings[i].second);
  return out + InspectTextTail(r);
}

std::string InspectJsonHead(const InspectReport& r) {
  std::string out = "{\n  \"file\": " + Json(r.path) + ",\n  \"size\": " + std::to_string(r.size) +
                    ",\n  \"trailer\": {\"len\": " + std::to_string(r.len) + ", \"seek\": " +
                    std::to_string(r.seek) + "},\n  \"extended\": " + (r.extended ? "true" : "false") + ",\n";
  if (r.seal.Present)
    out += "  \"seal\": {\"valid\": " + std::string(r.seal.Valid ? "true" : "false") +
           ", \"payload_start\": " + std::to_string(r.seal.PayloadStart) +
           ", \"payload_crc_matches\": " + (r.payloadCrcMatches ? "true" : "false") +
           ", \"index_crc_matches\": " + (r.indexCrcMatches ? "true" : "false") +
           (r.seal.Valid && r.seal.IndexMethod == kMethodLzma
                ? ", \"index_packed\": {\"method\": \"" METHOD_LZMA_WORD "\", \"unpacked\": " +
                      std::to_string(r.seal.IndexUnpacked) + "}"
                : std::string()) +
           "},\n";
  out += "  \"fields\": {";
  for (size_t i = 0; i < r.header.size(); i++)
    out += std::string(i ? ",\n" : "\n") + "    " + Json(r.header[i].name) + ": " + Json(r.header[i].text);
  return out + "\n  },\n  \"files\": [";
}

namespace {
std::string JsonPacking(const InspectedFile& f) {
  if (f.ext.Method == kMethodNone) return "";
  char crc[16];
  snprintf(crc, sizeof crc, "%08lx", f.ext.Crc);
  std::string out = std::string(", \"method\": \"") + MethodName(f.ext.Method) +
                    "\", \"unpacked\": " + std::to_string(f.ext.Unpacked) + ", \"crc\": \"" + crc + "\"";
  if (f.ext.Method == kMethodSolid)
    out += ", \"block\": " + std::to_string(f.ext.Block) + ", \"block_offset\": " + std::to_string(f.ext.BlockOffset);
  if (f.ext.Filter == kFilterX86)
    out += ", \"x86_from\": " + std::to_string(f.ext.FilterFrom) + ", \"x86_length\": " +
           std::to_string(f.ext.FilterLength);
  return out;
}
}  // namespace

std::string InspectJsonFile(size_t i, const InspectedFile& f) {
  return std::string(i ? "," : "") + "\n    {\"name\": " + Json(f.name) + ", \"folder\": " + Json(f.folder) +
         ", \"folder_kind\": " + Json(FolderKindName(f.folderKind)) + ", \"subdir\": " + Json(f.subdir) +
         ", \"shortcuts\": " + std::to_string(f.shortcuts) + ", \"copy\": " + Json(f.copy) +
         ", \"length\": " + std::to_string(f.length) + ", \"offset\": " + std::to_string(f.offset) +
         ", \"outside\": " + (f.outside ? "true" : "false") + JsonPacking(f) + "}";
}

std::string InspectJsonSettings(const InspectReport& r) {
  return r.extended ? "\n  ],\n  \"settings\": [" : "";
}

std::string InspectJsonSetting(size_t i, const std::string& key, const std::string& value) {
  return std::string(i ? ", " : "") + "[" + Json(key) + ", " + Json(value) + "]";
}

std::string InspectJsonTail(const InspectReport& r) {
  std::string out = "\n  ],\n  \"problems\": [";
  for (size_t i = 0; i < r.problems.size(); i++) out += std::string(i ? ", " : "") + Json(r.problems[i]);
  if (r.problemCount > r.problems.size()) out += ", " + Json(MoreProblems(r));
  out += "],\n  \"notes\": [";
  for (size_t i = 0; i < r.notes.size(); i++) out += std::string(i ? ", " : "") + Json(r.notes[i]);
  return out + "]\n}\n";
}

std::string FormatInspectJson(const InspectReport& r) {
  std::string out = InspectJsonHead(r);
  for (size_t i = 0; i < r.files.size(); i++) out += InspectJsonFile(i, r.files[i]);
  out += InspectJsonSettings(r);
  for (size_t i = 0; i < r.settings.size(); i++) out += InspectJsonSetting(i, r.settings[i].first, r.settings[i].second);
  return out + InspectJsonTail(r);
}
