// Formatting as the programs do it (on Windows the system C runtime's): the
// result is always terminated, its full length is told even when cut, and
// long texts come out whole.
#include <gtest/gtest.h>

#include <string>

#include "framework/cstring.h"

TEST(FormatText, CutsTerminatesAndTellsTheFullLength) {
  char buf[8];
  EXPECT_EQ(FormatText(buf, sizeof buf, "&LEN:%d,SEEK:%d.", 12, -3), 16);
  EXPECT_STREQ(buf, "&LEN:12");
  EXPECT_EQ(FormatText(buf, sizeof buf, "%s", "1234567"), 7);
  EXPECT_STREQ(buf, "1234567");
  EXPECT_EQ(FormatText(buf, sizeof buf, "%s", "12345678"), 8);
  EXPECT_STREQ(buf, "1234567");
  EXPECT_EQ(FormatText(buf, 1, "%d", 5), 1);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(FormatText(buf, sizeof buf, "%08lx", 0xbeefUL), 8);
  EXPECT_STREQ(buf, "0000bee");
}

TEST(FormatText, StringFormatGrowsPastItsFirstBuffer) {
  std::string longName(3000, 'x');
  CString s;
  ASSERT_TRUE(s.Format("文件 %s 已存在,要覆盖吗?", longName.c_str()));
  std::string want = "文件 " + longName + " 已存在,要覆盖吗?";
  EXPECT_EQ(std::string(s.c_str()), want);
  EXPECT_EQ(s.GetLength(), static_cast<int>(want.size()));
  ASSERT_TRUE(s.Format("%d分%d秒", 3, 7));
  EXPECT_EQ(std::string(s.c_str()), "3分7秒");
}
