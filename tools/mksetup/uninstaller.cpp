#include "uninstaller.h"

#include <errno.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "common/container.h"
#include "common/packagefile.h"
#include "files.h"
#include "framework/memory.h"
#include "hostfs.h"
#include "lzmapack.h"
#include "pe.h"
#include "plan.h"
#include "stubres.h"
#include "tempfiles.h"

namespace {

// No setup program is anywhere near this size.
const int64_t kSetupProgramMax = 64 << 20;

// Reads exactly n bytes at the descriptor's place; false (errno set, or 0 at
// the file's end) when it cannot.
bool ReadAll(int fd, char* p, size_t n) {
  while (n > 0) {
    ssize_t r = read(fd, p, n);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      if (r == 0) errno = 0;
      return false;
    }
    p += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}

std::string Reason(const char* what) {
  return std::string(what) + (errno ? std::string(": ") + strerror(errno) : std::string(": the file ended early"));
}

unsigned Le16(const std::string& s, size_t at) {
  return static_cast<unsigned char>(s[at]) | static_cast<unsigned char>(s[at + 1]) << 8;
}
uint32_t Le32(const std::string& s, size_t at) { return Le16(s, at) | static_cast<uint32_t>(Le16(s, at + 2)) << 16; }

// A field of an index text as CFieldTable::NextField cuts it: [start, end),
// and where the next one starts (after FIELD_END, or after ROW_END and the
// two bytes of its line break). False when no field ends in the text.
struct Field {
  size_t start = 0, end = 0, next = 0;
};
bool FieldAt(const std::string& t, size_t pos, Field& f) {
  for (size_t i = pos; i < t.size(); i++) {
    if (t[i] != FIELD_END && t[i] != ROW_END) continue;
    f.start = pos;
    f.end = i;
    f.next = std::min(t.size(), t[i] == FIELD_END ? i + 1 : i + 3);
    return true;
  }
  return false;
}

struct Edit {
  size_t start, end;
  std::string text;
};

// The index text carrying the uninstaller at region: the settings section
// without an earlier uninstaller.region and with the new one where the
// setup's reader finds it. For a package without the extension (plain) the
// tag goes into its header, rowExtensions into its rows, and the section
// follows the list's empty name.
bool CarryingIndex(const std::string& t, bool plain, const std::vector<std::string>& rowExtensions,
                   const std::string& region, std::string& out, std::string& error) {
  std::vector<Edit> edits;
  size_t pos = 0;
  Field f;
  for (int i = 0; i < kIndexHeaderFields; i++) {
    if (!FieldAt(t, pos, f)) {
      error = "its index ends inside its header (" + std::to_string(i) + " of " +
              std::to_string(kIndexHeaderFields) + " fields)";
      return false;
    }
    if (i == kIdxExtension && plain) edits.push_back({f.start, f.end, PACKAGE_TAG});
    pos = f.next;
  }
  size_t rows = 0;
  bool emptyName = true;
  for (;;) {
    if (!FieldAt(t, pos, f)) {
      emptyName = false;  // the list ends with the text
      break;
    }
    if (f.start == f.end) {
      pos = f.next;
      break;
    }
    for (int k = 1; k < kFileRowFields; k++) {
      if (!FieldAt(t, f.next, f)) {
        error = "its index ends inside file row " + std::to_string(rows + 1);
        return false;
      }
    }
    if (plain) {
      if (rows >= rowExtensions.size()) {
        error = "its index holds more file rows than the setup reads";
        return false;
      }
      edits.push_back({f.start, f.end, rowExtensions[rows]});
    }
    rows++;
    pos = f.next;
  }
  const std::string pair = SETTING_UNINSTALLER_REGION "\x07" + region + "\x08\r\n";
  size_t end = t.size();
  if (plain) {
    // Nothing reads past the list of a package without the extension: the
    // section is made anew there.
    end = emptyName ? pos : t.size();
    edits.push_back({end, end, (emptyName ? "" : "\x07") + pair});
  } else {
    // Pairs up to an empty key (or the text's end), as the setup reads them.
    for (;;) {
      Field key, value;
      if (!FieldAt(t, pos, key) || key.start == key.end) break;
      if (!FieldAt(t, key.next, value)) {
        error = "its index's settings section ends inside a row";
        return false;
      }
      if (t.compare(key.start, key.end - key.start, SETTING_UNINSTALLER_REGION) == 0)
        edits.push_back({key.start, value.next, ""});
      pos = value.next;
    }
    edits.push_back({pos, pos, pair});
  }
  out.clear();
  size_t at = 0;
  for (const Edit& e : edits) {
    out.append(t, at, e.start - at);
    out += e.text;
    at = e.end;
  }
  out.append(t, at, end - at);
  return true;
}

}  // namespace

