// The container: trailer, regions and the uninstaller file.
#include "common/container.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "common/fieldtable.h"
#include "framework/memory.h"
#include "testutil.h"

namespace {

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; i++) s[i] = static_cast<char>((i * 131 + 7) & 0xFF);
  return s;
}

bool Trailer(const std::string& bytes, long long& len, long long& seek) {
  TempDir dir;
  WriteBytes(dir.Path("f"), bytes);
  return ReadTrailer(dir.Path("f").c_str(), len, seek);
}

TEST(Trailer, FoundAtTheEndOfTheFile) {
  long long len = -1, seek = -1;
  ASSERT_TRUE(Trailer(std::string(1024, 'x') + "&LEN:1307,SEEK:1025072.", len, seek));
  EXPECT_EQ(len, 1307);
  EXPECT_EQ(seek, 1025072);
  char buf[64];
  EXPECT_EQ(FormatTrailer(buf, sizeof buf, 1307, 1025072), 23);
  EXPECT_STREQ(buf, "&LEN:1307,SEEK:1025072.");
}

TEST(Trailer, AmpersandMustBeInsideTheLast126Bytes) {
  long long len, seek;
  // "&" as the first of the last 127 bytes: not found; as the first of 126: found.
  std::string t127 = "&LEN:5,SEEK:9." + std::string(127 - 14, ' ');
  std::string t126 = "&LEN:5,SEEK:9." + std::string(126 - 14, ' ');
  EXPECT_FALSE(Trailer("abc" + t127, len, seek));
  ASSERT_TRUE(Trailer("abc" + t126, len, seek));
  EXPECT_EQ(len, 5);
  EXPECT_EQ(seek, 9);
  // A short file whose first byte is the "&" has none either.
  EXPECT_FALSE(Trailer("&LEN:1,SEEK:2.", len, seek));
  EXPECT_TRUE(Trailer("x&LEN:1,SEEK:2.", len, seek));
}

TEST(Trailer, OnlyPunctuationMattersAndTheLastAmpersandWins) {
  long long len, seek;
  ASSERT_TRUE(Trailer(std::string(200, 'z') + "&A:12,B:34.tail", len, seek));
  EXPECT_EQ(len, 12);
  EXPECT_EQ(seek, 34);
  ASSERT_TRUE(Trailer("&LEN:1,SEEK:2.&LEN:3,SEEK:4.", len, seek));
  EXPECT_EQ(len, 3);
  EXPECT_EQ(seek, 4);
  ASSERT_TRUE(Trailer("xx&garbage", len, seek));
  EXPECT_EQ(len, 0);
  EXPECT_EQ(seek, 0);
}

TEST(Trailer, MissingFileOrNoAmpersand) {
  long long len, seek;
  EXPECT_FALSE(ReadTrailer("/nonexistent/dir/file", len, seek));
  EXPECT_FALSE(Trailer(std::string(5000, 'q'), len, seek));
  EXPECT_FALSE(Trailer("", len, seek));
}

// An executable header whose security entry says (offset, size), then body.
std::string PeFile(const std::string& body, unsigned offset, unsigned size) {
  std::string h(0x200, '\0');
  auto le32 = [&](size_t at, unsigned v) {
    for (int i = 0; i < 4; i++) h[at + i] = static_cast<char>(v >> (8 * i));
  };
  h[0] = 'M', h[1] = 'Z';
  le32(0x3C, 0x80);
  memcpy(&h[0x80], "PE\0\0", 4);
  h[0x98] = 0x0B, h[0x99] = 0x01;  // PE32
  le32(0x98 + 92, 16);             // 16 data directories
  le32(0x98 + 128, offset);
  le32(0x98 + 128 + 4, size);
  return h + body;
}

// A signed file: package up to the trailer, zero padding to 8 bytes, table.
std::string Signed(const std::string& package, unsigned tableSize = 24) {
  std::string f = PeFile(package, 0, 0);
  while (f.size() % 8) f += '\0';
  unsigned at = static_cast<unsigned>(f.size());
  f += std::string(tableSize, '&');  // ampersands: a reader must not look here
  return PeFile(package, at, tableSize) + f.substr(PeFile(package, 0, 0).size());
}

