// The one rule behind every installed path: where the copy run writes a file,
// the line setup.log lists for it, and what a folder-token reference names.
#include "common/installfolders.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A file row's three parts that make its path.
struct Row {
  const char* name;
  int folder;
  const char* subDir = "";
};

std::string Path(const Row& r, const char* win, const char* sys, const char* inst) {
  CString p;
  EXPECT_TRUE(CInstallFolders(win, sys, inst).Resolve(r.folder, r.subDir, r.name, p));
  return p.c_str();
}

}  // namespace

TEST(InstallFolders, InstalledPathPicksFolderAndAddsBackslashesOnlyWhereMissing) {
  const char* win = "C:\\WINDOWS";
  const char* sys = "C:\\WINDOWS\\system32\\";
  const char* inst = "C:\\Program Files\\Demo\\";
  EXPECT_EQ(Path(Row{"app.exe", FOLDER_INSTALL}, win, sys, inst), "C:\\Program Files\\Demo\\app.exe");
  EXPECT_EQ(Path(Row{"ctl.ocx", FOLDER_SYSTEM}, win, sys, inst), "C:\\WINDOWS\\system32\\ctl.ocx");
  EXPECT_EQ(Path(Row{"w.ini", FOLDER_WINDOWS, "sub"}, win, sys, inst), "C:\\WINDOWS\\sub\\w.ini");
  EXPECT_EQ(Path(Row{"a.txt", FOLDER_INSTALL, "doc\\"}, win, sys, inst), "C:\\Program Files\\Demo\\doc\\a.txt");
  EXPECT_EQ(Path(Row{"x", 0}, win, sys, inst), "C:\\Program Files\\Demo\\x");  // any other kind
  // A folder ending in a double-byte character whose trail byte is 0x5C still
  // needs its separator.
  EXPECT_EQ(Path(Row{"a", FOLDER_INSTALL}, win, sys, "D:\\\x81\x5C"), "D:\\\x81\x5C\\a");
}

TEST(InstallFolders, ResolveRefTokens) {
  const std::string root = "C:\\t\\";
  CInstallFolders f("C:\\t\\win", "C:\\t\\sys\\", "C:\\t\\app\\");
  EXPECT_EQ(std::string(f.ResolveRef("WINDOWS_FOLDER\\n.exe")), root + "win\\n.exe");
  EXPECT_EQ(std::string(f.ResolveRef("SYSTEM_FOLDER\\d\\s.exe")), root + "sys\\d\\s.exe");
  EXPECT_EQ(std::string(f.ResolveRef("INSTALL_FOLDER\\p.exe")), root + "app\\p.exe");
  EXPECT_EQ(std::string(f.ResolveRef("windows_folder\\p.exe")), root + "app\\p.exe");  // exact case
  EXPECT_EQ(std::string(f.ResolveRef("p.exe")), root + "app\\p.exe");
}

TEST(InstallFolders, ResolveRefUsesTheCapturedFolders) {
  const std::string install = "C:\\inst\\";
  CInstallFolders f("C:\\WINDOWS", "C:\\WINDOWS\\system32", install.c_str());
  EXPECT_STREQ(f.ResolveRef("WINDOWS_FOLDER\\a\\b.txt"), "C:\\WINDOWS\\a\\b.txt");
  EXPECT_STREQ(f.ResolveRef("SYSTEM_FOLDER\\b.txt"), "C:\\WINDOWS\\system32\\b.txt");
  EXPECT_EQ(std::string(f.ResolveRef("System_Folder\\b.txt")), install + "b.txt");
  EXPECT_EQ(std::string(f.ResolveRef("b.txt")), install + "b.txt");
  EXPECT_EQ(std::string(f.ResolveRef("\\b.txt")), install + "b.txt");
}