bool AssembleFor(const PackageSettings& settings, const std::string& program, const std::string& modulePath,
                 std::string& image, std::string& error) {
  UninstallerSource src =
      UninstallerSourceOf(settings, program.data(), static_cast<DWORD>(program.size()), modulePath.c_str(), "");
  long size = 0;
  char* bytes = AssembleUninstaller(src, size);
  if (!bytes) {
    error = program.empty() ? "there is no uninstaller program" : "the uninstaller cannot be assembled (no memory)";
    return false;
  }
  image.assign(bytes, static_cast<size_t>(size));
  FreeBuffer(bytes);
  return true;
}

int64_t PayloadStartOf(const CPackage& p) {
  if (p.Seal.Present && p.Seal.Valid) return p.Seal.PayloadStart;
  int64_t start = p.Index.Offset;
  auto take = [&](long long length, long long offset) {
    if (length > 0 && offset >= 0 && offset < start) start = offset;
  };
  take(p.PictureLength, p.PictureOffset);
  take(p.IconLength, p.IconOffset);
  take(p.SplashPictureLength, p.SplashPictureOffset);
  for (const CFileList::Node* n = p.FileList.Head; n; n = n->Next) take(n->Entry.Length, n->Entry.Offset);
  return start;
}

bool ReadSetupProgram(const CPackage& package, std::string& stub, std::string& error) {
  int64_t size = PayloadStartOf(package);
  if (size <= 0 || size > kSetupProgramMax) {
    error = "no setup program lies before its payload (" + std::to_string(size) + " bytes)";
    return false;
  }
  int fd = OpenRead(package.Path.c_str());
  stub.assign(static_cast<size_t>(size), '\0');
  bool ok = fd >= 0 && ReadAll(fd, &stub[0], stub.size());
  if (!ok) error = Reason("its setup program cannot be read");
  if (fd >= 0) close(fd);
  return ok;
}

bool AssembledUninstaller(const CPackage& package, std::string& image, std::string& error) {
  std::string stub, program, why;
  if (!ReadSetupProgram(package, stub, error)) return false;
  if (!StubUninstallerProgram(stub, program, why)) {
    error = "its setup program: " + why;
    return false;
  }
  return AssembleFor(package, program, package.Path.c_str(), image, error);
}

bool SetupsUninstaller(const CPackage& package, std::string& image, std::string& error) {
  const RegionRef& region = package.UninstallerRegion;
  if (region.Method == kMethodNone) return AssembledUninstaller(package, image, error);
  CPackageFile file;
  char* data = nullptr;
  // An empty uninstaller is no uninstaller: damaged like one that does not check.
  ExtractResult r = region.Unpacked == 0             ? kExtractDamaged
                    : file.Open(package.Path) ? file.ReadRegion(region, kUninstallerImageMax, data)
                                              : kExtractFailed;
  if (r != kExtractDone) {
    error = r == kExtractDamaged ? "the uninstaller it carries is damaged (its bytes are not what uninstaller.region says)"
                                 : "the uninstaller it carries cannot be read";
    return false;
  }
  image.assign(data, static_cast<size_t>(region.Unpacked));
  FreeBuffer(data);
  return true;
}

std::string SignedCopyProblem(const std::string& expected, const std::string& given) {
  long long table = CertificateTableStart(reinterpret_cast<const unsigned char*>(given.data()),
                                          static_cast<int>(std::min<size_t>(given.size(), PE_HEAD_BYTES)),
                                          static_cast<long long>(given.size()));
  if (table == 0) return "it is not signed (it has no certificate table)";
  if (table < 0) return "its certificate table entry is damaged (it does not describe a table at the file's end)";
  PeImage pe;
  std::string error;
  if (!ParsePe(expected, pe, error)) return "the uninstaller it should be is no Windows program (" + error + ")";
  const size_t size = expected.size(), at = static_cast<size_t>(table);
  if (at < size || at - size > 7)
    return "it is not the uninstaller of this package with a signature appended (" + std::to_string(at) +
           " bytes before its certificate table, where the uninstaller has " + std::to_string(size) + ")";
  for (size_t i = size; i < at; i++)
    if (given[i] != 0) return "the bytes before its certificate table are not the zero padding of a signature";
  // What signing changes: the checksum (at 64 in the optional header) and
  // the certificate table's entry (the fifth data directory).
  const size_t checksum = pe.optional + 64, entry = pe.dirs + 8 * kDirSecurity;
  for (size_t i = 0; i < size; i++) {
    if ((i >= checksum && i < checksum + 4) || (i >= entry && i < entry + 8)) continue;
    if (given[i] != expected[i])
      return "it is not the uninstaller of this package (its byte " + std::to_string(i) + " differs): give back "
             "the file --uninstaller-out wrote for this project, signed and otherwise unchanged";
  }
  // One WIN_CERTIFICATE of revision 2.0 holding PKCS#7 signed data.
  uint32_t length = Le32(given, at);
  if (length < 8 || length > given.size() - at || Le16(given, at + 4) != 0x0200 || Le16(given, at + 6) != 2)
    return "its certificate table holds no Authenticode signature";
  return "";
}

