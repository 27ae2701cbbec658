// The destination folder rules: the default folder, the parent that is
// checked, and why a parent is refused.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "common/packageindex.h"
#include "setup/core/folderrules.h"
#include "setup/core/texts.h"

namespace {

TEST(FolderRules, DefaultFolderIsOnTheWindowsDrive) {
  EXPECT_STREQ(DefaultInstallFolder("D:\\WINDOWS", "App"), "D:\\Program Files\\App");
  EXPECT_STREQ(DefaultInstallFolder("C:\\windows\\", "软件"), "C:\\Program Files\\软件");
  EXPECT_STREQ(DefaultInstallFolder("", "App"), "Program Files\\App");
  // For the current user alone: in the user's Programs folder, whether the
  // local application data folder comes with its backslash or not.
  EXPECT_STREQ(DefaultUserInstallFolder("C:\\Users\\李\\AppData\\Local", "软件"),
               "C:\\Users\\李\\AppData\\Local\\Programs\\软件");
  EXPECT_STREQ(UserProgramsFolder("C:\\U\\Local\\"), "C:\\U\\Local\\Programs\\");
  EXPECT_STREQ(UserProgramsFolder(""), "");
}

TEST(FolderRules, ParentDropsTheLastLevel) {
  EXPECT_STREQ(ParentFolder("D:\\Program Files\\App\\"), "D:\\Program Files");
  EXPECT_STREQ(ParentFolder("E:\\App\\"), "E:");
  EXPECT_STREQ(ParentFolder("E:\\"), "");
  EXPECT_STREQ(ParentFolder("App\\"), "");
  EXPECT_STREQ(ParentFolder("D:\\\\App\\"), "D:\\");
  EXPECT_STREQ(ParentFolder(""), "");
}

std::map<std::string, int> g_drives;
std::set<std::string> g_existing;
int FakeDriveType(const char* drive) {
  auto it = g_drives.find(drive);
  return it == g_drives.end() ? kDriveNoRoot : it->second;
}
bool FakeExists(const char* path) { return g_existing.count(path) != 0; }

const char* Refusal(const char* path) { return FolderRefusal(path, FakeDriveType, FakeExists); }

TEST(FolderRules, DrivesAndFoldersAreChecked) {
  g_drives = {{"C:", 3}, {"E:", 3}, {"D:", 5}, {"F:", 2}, {"N:", 4}, {"R:", 6}};
  g_existing = {"C:\\Program Files", "C:\\file.txt"};
  EXPECT_EQ(Refusal("C:\\Program Files"), nullptr);
  EXPECT_EQ(Refusal("C:\\Program Files\\"), nullptr);
  EXPECT_EQ(Refusal("C:\\file.txt"), nullptr) << "anything that exists will do";
  EXPECT_EQ(Refusal("E:"), nullptr);
  EXPECT_EQ(Refusal("D:"), nullptr) << "CD-ROM";
  EXPECT_EQ(Refusal("R:"), nullptr) << "RAM disk";
  EXPECT_STREQ(Refusal(""), Text(kTextBadDrive));
  EXPECT_STREQ(Refusal("Q:"), Text(kTextBadDrive));
  EXPECT_STREQ(Refusal("a:"), Text(kTextFloppy)) << "no disk in the floppy drive";
  EXPECT_STREQ(Refusal("B:\\"), Text(kTextFloppy));
  EXPECT_STREQ(Refusal("F:"), Text(kTextFloppy));
  EXPECT_STREQ(Refusal("N:"), Text(kTextNetwork));
  EXPECT_STREQ(Refusal("C:\\New"), Text(kTextBadFolder));
}

// /D= makes the folders missing above the installation folder; the checks of
// the drive stay, on the first folder above it that is there.
TEST(FolderRules, MissingParentsUpToTheFirstFolderThatIsThere) {
  g_drives = {{"C:", 3}, {"N:", 4}};
  g_existing = {"C:\\Program Files", "N:\\share"};
  CPathList missing;
  auto Missing = [&](const char* folder) {
    const char* refusal = MissingParents(folder, FakeDriveType, FakeExists, missing);
    std::string out = refusal ? std::string("refused: ") + refusal : "";
    for (int i = 0; i < missing.Count(); i++) out += "|" + std::string(missing[i].c_str());
    return out;
  };
  EXPECT_EQ(Missing("C:\\Program Files\\App\\"), "") << "the parent is there: nothing to make";
  EXPECT_EQ(Missing("C:\\Upg\\升级测试\\"), "|C:\\Upg");
  EXPECT_EQ(Missing("C:\\a\\b\\App\\"), "|C:\\a\\b|C:\\a") << "the deepest first";
  EXPECT_EQ(Missing("C:\\Program Files\\x\\y\\App\\"), "|C:\\Program Files\\x\\y|C:\\Program Files\\x");
  EXPECT_EQ(Missing("C:\\App\\"), "");
  EXPECT_EQ(Missing("Q:\\a\\App\\"), std::string("refused: ") + Text(kTextBadDrive));
  EXPECT_EQ(Missing("N:\\x\\App\\"), std::string("refused: ") + Text(kTextNetwork));
  EXPECT_EQ(Missing("N:\\share\\x\\App\\"), "|N:\\share\\x") << "as the folder page: a folder there will do";
  EXPECT_EQ(Missing("App\\"), std::string("refused: ") + Text(kTextBadDrive));
}

}  // namespace

// For whom an installation starts: a package of one scope keeps it whatever
// the switches say; one that lets the user choose takes a switch, then the
// installation there is (the user's over the machine's), then the rights.
TEST(FolderRules, StartingScope) {
  SetupSwitches none, all, me;
  ParseSetupSwitches("/ALLUSERS", all);
  ParseSetupSwitches("/allusers /CurrentUser", me);  // the last one counts
  const char* machine = SCOPE_MACHINE_WORD;
  const char* user = SCOPE_USER_WORD;
  struct Case {
    const char* package;
    const SetupSwitches* switches;
    bool forUser, forMachine, elevated;
    const char* scope;
  } cases[] = {
      {"", &me, true, false, false, machine},        {SCOPE_MACHINE_WORD, &me, false, false, false, machine},
      {SCOPE_USER_WORD, &all, false, true, true, user}, {SCOPE_ASK_WORD, &all, true, false, false, machine},
      {SCOPE_ASK_WORD, &me, false, true, true, user},   {SCOPE_ASK_WORD, &none, true, true, true, user},
      {SCOPE_ASK_WORD, &none, false, true, false, machine}, {SCOPE_ASK_WORD, &none, false, false, true, machine},
      {SCOPE_ASK_WORD, &none, false, false, false, user},
  };
  for (const Case& c : cases)
    EXPECT_STREQ(StartingScope(c.package, *c.switches, c.forUser, c.forMachine, c.elevated), c.scope)
        << c.package << " " << c.switches->AllUsers << c.switches->CurrentUser << " " << c.forUser << c.forMachine
        << c.elevated;
}
