// The LZMA decoder on any bytes: through the streaming interface in small,
// uneven pieces (as a copy run feeds it), through the whole-buffer helper and
// straight into a buffer of the size the header gives (as the copy run's
// decoding ahead does). Then the x86 filter on the same bytes: decoded in
// uneven pieces as decoded whole, and encoding gives the bytes back.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "common/lzmastream.h"
#include "common/x86filter.h"
#include "framework/memory.h"

namespace {

void FuzzX86Filter(const uint8_t* data, size_t size) {
  unsigned char* whole = static_cast<unsigned char*>(AllocBuffer(size + 1));
  unsigned char* pieces = static_cast<unsigned char*>(AllocBuffer(size + 1));
  if (!whole || !pieces) {
    FreeBuffer(whole);
    FreeBuffer(pieces);
    return;
  }
  memcpy(whole, data, size);
  memcpy(pieces, data, size);
  CX86Filter one;
  if (one.Decode(whole, size, 0) > size) __builtin_trap();
  CX86Filter many;
  size_t at = 0;
  for (size_t piece = 5; at < size; piece = piece * 7 % 41 + 5) {
    size_t n = size - at < piece ? size - at : piece;
    size_t done = many.Decode(pieces + at, n, static_cast<unsigned long>(at));
    if (done > n) __builtin_trap();
    if (!done) break;  // the last bytes stay as they are
    at += done;
  }
  if (memcmp(whole, pieces, size) != 0) __builtin_trap();
  CX86Filter back;
  back.Encode(whole, size, 0);
  if (memcmp(whole, data, size) != 0) __builtin_trap();
  FreeBuffer(whole);
  FreeBuffer(pieces);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzX86Filter(data, size);
  // Keep the dictionary small so that a run spends its time decoding, not
  // allocating; larger ones are refused the same way above the limit.
  if (size >= 5 && (data[4] || data[3] > 0x01)) return 0;

  size_t len = 0;
  char* whole = DecodeLzmaBuffer(data, size, 1 << 18, len);
  if (whole && len > (1 << 18)) __builtin_trap();

  CLzmaStream stream;
  unsigned char out[4096];
  size_t pos = 0, step = 1;
  unsigned long long total = 0;
  CLzmaStream::Status st = CLzmaStream::kMore;
  for (int rounds = 0; rounds < 20000; ++rounds) {
    size_t n = size - pos < step ? size - pos : step;
    size_t room = step * 67 % sizeof out + 1;
    st = stream.Decode(data + pos, n, out, room);
    if (n > size - pos || room > step * 67 % sizeof out + 1) __builtin_trap();
    pos += n;
    total += room;
    if (stream.Size() >= 0 && total > static_cast<unsigned long long>(stream.Size())) __builtin_trap();
    if (st != CLzmaStream::kMore) break;
    if (!n && !room && pos == size) break;
    if (total > (1 << 18)) break;  // as far as the whole-buffer way goes
    step = step * 3 % 61 + 1;
  }
  // Both ways agree on a stream that decodes whole.
  if (whole && (st != CLzmaStream::kDone || stream.Produced() != len)) __builtin_trap();

  unsigned long long claimed = 0;
  for (size_t i = LZMA_HEADER_SIZE - 1; size >= LZMA_HEADER_SIZE && i >= 5; --i) claimed = claimed << 8 | data[i];
  if (claimed && claimed <= (1 << 18)) {
    char* flat = static_cast<char*>(AllocBuffer(static_cast<size_t>(claimed)));
    CLzmaFlatDecoder dec;
    CLzmaStream::Status fs = CLzmaStream::kDamaged;
    if (flat && dec.Start(data, flat, static_cast<size_t>(claimed))) {
      fs = CLzmaStream::kMore;
      for (size_t at = LZMA_HEADER_SIZE, piece = 7; fs == CLzmaStream::kMore && at < size;) {
        size_t n = size - at < piece ? size - at : piece, offered = n;
        fs = dec.Decode(data + at, n);
        if (n > offered) __builtin_trap();
        if (!n && fs == CLzmaStream::kMore) break;
        at += n;
        piece = piece * 5 % 97 + 1;
      }
    }
    // A stream that decodes whole comes out the same.
    if (whole && (fs != CLzmaStream::kDone || memcmp(flat, whole, len) != 0)) __builtin_trap();
    FreeBuffer(flat);
  }
  FreeBuffer(whole);
  return 0;
}
