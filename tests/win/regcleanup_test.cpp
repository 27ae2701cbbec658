// Registry cleanup against the real registry. Everything is made below
// HKEY_CURRENT_USER\Software\<a key unique to this run>, except the value
// directly under HKEY_CURRENT_USER and the association keys, which the tests
// remove again themselves.
#include "common/regcleanup.h"

#include "common/shellhelpers.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <windows.h>

#include <string>

namespace {

std::string Unique(const char* what) {
  char s[96];
  snprintf(s, sizeof s, "%s_%lu_%lu", what, GetCurrentProcessId(), GetTickCount());
  return s;
}

void MakeKey(HKEY root, const std::string& path) {
  HKEY k;
  ASSERT_EQ(RegCreateKeyExA(root, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &k, NULL), ERROR_SUCCESS) << path;
  RegCloseKey(k);
}

bool KeyExists(HKEY root, const std::string& path) {
  HKEY k;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
  RegCloseKey(k);
  return true;
}

void SetValue(HKEY root, const std::string& path, const std::string& name) {
  HKEY k;
  ASSERT_EQ(RegCreateKeyExA(root, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &k, NULL), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(k, name.c_str(), 0, REG_SZ, (const BYTE*)"x", 2), ERROR_SUCCESS);
  RegCloseKey(k);
}

bool ValueExists(HKEY root, const std::string& path, const std::string& name) {
  HKEY k;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
  bool found = RegQueryValueExA(k, name.c_str(), NULL, NULL, NULL, NULL) == ERROR_SUCCESS;
  RegCloseKey(k);
  return found;
}

// A private key for one test, removed with whatever is left afterwards.
class RegCleanup : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = "Software\\" + Unique("regcleanup");
    MakeKey(HKEY_CURRENT_USER, base_);
  }
  void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, base_.c_str()); }
  std::string K(const std::string& rest) const { return base_ + "\\" + rest; }
  std::string Ref(const std::string& rest) const { return "HKEY_CURRENT_USER|" + K(rest); }
  std::string base_;
};

}  // namespace

TEST(RegRootKey, NamesMapToThePredefinedKeys) {
  EXPECT_EQ(RootKeyFromName("HKEY_CLASSES_ROOT"), HKEY_CLASSES_ROOT);
  EXPECT_EQ(RootKeyFromName("HKEY_CURRENT_USER"), HKEY_CURRENT_USER);
  EXPECT_EQ(RootKeyFromName("HKEY_LOCAL_MACHINE"), HKEY_LOCAL_MACHINE);
  EXPECT_EQ(RootKeyFromName("HKEY_USERS"), HKEY_USERS);
  EXPECT_EQ(RootKeyFromName("HKEY_CURRENT_CONFIG"), HKEY_CURRENT_CONFIG);
  EXPECT_EQ(RootKeyFromName("HKEY_PERFORMANCE_DATA"), (HKEY)NULL);
  EXPECT_EQ(RootKeyFromName("hkey_current_user"), (HKEY)NULL);
}

TEST_F(RegCleanup, NestedTreeWithSeveralSubkeysPerLevelGoesCompletely) {
  for (const char* a : {"a", "b", "c"})
    for (const char* b : {"x", "y", "z"})
      for (const char* c : {"1", "2"}) {
        MakeKey(HKEY_CURRENT_USER, K(std::string("t\\") + a + "\\" + b + "\\" + c));
        SetValue(HKEY_CURRENT_USER, K(std::string("t\\") + a + "\\" + b), c);
      }
  MakeKey(HKEY_CURRENT_USER, K("t2"));  // a sibling whose name starts the same
  DeleteKeyEntry(Ref("t").c_str());
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, K("t")));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, K("t2")));
}

TEST_F(RegCleanup, BackslashesAroundTheSubkeyAreTrimmed) {
  MakeKey(HKEY_CURRENT_USER, K("s\\child"));
  DeleteKeyEntry(("HKEY_CURRENT_USER|\\" + K("s") + "\\").c_str());
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, K("s")));
}

