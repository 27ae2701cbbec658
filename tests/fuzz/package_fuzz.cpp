// A whole setup file through the extension reader as the setup takes it: the
// trailer and its seal, the index and its checksum (a packed index unpacked,
// the packed-index seed), the rows and their
// extensions, the consistency rules, then each small row written out through
// its method (a row of blocks through its blocks, decoded ahead for every
// other input) with its checksum checked. The input's first bytes also go to
// the row extension and seal parsers directly.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "common/package.h"
#include "common/packagefile.h"
#include "framework/memory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  char text[64];
  size_t n = size < sizeof text - 1 ? size : sizeof text - 1;
  memcpy(text, data, n);
  text[n] = 0;
  RowExtension ext;
  ParseRowExtension(text, ext);
  PackageSeal seal;
  ParseSeal(reinterpret_cast<const char*>(data), static_cast<int>(n), seal);
  RegionRef region;
  ParseRegionRef(text, region);

  static char path[64], out[80];
  if (!path[0]) {
    snprintf(path, sizeof path, "/tmp/package_fuzz.%d", static_cast<int>(getpid()));
    snprintf(out, sizeof out, "%s.out", path);
  }
  FILE* f = fopen(path, "wb");
  if (!f) return 0;
  fwrite(data, 1, size, f);
  fclose(f);
  // The checksum rarely matches: the index is read on regardless (and with
  // it the lists of its settings and the whole licence they may name).
  CPackage s;
  s.Open(path, 1 << 20);
  if (!s.IndexRead) return 0;
  // Small blocks only, for the same reason.
  for (int b = 1; b <= s.Blocks.Count(); b++)
    if (s.Blocks.At(b) && s.Blocks.At(b)->Unpacked > (1u << 20)) return 0;
  CPackageFile package;
  package.UseBlocks(&s.Blocks);
  if (!package.Open(path)) return 0;
  char* licence = 0;
  if (s.LicenceRegion.Method != kMethodNone) package.ReadRegion(s.LicenceRegion, 1 << 20, licence);
  FreeBuffer(licence);
  if (size && data[size - 1] & 1) package.DecodeAhead(s.FileList);
  int rows = 0;
  for (CFileList::Node* node = s.FileList.Head; node && rows < 8; node = node->Next, rows++) {
    // Small rows only: a few bytes of LZMA may stand for gigabytes.
    if (node->Entry.Unpacked > (1u << 20)) continue;
    package.Extract(node->Entry, out);
    unlink(out);
  }
  return 0;
}