TEST(Trailer, SignedFileHasItBeforeTheCertificateTable) {
  long long len = -1, seek = -1;
  std::string package = std::string(1000, 'x') + "&LEN:13,SEEK:600.";  // 1017 bytes: 7 bytes of padding
  ASSERT_TRUE(Trailer(Signed(package), len, seek));
  EXPECT_EQ(len, 13);
  EXPECT_EQ(seek, 600);
  ASSERT_TRUE(Trailer(Signed(std::string(1007, 'y') + "&LEN:1,SEEK:2."), len, seek));  // no padding
  EXPECT_EQ(seek, 2);
  // The same header without a table: read at the end as ever.
  ASSERT_TRUE(Trailer(PeFile(package, 0, 0), len, seek));
  EXPECT_EQ(seek, 600);
}

TEST(Trailer, DamagedSecurityEntryIsNotFound) {
  long long len, seek;
  std::string package = std::string(1000, 'x') + "&LEN:13,SEEK:600.";
  std::string good = Signed(package);
  unsigned at = static_cast<unsigned>(good.size()) - 24;
  struct { unsigned offset, size; } bad[] = {
      {at + 8, 24},          // reaches past the end of the file
      {at - 512, 24 + 512},  // starts inside the package
      {at, 16},              // does not reach the end
      {at, 0xFFFFFFF8u},     // huge
      {0xFFFFFFF8u, 24},     // "negative"
      {at + 4, 20},          // not aligned
      {0, 24},               // inside the header
  };
  for (auto& b : bad) {
    std::string f = PeFile(package, b.offset, b.size) + good.substr(PeFile(package, 0, 0).size());
    EXPECT_FALSE(Trailer(f, len, seek)) << b.offset << "," << b.size;
  }
  // An index said to reach into the table.
  EXPECT_FALSE(Trailer(Signed(std::string(1000, 'x') + "&LEN:13,SEEK:1530."), len, seek));
}

TEST(Regions, ExtractCopiesTheExactBytes) {
  TempDir dir;
  std::string src = Pattern(300000);
  WriteBytes(dir.Path("src"), src);
  ASSERT_TRUE(ExtractRegion(dir.Path("a").c_str(), dir.Path("src").c_str(), 1000, 200000));
  EXPECT_EQ(ReadBytes(dir.Path("a")), src.substr(1000, 200000));
  ASSERT_TRUE(ExtractRegion(dir.Path("b").c_str(), dir.Path("src").c_str(), 299990, -1));
  EXPECT_EQ(ReadBytes(dir.Path("b")), src.substr(299990));
  ASSERT_TRUE(ExtractRegion(dir.Path("c").c_str(), dir.Path("src").c_str(), 5, 0));
  EXPECT_TRUE(FileExists(dir.Path("c")));
  EXPECT_EQ(ReadBytes(dir.Path("c")), "");
  // An existing destination is replaced.
  WriteBytes(dir.Path("d"), std::string(500000, 'o'));
  ASSERT_TRUE(ExtractRegion(dir.Path("d").c_str(), dir.Path("src").c_str(), 0, 10));
  EXPECT_EQ(ReadBytes(dir.Path("d")), src.substr(0, 10));
}

TEST(Regions, DamagedRangesFailWithoutPartialFiles) {
  TempDir dir;
  WriteBytes(dir.Path("src"), Pattern(1000));
  const char* src = nullptr;
  std::string s = dir.Path("src");
  src = s.c_str();
  struct { long start, length; } bad[] = {{900, 200}, {-1, 10}, {2000, 1}, {0, -2}, {0, 2147483647}, {-2147483647 - 1, 5}};
  for (auto& b : bad) {
    std::string out = dir.Path("out");
    EXPECT_FALSE(ExtractRegion(out.c_str(), src, b.start, b.length)) << b.start << "," << b.length;
    EXPECT_FALSE(FileExists(out));
    long len = b.length;
    EXPECT_EQ(ReadRegion(src, len, b.start), nullptr) << b.start << "," << b.length;
  }
  EXPECT_FALSE(ExtractRegion(dir.Path("x").c_str(), dir.Path("missing").c_str(), 0, 1));
  EXPECT_FALSE(ExtractRegion((dir.Path("no") + "/such/dir/x").c_str(), src, 0, 1));
}

