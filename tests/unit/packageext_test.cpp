// The extension's own pieces: the checksum, the row field, the seal after the
// trailer, and a package file's rows written out through their methods.
#include "common/packageext.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <thread>
#include <string>
#include <vector>

#include "LzmaEnc.h"
#include "common/container.h"
#include "common/package.h"
#include "common/packagefile.h"
#include "framework/memory.h"
#include "common/packageindex.h"
#include "common/x86filter.h"
#include "testutil.h"

namespace {

TEST(Crc32, KnownValuesAndAnySplit) {
  EXPECT_EQ(Crc32Update(0, "123456789", 9), 0xCBF43926UL);
  EXPECT_EQ(Crc32Update(0, "", 0), 0UL);
  std::string data(1000, '\0');
  std::mt19937 gen(3);
  for (char& c : data) c = static_cast<char>(gen());
  unsigned long whole = Crc32Update(0, data.data(), data.size());
  // Pieces at every alignment give the same checksum as the whole.
  for (size_t cut : {1u, 3u, 7u, 8u, 13u, 500u, 999u}) {
    unsigned long c = Crc32Update(0, data.data(), cut);
    EXPECT_EQ(Crc32Update(c, data.data() + cut, data.size() - cut), whole) << cut;
  }
  data[500] ^= 1;
  EXPECT_NE(Crc32Update(0, data.data(), data.size()), whole);
}

// The folding checksum (where the processor has it) agrees with the tables at
// every length around its 16- and 64-byte steps, from any alignment and any
// checksum before.
TEST(Crc32, FoldingAgreesWithTheTables) {
  std::string data(70000, '\0');
  std::mt19937 gen(9);
  for (char& c : data) c = static_cast<char>(gen());
  for (size_t length = 0; length < 300; length++)
    for (size_t align : {0u, 1u, 5u, 15u}) {
      unsigned long before = gen() & 0xFFFFFFFFUL;
      ASSERT_EQ(Crc32Update(before, data.data() + align, length), Crc32UpdateTables(before, data.data() + align, length))
          << length << " at " << align;
    }
  EXPECT_EQ(Crc32Update(0, data.data() + 3, data.size() - 3), Crc32UpdateTables(0, data.data() + 3, data.size() - 3));
}

// The x86 filter undoes itself whatever the pieces the encoder is given, and
// changes the operands of calls and jumps (its agreement with liblzma's filter
// is tested through Python's lzma module in tests/mksetup).
TEST(X86Filter, DecodingUndoesEncodingInAnyPieces) {
  std::mt19937 gen(13);
  std::string code;
  while (code.size() < 200000) {
    unsigned r = gen();
    // Calls and jumps near and far, other bytes, and runs of E8.
    const char* kinds[] = {"\xE8", "\xE9", "\x0F\x80", "\xE8\xE8\xE8", "\x55\x8B\xEC"};
    code += kinds[r % 5];
    for (int k = 0; k < 4; k++) code += static_cast<char>(k == 3 && r & 32 ? (r & 64 ? 0xFF : 0x00) : gen());
  }
  for (size_t piece : {5u, 4099u, 1u << 20}) {
    std::string data = code;
    unsigned char* p = reinterpret_cast<unsigned char*>(&data[0]);
    CX86Filter enc;
    size_t pos = 0;
    while (pos < data.size()) {
      size_t n = std::min(piece, data.size() - pos);
      size_t done = enc.Encode(p + pos, n, static_cast<unsigned long>(pos));
      if (pos + n == data.size()) break;
      pos += done ? done : 0;
      if (!done) piece *= 2;
    }
    EXPECT_NE(data, code) << piece;
    CX86Filter dec;
    dec.Decode(p, data.size(), 0);
    EXPECT_EQ(data, code) << piece;
  }
}

TEST(RowExtension, WrittenFormReadsBackAndNothingElseDoes) {
  char text[64];
  ASSERT_GT(FormatRowExtension(text, sizeof text, kMethodLzma, 5000000000ULL, 0xABCDEF01UL), 0);
  EXPECT_STREQ(text, "lzma,5000000000,abcdef01");
  RowExtension e;
  ASSERT_TRUE(ParseRowExtension(text, e));
  EXPECT_EQ(e.Method, kMethodLzma);
  EXPECT_EQ(e.Unpacked, 5000000000ULL);
  EXPECT_EQ(e.Crc, 0xABCDEF01UL);
  ASSERT_TRUE(ParseRowExtension("", e));
  EXPECT_EQ(e.Method, kMethodNone);
  for (const char* bad : {"lzma", "lzma,1", "lzma,1,", "lzma,,00000000", "zip,1,00000000", "stored,1,0000000",
                          "stored,1,000000000", "stored,-1,00000000", "stored,01,00000000", "stored,1,0000000g",
                          "stored,1,00000000,", " stored,1,00000000", "stored,99999999999999999999,00000000"})
    EXPECT_FALSE(ParseRowExtension(bad, e)) << bad;
}

// A region reference by its fields' names.
RegionRef Region(long long offset, long long length, int method, unsigned long long unpacked, unsigned long crc) {
  RegionRef r;
  memset(&r, 0, sizeof r);
  r.Offset = offset;
  r.Length = length;
  r.Method = method;
  r.Unpacked = unpacked;
  r.Crc = crc;
  return r;
}

TEST(RegionRef, WrittenFormReadsBackAndNothingElseDoes) {
  RegionRef r = Region(4294967000LL, 1234, kMethodLzma, 262144, 0xdeadbeefUL);
  char text[96];
  ASSERT_GT(FormatRegionRef(text, sizeof text, r), 0);
  EXPECT_STREQ(text, "4294967000,1234,lzma,262144,deadbeef");
  RegionRef back;
  ASSERT_TRUE(ParseRegionRef(text, back));
  EXPECT_TRUE(back.Offset == r.Offset && back.Length == r.Length && back.Method == r.Method &&
              back.Unpacked == r.Unpacked && back.Crc == r.Crc);
  for (const char* bad : {"", "1,2,lzma,3", "1,2,zip,3,00000000", "-1,2,stored,2,00000000", "1,2,stored,2,0000000",
                          "01,2,stored,2,00000000", "1,2,stored,2,00000000,", "1,,stored,2,00000000",
                          "1,2,stored,2,0000000G", "99999999999999999999,2,stored,2,00000000"}) {
    EXPECT_FALSE(ParseRegionRef(bad, back)) << bad;
    EXPECT_EQ(back.Method, kMethodNone) << bad;
  }
}

TEST(Seal, ReadFromTheTrailerWindowOnlyWhenWellFormed) {
  char seal[64];
  ASSERT_GT(FormatSeal(seal, sizeof seal, 124416, 0x1234abcdUL, 0xffffffffUL), 0);
  std::string tail = std::string("xx&LEN:10,SEEK:200.") + seal;
  PackageSeal s;
  ParseSeal(tail.data(), static_cast<int>(tail.size()), s);
  EXPECT_TRUE(s.Present && s.Valid);
  EXPECT_EQ(s.PayloadStart, 124416);
  EXPECT_EQ(s.PayloadCrc, 0x1234abcdUL);
  EXPECT_EQ(s.IndexCrc, 0xffffffffUL);
  EXPECT_EQ(s.IndexMethod, kMethodNone);
  // A packed index: the method and the size it unpacks to after the checksums.
  char packedSeal[64];
  ASSERT_GT(FormatSeal(packedSeal, sizeof packedSeal, 9223372036854775807LL, 1, 2, PACKED_INDEX_MAX), 0);
  EXPECT_STREQ(packedSeal, "PKX1:9223372036854775807:00000001:00000002:lzma,67108864");
  std::string packedTail = std::string("x&LEN:4294967295,SEEK:9223372036854775807.") + packedSeal;
  ASSERT_LE(packedTail.size(), static_cast<size_t>(TRAILER_WINDOW));
  ParseSeal(packedTail.data(), static_cast<int>(packedTail.size()), s);
  EXPECT_TRUE(s.Present && s.Valid);
  EXPECT_EQ(s.IndexMethod, kMethodLzma);
  EXPECT_EQ(s.IndexUnpacked, PACKED_INDEX_MAX);
  // Today's reader takes the same numbers from it.
  long long len = 0, seek = 0;
  ASSERT_TRUE(ParseTrailer(tail.data(), static_cast<int>(tail.size()), len, seek));
  EXPECT_EQ(len, 10);
  EXPECT_EQ(seek, 200);
  struct {
    const char* tail;
    bool present;
  } cases[] = {
      {"xx&LEN:10,SEEK:200.", false},
      {"xx&LEN:10,SEEK:200.   ", false},  // blanks after the trailer, as ever
      {"xx&LEN:10,SEEK:200.PKX1:1:00000000", true},
      {"xx&LEN:10,SEEK:200.PKX1:1:00000000:0000000", true},
      {"xx&LEN:10,SEEK:200.PKX2:1:00000000:00000000", true},
      {"xx&LEN:10,SEEK:200.PKX1:1:00000000:00000000x", true},
      {"xx&LEN:10,SEEK:200.PKX1::00000000:00000000", true},
      // The packed index's field: lzma alone, 1 to the most the setup takes.
      {"xx&LEN:10,SEEK:200.PKX1:1:00000000:00000000:", true},
      {"xx&LEN:10,SEEK:200.PKX1:1:00000000:00000000:lzma,", true},
      {"xx&LEN:10,SEEK:200.PKX1:1:00000000:00000000:lzma,0", true},
      {"xx&LEN:10,SEEK:200.PKX1:1:00000000:00000000:lzma,010", true},
      {"xx&LEN:10,SEEK:200.PKX1:1:00000000:00000000:lzma,67108865", true},
      {"xx&LEN:10,SEEK:200.PKX1:1:00000000:00000000:lzma+x86,10", true},
      {"xx&LEN:10,SEEK:200.PKX1:1:00000000:00000000:stored,10", true},
      {"xx&LEN:10,SEEK:200.PKX1:1:00000000:00000000:lzma,10:", true},
  };
  for (const auto& c : cases) {
    ParseSeal(c.tail, static_cast<int>(strlen(c.tail)), s);
    EXPECT_EQ(s.Present != false, c.present) << c.tail;
    EXPECT_FALSE(s.Valid) << c.tail;
    EXPECT_FALSE(s.Misplaced) << c.tail;
  }
  // A cut through the trailer: the last "&" is a byte of the index before
  // it, and the seal's text is all that is left: read as no trailer.
  for (const char* cut : {"xx&\xb2\x83.PKX1:1:00000000:00000000:lzma,10", "xx&LE.PKX1:1:00000000:00000000"}) {
    ParseSeal(cut, static_cast<int>(strlen(cut)), s);
    EXPECT_TRUE(s.Misplaced && !s.Present) << cut;
  }
  ParseSeal("xx&LEN:10,SEEK:200.x.PKX", 24, s);
  EXPECT_FALSE(s.Misplaced || s.Present);
}

void* EncAlloc(void*, size_t size) { return malloc(size); }
void EncFree(void*, void* p) { free(p); }
ISzAlloc encAlloc = {EncAlloc, EncFree};

// The region as the builder writes it: property bytes, raw stream.
std::string PackLzma(const std::string& data) {
  CLzmaEncProps props;
  LzmaEncProps_Init(&props);
  props.level = 5;
  props.dictSize = 1 << 16;
  std::string out(data.size() + data.size() / 2 + 1024, '\0');
  SizeT destLen = out.size() - 5, propsLen = 5;
  EXPECT_EQ(LzmaEncode(reinterpret_cast<Byte*>(&out[5]), &destLen, reinterpret_cast<const Byte*>(data.data()),
                       data.size(), &props, reinterpret_cast<Byte*>(&out[0]), &propsLen, 0, 0, &encAlloc, &encAlloc),
            SZ_OK);
  out.resize(5 + destLen);
  return out;
}

// Each row written out through its method; a changed byte, a wrong size or a
// cut region leaves no file and says damaged.
TEST(PackageFile, RowsComeOutByteForByteOrNotAtAll) {
  TempDir dir;
  std::string big;
  std::mt19937 gen(5);
  while (big.size() < 700000) big += "row " + std::to_string(gen() % 1000) + " of something\r\n";
  std::string packed = PackLzma(big), small = "hello", empty;
  std::string pkg = std::string(100, 'S') + small + packed + PackLzma(empty);
  WriteBytes(dir.Path("pkg"), pkg);
  auto row = [](int method, long len, long off, const std::string& data) {
    FileEntry e;
    memset(&e, 0, sizeof e);
    e.Method = method;
    e.Length = len;
    e.Offset = off;
    e.Unpacked = data.size();
    e.Crc = Crc32Update(0, data.data(), data.size());
    return e;
  };
  FileEntry stored = row(kMethodStored, 5, 100, small);
  FileEntry lzma = row(kMethodLzma, static_cast<long>(packed.size()), 105, big);
  FileEntry none = row(kMethodLzma, static_cast<long>(pkg.size() - 105 - packed.size()),
                       static_cast<long>(105 + packed.size()), empty);
  CPackageFile f;
  ASSERT_TRUE(f.Open(dir.Path("pkg").c_str()));
  std::string out = dir.Path("out");
  EXPECT_EQ(f.Extract(stored, out.c_str()), kExtractDone);
  EXPECT_EQ(ReadBytes(out), small);
  EXPECT_EQ(f.Extract(lzma, out.c_str()), kExtractDone);
  EXPECT_EQ(ReadBytes(out), big);
  EXPECT_EQ(f.Extract(none, out.c_str()), kExtractDone);
  EXPECT_EQ(ReadBytes(out), empty);

  FileEntry wrongCrc = lzma, longer = lzma, cut = lzma, storedSize = stored;
  wrongCrc.Crc ^= 1;
  longer.Unpacked += 1;
  cut.Length -= 100;
  storedSize.Unpacked = 4;
  for (const FileEntry* e : {&wrongCrc, &longer, &cut, &storedSize}) {
    EXPECT_EQ(f.Extract(*e, out.c_str()), kExtractDamaged);
    EXPECT_FALSE(FileExists(out));
    EXPECT_EQ(f.Extract(*e, out.c_str(), true), kExtractDamaged);
    EXPECT_FALSE(FileExists(out));
  }
  // Only a new file: one that is there stays untouched, whatever the row.
  WriteBytes(out, "mine");
  for (const FileEntry* e : {&lzma, &stored, &wrongCrc, &storedSize}) {
    EXPECT_EQ(f.Extract(*e, out.c_str(), true), kExtractExists);
    EXPECT_EQ(ReadBytes(out), "mine");
  }
  RemoveFile(out.c_str());
  // A changed byte inside the packed stream.
  pkg[105 + packed.size() / 2] ^= 0x10;
  WriteBytes(dir.Path("pkg2"), pkg);
  CPackageFile g;
  ASSERT_TRUE(g.Open(dir.Path("pkg2").c_str()));
  EXPECT_EQ(g.Extract(lzma, out.c_str()), kExtractDamaged);
  EXPECT_FALSE(FileExists(out));

  // The payload's checksum: the seal's, then one byte changed.
  PackageSeal seal;
  memset(&seal, 0, sizeof seal);
  seal.PayloadStart = 100;
  seal.PayloadCrc = Crc32Update(0, pkg.data() + 100, pkg.size() - 100);
  EXPECT_TRUE(g.VerifyPayload(seal, static_cast<long>(pkg.size()), 0, 0));
  EXPECT_FALSE(f.VerifyPayload(seal, static_cast<long>(pkg.size()), 0, 0));
  EXPECT_FALSE(g.VerifyPayload(seal, static_cast<long>(pkg.size()) + 1, 0, 0));
}

// The uninstaller a package carries is written as it is once its length
// and checksum match; anything else leaves no ridkit.exe (an old one goes
// too, as when assembling it fails). The payload checksum covers it: a
// reference outside the payload makes the package damaged.
TEST(PackageFile, CarriedUninstallerIsWrittenOnlyWhenItsBytesMatch) {
  TempDir dir;
  std::string uninstaller = "MZ" + std::string(50000, 'u') + "&LEN:9,SEEK:50002.";
  std::string packed = PackLzma(uninstaller);
  std::string pkg = std::string(100, 'S') + packed + "INDEX";
  WriteBytes(dir.Path("setup.exe"), pkg);
  CPackage package;
  package.Path = dir.Path("setup.exe").c_str();
  package.UninstallerRegion = Region(100, static_cast<long long>(packed.size()), kMethodLzma, uninstaller.size(),
                                     Crc32Update(0, uninstaller.data(), uninstaller.size()));
  std::string installDir = dir.Path("app") + "/";
  ASSERT_TRUE(CreateFolder(dir.Path("app").c_str()));
  ASSERT_TRUE(WriteCarriedUninstaller(package, installDir.c_str()));
  EXPECT_TRUE(ReadBytes(installDir + "ridkit.exe") == uninstaller);

  PackageSeal seal = {true, true, 100, 0, 0, kMethodNone, 0, false};
  long long index = 100 + static_cast<long long>(packed.size());
  package.Extended = true;
  EXPECT_TRUE(ExtensionConsistent(package, seal, index));
  const RegionRef good = package.UninstallerRegion;
  RegionRef wrongCrc = good, longer = good, cut = good, outside = good, huge = good;
  wrongCrc.Crc ^= 1;
  longer.Unpacked += 1;
  cut.Length -= 10;
  outside.Offset = 99;  // starts in the setup program: outside the payload
  huge.Unpacked = static_cast<unsigned long long>(kUninstallerImageMax) + 1;
  for (const RegionRef* r : {&wrongCrc, &longer, &cut, &huge}) {
    package.UninstallerRegion = *r;
    EXPECT_FALSE(WriteCarriedUninstaller(package, installDir.c_str()));
    EXPECT_FALSE(FileExists(installDir + "ridkit.exe"));
    WriteBytes(installDir + "ridkit.exe", "old");
  }
  package.UninstallerRegion = outside;
  EXPECT_FALSE(ExtensionConsistent(package, seal, index));
  package.UninstallerRegion = good;
  EXPECT_FALSE(ExtensionConsistent(package, seal, index - 1)) << "ends in the index";
  pkg[100 + packed.size() / 2] ^= 0x10;
  WriteBytes(dir.Path("setup.exe"), pkg);
  EXPECT_FALSE(WriteCarriedUninstaller(package, installDir.c_str()));
  EXPECT_FALSE(FileExists(installDir + "ridkit.exe"));
}

// Rows read ahead on the second thread come out as reading them inline gives
// them: in list order with rows left out (kept files), stored rows larger
// than a piece whole, a damaged row (packed or stored) as damaged and not
// written, and a row asked again out of order read inline.
TEST(PackageFile, DecodedAheadAsReadInline) {
  TempDir dir;
  std::mt19937 gen(7);
  std::vector<std::string> data;
  std::string pkg(64, 'S');
  CFileList list;
  const int kRows = 14, kDamaged[] = {6, 12};
  for (int i = 0; i < kRows; i++) {
    std::string d;
    size_t n = i == 3 ? 0 : 1000 + gen() % 300000;
    while (d.size() < n) d += "line " + std::to_string(gen() % 5000) + "\n";
    bool store = i % 4 == 1 || i >= 11;
    std::string region = store ? d : PackLzma(d);
    FileEntry e;
    memset(&e, 0, sizeof e);
    e.Method = !store ? kMethodLzma : i == 5 ? kMethodNone : kMethodStored;
    e.Offset = static_cast<long>(pkg.size());
    e.Length = static_cast<long>(region.size());
    e.Unpacked = d.size();
    e.Crc = Crc32Update(0, d.data(), d.size());
    if (i == kDamaged[0] || i == kDamaged[1]) region[region.size() / 2] ^= 0x20;
    pkg += region;
    ASSERT_TRUE(list.Append(e));
    data.push_back(d);
  }
  WriteBytes(dir.Path("pkg"), pkg);
  CPackageFile f;
  ASSERT_TRUE(f.Open(dir.Path("pkg").c_str()));
  f.DecodeAhead(list);
  int i = 0;
  for (CFileList::Node* n = list.Head; n; n = n->Next, i++) {
    if (i == 2 || i == 9) continue;
    std::string out = dir.Path("out" + std::to_string(i));
    ExtractResult r = f.Extract(n->Entry, out.c_str());
    if (i == kDamaged[0] || i == kDamaged[1]) {
      EXPECT_EQ(r, kExtractDamaged) << i;
      EXPECT_FALSE(FileExists(out));
      continue;
    }
    EXPECT_EQ(r, kExtractDone) << i;
    EXPECT_EQ(ReadBytes(out), data[i]) << i;
  }
  std::string again = dir.Path("again");
  EXPECT_EQ(f.Extract(list.Head->Next->Next->Entry, again.c_str()), kExtractDone);
  EXPECT_EQ(ReadBytes(again), data[2]);
}

// Decoding ahead within a small budget and row limit: every row comes out as
// read inline, rows over the limit are no jobs of the second thread, and the
// decoded rows held at once never pass the budget, though the second thread
// could decode every row before the first is written.
TEST(PackageFile, DecodingAheadKeepsToItsBudgetAndRowLimit) {
  TempDir dir;
  std::mt19937 gen(11);
  std::vector<std::string> data;
  std::string pkg(16, 'S');
  CFileList list;
  const size_t kRow = 20000, kBudget = 3 * kRow + 100, kRowMax = 2 * kRow;
  const int kRows = 12;
  int eligible = 0;
  for (int i = 0; i < kRows; i++) {
    size_t n = i % 5 == 4 ? 3 * kRow : kRow;  // every fifth over the row limit
    std::string d;
    while (d.size() < n) d += "row " + std::to_string(gen() % 1000) + "\n";
    d.resize(n);
    std::string region = PackLzma(d);
    FileEntry e;
    memset(&e, 0, sizeof e);
    e.Method = kMethodLzma;
    e.Offset = static_cast<long>(pkg.size());
    e.Length = static_cast<long>(region.size());
    e.Unpacked = d.size();
    e.Crc = Crc32Update(0, d.data(), d.size());
    pkg += region;
    ASSERT_TRUE(list.Append(e));
    data.push_back(d);
    eligible += n <= kRowMax ? 1 : 0;
  }
  WriteBytes(dir.Path("pkg"), pkg);
  CPackageFile f;
  ASSERT_TRUE(f.Open(dir.Path("pkg").c_str()));
  f.SetAheadLimits(kBudget, kRowMax);
  f.DecodeAhead(list);
  // The second thread has filled the budget before the first row is asked;
  // should it stop early, the test fails rather than waits on.
  auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (f.Ahead().DecodedCount() < 3 && std::chrono::steady_clock::now() < giveUp) std::this_thread::yield();
  ASSERT_GE(f.Ahead().DecodedCount(), 3);
  int i = 0;
  for (CFileList::Node* n = list.Head; n; n = n->Next, i++) {
    std::string out = dir.Path("out" + std::to_string(i));
    ASSERT_EQ(f.Extract(n->Entry, out.c_str()), kExtractDone) << i;
    EXPECT_EQ(ReadBytes(out), data[i]) << i;
  }
  EXPECT_EQ(f.Ahead().JobCount(), eligible);
  EXPECT_LE(f.Ahead().PeakHeld(), kBudget);
  EXPECT_GE(f.Ahead().PeakHeld(), 3 * kRow);
}

// Rows of solid blocks come out the same whether their blocks are decoded
// ahead (on either thread) or by the caller alone: a row that goes on into
// the next block, blocks packed, packed after the x86 filter and stored, a
// block only of rows the run may keep (decoded when one of them is written),
// plain rows between them, a damaged block (its rows damaged, no file, the
// rows after it whole) and a row asked again after later blocks.
TEST(PackageFile, BlockRowsComeOutAlikeDecodedAheadOrNot) {
  TempDir dir;
  std::mt19937 gen(17);
  auto text = [&](size_t n) {
    std::string d;
    while (d.size() < n) d += "block row " + std::to_string(gen() % 3000) + "\n";
    d.resize(n);
    return d;
  };
  std::string code;
  while (code.size() < 150000) {
    code += '\xE8';
    for (int k = 0; k < 3; k++) code += static_cast<char>(gen());
    code += gen() & 1 ? '\xFF' : '\0';
    code += "\x8B\x45\x08";
  }
  // The rows: block, file bytes, copy mode (rows of block 0 are plain).
  struct Row {
    int block;
    std::string data;
    int mode;
  };
  std::vector<Row> rows = {{1, text(40000), COPY_ALWAYS}, {1, text(90000), COPY_ALWAYS},  // on into block 2
                           {2, code, COPY_ALWAYS},         {3, text(7000), COPY_ALWAYS},
                           {3, text(3000), COPY_ALWAYS},   {0, text(5000), COPY_ALWAYS},
                           {4, text(20000), COPY_ASK},     {4, text(25000), COPY_IF_ABSENT},
                           {5, text(30000), COPY_ALWAYS},  {6, text(12000), COPY_ALWAYS}};
  const size_t kSpan = 50000;  // of row 1 in block 1
  std::vector<std::string> blockBytes(7);
  CFileList list;
  for (size_t i = 0; i < rows.size(); i++) {
    FileEntry e;
    memset(&e, 0, sizeof e);
    e.CopyMode = rows[i].mode;
    e.Unpacked = rows[i].data.size();
    e.Crc = Crc32Update(0, rows[i].data.data(), rows[i].data.size());
    e.Method = rows[i].block ? kMethodSolid : kMethodStored;
    e.Block = rows[i].block;
    e.BlockOffset = static_cast<long long>(blockBytes[e.Block].size());
    if (i == 1) {
      blockBytes[1] += rows[i].data.substr(0, kSpan);
      blockBytes[2] += rows[i].data.substr(kSpan);
    } else {
      blockBytes[e.Block] += rows[i].data;
    }
    ASSERT_TRUE(list.Append(e));
  }
  std::string pkg(32, 'S');
  CBlockTable blocks;
  for (int b = 1; b <= 6; b++) {
    const std::string& d = blockBytes[b];
    std::string filtered = d;
    if (b == 2) CX86Filter().Encode(reinterpret_cast<unsigned char*>(&filtered[0]), filtered.size(), 0);
    std::string region = b == 3 ? d : PackLzma(filtered);
    if (b == 5) region[region.size() / 2] ^= 0x08;
    RegionRef ref = {static_cast<long long>(pkg.size()), static_cast<long long>(region.size()),
                     b == 3 ? kMethodStored : kMethodLzma, b == 2 ? kFilterX86 : kFilterNone, d.size(),
                     Crc32Update(0, d.data(), d.size())};
    ASSERT_TRUE(blocks.Set(b, ref));
    pkg += region;
  }
  blocks.Finish();
  // The plain row's bytes after the blocks.
  list.Head->Next->Next->Next->Next->Next->Entry.Offset = static_cast<LONG>(pkg.size());
  list.Head->Next->Next->Next->Next->Next->Entry.Length = static_cast<LONG>(rows[5].data.size());
  pkg += rows[5].data;
  WriteBytes(dir.Path("pkg"), pkg);
  PackageSettings s;
  for (const CFileList::Node* n = list.Head; n; n = n->Next) ASSERT_TRUE(s.FileList.Append(n->Entry));
  for (int b = 1; b <= 6; b++) s.Blocks.Set(b, *blocks.At(b));
  s.Blocks.Finish();
  EXPECT_TRUE(BlocksConsistent(s, 32, static_cast<long long>(pkg.size())));

  for (bool ahead : {true, false}) {
    CPackageFile f;
    f.UseBlocks(&blocks);
    ASSERT_TRUE(f.Open(dir.Path("pkg").c_str()));
    if (ahead) f.DecodeAhead(list);
    int i = 0;
    for (CFileList::Node* n = list.Head; n; n = n->Next, i++) {
      if (i == 7) continue;  // kept
      std::string out = dir.Path("out" + std::to_string(i));
      ExtractResult r = f.Extract(n->Entry, out.c_str());
      if (rows[i].block == 5) {
        EXPECT_EQ(r, kExtractDamaged) << ahead << " " << i;
        EXPECT_FALSE(FileExists(out));
        continue;
      }
      ASSERT_EQ(r, kExtractDone) << ahead << " " << i;
      EXPECT_EQ(ReadBytes(out), rows[i].data) << ahead << " " << i;
    }
    std::string again = dir.Path("again");
    EXPECT_EQ(f.Extract(list.Head->Next->Entry, again.c_str()), kExtractDone) << ahead;
    EXPECT_EQ(ReadBytes(again), rows[1].data) << ahead;
  }
  // A block table that does not hold a row's bytes is no package.
  FileEntry& last = s.FileList.Tail->Entry;
  last.Unpacked += 1;
  EXPECT_FALSE(BlocksConsistent(s, 32, static_cast<long long>(pkg.size())));
  last.Unpacked -= 1;
  last.Block = 7;
  EXPECT_FALSE(BlocksConsistent(s, 32, static_cast<long long>(pkg.size())));
  last.Block = 6;
  EXPECT_FALSE(BlocksConsistent(s, 33 + static_cast<long long>(blockBytes[1].size()), static_cast<long long>(pkg.size())));
}

}  // namespace