bool SignUninstaller(std::string& image, const std::string& folder, const SignOptions& options, std::string& error) {
  std::string name;
  int fd = CreateTempFd(folder, name, error);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, image.data(), image.size());
  if (!ok) error = std::string("writing the uninstaller for signing failed: ") + strerror(errno);
  if (close(fd) != 0 && ok) {
    error = std::string("writing the uninstaller for signing failed: ") + strerror(errno);
    ok = false;
  }
  if (ok && !SignFile(name, name, options, error)) {
    error = "signing the uninstaller: " + error;
    ok = false;
  }
  if (ok && !ReadWholeFile(name, image)) {
    error = std::string("reading the signed uninstaller back failed: ") + strerror(errno);
    ok = false;
  }
  RemoveTempFile(kCurrentFolder, name);
  return ok;
}

RegionRef UninstallerRegion(const std::string& uninstaller, int64_t offset, std::string& stored) {
  RegionRef r;
  memset(&r, 0, sizeof r);
  stored = PackBytes(uninstaller);
  r.Method = stored.empty() ? kMethodStored : kMethodLzma;
  if (stored.empty()) stored = uninstaller;
  r.Offset = offset;
  r.Length = static_cast<long long>(stored.size());
  r.Unpacked = uninstaller.size();
  r.Crc = Crc32Update(0, uninstaller.data(), uninstaller.size());
  return r;
}

bool WriteCarrying(const std::string& input, const CPackage& package, const std::string& uninstaller, int out,
                   std::string& error) {
  const int64_t start = PayloadStartOf(package), index = package.Index.Offset;
  const bool plain = !package.Extended;
  // An uninstaller carried at the payload's end makes room for the new one.
  const RegionRef& old = package.UninstallerRegion;
  int64_t cut = index;
  if (old.Method != kMethodNone && old.Offset >= start && old.Offset + old.Length == index) cut = old.Offset;

  int in = OpenRead(input);
  if (in < 0) {
    error = input + ": " + strerror(errno);
    return false;
  }
  FileInfo info;
  if (!StatFd(in, info)) info.size = 0;
  std::vector<char> buffer(1 << 20);
  bool ok = true;
  // A package without the extension gets its rows' checksums.
  std::vector<std::string> rowExtensions;
  size_t row = 0;
  for (const CFileList::Node* n = plain ? package.FileList.Head : nullptr; ok && n; n = n->Next) {
    const FileEntry& e = n->Entry;
    row++;
    if (e.Length < 0 || e.Offset < 0 || static_cast<int64_t>(e.Offset) + e.Length > info.size) {
      error = "file row " + std::to_string(row) + " lies outside the file";
      ok = false;
      break;
    }
    unsigned long crc = 0;
    int64_t left = e.Length;
    if (left > 0 && !SeekTo(in, e.Offset)) ok = false;
    while (ok && left > 0) {
      size_t want = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(buffer.size())));
      ok = ReadAll(in, buffer.data(), want);
      crc = Crc32Update(crc, buffer.data(), want);
      left -= static_cast<int64_t>(want);
    }
    if (!ok) error = Reason(("file row " + std::to_string(row) + " cannot be read").c_str());
    char ext[64];
    FormatRowExtension(ext, sizeof ext, kMethodStored, static_cast<unsigned long long>(e.Length), crc);
    rowExtensions.push_back(ext);
  }

  // The bytes before the cut as they are; the payload's checksum checked
  // against the seal (up to the index) and made anew (up to the cut).
  unsigned long oldCrc = 0, newCrc = 0;
  if (ok && !SeekTo(in, 0)) ok = false;
  for (int64_t pos = 0; ok && pos < index;) {
    size_t want = static_cast<size_t>(std::min<int64_t>(index - pos, static_cast<int64_t>(buffer.size())));
    if (!ReadAll(in, buffer.data(), want)) {
      error = Reason((input + " cannot be read").c_str());
      ok = false;
      break;
    }
    for (int64_t a = std::max(pos, start), b = pos + static_cast<int64_t>(want); a < b;) {
      int64_t upTo = a < cut ? std::min(b, cut) : b;
      const char* p = buffer.data() + (a - pos);
      oldCrc = Crc32Update(oldCrc, p, static_cast<size_t>(upTo - a));
      if (a < cut) newCrc = Crc32Update(newCrc, p, static_cast<size_t>(upTo - a));
      a = upTo;
    }
    size_t keep = static_cast<size_t>(std::max<int64_t>(0, std::min(cut - pos, static_cast<int64_t>(want))));
    if (keep && !WriteAll(out, buffer.data(), keep)) {
      error = std::string("writing the package failed: ") + strerror(errno);
      ok = false;
    }
    pos += static_cast<int64_t>(want);
  }
  close(in);
  if (ok && !plain && oldCrc != package.Seal.PayloadCrc) {
    error = "damaged: its payload's checksum does not match the trailer's seal";
    ok = false;
  }
  if (!ok) return false;

  std::string stored;
  RegionRef region = UninstallerRegion(uninstaller, cut, stored);
  char regionText[96];
  FormatRegionRef(regionText, sizeof regionText, region);
  CFieldTable table;
  package.ReadIndex(table);
  std::string text;
  if (!CarryingIndex(std::string(table.text.c_str(), static_cast<size_t>(table.text.GetLength())), plain,
                     rowExtensions, regionText, text, error))
    return false;
  int64_t indexOffset = cut + static_cast<int64_t>(stored.size());
  // A package within 2 GiB stays there (its stub may not read 64-bit
  // offsets); one past it already may grow to the limit of every package.
  const int64_t limit = info.size > kSeedMax ? kMaxPackage : kSeedMax;
  char trailer[128];
  int n = 0;
  if (text.size() <= 0x7FFFFFF0u && indexOffset + static_cast<int64_t>(text.size()) <= limit) {
    ScrambleBuffer(reinterpret_cast<unsigned char*>(&text[0]), static_cast<int>(text.size()), TABLE_KEY);
    // Packed again when it was: its stub reads a packed index.
    int64_t unpacked = package.Seal.IndexMethod == kMethodLzma ? PackIndex(text) : 0;
    n = FormatTrailer(trailer, sizeof trailer, static_cast<long long>(text.size()), indexOffset);
    n += FormatSeal(trailer + n, static_cast<int>(sizeof trailer) - n, start,
                    Crc32Update(newCrc, stored.data(), stored.size()), Crc32Update(0, text.data(), text.size()),
                    unpacked);
  }
  if (indexOffset + static_cast<int64_t>(text.size()) + n > limit || n == 0) {
    error = "carrying the uninstaller, the package would pass its limit of " + std::to_string(limit) + " bytes";
    return false;
  }
  if (!WriteAll(out, stored.data(), stored.size()) || !WriteAll(out, text.data(), text.size()) ||
      !WriteAll(out, trailer, static_cast<size_t>(n))) {
    error = std::string("writing the package failed: ") + strerror(errno);
    return false;
  }
  return true;
}

