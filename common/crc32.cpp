// The CRC-32 of the package extension (declared in packageext.h): compiled
// for speed, apart from the rest of the format code, which is compiled for
// size.
#include <stddef.h>

#include "packageext.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace {

// Eight tables of 256 entries: the checksum takes eight bytes a step. Built
// at the first use into zero-initialised memory (no bytes in the program
// file), by the first thread that asks; a thread asking meanwhile waits the
// few microseconds it takes.
unsigned long crcTables[8][256];
enum { kTablesNone, kTablesBuilding, kTablesReady };
int crcState = kTablesNone;
bool crcFolds = false;

bool ProcessorFolds();

void BuildCrcTables() {
  for (unsigned long n = 0; n < 256; n++) {
    unsigned long c = n;
    for (int k = 0; k < 8; k++) c = c & 1 ? 0xEDB88320UL ^ (c >> 1) : c >> 1;
    crcTables[0][n] = c;
  }
  for (unsigned long n = 0; n < 256; n++)
    for (int t = 1; t < 8; t++) crcTables[t][n] = (crcTables[t - 1][n] >> 8) ^ crcTables[0][crcTables[t - 1][n] & 0xFF];
  crcFolds = ProcessorFolds();
}

// The tables, built once whichever threads ask first.
inline void EnsureCrcTables() {
  if (__atomic_load_n(&crcState, __ATOMIC_ACQUIRE) == kTablesReady) return;
  int none = kTablesNone;
  if (__atomic_compare_exchange_n(&crcState, &none, kTablesBuilding, false, __ATOMIC_ACQUIRE, __ATOMIC_ACQUIRE)) {
    BuildCrcTables();
    __atomic_store_n(&crcState, kTablesReady, __ATOMIC_RELEASE);
    return;
  }
  while (__atomic_load_n(&crcState, __ATOMIC_ACQUIRE) != kTablesReady) {
  }
}

#if defined(__i386__) || defined(__x86_64__)
// Folding with carry-less multiplication (the method of Gopal et al., "Fast
// CRC Computation for Generic Polynomials Using PCLMULQDQ Instruction",
// Intel, 2009, for the bit-reflected polynomial): the data is taken 64 bytes
// a step into four 128-bit lanes, each lane moved 512 bits on by multiplying
// its two halves with x^544 and x^480 mod P; then the lanes are folded into
// one (by 128 bits: x^160 and x^96), and the last 128 bits reduced to 32 (by
// x^64, then Barrett's reduction with floor(x^64 / P)). The constants are
// those powers of x mod P, bit-reflected and shifted left by one, which the
// reflected multiplication needs.
const unsigned long long kFold512Low = 0x154442BD4ULL;   // x^(4*128+32) mod P
const unsigned long long kFold512High = 0x1C6E41596ULL;  // x^(4*128-32) mod P
const unsigned long long kFold128Low = 0x1751997D0ULL;   // x^(128+32) mod P
const unsigned long long kFold128High = 0x0CCAA009EULL;  // x^(128-32) mod P
const unsigned long long kFold64 = 0x163CD6124ULL;       // x^64 mod P
const unsigned long long kBarrettMu = 0x1F7011641ULL;    // floor(x^64 / P), reflected
const unsigned long long kPolynomial = 0x1DB710641ULL;   // P, reflected

bool ProcessorFolds() {
  unsigned a, b, c, d;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
  return (c & bit_PCLMUL) && (d & bit_SSE2);
}

