#include "dialogfont.h"

#include <string.h>

namespace {

const unsigned kSetFont = 0x40;  // DS_SETFONT
const size_t kHeaderBytes = 26;  // up to the menu: version ... cy
const size_t kFontFixedBytes = 6;  // point size, weight, italic, character set

unsigned Word(const unsigned char* p) { return p[0] | (p[1] << 8); }

// Passes over the text at pos, ended by a zero word, or (nameOrNumber) a
// resource name or number (sz_Or_Ord); false when it runs past size.
bool Skip(const unsigned char* t, size_t size, size_t& pos, bool nameOrNumber) {
  if (pos + 2 > size) return false;
  unsigned first = Word(t + pos);
  if (nameOrNumber && first == 0xFFFF) {
    pos += 4;
    return pos <= size;
  }
  for (;;) {
    if (pos + 2 > size) return false;
    unsigned w = Word(t + pos);
    pos += 2;
    if (!w) return true;
  }
}

size_t AlignedToDword(size_t n) { return (n + 3) & ~static_cast<size_t>(3); }

}  // namespace

bool FindTemplateFont(const unsigned char* t, size_t size, size_t& fontAt, size_t& itemsAt) {
  if (!t || size < kHeaderBytes || Word(t) != 1 || Word(t + 2) != 0xFFFF) return false;
  unsigned long style = t[12] | (t[13] << 8) | (static_cast<unsigned long>(t[14]) << 16) |
                        (static_cast<unsigned long>(t[15]) << 24);
  if (!(style & kSetFont)) return false;
  size_t pos = kHeaderBytes;
  if (!Skip(t, size, pos, true) || !Skip(t, size, pos, true) || !Skip(t, size, pos, false)) return false;
  fontAt = pos;
  pos += kFontFixedBytes;
  if (pos > size || !Skip(t, size, pos, false)) return false;
  itemsAt = AlignedToDword(pos);
  return itemsAt <= size;
}

size_t TemplateWithFont(const unsigned char* t, size_t size, const char* face, int points, unsigned char* out) {
  size_t fontAt = 0, itemsAt = 0;
  if (!face || !FindTemplateFont(t, size, fontAt, itemsAt)) return 0;
  memcpy(out, t, fontAt + kFontFixedBytes);
  out[fontAt] = static_cast<unsigned char>(points & 0xFF);
  out[fontAt + 1] = static_cast<unsigned char>((points >> 8) & 0xFF);
  size_t pos = fontAt + kFontFixedBytes;
  for (const char* c = face;; c++) {
    out[pos++] = static_cast<unsigned char>(*c);
    out[pos++] = 0;
    if (!*c) break;
  }
  while (pos % 4) out[pos++] = 0;
  memcpy(out + pos, t + itemsAt, size - itemsAt);
  return pos + (size - itemsAt);
}
