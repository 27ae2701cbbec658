#include "language.h"

#include <string.h>

namespace {

// The language of the run: one for the process, chosen at the start.
const TextLanguage*& Spoken() {
  static const TextLanguage* language = 0;
  return language;
}

// The framework's texts before a program chose a language (the programs'
// default, Simplified Chinese).
const char* const kFrameworkDefaults[kFrameworkTexts] = {"输入的文字太长: 请输入不超过 %d 个字符。"};

const unsigned short kPrimaryLanguageMask = 0x3FF;

}  // namespace

const TextLanguage* PickLanguage(const TextLanguage* const* tables, int count, const char* tag,
                                 unsigned short systemLanguage) {
  if (count <= 0) return 0;
  if (tag && !tag[0]) return tables[0];
  for (int i = 0; tag && i < count; i++)
    if (strcmp(tables[i]->Tag, tag) == 0) return tables[i];
  for (int i = 0; i < count; i++)
    if ((tables[i]->WindowsId & kPrimaryLanguageMask) == (systemLanguage & kPrimaryLanguageMask)) return tables[i];
  return tables[0];
}

const TextLanguage* CLanguages::Find(const char* tag) const {
  for (int i = 0; i < m_count; i++)
    if (strcmp(m_tables[i]->Tag, tag) == 0) return m_tables[i];
  return 0;
}

void CLanguages::Choose(const char* tag, unsigned short systemLanguage) {
  m_spoken = PickLanguage(m_tables, m_count, tag, systemLanguage);
  SetProgramLanguage(m_spoken);
}

void SetProgramLanguage(const TextLanguage* language) { Spoken() = language; }

const TextLanguage* ProgramLanguage() { return Spoken(); }

const char* FrameworkText(FrameworkTextId id) {
  const TextLanguage* language = Spoken();
  return language ? language->Texts[id] : kFrameworkDefaults[id];
}
