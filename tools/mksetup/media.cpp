#include "media.h"

#include <stdio.h>

#include "common/container.h"

#include <vector>

namespace {

struct File {
  explicit File(const std::string& path) : f(fopen(path.c_str(), "rb")) {}
  ~File() {
    if (f) fclose(f);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  long long Size() {
    if (fseeko(f, 0, SEEK_END) != 0) return -1;
    return ftello(f);
  }
  // Exactly n bytes at offset, or false.
  bool ReadAt(long long offset, void* buf, size_t n) {
    return fseeko(f, offset, SEEK_SET) == 0 && fread(buf, 1, n, f) == n;
  }
  FILE* f;
};

unsigned U16(const unsigned char* p) { return p[0] | (p[1] << 8); }
unsigned long U32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<unsigned long>(p[3]) << 24);
}

}  // namespace

std::string CheckJpeg(const std::string& path, int* width, int* height) {
  File f(path);
  if (!f.f) return "cannot be read";
  long long size = f.Size();
  unsigned char head[3];
  if (size < 4 || !f.ReadAt(0, head, 3) || head[0] != 0xFF || head[1] != 0xD8 || head[2] != 0xFF)
    return "is not a JPEG picture (it does not start with the bytes FF D8 FF)";
  // The end-of-image marker, allowing for a little padding after it.
  unsigned char tail[32];
  size_t n = size < 32 ? static_cast<size_t>(size) : 32;
  if (!f.ReadAt(size - static_cast<long long>(n), tail, n)) return "cannot be read";
  bool end = false;
  for (size_t i = 0; i + 1 < n; i++)
    if (tail[i] == 0xFF && tail[i + 1] == 0xD9) end = true;
  if (!end) return "is not a whole JPEG picture (no end marker FF D9 at its end)";

  // The frame header gives the size: walk the segments from the start.
  long long pos = 2;
  for (int guard = 0; guard < 1000 && pos + 4 <= size; guard++) {
    unsigned char seg[9];
    if (!f.ReadAt(pos, seg, 4) || seg[0] != 0xFF) break;
    unsigned marker = seg[1];
    unsigned len = (seg[2] << 8) | seg[3];
    bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame && f.ReadAt(pos + 4, seg, 5)) {
      if (height) *height = (seg[1] << 8) | seg[2];
      if (width) *width = (seg[3] << 8) | seg[4];
      break;
    }
    if (marker == 0xDA || len < 2) break;  // image data follows; no frame seen
    pos += 2 + len;
  }
  return "";
}

std::string CheckIcon(const std::string& path) {
  File f(path);
  if (!f.f) return "cannot be read";
  long long size = f.Size();
  unsigned char head[6];
  if (size < 6 || !f.ReadAt(0, head, 6) || U16(head) != 0 || U16(head + 2) != 1)
    return "is not an icon file (.ico: the header must start with 0 and type 1)";
  unsigned count = U16(head + 4);
  if (count == 0) return "is an icon file without any image";
  long long dirEnd = 6 + 16LL * count;
  if (dirEnd > size) return "is a damaged icon file (its directory of " + std::to_string(count) +
                            " images runs past the end of the file)";
  std::vector<unsigned char> dir(16 * static_cast<size_t>(count));
  if (!f.ReadAt(6, dir.data(), dir.size())) return "cannot be read";
  for (unsigned i = 0; i < count; i++) {
    const unsigned char* e = &dir[16 * static_cast<size_t>(i)];
    long long bytes = static_cast<long long>(U32(e + 8));
    long long offset = static_cast<long long>(U32(e + 12));
    if (bytes == 0 || offset < dirEnd || offset + bytes > size)
      return "is a damaged icon file (image " + std::to_string(i + 1) + " of " + std::to_string(count) +
             " lies outside the file)";
  }
  return "";
}

