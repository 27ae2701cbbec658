#include "writer.h"

#include "common/container.h"
#include "common/packageext.h"
#include "common/packageindex.h"
#include "files.h"
#include "hostfs.h"
#include "packer.h"
#include "tempfiles.h"
#include "uninstaller.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Data moves in chunks of this size: large enough that the system calls cost
// nothing next to the copying, small enough for steady progress.
const size_t kChunk = 1 << 20;
const int64_t kKernelChunk = 8 << 20;
// Files up to this size are read into memory and written in batches.
const int64_t kSmall = 64 << 10;

bool g_kernelCopy = true;

class Copier {
 public:
  Copier(int out, int64_t total, const ProgressFn& progress)
      : out_(out), total_(total), progress_(progress) {}

  // From now on every byte taken is added to the payload's checksum (and to
  // the current file's); the kernel's copy, which passes no bytes through
  // here, is not used.
  void Checksum() {
    track_ = true;
    kernelCopy_ = false;
  }
  uint32_t PayloadCrc() const { return static_cast<uint32_t>(crc_); }
  // Starts the checksum of one file's bytes.
  void StartFile() { fileCrc_ = 0; }
  uint32_t FileCrc() const { return static_cast<uint32_t>(fileCrc_); }

  // Copies exactly length bytes of source (from its start) to the output.
  bool Copy(const std::string& what, const std::string& source, int64_t length, std::string& error) {
    int in = OpenRead(source);
    if (in < 0) {
      error = what + ": cannot open " + source + ": " + strerror(errno);
      return false;
    }
    FileInfo st;
    bool ok = StatFd(in, st);
    if (ok && st.size != length) {
      error = what + ": " + source + " changed while the package was built (" + std::to_string(length) +
              " bytes when checked, " + std::to_string(st.size) + " now)";
      ok = false;
    }
    // Small files are gathered and written together: with thousands of
    // them the writes would cost more than the bytes.
    if (ok && length <= kSmall) {
      ok = Gather(in, what, source, length, error);
      close(in);
      return ok;
    }
    if (ok) ok = Flush(error);
    int64_t left = length;
    while (ok && left > 0) {
      size_t want = left < static_cast<int64_t>(kChunk) ? static_cast<size_t>(left) : kChunk;
      ssize_t n = -1;
      // The kernel copies between files without passing the bytes through us
      // where it can; otherwise read and write.
#ifndef _WIN32
      if (kernelCopy_) {
        int64_t step = left < kKernelChunk ? left : kKernelChunk;
        n = copy_file_range(in, nullptr, out_, nullptr, static_cast<size_t>(step), 0);
        if (n < 0 && left == length &&
            (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP || errno == EBADF ||
             errno == EPERM)) {
          kernelCopy_ = false;  // not between these files: copy by hand from now on
          continue;
        }
      } else
#endif
      {
        if (buffer_.empty()) buffer_.resize(kChunk);
        n = read(in, buffer_.data(), want);
        if (n > 0) Taken(buffer_.data(), static_cast<size_t>(n));
        if (n > 0 && !WriteAll(out_, buffer_.data(), static_cast<size_t>(n))) {
          error = std::string("writing the package failed: ") + strerror(errno);
          ok = false;
          break;
        }
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        error = what + ": copying " + source + " failed: " + strerror(errno);
        ok = false;
      } else if (n == 0) {
        error = what + ": " + source + " ended early (" + std::to_string(length - left) + " of " +
                std::to_string(length) + " bytes); it changed while the package was built";
        ok = false;
      } else {
        left -= n;
        Advance(n);
      }
    }
    close(in);
    return ok;
  }

  // Bytes already in memory, gathered like a small file's.
  bool Gathered(const std::string& bytes, std::string& error) {
    if (gather_.empty()) gather_.resize(kChunk);
    if (pending_ + bytes.size() > gather_.size() && !Flush(error)) return false;
    if (bytes.size() > gather_.size()) return Write(bytes, error);
    Taken(bytes.data(), bytes.size());
    memcpy(gather_.data() + pending_, bytes.data(), bytes.size());
    pending_ += bytes.size();
    Advance(static_cast<int64_t>(bytes.size()));
    return true;
  }

  // Writes what small files left gathered.
  bool Flush(std::string& error) {
    if (pending_ == 0) return true;
    if (!WriteAll(out_, gather_.data(), pending_)) {
      error = std::string("writing the package failed: ") + strerror(errno);
      return false;
    }
    pending_ = 0;
    return true;
  }