namespace {

// Rows past 2 GiB carry their region in the extension; region references of
// the settings; the trailer and the seal in 64 bits, read by today's rules.
TEST(RowExtension, WideRegionsAndRegionReferences) {
  char text[128];
  ASSERT_GT(FormatRowExtension(text, sizeof text, kMethodStored, 3000000000ULL, 0x1UL, 2147483700LL, 3000000000LL), 0);
  EXPECT_STREQ(text, "stored,3000000000,00000001,2147483700,3000000000");
  RowExtension e;
  ASSERT_TRUE(ParseRowExtension(text, e));
  EXPECT_TRUE(e.Wide);
  EXPECT_EQ(e.Offset, 2147483700LL);
  EXPECT_EQ(e.Length, 3000000000LL);
  ASSERT_TRUE(ParseRowExtension("lzma,1,00000000", e));
  EXPECT_FALSE(e.Wide);
  for (const char* bad : {"stored,1,00000000,5", "stored,1,00000000,5,", "stored,1,00000000,,5",
                          "stored,1,00000000,5,6,7", "stored,1,00000000,05,6", "stored,1,00000000,-5,6"})
    EXPECT_FALSE(ParseRowExtension(bad, e)) << bad;

  // A solid row's program code through the x86 filter: a range inside the
  // row, after its block and offset; the part in each block on its own.
  ASSERT_GT(FormatRowExtension(text, sizeof text, kMethodSolid, 9000, 0x2UL, 3, 70, 512, 8000), 0);
  EXPECT_STREQ(text, "solid,9000,00000002,3,70,x86:512:8000");
  ASSERT_TRUE(ParseRowExtension(text, e));
  EXPECT_EQ(e.Filter, kFilterX86);
  EXPECT_EQ(e.FilterFrom, 512);
  EXPECT_EQ(e.FilterLength, 8000);
  ASSERT_TRUE(ParseRowExtension("solid,9000,00000002,3,70", e));
  EXPECT_EQ(e.Filter, kFilterNone);
  for (const char* bad : {"solid,9000,00000002,3,70,x86:512:8489", "solid,9000,00000002,3,70,x86:9001:0",
                          "solid,9000,00000002,3,70,x86:0:0", "solid,9000,00000002,3,70,x86:5", "solid,9000,00000002,3,70,x86:5:6,",
                          "solid,9000,00000002,3,70,arm:5:6", "lzma,9000,00000002,x86:5:6", "stored,9000,00000002,1,2,x86:5:6"})
    EXPECT_FALSE(ParseRowExtension(bad, e)) << bad;
  long long from, length, position;
  EXPECT_FALSE(RowFilterPart(512, 8000, 0, 512, from, length, position));  // before the range
  ASSERT_TRUE(RowFilterPart(512, 8000, 4000, 6000, from, length, position));  // from the second block on
  EXPECT_EQ(from, 4000);
  EXPECT_EQ(length, 4512);
  EXPECT_EQ(position, 3488);

  RegionRef r = {4294967000LL, 1234, kMethodLzma, kFilterNone, 262144, 0xdeadbeefUL};
  ASSERT_GT(FormatRegionRef(text, sizeof text, r), 0);
  EXPECT_STREQ(text, "4294967000,1234,lzma,262144,deadbeef");
  RegionRef back;
  ASSERT_TRUE(ParseRegionRef(text, back));
  EXPECT_EQ(back.Offset, r.Offset);
  EXPECT_EQ(back.Length, r.Length);
  EXPECT_EQ(back.Method, r.Method);
  EXPECT_EQ(back.Unpacked, r.Unpacked);
  EXPECT_EQ(back.Crc, r.Crc);
  for (const char* bad : {"", "1,2,lzma,3", "1,2,lzma,3,deadbeef,", "1,2,zip,3,deadbeef", "-1,2,lzma,3,deadbeef",
                          "1,2,lzma,3,DEADBEEF", "1, 2,lzma,3,deadbeef"}) {
    EXPECT_FALSE(ParseRegionRef(bad, back)) << bad;
    EXPECT_EQ(back.Method, kMethodNone) << bad;
  }

  // SEEK past 2 GiB, and the seal's start, in 64 bits.
  char trailer[64], seal[64];
  int n = FormatTrailer(trailer, sizeof trailer, 1307, 4294000000LL);
  EXPECT_STREQ(trailer, "&LEN:1307,SEEK:4294000000.");
  EXPECT_EQ(n, 26);
  EXPECT_EQ(FormatTrailer(trailer, sizeof trailer, 10, -2), 16);  // as "%d" wrote it
  EXPECT_STREQ(trailer, "&LEN:10,SEEK:-2.");
  ASSERT_GT(FormatSeal(seal, sizeof seal, 3000000000LL, 1, 2), 0);
  std::string tail = std::string("xx&LEN:1307,SEEK:4294000000.") + seal;
  long long len = 0, seek = 0;
  ASSERT_TRUE(ParseTrailer(tail.data(), static_cast<int>(tail.size()), len, seek));
  EXPECT_EQ(len, 1307);
  EXPECT_EQ(seek, 4294000000LL);
  PackageSeal s;
  ParseSeal(tail.data(), static_cast<int>(tail.size()), s);
  EXPECT_TRUE(s.Valid);
  EXPECT_EQ(s.PayloadStart, 3000000000LL);
  // The numbers as atol reads them: blanks and a sign; beyond 64 bits held.
  tail = "x&LEN: -5,SEEK:+99999999999999999999999.";
  ASSERT_TRUE(ParseTrailer(tail.data(), static_cast<int>(tail.size()), len, seek));
  EXPECT_EQ(len, -5);
  EXPECT_EQ(seek, 0x7FFFFFFFFFFFFFFFLL);
}

// A region named by a setting comes back unpacked and checked, or not at
// all: a changed byte, a wrong checksum, a region outside the file or one
// that claims more than the reader takes.
TEST(PackageFile, RegionsComeBackWholeOrNotAtAll) {
  TempDir dir;
  std::string text;
  while (text.size() < 100000) text += "licence line " + std::to_string(text.size()) + "\r\n";
  std::string packed = PackLzma(text);
  std::string pkg = std::string(50, 'S') + text + packed;
  WriteBytes(dir.Path("pkg"), pkg);
  unsigned long crc = Crc32Update(0, text.data(), text.size());
  RegionRef stored = {50, static_cast<long long>(text.size()), kMethodStored, kFilterNone, text.size(), crc};
  RegionRef lzma = {static_cast<long long>(50 + text.size()), static_cast<long long>(packed.size()), kMethodLzma,
                    kFilterNone, text.size(), crc};
  RegionRef empty = {50, 0, kMethodStored, kFilterNone, 0, 0};
  CPackageFile f;
  ASSERT_TRUE(f.Open(dir.Path("pkg").c_str()));
  for (const RegionRef* r : {&stored, &lzma}) {
    char* data = 0;
    ASSERT_EQ(f.ReadRegion(*r, 1 << 20, data), kExtractDone);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::string(data), text);
    FreeBuffer(data);
  }
  RegionRef wrongCrc = lzma, outside = stored, tooBig = lzma, none = lzma, cut = lzma;
  wrongCrc.Crc ^= 1;
  outside.Offset = static_cast<long long>(pkg.size()) - 10;
  tooBig.Unpacked = 1ULL << 40;
  none.Method = kMethodNone;
  cut.Length -= 10;
  for (const RegionRef* r : {&wrongCrc, &outside, &tooBig, &none, &cut, &empty}) {
    char* data = reinterpret_cast<char*>(1);
    EXPECT_EQ(f.ReadRegion(*r, 1 << 20, data), kExtractDamaged);
    EXPECT_EQ(data, nullptr);
  }
}

}  // namespace
