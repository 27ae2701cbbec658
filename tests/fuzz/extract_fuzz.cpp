// mksetup extract on any index: the input is the index text as it is before
// scrambling (rows of names, folders, sub-folders, regions and extensions),
// put after a small stub and a fixed payload, scrambled, with the trailer
// and, when the index carries the tag, a seal that matches. The folder
// extracted into lies at the bottom of a chain of 128 folders below a
// scratch folder, and holds two planted links (sub to a folder beside the
// chain, x.txt to a file there); after every run a walk of the scratch
// folder finds nothing but the chain, the folder and what is below it, and
// the links' targets as they were. A row that climbs out, by any bytes,
// aborts the run.
#include <dirent.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "common/container.h"
#include "common/fieldtable.h"
#include "common/packageext.h"
#include "common/packageindex.h"
#include "extract.h"

namespace fs = std::filesystem;

namespace {

// The stub and payload the seeds' offsets and checksums count on: 64 bytes,
// then 256 bytes of i * 7 + 1.
const size_t kStubBytes = 64;
const size_t kPayloadBytes = 256;
const int kDepth = 128;

std::string g_base, g_dir, g_setup;
FILE* g_null;

void Fail(const char* what, const std::string& path) {
  fprintf(stderr, "extract_fuzz: %s: %s\n", what, path.c_str());
  abort();
}

// Everything below the scratch folder must be the chain, the folder and its
// contents, or the links' targets.
void Walk() {
  std::string chain = g_base;
  for (int i = 0; i < kDepth; i++) {
    std::string prefix = chain + "/";
    for (const auto& e : fs::directory_iterator(chain)) {
      std::string name = e.path().filename().string();
      bool expected = name == "a" || (i == 0 && (name == "elsewhere" || name == "victim.txt"));
      if (!expected) Fail("created outside the folder", e.path().string());
    }
    chain += "/a";
  }
  for (const auto& e : fs::directory_iterator(chain))
    if (e.path().filename() != "out") Fail("created outside the folder", e.path().string());
  if (!fs::is_empty(g_base + "/elsewhere")) Fail("written through a link", g_base + "/elsewhere");
  FILE* f = fopen((g_base + "/victim.txt").c_str(), "rb");
  char buf[16] = {0};
  size_t n = f ? fread(buf, 1, sizeof buf, f) : 0;
  if (f) fclose(f);
  if (n != 6 || memcmp(buf, "victim", 6) != 0) Fail("written through a link", g_base + "/victim.txt");
}

void Prepare() {
  char base[64];
  snprintf(base, sizeof base, "/tmp/extract_fuzz.%d", static_cast<int>(getpid()));
  g_base = base;
  g_setup = g_base + ".exe";
  fs::remove_all(g_base);
  g_dir = g_base;
  for (int i = 0; i < kDepth; i++) g_dir += "/a";
  fs::create_directories(g_dir);
  g_dir += "/out";
  fs::create_directories(g_base + "/elsewhere");
  FILE* f = fopen((g_base + "/victim.txt").c_str(), "wb");
  fputs("victim", f);
  fclose(f);
  g_null = fopen("/dev/null", "w");
  atexit([] {
    std::error_code ec;
    fs::remove_all(g_base, ec);
    fs::remove(g_setup, ec);
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (g_base.empty()) Prepare();
  if (size > (1 << 16)) return 0;
  std::string index(reinterpret_cast<const char*>(data), size);
  // The tag decides the seal, as the builder decides it.
  CFieldTable t;
  t.LoadBytes(index.data(), static_cast<int>(index.size()), "");
  bool tagged = false;
  for (int i = 0; i <= kIdxExtension; i++) tagged = strcmp(t.NextField(), PACKAGE_TAG) == 0;

  std::string file(kStubBytes, 'M');
  for (size_t i = 0; i < kPayloadBytes; i++) file += static_cast<char>(i * 7 + 1);
  std::string scrambled = index;
  ScrambleBuffer(reinterpret_cast<unsigned char*>(&scrambled[0]), static_cast<int>(scrambled.size()), TABLE_KEY);
  file += scrambled;
  char trailer[128];
  file.append(trailer, static_cast<size_t>(FormatTrailer(trailer, sizeof trailer, static_cast<long>(index.size()),
                                                         static_cast<long>(kStubBytes + kPayloadBytes))));
  if (tagged)
    file.append(trailer, static_cast<size_t>(FormatSeal(
                             trailer, sizeof trailer, static_cast<long>(kStubBytes),
                             Crc32Update(0, file.data() + kStubBytes, kPayloadBytes),
                             Crc32Update(0, scrambled.data(), scrambled.size()))));
  FILE* f = fopen(g_setup.c_str(), "wb");
  if (!f) return 0;
  fwrite(file.data(), 1, file.size(), f);
  fclose(f);

  fs::remove_all(g_dir);
  fs::create_directories(g_dir);
  fs::create_directory_symlink(g_base + "/elsewhere", g_dir + "/sub");
  fs::create_symlink(g_base + "/victim.txt", g_dir + "/x.txt");
  ExtractFiles(g_setup, g_dir, g_null, g_null);
  Walk();
  return 0;
}
