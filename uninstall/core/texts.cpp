#include "texts.h"

extern const TextLanguage kUninstallChinese;
extern const TextLanguage kUninstallEnglish;

// A new language: its table in lang/, named here.
static const TextLanguage* const kTables[] = {&kUninstallChinese, &kUninstallEnglish};

CLanguages& UninstallLanguages() {
  static CLanguages languages(kTables);
  return languages;
}

const char* Text(UninstallTextId id) { return UninstallLanguages().Text(id); }
