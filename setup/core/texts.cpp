#include "texts.h"

extern const TextLanguage kSetupChinese;
extern const TextLanguage kSetupEnglish;

// A new language: its table in lang/, named here.
static const TextLanguage* const kTables[] = {&kSetupChinese, &kSetupEnglish};

CLanguages& SetupLanguages() {
  static CLanguages languages(kTables);
  return languages;
}

const char* Text(SetupTextId id) { return SetupLanguages().Text(id); }
