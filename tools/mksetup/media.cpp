#include "media.h"

#include <stdio.h>

#include "common/container.h"
#include "hostfs.h"
#include "pe.h"

#include <vector>

namespace {

struct File {
  explicit File(const std::string& path) : f(OpenFile(path, "rb")) {}
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
  // A setup program is a few hundred KiB; anything far larger is no stub.
  if (size < 0 || size > (64 << 20)) return "is not a Windows program (too large); give the setup program";
  std::string bytes(static_cast<size_t>(size), '\0');
  if (size > 0 && !f.ReadAt(0, &bytes[0], bytes.size())) return "cannot be read";
  if (bytes.size() < 64 || bytes[0] != 'M' || bytes[1] != 'Z')
    return "is not a Windows program (no MZ header); give the setup program";
  if (!LooksLikePe(bytes)) return "is not a Windows program (no PE header); give the setup program";
  PeImage image;
  ResTree tree;
  std::string error;
  if (!ParsePe(bytes, image, error) || !ReadResources(bytes, image, tree, error))
    return "is a damaged Windows program (" + error + ")";
  ResKey exe;
  exe.named = true;
  exe.name = u"EXE";
  auto type = tree.find(exe);
  if (type == tree.end() || type->second.find(ResId(138)) == type->second.end())
    return "carries no uninstaller (resource EXE 138): not the setup program this builder appends to";
  long long len = 0, seek = 0;
  if (ReadTrailer(path.c_str(), len, seek) && len > 0 && seek > 0 && seek <= size && len <= size - seek)
    return "already carries a package (it is a built setup file); give the setup program itself";
  return "";
}