  bool Write(const std::string& bytes, std::string& error) { return Write(bytes.data(), bytes.size(), error); }
  bool Write(const char* bytes, size_t size, std::string& error) {
    if (!Flush(error)) return false;
    Taken(bytes, size);
    if (!WriteAll(out_, bytes, size)) {
      error = std::string("writing the package failed: ") + strerror(errno);
      return false;
    }
    Advance(static_cast<int64_t>(size));
    return true;
  }

 private:
  void Taken(const char* p, size_t n) {
    if (!track_) return;
    crc_ = Crc32Update(crc_, p, n);
    fileCrc_ = Crc32Update(fileCrc_, p, n);
  }

  bool Gather(int in, const std::string& what, const std::string& source, int64_t length, std::string& error) {
    if (gather_.empty()) gather_.resize(kChunk);
    if (pending_ + static_cast<size_t>(length) > gather_.size() && !Flush(error)) return false;
    size_t got = 0;
    while (got < static_cast<size_t>(length)) {
      ssize_t n = read(in, gather_.data() + pending_ + got, static_cast<size_t>(length) - got);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        error = what + ": copying " + source + " failed: " + strerror(errno);
        return false;
      }
      if (n == 0) {
        error = what + ": " + source + " ended early (" + std::to_string(got) + " of " + std::to_string(length) +
                " bytes); it changed while the package was built";
        return false;
      }
      got += static_cast<size_t>(n);
    }
    Taken(gather_.data() + pending_, got);
    pending_ += got;
    Advance(length);
    return true;
  }

  void Advance(int64_t n) {
    done_ += n;
    if (progress_) progress_(done_, total_);
  }

  int out_;
  int64_t total_;
  int64_t done_ = 0;
  const ProgressFn& progress_;
  std::vector<char> buffer_;
  std::vector<char> gather_;
  size_t pending_ = 0;
#ifdef _WIN32
  bool kernelCopy_ = false;
#else
  bool kernelCopy_ = g_kernelCopy;
#endif
  bool track_ = false;
  unsigned long crc_ = 0, fileCrc_ = 0;
};

// The uninstaller the package carries, after the files (at pos): assembled
// as the setup assembles it from the package written so far (file), with the
// settings of the index as it stands, finished (signed) as the plan says and
// named in the settings section.
bool CarryUninstaller(Plan& plan, Copier& copier, int64_t& pos, const std::string& file, std::string& error) {
  plan.indexOffset = pos;
  // Not packed: the settings are read out of it here.
  std::string why = ComposeIndex(plan, 0, false);
  if (!why.empty()) {
    error = why;
    return false;
  }
  CFieldTable table;
  table.LoadBytes(plan.index.data(), static_cast<int>(plan.index.size()), TABLE_KEY);
  PackageSettings settings;
  ParsePackageIndex(table, settings);
  std::string uninstaller;
  if (!AssembleFor(settings, plan.uninstallerProgram, file, uninstaller, error)) return false;
  if (plan.finishUninstaller && !plan.finishUninstaller(uninstaller, error)) return false;
  if (uninstaller.size() > static_cast<size_t>(kUninstallerImageMax)) {
    error = "the uninstaller would be " + std::to_string(uninstaller.size()) + " bytes; the setup takes at most " +
            std::to_string(kUninstallerImageMax) + " (its program, the page picture and the icon)";
    return false;
  }
  std::string stored;
  plan.uninstallerRegion = UninstallerRegion(uninstaller, pos, stored);
  if (!copier.Write(stored, error)) return false;
  pos += static_cast<int64_t>(stored.size());
  char reference[96];
  FormatRegionRef(reference, sizeof reference, plan.uninstallerRegion);
  plan.settings.emplace_back(SETTING_UNINSTALLER_REGION, reference);
  return true;
}