TEST(Regions, ReadRegionGivesTheBytesAndTheRealLength) {
  TempDir dir;
  std::string src = Pattern(5000);
  WriteBytes(dir.Path("src"), src);
  long len = 100;
  char* b = ReadRegion(dir.Path("src").c_str(), len, 4000);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(std::string(b, 100), src.substr(4000, 100));
  FreeBuffer(b);
  len = -1;
  b = ReadRegion(dir.Path("src").c_str(), len, 4990);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(len, 10);
  EXPECT_EQ(std::string(b, 10), src.substr(4990));
  FreeBuffer(b);
  len = 5;
  EXPECT_EQ(ReadRegion(dir.Path("missing").c_str(), len, 0), nullptr);
}

struct UninstallerFile {
  std::string program, picture, icon;
  std::string fields[10];
  long long len = 0, seek = 0;
};

UninstallerFile ReadUninstaller(const std::string& path, size_t programSize) {
  UninstallerFile u;
  EXPECT_TRUE(ReadTrailer(path.c_str(), u.len, u.seek));
  std::string bytes = ReadBytes(path);
  u.program = bytes.substr(0, programSize);
  CFieldTable t;
  t.LoadBytes(bytes.data() + u.seek, static_cast<int>(u.len), TABLE_KEY);
  for (auto& f : u.fields) f = t.NextField();
  long picLen = atol(u.fields[1].c_str()), picOff = atol(u.fields[2].c_str());
  long icoLen = atol(u.fields[3].c_str()), icoOff = atol(u.fields[4].c_str());
  u.picture = bytes.substr(picOff, picLen);
  u.icon = bytes.substr(icoOff, icoLen);
  // The trailer is the file's last bytes, right after the table.
  char trailer[64];
  int n = FormatTrailer(trailer, sizeof trailer, u.len, u.seek);
  EXPECT_EQ(bytes.size(), static_cast<size_t>(u.seek + u.len + n));
  EXPECT_EQ(bytes.substr(u.seek + u.len), std::string(trailer));
  return u;
}

TEST(Uninstaller, CarriesProgramPictureIconAndTable) {
  TempDir dir;
  std::string setup = Pattern(9000);
  WriteBytes(dir.Path("setup.exe"), setup);
  std::string program = "MZ" + Pattern(3000);
  std::string ms = dir.Path("setup.exe");
  UninstallerSource s = {program.data(), static_cast<DWORD>(program.size()), ms.c_str(), "示例软件",
                         1000, 2000, 300, 5000,
                         {"HKEY_CURRENT_USER|Software\\Demo", ""}, {"HKEY_CURRENT_USER|Software\\Run|Demo", "x"},
                         dir.Dir().c_str()};
  ASSERT_TRUE(WriteUninstaller(s));
  UninstallerFile u = ReadUninstaller(dir.Path("ridkit.exe"), program.size());
  EXPECT_EQ(u.program, program);
  EXPECT_EQ(u.picture, setup.substr(2000, 1000));
  EXPECT_EQ(u.icon, setup.substr(5000, 300));
  EXPECT_EQ(u.fields[0], "示例软件");
  EXPECT_EQ(u.fields[1], "1000");
  EXPECT_EQ(u.fields[2], std::to_string(program.size()));
  EXPECT_EQ(u.fields[3], "300");
  EXPECT_EQ(u.fields[4], std::to_string(program.size() + 1000));
  EXPECT_EQ(u.fields[5], "HKEY_CURRENT_USER|Software\\Demo");
  EXPECT_EQ(u.fields[6], "");
  EXPECT_EQ(u.fields[7], "HKEY_CURRENT_USER|Software\\Run|Demo");
  EXPECT_EQ(u.fields[8], "x");
  EXPECT_EQ(u.fields[9], "");
  EXPECT_EQ(u.seek, static_cast<long>(program.size() + 1300));

  // The reader cannot tell a field end from a row end: the stored bytes
  // themselves. One full row of 8 fields, then the 9th field alone, and L
  // in the trailer is exactly their count.
  std::string r = std::to_string(program.size()), rp = std::to_string(program.size() + 1000);
  std::string want = "示例软件\x07" "1000\x07" + r + "\x07" "300\x07" + rp +
                     "\x07" "HKEY_CURRENT_USER|Software\\Demo\x07" "\x07"
                     "HKEY_CURRENT_USER|Software\\Run|Demo\x08\r\n" "x\x07";
  std::string stored = ReadBytes(dir.Path("ridkit.exe")).substr(u.seek, u.len);
  EXPECT_EQ(u.len, static_cast<long>(want.size()));
  UnscrambleBuffer(reinterpret_cast<unsigned char*>(&stored[0]), static_cast<int>(stored.size()), TABLE_KEY);
  EXPECT_EQ(stored, want);
}