CarriedUninstaller CheckCarriedUninstaller(const std::string& path, std::vector<std::pair<std::string, bool>>& problems) {
  CarriedUninstaller c;
  CPackage package;
  if (package.Open(path.c_str()) != kPackageOpened) return c;
  CFieldTable table;
  CString key, value;
  for (bool more = package.ReadSettingsSection(table); more && NextSetting(table, key, value);)
    if (key == SETTING_UNINSTALLER_REGION) {
      c.present = true;
      c.reference = value.c_str();
    }
  if (!c.present) return c;
  const RegionRef& region = package.UninstallerRegion;
  if (region.Method == kMethodNone) {
    problems.emplace_back("uninstaller.region does not read (the form is <offset>,<length>,stored|lzma,<unpacked>,"
                          "<crc32>); the setup assembles an unsigned uninstaller instead",
                          false);
    return c;
  }
  std::string image, error;
  if (!SetupsUninstaller(package, image, error)) {
    problems.emplace_back("damaged: " + error, true);
    return c;
  }
  c.readable = true;
  c.size = static_cast<int64_t>(image.size());
  std::string expected;
  if (AssembledUninstaller(package, expected, error)) {
    c.expected = image == expected || SignedCopyProblem(expected, image).empty();
    if (!c.expected)
      problems.emplace_back("the uninstaller it carries is not the one its setup program makes for this package "
                            "(its table, picture or icon, or the program itself, differ)",
                            false);
  }
  // The signature is checked on a copy of its own.
  std::string folder = PathText(FsPath(path).parent_path());
  std::string name;
  int fd = CreateTempFd(folder.empty() ? "." : folder, name, error);
  if (fd < 0) fd = CreateTempFd(PathText(std::filesystem::temp_directory_path()), name, error);
  if (fd >= 0) {
    bool written = WriteAll(fd, image.data(), image.size());
    close(fd);
    if (written) c.signature = ReadSignature(name);
    RemoveTempFile(kCurrentFolder, name);
  }
  return c;
}
