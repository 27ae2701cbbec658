// The script of the work left for the user's next logon: its steps in the
// order asked for between the code page switch and its own removal, every
// path quoted as the console reads it back, and paths no line can hold
// refused without changing the script.
#include "common/logonscript.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char kHead[] =
    "@echo off\r\n"
    "chcp 936 >nul 2>&1\r\n"
    "if errorlevel 1 (del /a /f /q \"%~f0\" & exit /b 1)\r\n"
    "setlocal DisableDelayedExpansion\r\n";
const char kTail[] = "del /a /f /q \"%~f0\" >nul 2>&1 & exit /b 0\r\n";

TEST(LogonScript, StepsInOrderWithEveryPathAsWritten) {
  CLogonScript script;
  EXPECT_TRUE(script.IsEmpty());
  // "测试" in code page 936, its second bytes among them "\x5c" (a backslash
  // on its own) in "\xd5\x5c"; '%' doubled, '!' '^' '&' kept inside quotes.
  const std::string wide = "C:\\\xb2\xe2\xca\xd4\\\xd5\x5c";
  EXPECT_TRUE(script.Replace((wide + "\\a 100%.exe.~new").c_str(), (wide + "\\a 100%.exe").c_str()));
  EXPECT_TRUE(script.RemoveFile("C:\\p\\x!^&y.dll"));
  EXPECT_TRUE(script.RemoveFolder("C:\\p\\%TEMP%"));
  EXPECT_TRUE(script.RemoveFolder("C:\\p"));
  EXPECT_FALSE(script.IsEmpty());
  EXPECT_EQ(std::string(script.Text()),
            std::string(kHead) + "move /y \"" + wide + "\\a 100%%.exe.~new\" \"" + wide + "\\a 100%%.exe\" >nul 2>&1\r\n" +
                "del /a /f /q \"C:\\p\\x!^&y.dll\" >nul 2>&1\r\n" + "rd \"C:\\p\\%%TEMP%%\" >nul 2>&1\r\n" +
                "rd \"C:\\p\" >nul 2>&1\r\n" + kTail);
}

TEST(LogonScript, RefusesWhatNoLineCanHold) {
  CLogonScript script;
  ASSERT_TRUE(script.RemoveFile("C:\\a"));
  const CString before = script.Text();
  // A line break would start a command of its own; a quotation mark would
  // end the quoted path.
  for (const char* bad : {"", "C:\\b\r\ndel C:\\*", "C:\\b\nx", "C:\\\"b", "C:\\b\x01"}) {
    EXPECT_FALSE(script.RemoveFile(bad)) << bad;
    EXPECT_FALSE(script.RemoveFolder(bad)) << bad;
    EXPECT_FALSE(script.Replace("C:\\ok", bad)) << bad;
    EXPECT_FALSE(script.Replace(bad, "C:\\ok")) << bad;
  }
  EXPECT_FALSE(script.RemoveFile(0));
  EXPECT_EQ(std::string(script.Text()), std::string(before));
}

}  // namespace
