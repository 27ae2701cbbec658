// The status-line form of a path.
#include <gtest/gtest.h>

#include <string>

#include "common/shortenpath.h"

namespace {

std::string Short(const char* path, int max) { return ShortenPath(path, max).c_str(); }

TEST(ShortenPath, FittingPathsStayAsTheyAre) {
  EXPECT_EQ(Short("C:\\a\\b.txt", 36), "C:\\a\\b.txt");
  std::string exact(36, 'x');
  exact[2] = '\\';
  EXPECT_EQ(Short(exact.c_str(), 36), exact);
  EXPECT_EQ(Short("", 0), "");
}

TEST(ShortenPath, KeepsDriveAndAsMuchOfTheEndAsFits) {
  std::string s = Short("D:\\Apps\\Tools\\Sample\\Bin\\Plugins\\x.dll", 36);
  EXPECT_EQ(s, "D:\\...\\ools\\Sample\\Bin\\Plugins\\x.dll");
  EXPECT_EQ(s.size(), 36u);
  std::string u = Short("D:\\Apps\\Tools\\Sample\\Bin\\Plugins\\x.dll", 35);
  EXPECT_EQ(u, "D:\\...\\ols\\Sample\\Bin\\Plugins\\x.dll");
  // Room for nothing of the middle: head and tail meet exactly.
  EXPECT_EQ(Short("C:\\abcdef\\name.txt", 16), "C:\\...\\\\name.txt");
  EXPECT_EQ(Short("C:\\abcdef\\name.txt", 15), "...\\name.txt");
}

TEST(ShortenPath, LongNameKeepsOnlyTheTail) {
  std::string s = Short("C:\\Program Files\\Sample\\a_very_long_file_name_here.txt", 36);
  EXPECT_EQ(s, "...\\a_very_long_file_name_here.txt");
  EXPECT_EQ(s.size(), 34u);
  // Longer than the maximum even so: the tail is never cut.
  EXPECT_EQ(Short("C:\\x\\0123456789012345678901234567890123456789.dat", 20),
            "...\\0123456789012345678901234567890123456789.dat");
}

TEST(ShortenPath, PathWithoutBackslash) {
  EXPECT_EQ(Short("0123456789abcdef", 10), "...0123456789abcdef");
  EXPECT_EQ(Short("0123456789", 10), "0123456789");
}

// Code page 936 texts: "\x81\x5C" is one character whose trail byte is a
// backslash's; "\xB0\xB2" an ordinary one.
TEST(ShortenPath, SplitsOnlyAtBackslashesOfTheirOwn) {
  // The first backslash is the one after the double-byte character.
  EXPECT_EQ(Short("\x81\x5C" "ab\\Apps\\Tools\\Sample\\Bin\\Plugins\\x.dll", 36),
            "\x81\x5C" "ab\\...\\ls\\Sample\\Bin\\Plugins\\x.dll");
  // The last backslash is the one before the file name, not inside it.
  EXPECT_EQ(Short("C:\\Program Files\\Sample\\\x81\x5C" "abcdefghijklmnopqrstuvwxyz.txt", 36),
            "...\\\x81\x5C" "abcdefghijklmnopqrstuvwxyz.txt");
  // The middle never begins with the trail byte of a character: one byte
  // shorter instead.
  std::string s = Short("D:\\Apps\\Tools\\\xB0\xB2\xB0\xB2" "ample\\Bin\\Plugins\\x.dll", 33);
  EXPECT_EQ(s, "D:\\...\\\xB0\xB2" "ample\\Bin\\Plugins\\x.dll");
  EXPECT_EQ(s.size(), 32u);
}

}  // namespace
