// Packed packages: files in solid blocks and stored, empty, tiny,
// incompressible and large, come back byte for byte (through the setup's own
// reader and through mksetup extract); the stub must say it reads them; a
// changed byte anywhere is found by inspect and stops extract.
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include "common/lzmastream.h"
#include "common/packagefile.h"
#include "packer.h"
#include "plan.h"
#include "project.h"
#include "writer.h"
#include "testenv.h"

namespace fs = std::filesystem;

namespace {

class CompressTest : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    Write("stub.exe", StubBytes());
    std::string random(300000, '\0');
    std::mt19937 gen(11);
    for (char& c : random) c = static_cast<char>(gen());
    std::string text;
    while (text.size() < 2000000) text += "line " + std::to_string(text.size() % 977) + " of a program file\r\n";
    files_ = {{"empty.txt", ""}, {"tiny.txt", "x"}, {"random.bin", random}, {"text.txt", text},
              {"stored.txt", text.substr(0, 5000)}};
    for (const auto& [name, bytes] : files_) Write("d/" + name, bytes);
    Write("p.toml",
          "[product]\nname = \"P\"\n[[file]]\nsource = \"d/empty.txt\"\n[[file]]\nsource = \"d/tiny.txt\"\n"
          "[[file]]\nsource = \"d/random.bin\"\n[[file]]\nsource = \"d/text.txt\"\n"
          "[[file]]\nsource = \"d/stored.txt\"\ncompression = \"none\"\n");
  }
  RunResult Build() {
    return RunMksetup({"build", Path("p.toml"), "--stub", Path("stub.exe"), "-o", Path("s.exe")});
  }
  std::vector<std::pair<std::string, std::string>> files_;
};

// Where two files first differ, read side by side in pieces; -1 when they
// are the same.
long long FirstDifference(const std::string& a, const std::string& b) {
  std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
  if (!fa || !fb) return 0;
  std::vector<char> ba(1 << 20), bb(1 << 20);
  for (long long at = 0;; at += static_cast<long long>(fa.gcount())) {
    fa.read(ba.data(), static_cast<std::streamsize>(ba.size()));
    fb.read(bb.data(), static_cast<std::streamsize>(bb.size()));
    if (fa.gcount() != fb.gcount()) return at + std::min(fa.gcount(), fb.gcount());
    if (fa.gcount() == 0) return -1;
    if (memcmp(ba.data(), bb.data(), static_cast<size_t>(fa.gcount())) == 0) continue;
    return at + (std::mismatch(ba.begin(), ba.end(), bb.begin()).first - ba.begin());
  }
}

