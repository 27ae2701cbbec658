// The x86 branch filter of packed blocks: the 32-bit operands of near CALL
// (E8) and JMP (E9) instructions turned from relative into absolute addresses
// before packing, and back after unpacking, so that the many calls of one
// function look alike to the compressor. The rules are those of the published
// x86 BCJ filter (the "x86" filter of the xz and 7z formats), so that other
// decoders read our blocks: an operand is converted only when its top byte is
// 0x00 or 0xFF, and an E8/E9 byte is not taken as an opcode when the bytes
// just before it hold opcode bytes that were not taken. Positions count from
// the first byte of the stream (a block's unpacked bytes).
#pragma once
#include <stddef.h>

class CX86Filter {
 public:
  CX86Filter();
  // Converts data in place; position is where data starts in the stream
  // (pieces in order, each starting where the previous one's final part
  // ended). Returns how many bytes are final; the rest (at most 4 bytes, an
  // opcode's operand that may go on in the next piece) must come again at the
  // start of the next piece, or stay as they are at the end of the stream.
  size_t Encode(unsigned char* data, size_t size, unsigned long position) {
    return Convert(data, size, position, true);
  }
  size_t Decode(unsigned char* data, size_t size, unsigned long position) {
    return Convert(data, size, position, false);
  }

 private:
  size_t Convert(unsigned char* data, size_t size, unsigned long position, bool encode);
  // The E8/E9 bytes of the last three positions that were not taken as
  // opcodes: bit d for one d positions back, and bit d + 4 when its operand's
  // top byte was 0x00 or 0xFF (such a byte then refuses every candidate).
  unsigned m_skipped;
  unsigned long m_last;  // the stream position of the last E8/E9 byte looked at
};

// True when the bytes are a Windows program or library for x86 processors
// (32-bit or 64-bit), judged by its headers: the files the filter is for.
bool IsX86Program(const unsigned char* head, size_t size);
