#include "x86filter.h"

namespace {

// An operand whose top byte is one of these is a near address (within 16 MiB
// forward or back): the only kind converted.
inline bool NearTop(unsigned char b) { return b == 0x00 || b == 0xFF; }

inline unsigned long Read32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<unsigned long>(p[3]) << 24);
}

}  // namespace

CX86Filter::CX86Filter() : m_skipped(0), m_last(0xFFFFFFFBUL) {}  // 5 before the start

size_t CX86Filter::Convert(unsigned char* data, size_t size, unsigned long position, bool encode) {
  if (size < 5) return 0;
  // Skipped opcodes further back than the operand's length do not count.
  if (((position - m_last) & 0xFFFFFFFFUL) > 5) m_last = (position - 5) & 0xFFFFFFFFUL;
  size_t i = 0;
  for (; i + 5 <= size; i++) {
    if (data[i] != 0xE8 && data[i] != 0xE9) continue;
    unsigned long at = (position + i) & 0xFFFFFFFFUL;
    unsigned long gap = (at - m_last) & 0xFFFFFFFFUL;
    m_last = at;
    // Move the skipped opcodes back by the distance walked; bits 3 and 7
    // (four positions back) drop out.
    if (gap > 5) m_skipped = 0;
    else
      for (unsigned long k = 0; k < gap; k++) m_skipped = (m_skipped & 0x77) << 1;
    unsigned char top = data[i + 4];
    // Which patterns of skipped opcodes one, two and three positions back
    // still let this one be taken: none, or a single one.
    unsigned back = (m_skipped >> 1) & 7;
    bool patternAllows = back == 0 || back == 1 || back == 2 || back == 4;
    if (!NearTop(top) || !patternAllows || (m_skipped >> 1) >= 0x10) {
      // Not taken: remembered, with whether its operand looked near.
      m_skipped |= 1;
      if (NearTop(top)) m_skipped |= 0x10;
      continue;
    }
    unsigned long operand = Read32(data + i + 1), converted;
    for (;;) {
      unsigned long next = (at + 5) & 0xFFFFFFFFUL;
      converted = (encode ? operand + next : operand - next) & 0xFFFFFFFFUL;
      if (!m_skipped) break;
      // The skipped opcode d positions back has its operand's top byte in
      // this operand's byte 3 - d. When the conversion made that byte look
      // near, the other side would take that opcode: the bits below it are
      // flipped and the conversion done again, as the decoder will.
      unsigned d = back == 1 ? 1 : back == 2 ? 2 : 3;
      if (!NearTop(static_cast<unsigned char>(converted >> (24 - 8 * d)))) break;
      operand = converted ^ ((1UL << (32 - 8 * d)) - 1);
    }
    // The top byte says only the direction: bit 24 spread over the byte.
    data[i + 1] = static_cast<unsigned char>(converted);
    data[i + 2] = static_cast<unsigned char>(converted >> 8);
    data[i + 3] = static_cast<unsigned char>(converted >> 16);
    data[i + 4] = (converted >> 24) & 1 ? 0xFF : 0x00;
    m_skipped = 0;
    i += 4;
  }
  return i;
}

bool IsX86Program(const unsigned char* head, size_t size) {
  if (size < 0x40 || head[0] != 'M' || head[1] != 'Z') return false;
  unsigned long pe = Read32(head + 0x3C);
  if (pe > size - 6) return false;
  if (head[pe] != 'P' || head[pe + 1] != 'E' || head[pe + 2] || head[pe + 3]) return false;
  unsigned machine = head[pe + 4] | (head[pe + 5] << 8);
  return machine == 0x014C || machine == 0x8664;  // i386, AMD64
}
