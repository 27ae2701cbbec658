// Registry references: splitting, root names, key paths of the tree walk, and
// the keys of a file-type association.
#include "common/regref.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

TEST(RegReference, RootNamesAreExact) {
  EXPECT_EQ(RootValueFromName("HKEY_CLASSES_ROOT"), 0x80000000u);
  EXPECT_EQ(RootValueFromName("HKEY_CURRENT_USER"), 0x80000001u);
  EXPECT_EQ(RootValueFromName("HKEY_LOCAL_MACHINE"), 0x80000002u);
  EXPECT_EQ(RootValueFromName("HKEY_USERS"), 0x80000003u);
  EXPECT_EQ(RootValueFromName("HKEY_CURRENT_CONFIG"), 0x80000005u);
  for (const char* bad : {"hkey_current_user", "HKCU", "HKEY_PERFORMANCE_DATA", "", " HKEY_USERS"})
    EXPECT_EQ(RootValueFromName(bad), 0u) << bad;
}

TEST(RegReference, KeyReference) {
  RegReference r;
  ASSERT_TRUE(ParseKeyReference("HKEY_CURRENT_USER|\\Software\\Demo\\", r));
  EXPECT_STREQ(r.Root, "HKEY_CURRENT_USER");
  EXPECT_STREQ(r.SubKey, "Software\\Demo");
  EXPECT_EQ(r.RootValue, 0x80000001u);
  ASSERT_TRUE(ParseKeyReference("HKEY_USERS|a|b\\c", r));  // subkey after the last bar
  EXPECT_STREQ(r.SubKey, "b\\c");
  ASSERT_TRUE(ParseKeyReference("HKEY_USERS|\\\\x\\\\", r));  // only one of each is trimmed
  EXPECT_STREQ(r.SubKey, "\\x\\");

  // Nothing to delete: unknown root, no bar, empty subkey, a lone backslash.
  for (const char* bad : {"hkey_current_user|Software\\Demo", "Software\\Demo", "HKEY_CURRENT_USER|",
                          "HKEY_CURRENT_USER|\\", "HKEY_CURRENT_USER|\\\\", ""})
    EXPECT_FALSE(ParseKeyReference(bad, r)) << bad;
}

TEST(RegReference, ValueReference) {
  RegReference r;
  ASSERT_TRUE(ParseValueReference("HKEY_LOCAL_MACHINE|\\Software\\Demo\\|Path", r));
  EXPECT_STREQ(r.SubKey, "Software\\Demo");
  EXPECT_STREQ(r.ValueName, "Path");
  ASSERT_TRUE(ParseValueReference("HKEY_CURRENT_USER|v", r));  // directly under the root
  EXPECT_STREQ(r.SubKey, "");
  EXPECT_STREQ(r.ValueName, "v");
  ASSERT_TRUE(ParseValueReference("HKEY_USERS|a|b|c", r));
  EXPECT_STREQ(r.SubKey, "a|b");
  EXPECT_STREQ(r.ValueName, "c");
  for (const char* bad : {"HKEY_CURRENT_USER|Software|", "Path", "HKEY_Current_User|S|v"})
    EXPECT_FALSE(ParseValueReference(bad, r)) << bad;
}

TEST(RegReference, BarsAndBackslashesInsideDoubleByteCharactersStay) {
  // 0x81 0x7C and 0x81 0x5C are characters whose trail bytes look like "|"
  // and a backslash.
  RegReference r;
  ASSERT_TRUE(ParseValueReference("HKEY_USERS|K\x81\x5C|n\x81\x7C", r));
  EXPECT_STREQ(r.SubKey, "K\x81\x5C");
  EXPECT_STREQ(r.ValueName, "n\x81\x7C");
}

TEST(RegReference, JoinKeyPathNeverCutsOrOverflows) {
  char out[KEY_PATH_SIZE + 8];
  memset(out, 'G', sizeof out);
  std::string parent(200, 'p'), name(54, 'n');  // 200 + 1 + 54 = 255: fits
  ASSERT_TRUE(JoinKeyPath(out, KEY_PATH_SIZE, parent.c_str(), name.c_str()));
  EXPECT_EQ(std::string(out), parent + "\\" + name);
  name += "n";
  EXPECT_FALSE(JoinKeyPath(out, KEY_PATH_SIZE, parent.c_str(), name.c_str()));
  EXPECT_STREQ(out, "");
  for (size_t i = KEY_PATH_SIZE; i < sizeof out; i++) EXPECT_EQ(out[i], 'G');
  ASSERT_TRUE(JoinKeyPath(out, KEY_PATH_SIZE, "a\\", "b"));
  EXPECT_STREQ(out, "a\\b");
}

TEST(RegReference, AssociationKeysDeepestFirst) {
  const char* want[ASSOC_KEY_COUNT] = {".abc", "abcfile\\DefaultIcon", "abcfile\\shell\\open\\command",
                                       "abcfile\\shell\\open", "abcfile\\shell", "abcfile"};
  for (int i = 0; i < ASSOC_KEY_COUNT; i++) EXPECT_STREQ(AssociationKey("abc", i), want[i]);
  EXPECT_STREQ(AssociationKey("abc", ASSOC_KEY_COUNT), "");
}
