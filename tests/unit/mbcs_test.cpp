// Code page 936 text: walking, cutting, searching and folding never split a
// double-byte character nor take its trail byte for a character of its own.
#include "framework/mbcs.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

namespace {

TEST(CopyText, CutsBetweenCharacters) {
  char buf[4];
  CopyText(buf, sizeof buf, "ab\xb0\xa1");
  EXPECT_STREQ(buf, "ab");
  CopyText(buf, sizeof buf, "a\xb0\xa1z");
  EXPECT_STREQ(buf, "a\xb0\xa1");
  CopyText(buf, sizeof buf, "xy");
  EXPECT_STREQ(buf, "xy");
  EXPECT_EQ(CharBoundary("\xb0\xa1\xb0\xa1", 3), 2);
}

TEST(Mbcs, TrailBytesAreNeitherSeparatorsNorSearchedCharacters) {
  // 0x81 0x5C and 0xFE 0x7C: trail bytes that look like a backslash and a "|";
  // a lone lead byte before the terminator is a character of its own.
  const char* s = "a\\\x81\x5C" "b|\xFE\x7C";
  EXPECT_EQ(FindCharMb(s, '\\'), 1);
  EXPECT_EQ(ReverseFindCharMb(s, '\\'), 1);
  EXPECT_EQ(FindCharMb(s, '|'), 5);
  EXPECT_EQ(ReverseFindCharMb(s, '|'), 5);
  EXPECT_EQ(FindCharMb("\x81\x5C", '\\'), -1);
  EXPECT_EQ(FindCharMb("x\x81", '\x81'), 1);
  EXPECT_EQ(CharWidthMb("\x81"), 1);
  EXPECT_EQ(CharWidthMb("\x80\x5C"), 1);  // 0x80 and 0xFF lead nothing
  EXPECT_EQ(CharWidthMb("\xFF\x5C"), 1);
  EXPECT_EQ(FindTextMb("\x81\x5C\\", "\\"), 2);
  EXPECT_EQ(FindTextMb("abc", ""), 0);

  EXPECT_FALSE(EndsWithBackslashMb("C:\\dir\x81\x5C"));
  EXPECT_TRUE(EndsWithBackslashMb("C:\\dir\x81\x5C\\"));
  EXPECT_FALSE(EndsWithBackslashMb(""));
  CString p("C:\\\x81\x5C");
  AppendBackslashIfMissing(p);
  EXPECT_STREQ(p, "C:\\\x81\x5C\\");
  AppendBackslashIfMissing(p);
  EXPECT_STREQ(p, "C:\\\x81\x5C\\");
}

// The path and command-line rules of both programs, on the same walk.
TEST(Mbcs, PathsAndCommandLines) {
  EXPECT_STREQ(WithBackslash("D:\\App"), "D:\\App\\");
  EXPECT_STREQ(WithBackslash("D:\\App\\"), "D:\\App\\");
  // "表" ends with the byte 0x5C; it is no folder separator.
  EXPECT_STREQ(WithBackslash("D:\\\xb1\xed\x95\x5c"), "D:\\\xb1\xed\x95\x5c\\");
  // 0x95 0x5C: a character whose trail byte is a backslash is not a separator.
  EXPECT_STREQ(FolderOf("C:\\a\\x\x95\x5C.log"), "C:\\a");
  EXPECT_STREQ(FolderOf("setup.log"), "");
  EXPECT_STREQ(FolderOf("C:\\setup.log"), "C:");
  // The parameters: the whole rest after the program's name, quotes kept.
  EXPECT_STREQ(ParametersOf("\"C:\\a b\\setup.exe\"  /S /D=x"), "/S /D=x");
  EXPECT_STREQ(ParametersOf("setup.exe\t/S"), "/S");
  EXPECT_STREQ(ParametersOf("setup.exe"), "");
  EXPECT_STREQ(ParametersOf("\"C:\\Temp\\glb1a2b.exe\" C:\\Program Files\\示例\\setup.log"),
               "C:\\Program Files\\示例\\setup.log");
  EXPECT_STREQ(ParametersOf("C:\\Temp\\glb1a2b.exe   C:\\a b\\setup.log"), "C:\\a b\\setup.log");
  EXPECT_STREQ(ParametersOf("\"C:\\Temp\\glb1a2b.exe\""), "");
  EXPECT_STREQ(ParametersOf("glb1a2b.exe"), "");
  EXPECT_STREQ(ParametersOf("\"unterminated"), "");
  EXPECT_STREQ(ParametersOf(""), "");
}

TEST(Mbcs, FoldsAsciiLettersOnlyOutsideDoubleByteCharacters) {
  // A text longer than the folding's internal pieces, with a pair across
  // every possible piece boundary: 0x81 0x41's trail byte "A" stays upper case.
  std::string text, want;
  for (int i = 0; i < 300; i++) {
    text += (i % 3 == 0) ? "\x81\x41" : "QZ";
    want += (i % 3 == 0) ? "\x81\x41" : "qz";
  }
  text = "X" + text;
  want = "x" + want;
  EXPECT_EQ(std::string(LowerTextMb(text.c_str()).c_str()), want);
  EXPECT_EQ(CompareNoCaseMb("Setup.LOG", "setup.log"), 0);
  EXPECT_NE(CompareNoCaseMb("\x81\x41", "\x81\x61"), 0);
  EXPECT_EQ(CompareNoCaseMb(nullptr, ""), 0);
  EXPECT_LT(CompareNoCaseMb("a", "B"), 0);

  // With an explicit length a zero byte is an ordinary byte: the builder's
  // texts are counted, not terminated.
  std::string counted("A\x81", 2);
  counted += std::string(1, '\0') + "B\x81Q";
  LowerAsciiMb(&counted[0], counted.size());
  EXPECT_EQ(counted, std::string("a\x81\0b\x81Q", 6));
}

}  // namespace