TEST_F(RegCleanup, VoidKeyReferencesTouchNothing) {
  MakeKey(HKEY_CURRENT_USER, K("keep\\child"));
  DeleteKeyEntry(("hkey_current_user|" + K("keep")).c_str());
  DeleteKeyEntry(K("keep").c_str());  // no bar: no root
  DeleteKeyEntry("HKEY_CURRENT_USER|");
  DeleteKeyEntry("HKEY_CURRENT_USER|\\");
  DeleteKeyEntry("");
  DeleteKeyEntry(Ref("missing\\key").c_str());
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, K("keep\\child")));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software"));
  EXPECT_FALSE(DeleteKeyTree(HKEY_CURRENT_USER, K("missing").c_str()));
  EXPECT_TRUE(DeleteKeyTree(HKEY_CURRENT_USER, K("keep").c_str()));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, K("keep")));
}

TEST_F(RegCleanup, ValuesInAKeyAndDirectlyUnderTheRoot) {
  SetValue(HKEY_CURRENT_USER, K("v"), "name");
  SetValue(HKEY_CURRENT_USER, K("v"), "other");
  DeleteValueEntry((Ref("v") + "\\|name").c_str());
  EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, K("v"), "name"));
  EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, K("v"), "other"));
  DeleteValueEntry((Ref("v") + "|").c_str());  // no value name: nothing
  DeleteValueEntry((Ref("gone") + "|other").c_str());
  EXPECT_FALSE(DeleteValue(HKEY_CURRENT_USER, K("gone").c_str(), "other"));
  EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, K("v"), "other"));

  std::string top = Unique("regcleanup_value");
  SetValue(HKEY_CURRENT_USER, "", top);
  DeleteValueEntry(("HKEY_CURRENT_USER|" + top).c_str());
  bool left = ValueExists(HKEY_CURRENT_USER, "", top);
  if (left) RegDeleteValueA(HKEY_CURRENT_USER, top.c_str());
  EXPECT_FALSE(left);
}

TEST_F(RegCleanup, OverlongPathsAreSkippedNotCut) {
  // The path base\L\<long name> is 258 bytes: beyond the walk's 256-byte buffer, yet
  // within what the ANSI registry calls take (Wine stops at 260). The child
  // stays, and with it L (the platform refuses to delete a key with subkeys).
  std::string longName(258 - base_.size() - 3, 'n');
  std::string deep = K("L\\" + longName);
  ASSERT_EQ(deep.size(), 258u);
  MakeKey(HKEY_CURRENT_USER, deep);
  MakeKey(HKEY_CURRENT_USER, K("L\\short"));
  EXPECT_TRUE(DeleteKeyTree(HKEY_CURRENT_USER, K("L").c_str()));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, deep));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, K("L\\short")));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, K("L")));
  // A starting path longer than 255 bytes: opened, its children skipped.
  HKEY k;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, deep.c_str(), 0, KEY_ALL_ACCESS, &k), ERROR_SUCCESS);
  MakeKey(k, "leaf");
  RegCloseKey(k);
  EXPECT_TRUE(DeleteKeyTree(HKEY_CURRENT_USER, deep.c_str()));
  DeleteKeyEntry(("HKEY_CURRENT_USER|" + deep).c_str());
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, deep));
}

TEST(RegTypeAssociation, RemovesTheSixKeys) {
  const char* keys[] = {".zq9", "zq9file", "zq9file\\DefaultIcon", "zq9file\\shell", "zq9file\\shell\\open",
                        "zq9file\\shell\\open\\command"};
  for (const char* k : keys) MakeKey(HKEY_CLASSES_ROOT, k);
  RemoveFileType("zq9", false);
  for (const char* k : keys) EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, k)) << k;
}

TEST(RegTypeAssociation, ExtensionKeyWithForeignSubkeysStays) {
  // Wine, like Windows, refuses to delete a key that has subkeys: ".zq8"
  // stays with what other software put below it; the "zq8file" keys go.
  const char* keys[] = {".zq8", "zq8file", "zq8file\\DefaultIcon", "zq8file\\shell", "zq8file\\shell\\open",
                        "zq8file\\shell\\open\\command"};
  for (const char* k : keys) MakeKey(HKEY_CLASSES_ROOT, k);
  MakeKey(HKEY_CLASSES_ROOT, ".zq8\\OpenWithProgids");
  RemoveFileType("zq8", false);
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, ".zq8\\OpenWithProgids"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "zq8file"));
  RegDeleteTreeA(HKEY_CLASSES_ROOT, ".zq8");
}
