// The switches of the setup and of the uninstaller, read from their command lines.
#include "setup/core/commandline.h"

#include <gtest/gtest.h>

#include "uninstall/core/uninstallsettings.h"

TEST(SetupSwitches, SilentFolderAndLogAsDeploymentScriptsWriteThem) {
  SetupSwitches s;
  ParseSetupSwitches("/s /NoOverwrite /allowDowngrade \"/LOG=C:\\my logs\\s.log\" /D=C:\\Silent Dir\\App  ", s);
  EXPECT_TRUE(s.Silent);
  EXPECT_TRUE(s.NoOverwrite);
  EXPECT_TRUE(s.AllowDowngrade);
  EXPECT_FALSE(s.Help);
  EXPECT_STREQ(s.LogPath.c_str(), "C:\\my logs\\s.log");
  EXPECT_STREQ(s.Folder.c_str(), "C:\\Silent Dir\\App");  // the rest of the line, blanks inside kept
  ParseSetupSwitches("/LOG=\"C:\\a b\\x.log\" /D=C:\\x /S", s);  // /D= takes the rest: /S is part of it
  EXPECT_STREQ(s.LogPath.c_str(), "C:\\a b\\x.log");
  EXPECT_STREQ(s.Folder.c_str(), "C:\\x /S");
  EXPECT_FALSE(s.Silent);
  ParseSetupSwitches("/S \"/D=C:\\Silent Dir\\App\"", s);  // as argument-quoting tools pass it
  EXPECT_STREQ(s.Folder.c_str(), "C:\\Silent Dir\\App");
  ParseSetupSwitches("  /? /Sx /S", s);
  EXPECT_TRUE(s.Help);
  EXPECT_TRUE(s.Silent);
  EXPECT_STREQ(s.Unknown.c_str(), "/Sx");
  // The scope's switches, and the folder page's own start again before /D=.
  ParseSetupSwitches("/S /CurrentUser", s);
  EXPECT_TRUE(s.CurrentUser && !s.AllUsers && !s.Resume);
  ParseSetupSwitches("/CurrentUser /allusers /resume /D=C:\\Program Files\\App", s);  // the last one counts
  EXPECT_TRUE(s.AllUsers && !s.CurrentUser && s.Resume);
  EXPECT_STREQ(s.Folder.c_str(), "C:\\Program Files\\App");
  ParseSetupSwitches("", s);
  EXPECT_FALSE(s.Silent || s.Help || s.NoOverwrite || s.AllowDowngrade || s.AllUsers || s.CurrentUser || s.Resume);
  EXPECT_TRUE(s.Folder.IsEmpty() && s.LogPath.IsEmpty());
}

TEST(UninstallSwitches, SwitchesOnlyWhenTheLineStartsWithOne) {
  UninstallSwitches u;
  // What every ridkit.lnk passes: the whole line is the log path, as before.
  ParseUninstallSwitches("C:\\Program Files\\App\\setup.log", u);
  EXPECT_FALSE(u.Switches);
  EXPECT_STREQ(u.SetupLog.c_str(), "C:\\Program Files\\App\\setup.log");
  ParseUninstallSwitches("\"/S\"", u);  // quoted: a path, however it reads
  EXPECT_FALSE(u.Silent);
  EXPECT_STREQ(u.SetupLog.c_str(), "/S");
  ParseUninstallSwitches("/home/user/setup.log", u);  // a first word that is no switch
  EXPECT_FALSE(u.Switches);
  EXPECT_STREQ(u.SetupLog.c_str(), "/home/user/setup.log");

  ParseUninstallSwitches("/s /all \"/LOG=C:\\r m.log\" -- C:\\x y\\setup.log", u);
  EXPECT_TRUE(u.Switches && u.Silent && u.All);
  EXPECT_STREQ(u.LogPath.c_str(), "C:\\r m.log");
  EXPECT_STREQ(u.SetupLog.c_str(), "C:\\x y\\setup.log");
  ParseUninstallSwitches("-- /S", u);  // a log path that starts with "/"
  EXPECT_TRUE(u.Switches);
  EXPECT_FALSE(u.Silent);
  EXPECT_STREQ(u.SetupLog.c_str(), "/S");

  // The temporary copy reads back what the first instance passes on.
  ParseUninstallSwitches("/S /LOG=C:\\r.log", u);
  CString passed = CopyParameters(u, "C:\\App Dir\\setup.log");
  UninstallSwitches back;
  ParseUninstallSwitches(passed, back);
  EXPECT_TRUE(back.Silent);
  EXPECT_FALSE(back.All);
  EXPECT_STREQ(back.LogPath.c_str(), "C:\\r.log");
  EXPECT_STREQ(back.SetupLog.c_str(), "C:\\App Dir\\setup.log");
  ParseUninstallSwitches("/LOG=\"C:\\r m.log\"", u);  // a log alone, first on the line passed on
  ParseUninstallSwitches(CopyParameters(u, "C:\\A\\setup.log"), back);
  EXPECT_STREQ(back.LogPath.c_str(), "C:\\r m.log");
  EXPECT_STREQ(back.SetupLog.c_str(), "C:\\A\\setup.log");
  ParseUninstallSwitches("", u);
  EXPECT_STREQ(CopyParameters(u, "C:\\A\\setup.log").c_str(), "C:\\A\\setup.log");  // as before
}