std::string CheckStub(const std::string& path) {
  File f(path);
  if (!f.f) return "cannot be read";
  long long size = f.Size();
  unsigned char dos[64];
  if (size < 64 || !f.ReadAt(0, dos, 64) || dos[0] != 'M' || dos[1] != 'Z')
    return "is not a Windows program (no MZ header); give the setup program";
  long long pe = static_cast<long long>(U32(dos + 0x3C));
  unsigned char head[24 + 112 + 16];
  if (pe + 24 > size || !f.ReadAt(pe, head, 24) || head[0] != 'P' || head[1] != 'E' || head[2] || head[3])
    return "is not a Windows program (no PE header); give the setup program";
  unsigned sections = U16(head + 6), optSize = U16(head + 20);
  long long opt = pe + 24;
  unsigned char o[128];
  if (optSize < 2 || !f.ReadAt(opt, o, optSize < sizeof o ? optSize : sizeof o))
    return "is a damaged Windows program (its optional header is cut short)";
  unsigned magic = U16(o);
  size_t dirs = magic == 0x20B ? 112 : 96, countAt = magic == 0x20B ? 108 : 92;
  unsigned long resRva = 0, resSize = 0;
  if (optSize >= dirs + 24 && U32(o + countAt) >= 3) {
    resRva = U32(o + dirs + 16);
    resSize = U32(o + dirs + 20);
  }
  const std::string noUninstaller =
      "carries no uninstaller (resource EXE 138): not the setup program this builder appends to";
  if (resRva == 0 || resSize == 0) return noUninstaller;
  // The section that holds the resources, and where they lie in the file.
  long long resAt = -1, resEnd = 0;
  for (unsigned i = 0; i < sections && i < 96; i++) {
    unsigned char sh[40];
    if (!f.ReadAt(opt + optSize + 40LL * i, sh, 40)) break;
    unsigned long va = U32(sh + 12), raw = U32(sh + 16), ptr = U32(sh + 20);
    if (resRva >= va && resRva < va + raw) {
      resAt = static_cast<long long>(ptr) + (resRva - va);
      resEnd = static_cast<long long>(ptr) + raw;
    }
  }
  if (resAt < 0 || resEnd > size) return "is a damaged Windows program (its resources lie outside the file)";
  long long n = resEnd - resAt;
  if (n > (16 << 20)) n = 16 << 20;
  std::vector<unsigned char> res(static_cast<size_t>(n));
  if (n < 16 || !f.ReadAt(resAt, res.data(), res.size())) return noUninstaller;
  auto entries = [&](unsigned long dir, unsigned& named, unsigned& ids) {
    if (dir + 16 > res.size()) return false;
    named = U16(&res[dir + 12]);
    ids = U16(&res[dir + 14]);
    return dir + 16 + 8ULL * (named + ids) <= res.size();
  };
  unsigned named = 0, ids = 0;
  if (!entries(0, named, ids)) return noUninstaller;
  for (unsigned i = 0; i < named; i++) {
    const unsigned char* e = &res[16 + 8 * i];
    unsigned long nameAt = U32(e) & 0x7FFFFFFF, sub = U32(e + 4);
    if (nameAt + 8 > res.size() || !(sub & 0x80000000)) continue;
    const unsigned char* nm = &res[nameAt];
    if (U16(nm) != 3 || U16(nm + 2) != 'E' || U16(nm + 4) != 'X' || U16(nm + 6) != 'E') continue;
    unsigned subNamed = 0, subIds = 0;
    sub &= 0x7FFFFFFF;
    if (!entries(sub, subNamed, subIds)) continue;
    for (unsigned k = subNamed; k < subNamed + subIds; k++)
      if (U32(&res[sub + 16 + 8 * k]) == 138) {
        long len = 0, seek = 0;
        if (ReadTrailer(path.c_str(), len, seek) && len > 0 && seek > 0 && seek + static_cast<long long>(len) <= size)
          return "already carries a package (it is a built setup file); give the setup program itself";
        return "";
      }
  }
  return noUninstaller;
}
