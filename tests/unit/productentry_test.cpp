// The entry in the list of installed programs: its stable name and the values
// by which the uninstaller recognises its own.
#include "common/productentry.h"

#include <gtest/gtest.h>

TEST(ProductEntry, KeyNameFromTheIdElseTheProductName) {
  PackageSettings s;
  strcpy(s.ProductName, "\xD1\xDD\xCA\xBE\\Pro");  // 演示\Pro: the trail byte of a character is no backslash
  EXPECT_STREQ(ProductEntryKeyName(s).c_str(), "\xD1\xDD\xCA\xBE_Pro");
  strcpy(s.ProductName, "\x95\\x");  // a double-byte character whose trail byte is 0x5C
  EXPECT_STREQ(ProductEntryKeyName(s).c_str(), "\x95\\x");
  s.ProductId = "Vendor.App";
  EXPECT_STREQ(ProductEntryKeyName(s).c_str(), "Vendor.App");
  EXPECT_STREQ(ProductNameEntryKeyName(s).c_str(), "\x95\\x") << "where a version without the id kept it";
  PackageSettings empty;
  EXPECT_STREQ(ProductEntryKeyName(empty).c_str(), "Setup");
}

TEST(ProductEntry, TheUninstallerKnowsOnlyTheEntryOfItsFolder) {
  const char* dir = "C:\\Silent Dir\\App\\";
  EXPECT_STREQ(EntryInstallLocation(dir).c_str(), "C:\\Silent Dir\\App");
  EXPECT_STREQ(EntryUninstallString(dir).c_str(), "\"C:\\Silent Dir\\App\\ridkit.exe\"");
  EXPECT_STREQ(EntryQuietUninstallString(dir).c_str(), "\"C:\\Silent Dir\\App\\ridkit.exe\" /S");
  EXPECT_TRUE(EntryBelongsTo(EntryInstallLocation(dir), EntryUninstallString(dir), "c:\\silent dir\\app"));
  EXPECT_TRUE(EntryBelongsTo("C:\\Silent Dir\\App\\", EntryQuietUninstallString(dir), "C:\\Silent Dir\\App"));
  // Another product in a neighbouring folder, or one with its own uninstaller.
  EXPECT_FALSE(EntryBelongsTo("C:\\Silent Dir\\App2", "\"C:\\Silent Dir\\App2\\ridkit.exe\"", "C:\\Silent Dir\\App"));
  EXPECT_FALSE(EntryBelongsTo("C:\\Silent Dir\\App", "\"C:\\Silent Dir\\App\\other.exe\"", "C:\\Silent Dir\\App"));
  EXPECT_FALSE(EntryBelongsTo("", "", ""));
  EXPECT_EQ(SizeInKiB(0), 0u);
  EXPECT_EQ(SizeInKiB(1), 1u);
  EXPECT_EQ(SizeInKiB(2048), 2u);
  EXPECT_EQ(SizeInKiB(1LL << 50), 0xFFFFFFFFu);
}

// Versions as vendors write them: numbers part by part, "2" as "2.0", text
// parts in any letter case; an unknown version on either side is never a
// downgrade.
TEST(ProductEntry, VersionsCompareByTheirNumbers) {
  EXPECT_LT(CompareVersions("1.0", "2.0"), 0);
  EXPECT_GT(CompareVersions("2.10", "2.9"), 0);
  EXPECT_EQ(CompareVersions("2", "2.0.0"), 0);
  EXPECT_EQ(CompareVersions("2.05", "2.5"), 0);
  EXPECT_GT(CompareVersions("2.5.1", "2.5"), 0);
  EXPECT_LT(CompareVersions("99999999999999999999.1", "100000000000000000000"), 0);
  EXPECT_EQ(CompareVersions("1.0-Beta", "1.0-beta"), 0);
  EXPECT_LT(CompareVersions("1.0-alpha", "1.0-beta"), 0);
  EXPECT_TRUE(IsDowngrade("1.0", "2.0"));
  EXPECT_FALSE(IsDowngrade("2.0", "2.0"));
  EXPECT_FALSE(IsDowngrade("2.0", "1.0"));
  EXPECT_FALSE(IsDowngrade("", "2.0"));
  EXPECT_FALSE(IsDowngrade("1.0", ""));
}
