// What the programs take for granted about the Windows they run on.
#include <gtest/gtest.h>
#include <windows.h>

#include <string.h>

TEST(Platform, AnsiCodePageIs936) { EXPECT_EQ(GetACP(), 936u); }

TEST(Platform, LiteralsAreCodePage936) {
  // "初始化" in code page 936.
  const char* text = "初始化";
  EXPECT_EQ(strlen(text), 6u);
  EXPECT_EQ(memcmp(text, "\xb3\xf5\xca\xbc\xbb\xaf", 6), 0);
  wchar_t wide[8] = {0};
  ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 8), 4);
  EXPECT_EQ(wide[0], 0x521D);
}
