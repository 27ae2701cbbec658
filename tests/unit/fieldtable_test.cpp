// The stored-table text and its scrambling, byte for byte.
#include "common/fieldtable.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "framework/memory.h"
#include "testutil.h"

namespace {

std::string Scrambled(std::string bytes, const char* key) {
  ScrambleBuffer(reinterpret_cast<unsigned char*>(&bytes[0]), static_cast<int>(bytes.size()), key);
  return bytes;
}

std::vector<std::string> Fields(const std::string& text, int n) {
  CFieldTable t;
  t.text.Append(text.data(), static_cast<int>(text.size()));
  std::vector<std::string> out;
  for (int i = 0; i < n; i++) out.push_back(t.NextField());
  return out;
}

TEST(Scrambler, RoundTripsEveryByteForAnyLengthAndKey) {
  std::string all;
  for (int i = 0; i < 256 * 3 + 5; i++) all += static_cast<char>(i * 7 + 3);
  for (const char* key : {"wren.exe", "", "ab", "a much longer key than eight", "\xb0\xb2\xd7\xb0"}) {
    for (size_t len : {0u, 1u, 7u, 8u, 9u, 100u, 773u}) {
      std::string in = all.substr(0, len);
      std::string s = Scrambled(in, key);
      UnscrambleBuffer(reinterpret_cast<unsigned char*>(&s[0]), static_cast<int>(s.size()), key);
      EXPECT_EQ(s, in) << "key '" << key << "' length " << len;
    }
  }
}

TEST(Scrambler, KeyPreparation) {
  std::string data = "some table text\x07with\x08\r\n";
  EXPECT_EQ(Scrambled(data, "ab"), Scrambled(data, "ab      "));
  EXPECT_EQ(Scrambled(data, "wren.exe"), Scrambled(data, "wren.exe.and-more"));
  EXPECT_EQ(Scrambled(data, ""), Scrambled(data, "kelvorin"));
  EXPECT_NE(Scrambled(data, "wren.exe"), Scrambled(data, "kelvorin"));
}

TEST(Scrambler, KnownBytes) {
  // Each byte is XORed with all eight key bytes, then negated (0 stays 0).
  const char* key = "wren.exe";
  unsigned char x = 0;
  for (int i = 0; i < 8; i++) x ^= static_cast<unsigned char>(key[i]);
  std::string s = Scrambled(std::string("\0A", 2), key);
  EXPECT_EQ(static_cast<unsigned char>(s[0]), static_cast<unsigned char>(-x));
  EXPECT_EQ(static_cast<unsigned char>(s[1]), static_cast<unsigned char>(-('A' ^ x)));
  unsigned char zero[1] = {static_cast<unsigned char>(x)};
  ScrambleBuffer(zero, 1, key);
  EXPECT_EQ(zero[0], 0);
}

TEST(Scrambler, NonPositiveLengthChangesNothing) {
  unsigned char b[2] = {1, 2};
  ScrambleBuffer(b, 0, "k");
  UnscrambleBuffer(b, -5, "k");
  EXPECT_EQ(b[0], 1);
  EXPECT_EQ(b[1], 2);
}

TEST(FieldTable, WriterTerminatesFieldsByColumnCount) {
  CFieldTable one;
  one.AddField("a");
  one.AddField("b");
  EXPECT_EQ(std::string(one.text.c_str()), "a\x08\r\nb\x08\r\n");

  CFieldTable eight;
  eight.columnCount = 8;
  for (int i = 1; i <= 9; i++) eight.AddField(std::to_string(i).c_str());
  EXPECT_EQ(std::string(eight.text.c_str()), "1\x07" "2\x07" "3\x07" "4\x07" "5\x07" "6\x07" "7\x07" "8\x08\r\n9\x07");
  int len = -1;
  char* copy = eight.ExportText(len);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(len, eight.text.GetLength());
  EXPECT_EQ(copy[len], 0);
  EXPECT_EQ(memcmp(copy, eight.text.c_str(), len), 0);
  FreeBuffer(copy);
}

TEST(FieldTable, ReaderFollowsTerminators) {
  EXPECT_EQ(Fields("a\x07" "b\x07", 4), (std::vector<std::string>{"a", "b", "", ""}));
  EXPECT_EQ(Fields("a\x08\r\nb\x07", 3), (std::vector<std::string>{"a", "b", ""}));
  // An unterminated last field is never returned.
  EXPECT_EQ(Fields("a\x07" "b", 3), (std::vector<std::string>{"a", "", ""}));
  // Two terminators in a row give an empty field, then reading goes on.
  EXPECT_EQ(Fields("a\x07\x07" "c\x07", 3), (std::vector<std::string>{"a", "", "c"}));
  // The two bytes after 0x08 are skipped whatever they are.
  EXPECT_EQ(Fields("a\x08xyb\x07", 2), (std::vector<std::string>{"a", "b"}));
  // A 0x08 at the very end does not move the reader past the text.
  EXPECT_EQ(Fields("a\x08", 3), (std::vector<std::string>{"a", "", ""}));
}

TEST(FieldTable, OverlongFieldIsCutAndReadingStaysAligned) {
  std::string big(2000, 'x');
  std::vector<std::string> f = Fields(big + "\x07" "next\x07", 2);
  EXPECT_EQ(f[0], std::string(FIELD_BUFFER_SIZE - 1, 'x'));
  EXPECT_EQ(f[1], "next");
}

TEST(FieldTable, WrittenTablesReadBack) {
  CFieldTable w;
  w.columnCount = 8;
  std::vector<std::string> in = {"产品", "", "12", "-3", "C:\\a b\\c", "x", "y", "z", "last"};
  for (auto& s : in) w.AddField(s.c_str());
  std::vector<std::string> out = Fields(w.text.c_str(), 10);
  in.push_back("");
  EXPECT_EQ(out, in);
}

TEST(FieldTable, LoadFileUnscramblesAndStopsAtZero) {
  TempDir dir;
  std::string plain = std::string("one\x07two\x07", 8) + std::string("\0three\x07", 7);
  ASSERT_TRUE(WriteBytes(dir.Path("t"), Scrambled(plain, TABLE_KEY)));
  CFieldTable t;
  ASSERT_TRUE(t.LoadFile(dir.Path("t").c_str(), TABLE_KEY));
  EXPECT_EQ(t.text.GetLength(), 8);
  EXPECT_STREQ(t.NextField(), "one");
  EXPECT_STREQ(t.NextField(), "two");
  EXPECT_STREQ(t.NextField(), "");

  // The empty key leaves the bytes as they are (no default key there).
  CFieldTable raw;
  ASSERT_TRUE(raw.LoadFile(dir.Path("t").c_str(), ""));
  std::string s = Scrambled(plain, TABLE_KEY);
  EXPECT_EQ(std::string(raw.text.c_str()), s.substr(0, strlen(s.c_str())));
}

TEST(FieldTable, LoadFileFailureKeepsText) {
  TempDir dir;
  CFieldTable t;
  t.AddField("kept");
  EXPECT_FALSE(t.LoadFile(dir.Path("missing").c_str(), TABLE_KEY));
  EXPECT_EQ(std::string(t.text.c_str()), "kept\x08\r\n");
}

TEST(ParseLong, ReadsLikeAtolWithin32Bits) {
  EXPECT_EQ(ParseLong("  42abc"), 42);
  EXPECT_EQ(ParseLong("-17"), -17);
  EXPECT_EQ(ParseLong("+5"), 5);
  EXPECT_EQ(ParseLong("abc"), 0);
  EXPECT_EQ(ParseLong(""), 0);
  EXPECT_EQ(ParseLong("2147483647"), 2147483647);
  EXPECT_EQ(ParseLong("99999999999999999999"), 2147483647);
  EXPECT_EQ(ParseLong("-99999999999999999999"), -2147483647 - 1);
}

}  // namespace