TEST(Uninstaller, WithoutPictureAndIconBothPointAfterTheProgram) {
  TempDir dir;
  std::string program = Pattern(777);
  UninstallerSource s = {program.data(), 777, "unused", "P", 0, 123, -5, 456, {"", ""}, {"", ""},
                         dir.Dir().c_str()};
  ASSERT_TRUE(WriteUninstaller(s));
  UninstallerFile u = ReadUninstaller(dir.Path("ridkit.exe"), 777);
  EXPECT_EQ(u.fields[1], "0");
  EXPECT_EQ(u.fields[2], "777");
  EXPECT_EQ(u.fields[3], "0");
  EXPECT_EQ(u.fields[4], "777");
  EXPECT_EQ(u.seek, 777);
}

TEST(Uninstaller, UnreadablePictureOrIconIsWrittenAsAbsent) {
  TempDir dir;
  std::string program = Pattern(100);
  std::string ms = dir.Path("setup.exe");
  std::string setup = Pattern(50);
  WriteBytes(ms, setup);
  // The picture region runs past the end of the setup file; the icon is fine.
  UninstallerSource s = {program.data(), 100, ms.c_str(), "P", 40, 30, 10, 5, {"", ""}, {"", ""},
                         dir.Dir().c_str()};
  ASSERT_TRUE(WriteUninstaller(s));
  UninstallerFile u = ReadUninstaller(dir.Path("ridkit.exe"), program.size());
  EXPECT_EQ(u.program, program);
  EXPECT_EQ(u.fields[1], "0");
  EXPECT_EQ(u.fields[2], "100");
  EXPECT_EQ(u.icon, setup.substr(5, 10));
  EXPECT_EQ(u.fields[3], "10");
  EXPECT_EQ(u.fields[4], "100");
  // Both unreadable (a setup file that is gone): the program and its table.
  s.modulePath = "";
  ASSERT_TRUE(WriteUninstaller(s));
  u = ReadUninstaller(dir.Path("ridkit.exe"), program.size());
  EXPECT_EQ(u.program, program);
  EXPECT_EQ(u.fields[1], "0");
  EXPECT_EQ(u.fields[3], "0");
  EXPECT_EQ(u.fields[4], "100");
  EXPECT_EQ(u.seek, 100);
}

TEST(Uninstaller, ReplacesReadOnlyCopy) {
  int result = RunWhereReadOnlyHolds([]() -> int {
    TempDir dir;
    std::string program = Pattern(100);
    if (!WriteBytes(dir.Path("ridkit.exe"), "old")) return 0;
    if (!MakeReadOnly(dir.Path("ridkit.exe"))) return -1;
    UninstallerSource s = {program.data(), 100, "unused", "P", 0, 0, 0, 0, {"", ""}, {"", ""},
                           dir.Dir().c_str()};
    return WriteUninstaller(s) && ReadBytes(dir.Path("ridkit.exe")).substr(0, 100) == program;
  });
  if (result < 0) GTEST_SKIP() << "read-only files can be written here";
  EXPECT_EQ(result, 1);
}

TEST(Uninstaller, FailsCleanly) {
  TempDir dir;
  std::string program = Pattern(100);
  UninstallerSource s = {program.data(), 100, "unused", "P", 0, 0, 0, 0, {"", ""}, {"", ""},
                         dir.Dir().c_str()};
  ASSERT_TRUE(WriteUninstaller(s));

  // No program bytes (a missing resource) is a failure: nothing is left behind.
  s.program = nullptr;
  s.programSize = 0;
  EXPECT_FALSE(WriteUninstaller(s));
  EXPECT_FALSE(FileExists(dir.Path("ridkit.exe")));
  // A folder that does not exist.
  std::string missing = dir.Path("nothere") + "/";
  s.installDir = missing.c_str();
  s.program = program.data();
  s.programSize = 100;
  EXPECT_FALSE(WriteUninstaller(s));
}

}  // namespace
