#include "packageext.h"

#include <string.h>

#include "framework/cstring.h"

namespace {

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

// Offsets, lengths and counts a signed 64-bit number holds.
const unsigned long long kCountMax = 0x7FFFFFFFFFFFFFFFULL;

// "stored," or "lzma," (for a region also with "+x86" before the comma;
// for a row also "solid,") at p: the method and filter, p moved past the
// comma. kMethodNone for anything else.
int MethodAt(const char*& p, bool region, int* filter) {
  struct {
    const char* word;
    int method;
  } const methods[] = {{METHOD_STORED_WORD, kMethodStored}, {METHOD_LZMA_WORD, kMethodLzma}, {METHOD_SOLID_WORD, kMethodSolid}};
  for (const auto& m : methods) {
    size_t n = strlen(m.word);
    if (strncmp(p, m.word, n) != 0 || (region && m.method == kMethodSolid)) continue;
    const char* q = p + n;
    int f = kFilterNone;
    if (region && *q == '+' && strncmp(q + 1, FILTER_X86_WORD ",", 4) == 0) {
      f = kFilterX86;
      q += 4;
    }
    if (*q != ',') continue;
    if (filter) *filter = f;
    p = q + 1;
    return m.method;
  }
  return kMethodNone;
}

const char* MethodWord(int method) {
  return method == kMethodLzma ? METHOD_LZMA_WORD : method == kMethodSolid ? METHOD_SOLID_WORD : METHOD_STORED_WORD;
}

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
  // By hand: the programs' runtime formats 32-bit numbers only.
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

bool ParseRowExtension(const char* text, RowExtension& ext) {
  memset(&ext, 0, sizeof ext);
  if (!text[0]) return true;
  const char* p = text;
  int method = MethodAt(p, false, 0);
  if (method == kMethodNone) return false;
  unsigned long long unpacked = 0;
  if (!ParseDecimal(p, kCountMax, unpacked, &p) || *p++ != ',') return false;
  unsigned long crc = 0;
  if (!ParseHex8(p, crc, &p)) return false;
  unsigned long long first = 0, second = 0;
  // A solid row names where its bytes start: its block (from 1) and the
  // offset in that block's unpacked bytes; another row may give its region
  // in 64 bits.
  bool more = *p == ',';
  if (method == kMethodSolid && !more) return false;
  if (more && !(ParseDecimal(p + 1, kCountMax, first, &p) && *p == ',' && ParseDecimal(p + 1, kCountMax, second, &p)))
    return false;
  if (method == kMethodSolid && first == 0) return false;
  // A solid row's program code through the x86 filter: ",x86:<from>:<length>".
  unsigned long long filterFrom = 0, filterLength = 0;
  if (method == kMethodSolid && strncmp(p, "," FILTER_X86_WORD ":", 5) == 0) {
    if (!(ParseDecimal(p + 5, kCountMax, filterFrom, &p) && *p == ':' &&
          ParseDecimal(p + 1, kCountMax, filterLength, &p)))
      return false;
    if (filterLength == 0 || filterFrom > unpacked || filterLength > unpacked - filterFrom) return false;
    ext.Filter = kFilterX86;
    ext.FilterFrom = static_cast<long long>(filterFrom);
    ext.FilterLength = static_cast<long long>(filterLength);
  }
  if (*p) return false;
  ext.Method = method;
  ext.Unpacked = unpacked;
  ext.Crc = crc;
  if (method == kMethodSolid) {
    ext.Block = static_cast<long long>(first);
    ext.BlockOffset = static_cast<long long>(second);
  } else {
    ext.Wide = more;
    ext.Offset = static_cast<long long>(first);
    ext.Length = static_cast<long long>(second);
  }
  return true;
}

int FormatRowExtension(char* out, int size, int method, unsigned long long unpacked, unsigned long crc,
                       long long first, long long second, long long filterFrom, long long filterLength) {
  char digits[24], a[24], b[24], c[24], d[24];
  FormatDecimal(digits, unpacked);
  int n;
  if (method == kMethodSolid && filterLength > 0) {
    FormatDecimal(a, static_cast<unsigned long long>(first < 0 ? 0 : first));
    FormatDecimal(b, static_cast<unsigned long long>(second < 0 ? 0 : second));
    FormatDecimal(c, static_cast<unsigned long long>(filterFrom < 0 ? 0 : filterFrom));
    FormatDecimal(d, static_cast<unsigned long long>(filterLength));
    n = FormatText(out, static_cast<size_t>(size), "%s,%s,%08lx,%s,%s,%s:%s:%s", MethodWord(method), digits,
                   crc & 0xFFFFFFFFUL, a, b, FILTER_X86_WORD, c, d);
  } else if (method == kMethodSolid || first >= 0) {
    FormatDecimal(a, static_cast<unsigned long long>(first < 0 ? 0 : first));
    FormatDecimal(b, static_cast<unsigned long long>(second < 0 ? 0 : second));
    n = FormatText(out, static_cast<size_t>(size), "%s,%s,%08lx,%s,%s", MethodWord(method), digits,
                   crc & 0xFFFFFFFFUL, a, b);
  } else {
    n = FormatText(out, static_cast<size_t>(size), "%s,%s,%08lx", MethodWord(method), digits, crc & 0xFFFFFFFFUL);
  }
  return n < 0 || n >= size ? 0 : n;
}

bool RowFilterPart(long long filterFrom, long long filterLength, long long at, long long size, long long& from,
                   long long& length, long long& position) {
  long long start = at > filterFrom ? at : filterFrom;
  long long end = at + size < filterFrom + filterLength ? at + size : filterFrom + filterLength;
  if (filterLength <= 0 || start >= end) return false;
  from = start;
  length = end - start;
  position = start - filterFrom;
  return true;
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
  int filter = kFilterNone;
  int method = MethodAt(p, true, &filter);
  if (method == kMethodNone) return false;
  if (!ParseDecimal(p, kCountMax, unpacked, &p) || *p++ != ',') return false;
  unsigned long crc = 0;
  if (!ParseHex8(p, crc, &p) || *p) return false;
  ref.Offset = static_cast<long long>(offset);
  ref.Length = static_cast<long long>(length);
  ref.Method = method;
  ref.Filter = filter;
  ref.Unpacked = unpacked;
  ref.Crc = crc;
  return true;
}

int FormatRegionRef(char* out, int size, const RegionRef& ref) {
  char off[24], len[24], unpacked[24];
  FormatDecimal(off, static_cast<unsigned long long>(ref.Offset < 0 ? 0 : ref.Offset));
  FormatDecimal(len, static_cast<unsigned long long>(ref.Length < 0 ? 0 : ref.Length));
  FormatDecimal(unpacked, ref.Unpacked);
  int n = FormatText(out, static_cast<size_t>(size), "%s,%s,%s%s,%s,%08lx", off, len, MethodWord(ref.Method),
                     ref.Filter == kFilterX86 ? "+" FILTER_X86_WORD : "", unpacked, ref.Crc & 0xFFFFFFFFUL);
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
  // text that starts like a seal must be one. A seal's start after the "&"
  // but not after the trailer's "." is a seal whose trailer was cut (the
  // last "&" then a byte before it, and the lenient trailer's numbers
  // anything): no trailer at all.
  if (!p || end - p - 1 < 3 || memcmp(p + 1, PACKAGE_TAG, 3) != 0) {
    static const char kSealStart[] = "." PACKAGE_TAG ":";
    for (const char* q = tail + amp; !seal.Misplaced && end - q >= static_cast<int>(sizeof kSealStart) - 1; q++)
      seal.Misplaced = memcmp(q, kSealStart, sizeof kSealStart - 1) == 0;
    return;
  }
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
  if (!ParseHex8(q, seal.IndexCrc, &q)) return;
  // A packed index: its method and the size it unpacks to.
  if (*q == ':') {
    q++;
    unsigned long long unpacked = 0;
    if (MethodAt(q, false, 0) != kMethodLzma || !ParseDecimal(q, PACKED_INDEX_MAX, unpacked, &q) || unpacked == 0)
      return;
    seal.IndexMethod = kMethodLzma;
    seal.IndexUnpacked = static_cast<long long>(unpacked);
  }
  if (*q) return;
  seal.PayloadStart = static_cast<long long>(start);
  seal.Valid = true;
}

int FormatSeal(char* out, int size, long long payloadStart, unsigned long payloadCrc, unsigned long indexCrc,
               long long indexUnpacked) {
  char start[24], unpacked[32] = "";
  FormatDecimal(start, static_cast<unsigned long long>(payloadStart < 0 ? 0 : payloadStart));
  if (indexUnpacked > 0) {
    memcpy(unpacked, ":" METHOD_LZMA_WORD ",", 6);
    FormatDecimal(unpacked + 6, static_cast<unsigned long long>(indexUnpacked));
  }
  int n = FormatText(out, static_cast<size_t>(size), PACKAGE_TAG ":%s:%08lx:%08lx%s", start,
                     payloadCrc & 0xFFFFFFFFUL, indexCrc & 0xFFFFFFFFUL, unpacked);
  return n < 0 || n >= size ? 0 : n;
}
