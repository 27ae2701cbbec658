// The languages a program speaks: each of its texts in one table per
// language, and the one language the program speaks in this run (its texts,
// and the font its dialog templates are shown in). A program keeps its text
// ids in an enumeration that starts after the framework's own; each table
// lists every id once (MakeTexts checks that when it is compiled).
#pragma once
#include <stddef.h>

// The framework's own texts, first in every program's tables.
enum FrameworkTextId {
  kTextTooLong,  // data exchange: a text over its field's limit (%d bytes)
  kFrameworkTexts
};

// One language of a program's texts.
struct TextLanguage {
  const char* Tag;             // as a package names it: "zh-CN", "en"
  unsigned short WindowsId;    // Windows' language id (LANGID): 0x0804, 0x0409
  const char* DialogFont;      // the dialog templates' font in this language; null: their own
  int DialogFontPoints;
  const char* const* Texts;    // by text id
};

// A text of a table as written: its id and the text (code page 936).
struct TextEntry {
  int Id;
  const char* Text;
};

// A table's texts in id order, made at compile time from its entries.
template <int N>
struct TextArray {
  const char* Texts[N];
};

// Reached only by a table that misses an id or names one twice: not
// constexpr, so that such a table does not compile.
inline void TextTableMissesOrRepeatsAnId() {}

// The texts of entries in id order, at compile time (a constexpr variable):
// every id below N exactly once, none empty of its text.
template <int N, size_t M>
constexpr TextArray<N> MakeTexts(const TextEntry (&entries)[M]) {
  TextArray<N> a = {};
  for (size_t i = 0; i < M; i++) {
    int id = entries[i].Id;
    if (id < 0 || id >= N || a.Texts[id] || !entries[i].Text) TextTableMissesOrRepeatsAnId();
    else a.Texts[id] = entries[i].Text;
  }
  for (int id = 0; id < N; id++)
    if (!a.Texts[id]) TextTableMissesOrRepeatsAnId();
  return a;
}

// The table a program speaks, among its count tables (the first is its
// default): the one tagged tag; for an empty tag the default; for a tag
// the program has no table of, or none given (null: nothing could be read),
// the one of the system's user interface language (systemLanguage, a
// LANGID: the same primary language), else the default.
const TextLanguage* PickLanguage(const TextLanguage* const* tables, int count, const char* tag,
                                 unsigned short systemLanguage);

// The languages of one program: its tables (the default first) and the one
// it speaks, the default until it chose one.
class CLanguages {
 public:
  template <int N>
  explicit constexpr CLanguages(const TextLanguage* const (&tables)[N]) : m_tables(tables), m_count(N), m_spoken(tables[0]) {}
  const char* Text(int id) const { return m_spoken->Texts[id]; }
  const TextLanguage* Spoken() const { return m_spoken; }
  int Count() const { return m_count; }
  const TextLanguage* operator[](int i) const { return m_tables[i]; }
  // The table tagged tag; null when the program has none.
  const TextLanguage* Find(const char* tag) const;
  // Speaks PickLanguage's choice from here on, and makes it the program's
  // language (SetProgramLanguage).
  void Choose(const char* tag, unsigned short systemLanguage);

 private:
  const TextLanguage* const* m_tables;
  int m_count;
  const TextLanguage* m_spoken;
};

// The language the program speaks (null until it chose one), which the
// framework reads for its own texts and the dialog templates' font.
void SetProgramLanguage(const TextLanguage* language);
const TextLanguage* ProgramLanguage();
// A text of the framework in the program's language.
const char* FrameworkText(FrameworkTextId id);