TEST_F(CompressTest, EveryMethodComesBackByteForByte) {
  RunResult r = Build();
  ASSERT_EQ(r.code, 0) << r.output;
  // The ratio of each file and of all.
  EXPECT_NE(r.output.find("text.txt"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("files: "), std::string::npos) << r.output;
  ReadBack rb;
  ReadPackage(Path("s.exe"), rb);
  ASSERT_TRUE(rb.ok);
  EXPECT_TRUE(rb.settings.Extended);
  EXPECT_FALSE(rb.settings.RowsDamaged);
  ASSERT_EQ(rb.settings.FileList.Count, 5);
  // In one block, one after another; stored when asked and when empty.
  const int methods[] = {kMethodStored, kMethodSolid, kMethodSolid, kMethodSolid, kMethodStored};
  int i = 0;
  unsigned long long at = 0;
  for (CFileList::Node* n = rb.settings.FileList.Head; n; n = n->Next, i++) {
    EXPECT_EQ(n->Entry.Method, methods[i]) << files_[i].first;
    EXPECT_EQ(FileBytes(Path("s.exe"), n->Entry, &rb.settings.Blocks), files_[i].second) << files_[i].first;
    if (methods[i] != kMethodSolid) continue;
    EXPECT_EQ(n->Entry.Block, 1) << files_[i].first;
    EXPECT_EQ(static_cast<unsigned long long>(n->Entry.BlockOffset), at) << files_[i].first;
    at += n->Entry.Unpacked;
  }
  ASSERT_EQ(rb.settings.Blocks.Count(), 1);
  const RegionRef& block = *rb.settings.Blocks.At(1);
  EXPECT_EQ(block.Unpacked, at);
  EXPECT_LT(block.Length, static_cast<long long>(files_[2].second.size() + files_[3].second.size() / 10));

  r = RunMksetup({"inspect", Path("s.exe")});
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_NE(r.output.find("payload crc"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("method=solid unpacked=" + std::to_string(files_[3].second.size())), std::string::npos);
  EXPECT_NE(r.output.find("\"block.1\""), std::string::npos) << r.output;
  r = RunMksetup({"extract", Path("s.exe"), Path("out")});
  ASSERT_EQ(r.code, 0) << r.output;
  for (const auto& [name, bytes] : files_) EXPECT_EQ(ReadFile(Path("out/" + name)), bytes) << name;
}

TEST_F(CompressTest, StubThatCannotReadPackedFilesIsRefused) {
  Write("stub.exe", StubPe(true));
  RunResult r = Build();
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.output.find("the stub cannot read packed files"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("use a stub built with this mksetup"), std::string::npos) << r.output;
  EXPECT_FALSE(fs::exists(Path("s.exe")));
}

// The headers (0x200 bytes) of a 32-bit program of one code section, of
// codeSize bytes from 0x200.
std::string ProgramHeaders(unsigned long codeSize) {
  std::string b(0x200, '\0');
  b[0] = 'M';
  b[1] = 'Z';
  auto put16 = [&](size_t at, unsigned v) { b[at] = static_cast<char>(v), b[at + 1] = static_cast<char>(v >> 8); };
  auto put32 = [&](size_t at, unsigned long v) { put16(at, v & 0xFFFF), put16(at + 2, (v >> 16) & 0xFFFF); };
  put32(0x3C, 0x80);
  memcpy(&b[0x80], "PE\0\0", 4);
  put16(0x84, 0x014C);  // i386
  put16(0x86, 1);       // one section
  put16(0x94, 0xE0);    // the optional header's size
  size_t section = 0x80 + 24 + 0xE0;
  memcpy(&b[section], ".text", 5);
  put32(section + 16, codeSize);
  put32(section + 20, 0x200);
  put32(section + 36, 0x60000020UL);  // code, executable, readable
  return b;
}

// A 32-bit program whose code section is nearly all of it: code bytes with a
// near call every few bytes.
std::string CodeHeavyProgram(unsigned seed, size_t size) {
  std::mt19937 gen(seed);
  std::string b = ProgramHeaders(static_cast<unsigned long>(size - 0x200));
  while (b.size() < size) {
    // A call to one of a few functions, from wherever it stands.
    unsigned long target = 0x1000 + 0x40 * (gen() % 16);
    unsigned long rel = target - static_cast<unsigned long>(b.size() + 5);
    b += '\xE8';
    for (int k = 0; k < 4; k++) b += static_cast<char>(rel >> (8 * k));
    b += "\x83\xC4\x08\x85\xC0";
    b += static_cast<char>('A' + gen() % 4);
  }
  b.resize(size);
  return b;
}

// The code of x86 programs (judged by their headers) goes through the x86
// filter, row by row, which makes it smaller; bytes that only look like code
// do not, nor do programs whose headers do not hold together. An independent
// decoder (Python's lzma module, i.e. liblzma: raw LZMA1, then its x86 filter
// over each row's range) reads the files' bytes out of the block. A package
// without programs needs no new word of the stub; one with them is refused
// by a stub that does not name the rows' filter.
TEST_F(CompressTest, ProgramsCodeIsFilteredRowByRowAndReadByAnotherDecoder) {
  std::string a = CodeHeavyProgram(1, 400000), b = CodeHeavyProgram(2, 300000);
  std::string looksLikeCode = a.substr(0x200) + b.substr(0x200);  // no headers
  // Headers that lead nowhere: a section table past the first 4 KiB, a code
  // section past the file's end, the PE header past the file's end.
  std::string farTable = CodeHeavyProgram(3, 3000), pastEnd = farTable, noPe = farTable.substr(0, 0x100);
  farTable[0x86] = static_cast<char>(200);
  pastEnd[0x80 + 24 + 0xE0 + 21] = 0x40;  // raw data at 0x4000
  noPe[0x3D] = 0x7F;
  Write("x/a.exe", a);
  Write("x/b.dll", b);
  Write("y/code.bin", looksLikeCode);
  Write("y/far.exe", farTable);
  Write("y/past.dll", pastEnd);
  Write("y/nope.exe", noPe);
  Write("x.toml", "[product]\nname = \"P\"\n[[file]]\nsource = \"x\"\n");
  Write("y.toml", "[product]\nname = \"P\"\n[[file]]\nsource = \"y\"\n");
  Write("decode.py",
        "import lzma, sys\n"
        "path, at, length, out = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]\n"
        "f = open(path, 'rb'); f.seek(at); region = f.read(length)\n"
        "p = region[0]; lc = p % 9; lp = p // 9 % 5; pb = p // 45\n"
        "lzma1 = {'id': lzma.FILTER_LZMA1, 'dict_size': int.from_bytes(region[1:5], 'little'), 'lc': lc, 'lp': lp, 'pb': pb}\n"
        "block = lzma.LZMADecompressor(lzma.FORMAT_RAW, filters=[lzma1]).decompress(region[5:])\n"
        "for row in sys.argv[5:]:\n"
        "  name, offset, size, start, count = row.split(':'); offset, size, start, count = map(int, (offset, size, start, count))\n"
        "  data = block[offset:offset + size]\n"
        "  if count:\n"
        "    lzma2 = [{'id': lzma.FILTER_LZMA2}]\n"
        "    packed = lzma.compress(data[start:start + count], lzma.FORMAT_RAW, filters=lzma2)\n"
        "    x86 = [{'id': lzma.FILTER_X86, 'start_offset': 0}]\n"
        "    data = data[:start] + lzma.decompress(packed, lzma.FORMAT_RAW, filters=x86 + lzma2) + data[start + count:]\n"
        "  open(out + '/' + name, 'wb').write(data)\n");
  long long sizes[2];
  for (int k = 0; k < 2; k++) {
    const char* name = k ? "y" : "x";
    std::string setup = Path(std::string(name) + ".exe");
    RunResult r = RunMksetup({"build", Path(std::string(name) + ".toml"), "--stub", Path("stub.exe"), "-o", setup});
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(r.output.find("(x86 code of ") != std::string::npos, k == 0) << r.output;
    ReadBack rb;
    ReadPackage(setup, rb);
    ASSERT_TRUE(rb.ok);
    ASSERT_EQ(rb.settings.Blocks.Count(), 1);
    const RegionRef& block = *rb.settings.Blocks.At(1);
    EXPECT_EQ(block.Filter, kFilterNone) << name;
    sizes[k] = block.Length;
    // Two bits of literal context for a block mostly of programs, three for any other.
    EXPECT_EQ(static_cast<unsigned char>(ReadFile(setup).at(static_cast<size_t>(block.Offset))) % 9, k == 0 ? 2 : 3)
        << name;
    std::vector<std::string> args = {Path("decode.py"), setup, std::to_string(block.Offset),
                                     std::to_string(block.Length), Path(std::string("py-") + name)};
    fs::create_directories(args.back());
    for (const CFileList::Node* n = rb.settings.FileList.Head; n; n = n->Next) {
      const FileEntry& e = n->Entry;
      // The programs' code from the end of their headers, and nothing else.
      bool program = k == 0;
      EXPECT_EQ(e.Filter, program ? kFilterX86 : kFilterNone) << e.Name;
      EXPECT_EQ(e.FilterFrom, program ? 0x200 : 0) << e.Name;
      EXPECT_EQ(e.FilterLength, program ? static_cast<long long>(e.Unpacked) - 0x200 : 0) << e.Name;
      args.push_back(std::string(e.Name) + ":" + std::to_string(e.BlockOffset) + ":" + std::to_string(e.Unpacked) +
                     ":" + std::to_string(e.FilterFrom) + ":" + std::to_string(e.FilterLength));
    }
    r = RunProgram("python3", args);
    ASSERT_EQ(r.code, 0) << r.output;
    r = RunMksetup({"extract", setup, Path(std::string("out-") + name)});
    ASSERT_EQ(r.code, 0) << r.output;
    r = RunMksetup({"inspect", setup});
    EXPECT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(r.output.find("files: 2 (2 with x86 code filtered)") != std::string::npos, k == 0) << r.output;
    EXPECT_EQ(r.output.find(" x86=512+399488") != std::string::npos, k == 0) << r.output;
  }
  for (const char* out : {"out-", "py-"}) {
    std::string dir = out;
    EXPECT_EQ(ReadFile(Path(dir + "x/a.exe")), a) << dir;
    EXPECT_EQ(ReadFile(Path(dir + "x/b.dll")), b) << dir;
    EXPECT_EQ(ReadFile(Path(dir + "y/code.bin")), looksLikeCode) << dir;
    EXPECT_EQ(ReadFile(Path(dir + "y/far.exe")), farTable) << dir;
    EXPECT_EQ(ReadFile(Path(dir + "y/past.dll")), pastEnd) << dir;
    EXPECT_EQ(ReadFile(Path(dir + "y/nope.exe")), noPe) << dir;
  }
  // The same code bytes pack smaller filtered.
  EXPECT_LT(sizes[0], sizes[1] * 9 / 10);

  Write("old.exe", StubBytes("PKX1 lzma crc32 solid x86"));
  RunResult r = RunMksetup({"build", Path("x.toml"), "--stub", Path("old.exe"), "-o", Path("x2.exe")});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.output.find("the stub cannot read packed files"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("x86rows"), std::string::npos) << r.output;
  EXPECT_FALSE(fs::exists(Path("x2.exe")));
  r = RunMksetup({"build", Path("y.toml"), "--stub", Path("old.exe"), "-o", Path("y2.exe")});
  EXPECT_EQ(r.code, 0) << r.output;
}

// A file past 100 MiB, holes but for single bytes at the edges of the copy
// buffer, the packer's in-memory output and the blocks: stored, and packed in
// blocks of the default limit (one file across four of them), it comes back
// whole through mksetup extract. It is a program whose code is all of it,
// with calls across the edges of the blocks: the filter's parts meet there.
TEST_F(CompressTest, LargeSparseFileComesBackByBothMethods) {
  const long long size = (100LL << 20) + 4099;
  const long long block = (size + 3) / 4;  // four blocks of equal size
  ASSERT_EQ((size + LevelOf(kLevelNormal).blockLimit - 1) / LevelOf(kLevelNormal).blockLimit, 4);
  const long long marks[] = {0,
                             kPackageChunk - 1,
                             kPackageChunk,
                             static_cast<long long>(kPackedInMemory) - 1,
                             block - 1,
                             block,
                             2 * block + 7,
                             (100LL << 20) - 1,
                             size - 1};
  int fd = open(Path("big.bin").c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, size), 0);
  for (size_t i = 0; i < sizeof marks / sizeof marks[0]; i++) {
    char c = static_cast<char>(0x41 + i);
    ASSERT_EQ(pwrite(fd, &c, 1, marks[i]), 1);
  }
  std::string headers = ProgramHeaders(static_cast<unsigned long>(size - 0x200));
  ASSERT_EQ(pwrite(fd, headers.data(), headers.size(), 0), static_cast<ssize_t>(headers.size()));
  // Near calls (operands of zeros) that end, start and straddle the blocks'
  // edges, in the setup's pieces and at the end of the file.
  for (long long edge : {block, 2 * block, 3 * block, static_cast<long long>(kPackageChunk) + 0x200, size})
    for (long long at : {edge - 9, edge - 5, edge - 3, edge - 1, edge, edge + 2})
      if (at > 0x200 && at < size) {
        ASSERT_EQ(pwrite(fd, "\xE8", 1, at), 1);
      }
  close(fd);
  Write("big.toml",
        "[product]\nname = \"B\"\n[[file]]\nsource = \"big.bin\"\nname = \"packed.bin\"\n"
        "[[file]]\nsource = \"big.bin\"\nname = \"stored.bin\"\ncompression = \"none\"\n");
  RunResult r = RunMksetup({"build", Path("big.toml"), "--stub", Path("stub.exe"), "-o", Path("s.exe")});
  ASSERT_EQ(r.code, 0) << r.output;
  ReadBack rb;
  ReadPackage(Path("s.exe"), rb);
  ASSERT_TRUE(rb.ok);
  ASSERT_EQ(rb.settings.FileList.Count, 2);
  const FileEntry& packed = rb.settings.FileList.Head->Entry;
  const FileEntry& stored = rb.settings.FileList.Tail->Entry;
  EXPECT_EQ(packed.Method, kMethodSolid);
  EXPECT_EQ(packed.Block, 1);
  EXPECT_EQ(packed.Filter, kFilterX86);
  EXPECT_EQ(packed.FilterFrom, 0x200);
  EXPECT_EQ(packed.FilterLength, size - 0x200);
  EXPECT_EQ(packed.Unpacked, static_cast<unsigned long long>(size));
  ASSERT_EQ(rb.settings.Blocks.Count(), 4);
  for (int b = 1; b <= 4; b++) {
    EXPECT_EQ(rb.settings.Blocks.At(b)->Unpacked, static_cast<unsigned long long>(b < 4 ? block : size - 3 * block));
    EXPECT_LT(rb.settings.Blocks.At(b)->Length, 1 << 20);
  }
  EXPECT_EQ(stored.Method, kMethodStored);
  EXPECT_EQ(stored.Length, size);

  r = RunMksetup({"extract", Path("s.exe"), Path("out")});
  ASSERT_EQ(r.code, 0) << r.output;
  for (const char* name : {"packed.bin", "stored.bin"}) {
    EXPECT_EQ(fs::file_size(Path(std::string("out/") + name)), static_cast<uintmax_t>(size)) << name;
    EXPECT_EQ(FirstDifference(Path("big.bin"), Path(std::string("out/") + name)), -1) << name;
  }
}

// A source that grows after the checks (a log being written) is packed to
// the size it had then and no further: the build stops with the reason
// rather than read on to a moving end (here a terabyte of holes). Nothing
// is written.
TEST_F(CompressTest, GrowingSourceStopsThePackingAtItsCheckedSize) {
  Write("g.toml", "[product]\nname = \"G\"\n[[file]]\nsource = \"d/text.txt\"\n");
  Diagnostics diag;
  Project project;
  Plan plan;
  BuildOptions options;
  options.stub = Path("stub.exe");
  options.output = Path("g.exe");
  ASSERT_TRUE(LoadProject(Path("g.toml"), {}, project, diag) && PlanPackage(project, options, plan, diag));
  ASSERT_EQ(truncate(Path("d/text.txt").c_str(), 1LL << 40), 0);
  std::string error;
  EXPECT_FALSE(WritePackage(plan, error));
  EXPECT_NE(error.find("text.txt changed while being packed (" + std::to_string(files_[3].second.size()) +
                       " bytes when checked, more now)"),
            std::string::npos)
      << error;
  EXPECT_EQ(Files().count("g.exe"), 0u);
}

// The index of a package with packed files is packed when the stub reads
// one (inspect says so); unpacked it is, byte for byte, the plain index a
// stub without the word is given, and the files come back from it. A
// package without packed files keeps its plain index whatever the stub. A
// packed index that does not unpack to the size the seal gives (its
// checksum made to match) is damage: nothing is extracted.
TEST_F(CompressTest, IndexIsPackedForAStubThatReadsIt) {
  std::string project = "[product]\nname = \"P\"\n";
  for (int i = 0; i < 300; i++) {
    Write("m/f" + std::to_string(i) + ".txt", "file " + std::to_string(i) + "\n");
    project += "[[file]]\nsource = \"m/f" + std::to_string(i) + ".txt\"\n";
  }
  Write("m.toml", project);
  Write("stored.toml", "[product]\nname = \"P\"\nid = \"P\"\n[[file]]\nsource = \"d/text.txt\"\ncompression = \"none\"\n");
  std::string older = CAPABILITY_TEXT;
  older.erase(older.find(" " CAPABILITY_WORD_INDEX), strlen(" " CAPABILITY_WORD_INDEX));
  Write("old.exe", StubBytes(older.c_str()));
  auto build = [&](const char* toml, const char* stub, const char* out) {
    return RunMksetup({"build", Path(toml), "--stub", Path(stub), "-o", Path(out)});
  };
  ASSERT_EQ(build("m.toml", "stub.exe", "packed.exe").code, 0);
  ASSERT_EQ(build("m.toml", "old.exe", "plain.exe").code, 0);
  ReadBack packed, plain;
  ReadPackage(Path("packed.exe"), packed);
  ReadPackage(Path("plain.exe"), plain);
  ASSERT_TRUE(packed.ok && plain.ok);
  EXPECT_EQ(packed.opened, kPackageOpened);
  EXPECT_EQ(packed.settings.Seal.IndexMethod, kMethodLzma);
  EXPECT_EQ(plain.settings.Seal.IndexMethod, kMethodNone);
  EXPECT_EQ(packed.settings.FileList.Count, 300);
  std::string a = ReadFile(Path("packed.exe")), b = ReadFile(Path("plain.exe"));
  ASSERT_EQ(packed.settings.Seal.IndexUnpacked, plain.len);
  EXPECT_EQ(packed.table, plain.table);
  EXPECT_LT(packed.len * 4, plain.len);
  std::string plainIndex = b.substr(static_cast<size_t>(plain.seek), static_cast<size_t>(plain.len)), unpacked(plainIndex.size(), '\0');
  ASSERT_TRUE(DecodeLzmaRegion(a.data() + packed.seek, static_cast<size_t>(packed.len), &unpacked[0], unpacked.size()));
  EXPECT_TRUE(unpacked == plainIndex);
  RunResult r = RunMksetup({"inspect", Path("packed.exe")});
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_NE(r.output.find("index: packed (lzma), " + std::to_string(packed.len) + " bytes, unpacked " +
                          std::to_string(plain.len) + "\n"), std::string::npos) << r.output;
  r = RunMksetup({"inspect", "--json", Path("packed.exe")});
  EXPECT_NE(r.output.find("\"index_packed\": {\"method\": \"lzma\", \"unpacked\": " + std::to_string(plain.len) + "}"),
            std::string::npos) << r.output;
  r = RunMksetup({"extract", Path("packed.exe"), Path("out")});
  ASSERT_EQ(r.code, 0) << r.output;
  for (int i = 0; i < 300; i += 37)
    EXPECT_EQ(ReadFile(Path("out/f" + std::to_string(i) + ".txt")), "file " + std::to_string(i) + "\n");

  // Stored files only: the same bytes after either stub.
  ASSERT_EQ(build("stored.toml", "stub.exe", "s1.exe").code, 0);
  ASSERT_EQ(build("stored.toml", "old.exe", "s2.exe").code, 0);
  ASSERT_EQ(StubBytes().size(), ReadFile(Path("old.exe")).size());
  size_t stub = StubBytes().size();
  EXPECT_TRUE(ReadFile(Path("s1.exe")).substr(stub) == ReadFile(Path("s2.exe")).substr(stub));
  EXPECT_EQ(ReadFile(Path("s1.exe")).find(":lzma,"), std::string::npos);

  // The packed index cut short, or its seal giving another size.
  const std::string packedIndex = a.substr(static_cast<size_t>(packed.seek), static_cast<size_t>(packed.len));
  const long long size = packed.settings.Seal.IndexUnpacked;
  struct {
    const char* what;
    std::string index;
    long long unpacked;
  } cases[] = {
      {"cut short", packedIndex.substr(0, packedIndex.size() - 8), size},
      {"one byte more", packedIndex, size + 1},
      {"one byte less", packedIndex, size - 1},
      {"past the limit", packedIndex, PACKED_INDEX_MAX + 1},
  };
  for (const auto& c : cases) {
    char trailer[160];
    int n = FormatTrailer(trailer, sizeof trailer, static_cast<long long>(c.index.size()), packed.seek);
    n += FormatSeal(trailer + n, static_cast<int>(sizeof trailer) - n, packed.settings.Seal.PayloadStart,
                    packed.settings.Seal.PayloadCrc, Crc32Update(0, c.index.data(), c.index.size()), c.unpacked);
    Write("bad.exe", a.substr(0, static_cast<size_t>(packed.seek)) + c.index + std::string(trailer, static_cast<size_t>(n)));
    ReadBack rb;
    ReadPackage(Path("bad.exe"), rb);
    EXPECT_EQ(rb.opened, kPackageDamaged) << c.what;
    r = RunMksetup({"inspect", Path("bad.exe")});
    EXPECT_EQ(r.code, 1) << c.what;
    EXPECT_NE(r.output.find("damaged"), std::string::npos) << c.what << "\n" << r.output;
    r = RunMksetup({"extract", Path("bad.exe"), Path("x")});
    EXPECT_EQ(r.code, 1) << c.what;
    EXPECT_TRUE(!fs::exists(Path("x")) || fs::is_empty(Path("x"))) << c.what;
  }
}

// A byte changed in the index, in a stored file, in a packed file, in the
// picture region's place, and bytes cut or added: inspect and extract both
// say damaged; extract writes nothing.
TEST_F(CompressTest, AnyChangedByteIsDamage) {
  ASSERT_EQ(Build().code, 0);
  std::string good = ReadFile(Path("s.exe"));
  ReadBack rb;
  ReadPackage(Path("s.exe"), rb);
  ASSERT_TRUE(rb.ok);
  long start = static_cast<long>(StubBytes().size());
  const FileEntry& stored = rb.settings.FileList.Tail->Entry;
  ASSERT_EQ(rb.settings.Blocks.Count(), 1);
  const RegionRef& packed = *rb.settings.Blocks.At(1);
  struct {
    const char* what;
    long at;
    int change;  // 0: flip a bit, -1: cut 3 bytes, 1: add 3 bytes
  } cases[] = {
      {"index", rb.seek + rb.len / 2, 0},
      {"stored file", stored.Offset + 10, 0},
      {"packed block", static_cast<long>(packed.Offset + packed.Length / 2), 0},
      {"first payload byte", start, 0},
      {"cut from the middle", static_cast<long>(packed.Offset) + 100, -1},
      {"added in the middle", static_cast<long>(packed.Offset) + 100, 1},
  };
  for (const auto& c : cases) {
    std::string bad = good;
    if (c.change == 0) bad[c.at] ^= 0x20;
    else if (c.change < 0) bad.erase(c.at, 3);
    else bad.insert(c.at, "abc");
    Write("bad.exe", bad);
    RunResult r = RunMksetup({"inspect", Path("bad.exe")});
    EXPECT_EQ(r.code, 1) << c.what;
    EXPECT_NE(r.output.find("damaged"), std::string::npos) << c.what << "\n" << r.output;
    r = RunMksetup({"extract", Path("bad.exe"), Path("x")});
    EXPECT_EQ(r.code, 1) << c.what;
    EXPECT_TRUE(!fs::exists(Path("x")) || fs::is_empty(Path("x"))) << c.what;
  }
}

}  // namespace
