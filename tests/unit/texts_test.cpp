// The programs' text tables: every language gives every id a text that
// takes the same arguments as the default's, the English ones in plain
// ASCII and never empty; and the choice of the language a program speaks.
#include <gtest/gtest.h>
#include <string.h>

#include <set>
#include <string>

#include "setup/core/texts.h"
#include "uninstall/core/texts.h"

namespace {

// The conversions of a format text, in order ("%s%d"); "%%" is none.
std::string Conversions(const char* text) {
  std::string out;
  for (const char* p = text; *p; p++) {
    if (*p != '%') continue;
    p++;
    while (*p && strchr("-+ #0123456789.", *p)) p++;
    if (!*p) break;
    if (*p != '%') out += std::string("%") + *p;
  }
  return out;
}

void CheckTables(const char* program, const CLanguages& languages, int count) {
  ASSERT_GE(languages.Count(), 2) << program;
  const TextLanguage* byDefault = languages[0];
  EXPECT_STREQ(byDefault->Tag, "zh-CN") << program;
  std::set<std::string> tags;
  for (int l = 0; l < languages.Count(); l++) {
    const TextLanguage* language = languages[l];
    EXPECT_TRUE(tags.insert(language->Tag).second) << program << ": " << language->Tag << " twice";
    EXPECT_EQ(languages.Find(language->Tag), language);
    bool english = strcmp(language->Tag, "en") == 0;
    for (int id = 0; id < count; id++) {
      const char* text = language->Texts[id];
      ASSERT_TRUE(text) << program << " " << language->Tag << " text " << id;
      EXPECT_EQ(Conversions(text), Conversions(byDefault->Texts[id]))
          << program << " " << language->Tag << " text " << id << ": " << text;
      if (!english) continue;
      EXPECT_STRNE(text, "") << program << " text " << id;
      for (const char* p = text; *p; p++)
        ASSERT_LT(static_cast<unsigned char>(*p), 0x80) << program << " English text " << id << ": " << text;
    }
  }
  EXPECT_TRUE(languages.Find("en")) << program;
}

TEST(TextTables, EveryLanguageGivesEveryTextWithTheDefaultsArguments) {
  CheckTables("setup", SetupLanguages(), kSetupTexts);
  CheckTables("uninstaller", UninstallLanguages(), kUninstallTexts);
}

TEST(TextTables, TheLanguageSpokenFollowsTheTagThenTheSystem) {
  const TextLanguage english = {"en", 0x0409, 0, 0, 0}, chinese = {"zh-CN", 0x0804, 0, 0, 0};
  const TextLanguage* tables[] = {&chinese, &english};
  const unsigned short kEnglishUk = 0x0809, kTaiwan = 0x0404, kJapanese = 0x0411;
  EXPECT_EQ(PickLanguage(tables, 2, "en", kTaiwan), &english);
  EXPECT_EQ(PickLanguage(tables, 2, "zh-CN", kEnglishUk), &chinese);
  EXPECT_EQ(PickLanguage(tables, 2, "", kEnglishUk), &chinese) << "no key: the default, whatever the system";
  // Nothing read, or a language this build has no table of: the system's.
  EXPECT_EQ(PickLanguage(tables, 2, 0, kEnglishUk), &english);
  EXPECT_EQ(PickLanguage(tables, 2, "fr", kEnglishUk), &english);
  EXPECT_EQ(PickLanguage(tables, 2, 0, kTaiwan), &chinese);
  EXPECT_EQ(PickLanguage(tables, 2, "EN", kJapanese), &chinese) << "tags as written";

  // A program speaks its choice, and the framework's texts come with it.
  CLanguages& setup = SetupLanguages();
  setup.Choose("en", kJapanese);
  EXPECT_STREQ(setup.Spoken()->Tag, "en");
  EXPECT_EQ(Text(kTextLoadFailed), setup.Find("en")->Texts[kTextLoadFailed]);
  EXPECT_EQ(ProgramLanguage(), setup.Spoken());
  EXPECT_STREQ(FrameworkText(kTextTooLong), setup.Spoken()->Texts[kTextTooLong]);
  setup.Choose("", kJapanese);
  EXPECT_STREQ(setup.Spoken()->Tag, "zh-CN");
  SetProgramLanguage(0);
}

}  // namespace