// Folds length bytes (a multiple of 16, at least 64) into the checksum crc.
// Compiled for processors with the instruction; only called on them.
__attribute__((target("pclmul,sse2"), force_align_arg_pointer)) unsigned long Crc32Fold(unsigned long crc,
                                                                                        const unsigned char* p,
                                                                                        size_t length) {
  const __m128i* in = reinterpret_cast<const __m128i*>(p);
  __m128i x0 = _mm_loadu_si128(in), x1 = _mm_loadu_si128(in + 1);
  __m128i x2 = _mm_loadu_si128(in + 2), x3 = _mm_loadu_si128(in + 3);
  x0 = _mm_xor_si128(x0, _mm_cvtsi32_si128(static_cast<int>(~crc)));
  in += 4;
  length -= 64;
  const __m128i k512 = _mm_set_epi64x(static_cast<long long>(kFold512High), static_cast<long long>(kFold512Low));
  for (; length >= 64; length -= 64, in += 4) {
#define FOLD_LANE(x, k, next) \
  x = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next)
    FOLD_LANE(x0, k512, _mm_loadu_si128(in));
    FOLD_LANE(x1, k512, _mm_loadu_si128(in + 1));
    FOLD_LANE(x2, k512, _mm_loadu_si128(in + 2));
    FOLD_LANE(x3, k512, _mm_loadu_si128(in + 3));
  }
  const __m128i k128 = _mm_set_epi64x(static_cast<long long>(kFold128High), static_cast<long long>(kFold128Low));
  FOLD_LANE(x0, k128, x1);
  FOLD_LANE(x0, k128, x2);
  FOLD_LANE(x0, k128, x3);
  for (; length >= 16; length -= 16, in++) FOLD_LANE(x0, k128, _mm_loadu_si128(in));
#undef FOLD_LANE
  // 128 bits to 96: the low half (the higher powers) times x^96 mod P.
  __m128i t = _mm_xor_si128(_mm_clmulepi64_si128(x0, k128, 0x10), _mm_srli_si128(x0, 8));
  // 96 bits to 64.
  const __m128i low32 = _mm_set_epi32(0, 0, 0, -1);
  const __m128i k64 = _mm_set_epi64x(0, static_cast<long long>(kFold64));
  t = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(t, low32), k64, 0x00), _mm_srli_si128(t, 4));
  // 64 bits to 32: the quotient by P from its top bits, then the remainder.
  const __m128i barrett = _mm_set_epi64x(static_cast<long long>(kPolynomial), static_cast<long long>(kBarrettMu));
  __m128i q = _mm_and_si128(_mm_clmulepi64_si128(_mm_and_si128(t, low32), barrett, 0x00), low32);
  __m128i r = _mm_xor_si128(_mm_clmulepi64_si128(q, barrett, 0x10), t);
  return ~static_cast<unsigned long>(static_cast<unsigned>(_mm_cvtsi128_si32(_mm_srli_si128(r, 4)))) & 0xFFFFFFFFUL;
}
#else
bool ProcessorFolds() { return false; }
unsigned long Crc32Fold(unsigned long crc, const unsigned char*, size_t) { return crc; }
#endif

}  // namespace

unsigned long Crc32UpdateTables(unsigned long crc, const void* data, size_t length) {
  EnsureCrcTables();
  const unsigned char* p = static_cast<const unsigned char*>(data);
  unsigned long c = ~crc & 0xFFFFFFFFUL;
  for (; length && (reinterpret_cast<size_t>(p) & 3); length--) c = crcTables[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
  for (; length >= 8; length -= 8, p += 8) {
    unsigned long a = c ^ (p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<unsigned long>(p[3]) << 24));
    unsigned long b = p[4] | (p[5] << 8) | (p[6] << 16) | (static_cast<unsigned long>(p[7]) << 24);
    c = crcTables[7][a & 0xFF] ^ crcTables[6][(a >> 8) & 0xFF] ^ crcTables[5][(a >> 16) & 0xFF] ^
        crcTables[4][(a >> 24) & 0xFF] ^ crcTables[3][b & 0xFF] ^ crcTables[2][(b >> 8) & 0xFF] ^
        crcTables[1][(b >> 16) & 0xFF] ^ crcTables[0][(b >> 24) & 0xFF];
  }
  for (; length; length--) c = crcTables[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
  return ~c & 0xFFFFFFFFUL;
}

unsigned long Crc32Update(unsigned long crc, const void* data, size_t length) {
  EnsureCrcTables();
  if (!crcFolds || length < 64) return Crc32UpdateTables(crc, data, length);
  size_t folded = length & ~static_cast<size_t>(15);
  crc = Crc32Fold(crc, static_cast<const unsigned char*>(data), folded);
  return Crc32UpdateTables(crc, static_cast<const unsigned char*>(data) + folded, length - folded);
}

bool Crc32Folds() {
  EnsureCrcTables();
  return crcFolds;
}

