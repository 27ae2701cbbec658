#include "packageext.h"

#include <string.h>

#include "framework/cstring.h"

namespace {

// Eight tables of 256 entries: the checksum takes eight bytes a step. Built
// at the first use into zero-initialised memory (no bytes in the program
// file).
unsigned long crcTables[8][256];
bool crcReady = false;

void BuildCrcTables() {
  for (unsigned long n = 0; n < 256; n++) {
    unsigned long c = n;
    for (int k = 0; k < 8; k++) c = c & 1 ? 0xEDB88320UL ^ (c >> 1) : c >> 1;
    crcTables[0][n] = c;
  }
  for (unsigned long n = 0; n < 256; n++)
    for (int t = 1; t < 8; t++) crcTables[t][n] = (crcTables[t - 1][n] >> 8) ^ crcTables[0][crcTables[t - 1][n] & 0xFF];
  crcReady = true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;  // upper case is not the stored form
}

// Exactly 8 lower-case hex digits from p, ended by end (0 or a character).
bool ParseHex8(const char* p, unsigned long& value, const char** rest) {
  unsigned long v = 0;
  for (int i = 0; i < 8; i++) {
    int d = HexDigit(p[i]);
    if (d < 0) return false;
    v = (v << 4) | static_cast<unsigned long>(d);
  }
  value = v & 0xFFFFFFFFUL;
  *rest = p + 8;
  return true;
}

// "stored," or "lzma," at p: the method, and p moved past the comma.
int MethodAt(const char*& p) {
  if (strncmp(p, METHOD_STORED_WORD ",", 7) == 0) {
    p += 7;
    return kMethodStored;
  }
  if (strncmp(p, METHOD_LZMA_WORD ",", 5) == 0) {
    p += 5;
    return kMethodLzma;
  }
  return kMethodNone;
}

const char* MethodWord(int method) { return method == kMethodLzma ? METHOD_LZMA_WORD : METHOD_STORED_WORD; }

// Offsets and lengths a signed 64-bit count holds.
const unsigned long long kCountMax = 0x7FFFFFFFFFFFFFFFULL;

}  // namespace

bool ParseDecimal(const char* p, unsigned long long limit, unsigned long long& value, const char** rest) {
  unsigned long long v = 0;
  int n = 0;
  for (; p[n] >= '0' && p[n] <= '9'; n++) {
    if (n >= 19) return false;
    v = v * 10 + static_cast<unsigned>(p[n] - '0');
  }
  if (n == 0 || (n > 1 && p[0] == '0') || v > limit) return false;
  value = v;
  *rest = p + n;
  return true;
}