// The regions of an extended package: pictures and stored files copied with
// their checksums, blocks from the packer in order, the carried uninstaller;
// then the rows' sizes, offsets and checksums and the blocks' regions go into
// the index and the trailer's seal.
bool WriteExtended(Plan& plan, Copier& copier, const std::string& file, std::string& error) {
  copier.Checksum();
  Packer packer(plan);
  int64_t pos = plan.stubSize;
  bool ok = true;
  for (PlannedFile& f : plan.files)
    if (f.method == kMethodSolid) f.crc = 0;
  for (size_t i = 0; ok && i < plan.regions.size(); i++) {
    const PlannedRegion& r = plan.regions[i];
    if (r.block >= 0) {
      size_t b = static_cast<size_t>(r.block);
      const PackedBlock& p = packer.Wait(b);
      if (!p.error.empty()) {
        error = p.error;
        ok = false;
        break;
      }
      PlannedBlock& block = plan.blocks[b];
      block.offset = pos;
      block.length = p.size;
      block.crc = p.crc;
      // Each file's checksum from those of its slices.
      for (size_t k = 0; k < block.slices.size(); k++) {
        PlannedFile& f = plan.files[block.slices[k].file];
        f.crc = Crc32Combine(f.crc, p.sliceCrcs[k], block.slices[k].length);
      }
      ok = p.CopyTo([&](const char* bytes, size_t n) { return copier.Write(bytes, n, error); }, error);
      packer.Release(b);
      pos += block.length;
      continue;
    }
    PlannedFile* f = r.file >= 0 ? &plan.files[static_cast<size_t>(r.file)] : nullptr;
    copier.StartFile();
    ok = r.cached ? copier.Gathered(r.data, error) : copier.Copy(r.what, r.source, r.length, error);
    if (!ok) break;
    if (f) {
      // A stored file's checksum is of its bytes as copied now.
      f->method = kMethodStored;
      f->offset = pos;
      f->length = r.length;
      f->unpacked = r.length;
      f->crc = copier.FileCrc();
    }
    pos += r.length;
  }
  if (!ok) return false;
  if (!copier.Flush(error)) return false;
  // Empty files have no region: stored, at the payload's start (a row of
  // blocks has none either: Layout put it there).
  for (PlannedFile& f : plan.files)
    if (f.method != kMethodSolid && f.unpacked == 0) {
      f.method = kMethodStored;
      f.length = 0;
      f.offset = plan.stubSize;
      f.crc = 0;
    }
  if (plan.carryUninstaller && !CarryUninstaller(plan, copier, pos, file, error)) return false;
  plan.indexOffset = pos;
  std::string why = ComposeIndex(plan, copier.PayloadCrc());
  if (!why.empty()) {
    error = why;
    return false;
  }
  return true;
}

}  // namespace

void UseKernelCopy(bool on) { g_kernelCopy = on; }

bool WritePackage(Plan& plan, std::string& error, const ProgressFn& progress, std::string* unsignedFile) {
  std::string dir = PathText(FsPath(plan.output).parent_path());
  RemoveStaleTempFiles(dir);
  std::string name;
  int fd = CreateTempFd(dir, name, error);
  if (fd < 0) return false;

  bool ok = true;
  {
    Copier copier(fd, plan.totalSize, progress);
    ok = plan.stubImage.empty() ? copier.Copy("--stub", plan.stub, plan.stubSize, error)
                                : copier.Write(plan.stubImage, error);
    if (plan.extended) {
      if (ok) ok = WriteExtended(plan, copier, name, error);
    } else {
      for (size_t i = 0; ok && i < plan.regions.size(); i++) {
        const PlannedRegion& r = plan.regions[i];
        ok = r.cached ? copier.Gathered(r.data, error) : copier.Copy(r.what, r.source, r.length, error);
      }
    }
    if (ok) ok = copier.Write(plan.index, error) && copier.Write(plan.trailer, error);
  }
  if (ok) {
    MakeExecutable(fd);
    int64_t end = FilePosition(fd);
    if (end != plan.totalSize) {
      error = "the package came out " + std::to_string(end) + " bytes long instead of " +
              std::to_string(plan.totalSize);
      ok = false;
    }
  }
  // On disk before it takes the output's name: a crash then leaves the old
  // file or the whole new one, never a part.
  if (ok && !SyncToDisk(fd)) {
    error = std::string("writing the package failed: ") + strerror(errno);
    ok = false;
  }
  if (close(fd) != 0 && ok) {
    error = std::string("writing the package failed: ") + strerror(errno);
    ok = false;
  }
  if (ok && unsignedFile) {
    // Left under its temporary name for the signing, which the signals still
    // remove.
    *unsignedFile = name;
    return true;
  }
  if (ok && !RenameOver(name, plan.output)) {
    error = "cannot put the package at " + plan.output + ": " + strerror(errno);
    ok = false;
  }
  if (ok) SyncFolder(dir);
  if (ok) ReleaseTempFile(kCurrentFolder, name);
  else RemoveTempFile(kCurrentFolder, name);
  return ok;
}
