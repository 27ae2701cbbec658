// A dialog template given another font: the header and the controls stay
// as they were, byte for byte, and the controls start on a 4-byte boundary.
#include "framework/dialogfont.h"

#include <gtest/gtest.h>

#include <string>

namespace {

void Word(std::string& t, unsigned w) {
  t.push_back(static_cast<char>(w & 0xFF));
  t.push_back(static_cast<char>(w >> 8));
}
void Dword(std::string& t, unsigned long d) {
  Word(t, d & 0xFFFF);
  Word(t, (d >> 16) & 0xFFFF);
}
void Wide(std::string& t, const std::u16string& s) {
  for (char16_t c : s) Word(t, c);
  Word(t, 0);
}

// An extended template as the resource compiler writes it: a menu by
// number, no class, a caption, the font, then one control (a button "OK").
std::string Template(unsigned long style, const std::u16string& face, std::string& control) {
  std::string t;
  Word(t, 1), Word(t, 0xFFFF), Dword(t, 0), Dword(t, 0), Dword(t, style), Word(t, 1);
  Word(t, 0), Word(t, 0), Word(t, 285), Word(t, 180);
  Word(t, 0xFFFF), Word(t, 7);  // menu 7
  Word(t, 0);                   // the default class
  Wide(t, u"Caption");
  Word(t, 9), Word(t, 700), t.push_back(1), t.push_back(0x86);
  Wide(t, face);
  while (t.size() % 4) t.push_back(0);
  control.clear();
  Dword(control, 0), Dword(control, 0), Dword(control, 0x50010000), Word(control, 1), Word(control, 2);
  Word(control, 40), Word(control, 14), Dword(control, 1), Word(control, 0xFFFF), Word(control, 0x80);
  Wide(control, u"OK"), Word(control, 0);
  return t + control;
}

const unsigned long kSetFont = 0x40;

TEST(DialogFont, ANewFaceAndSizeBeforeTheSameControls) {
  std::string control;
  std::string t = Template(kSetFont | 0x80000000UL, u"\u5b8b\u4f53", control);  // 宋体
  const unsigned char* in = reinterpret_cast<const unsigned char*>(t.data());
  size_t fontAt = 0, itemsAt = 0;
  ASSERT_TRUE(FindTemplateFont(in, t.size(), fontAt, itemsAt));
  EXPECT_EQ(itemsAt, t.size() - control.size());

  std::string out(TemplateWithFontRoom(t.size(), "MS Shell Dlg 2"), '\0');
  size_t n = TemplateWithFont(in, t.size(), "MS Shell Dlg 2", 8, reinterpret_cast<unsigned char*>(&out[0]));
  ASSERT_GT(n, 0u);
  ASSERT_LE(n, out.size());
  out.resize(n);
  const unsigned char* o = reinterpret_cast<const unsigned char*>(out.data());
  size_t outFont = 0, outItems = 0;
  ASSERT_TRUE(FindTemplateFont(o, out.size(), outFont, outItems));
  EXPECT_EQ(outFont, fontAt);
  EXPECT_EQ(out.substr(0, fontAt), t.substr(0, fontAt)) << "the header and caption as they were";
  EXPECT_EQ(o[outFont] | (o[outFont + 1] << 8), 8);
  EXPECT_EQ(out.substr(outFont + 2, 4), t.substr(fontAt + 2, 4)) << "weight, italic, character set kept";
  std::string face;
  Wide(face, u"MS Shell Dlg 2");
  EXPECT_EQ(out.substr(outFont + 6, face.size()), face);
  EXPECT_EQ(outItems % 4, 0u);
  EXPECT_EQ(out.substr(outItems), control);
}

// What a template without a font, or one cut short, gives: nothing written.
size_t Rewritten(const std::string& t) {
  std::string out(TemplateWithFontRoom(t.size(), "Tahoma"), '\0');
  return TemplateWithFont(reinterpret_cast<const unsigned char*>(t.data()), t.size(), "Tahoma", 8,
                          reinterpret_cast<unsigned char*>(&out[0]));
}

TEST(DialogFont, TemplatesWithoutAFontOrCutShortAreLeftAsTheyAre) {
  std::string control;
  EXPECT_EQ(Rewritten(Template(0x80000000UL, u"x", control)), 0u);
  std::string t = Template(kSetFont, u"SimSun", control);
  const unsigned char* in = reinterpret_cast<const unsigned char*>(t.data());
  // Every cut before the end of the face: nothing to replace, nothing read
  // past the bytes given (the host build runs under AddressSanitizer).
  size_t fontAt = 0, itemsAt = 0;
  ASSERT_TRUE(FindTemplateFont(in, t.size(), fontAt, itemsAt));
  for (size_t cut = 0; cut < fontAt + 6 + 14; cut++) EXPECT_EQ(Rewritten(t.substr(0, cut)), 0u) << cut;
  std::string other = t;
  other[0] = 2;  // not an extended template
  EXPECT_EQ(Rewritten(other), 0u);
}

}  // namespace