int FormatDecimal(char* out, unsigned long long value) {
  char rev[24];
  int n = 0;
  do {
    rev[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value);
  for (int i = 0; i < n; i++) out[i] = rev[n - 1 - i];
  out[n] = 0;
  return n;
}

unsigned long Crc32Update(unsigned long crc, const void* data, size_t length) {
  if (!crcReady) BuildCrcTables();
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

bool ParseRowExtension(const char* text, RowExtension& ext) {
  memset(&ext, 0, sizeof ext);
  if (!text[0]) return true;
  const char* p = text;
  int method = MethodAt(p);
  if (method == kMethodNone) return false;
  unsigned long long unpacked = 0;
  if (!ParseDecimal(p, kCountMax, unpacked, &p) || *p++ != ',') return false;
  unsigned long crc = 0;
  if (!ParseHex8(p, crc, &p)) return false;
  unsigned long long offset = 0, length = 0;
  bool wide = *p == ',';
  if (wide && !(ParseDecimal(p + 1, kCountMax, offset, &p) && *p == ',' && ParseDecimal(p + 1, kCountMax, length, &p)))
    return false;
  if (*p) return false;
  ext.Method = method;
  ext.Unpacked = unpacked;
  ext.Crc = crc;
  ext.Wide = wide;
  ext.Offset = static_cast<long long>(offset);
  ext.Length = static_cast<long long>(length);
  return true;
}

int FormatRowExtension(char* out, int size, int method, unsigned long long unpacked, unsigned long crc,
                       long long offset, long long length) {
  char digits[24], off[24], len[24];
  FormatDecimal(digits, unpacked);
  int n;
  if (offset < 0) {
    n = FormatText(out, static_cast<size_t>(size), "%s,%s,%08lx", MethodWord(method), digits, crc & 0xFFFFFFFFUL);
  } else {
    FormatDecimal(off, static_cast<unsigned long long>(offset));
    FormatDecimal(len, static_cast<unsigned long long>(length < 0 ? 0 : length));
    n = FormatText(out, static_cast<size_t>(size), "%s,%s,%08lx,%s,%s", MethodWord(method), digits,
                   crc & 0xFFFFFFFFUL, off, len);
  }
  return n < 0 || n >= size ? 0 : n;
}

bool WideRowAgrees(long long length32, long long offset32, const RowExtension& ext) {
  return length32 == (ext.Length <= SEED_NUMBER_MAX ? ext.Length : 0) &&
         offset32 == (ext.Offset <= SEED_NUMBER_MAX ? ext.Offset : 0);
}

bool ParseRegionRef(const char* text, RegionRef& ref) {
  memset(&ref, 0, sizeof ref);
  const char* p = text;
  unsigned long long offset = 0, length = 0, unpacked = 0;
  if (!ParseDecimal(p, kCountMax, offset, &p) || *p++ != ',') return false;
  if (!ParseDecimal(p, kCountMax, length, &p) || *p++ != ',') return false;
  int method = MethodAt(p);
  if (method == kMethodNone) return false;
  if (!ParseDecimal(p, kCountMax, unpacked, &p) || *p++ != ',') return false;
  unsigned long crc = 0;
  if (!ParseHex8(p, crc, &p) || *p) return false;
  ref.Offset = static_cast<long long>(offset);
  ref.Length = static_cast<long long>(length);
  ref.Method = method;
  ref.Unpacked = unpacked;
  ref.Crc = crc;
  return true;
}

int FormatRegionRef(char* out, int size, const RegionRef& ref) {
  char off[24], len[24], unpacked[24];
  FormatDecimal(off, static_cast<unsigned long long>(ref.Offset < 0 ? 0 : ref.Offset));
  FormatDecimal(len, static_cast<unsigned long long>(ref.Length < 0 ? 0 : ref.Length));
  FormatDecimal(unpacked, ref.Unpacked);
  int n = FormatText(out, static_cast<size_t>(size), "%s,%s,%s,%s,%08lx", off, len, MethodWord(ref.Method), unpacked,
                     ref.Crc & 0xFFFFFFFFUL);
  return n < 0 || n >= size ? 0 : n;
}

void ParseSeal(const char* tail, int count, PackageSeal& seal) {
  memset(&seal, 0, sizeof seal);
  // The same "&" ParseTrailer takes: the last one of the window.
  int amp = -1;
  for (int i = count - 1; i >= 0; i--)
    if (tail[i] == '&') {
      amp = i;
      break;
    }
  if (amp <= 0) return;
  // The trailer's own "." ends SEEK: the first "." after the ":" that follows
  // the first ",".
  const char* end = tail + count;
  const char* p = static_cast<const char*>(memchr(tail + amp, ',', static_cast<size_t>(end - tail - amp)));
  if (p) p = static_cast<const char*>(memchr(p, ':', static_cast<size_t>(end - p)));
  if (p) p = static_cast<const char*>(memchr(p, '.', static_cast<size_t>(end - p)));
  // Other text after the "." (blanks, say) is passed over as it always was;
  // text that starts like a seal must be one.
  if (!p || end - p - 1 < 3 || memcmp(p + 1, PACKAGE_TAG, 3) != 0) return;
  seal.Present = true;
  char text[TRAILER_SEAL_MAX + 1];
  size_t n = static_cast<size_t>(end - p - 1);
  if (n > TRAILER_SEAL_MAX) return;
  memcpy(text, p + 1, n);
  text[n] = 0;
  if (strlen(text) != n || strncmp(text, PACKAGE_TAG ":", 5) != 0) return;
  const char* q = text + 5;
  unsigned long long start = 0;
  if (!ParseDecimal(q, kCountMax, start, &q) || *q++ != ':') return;
  if (!ParseHex8(q, seal.PayloadCrc, &q) || *q++ != ':') return;
  if (!ParseHex8(q, seal.IndexCrc, &q) || *q) return;
  seal.PayloadStart = static_cast<long long>(start);
  seal.Valid = true;
}

int FormatSeal(char* out, int size, long long payloadStart, unsigned long payloadCrc, unsigned long indexCrc) {
  char start[24];
  FormatDecimal(start, static_cast<unsigned long long>(payloadStart < 0 ? 0 : payloadStart));
  int n = FormatText(out, static_cast<size_t>(size), PACKAGE_TAG ":%s:%08lx:%08lx", start,
                     payloadCrc & 0xFFFFFFFFUL, indexCrc & 0xFFFFFFFFUL);
  return n < 0 || n >= size ? 0 : n;
}
