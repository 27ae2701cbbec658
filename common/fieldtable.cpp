#include "fieldtable.h"

#include <string.h>

#include "framework/file.h"
#include "framework/memory.h"

CFieldTable::CFieldTable() : columnCount(1), columnIndex(-1), readPos(0) { field[0] = 0; }

CFieldTable::~CFieldTable() {}

int FieldEnding(int column, int columns, char* end) {
  if (column + 1 < columns) {
    end[0] = FIELD_END;
    return 1;
  }
  end[0] = ROW_END;
  end[1] = 0x0D;
  end[2] = 0x0A;
  return 3;
}

void CFieldTable::AddField(const char* value) {
  columnIndex++;
  text += value;
  char end[3];
  int n = FieldEnding(columnIndex, columnCount, end);
  text.Append(end, n);
  if (n == 3) columnIndex = -1;
}

const char* CFieldTable::NextField() {
  const char* t = text.c_str();
  int len = text.GetLength();
  int start = readPos < 0 ? 0 : readPos;
  for (int i = start; i < len; i++) {
    char c = t[i];
    if (c != FIELD_END && c != ROW_END) continue;
    int n = i - start;
    if (n > FIELD_BUFFER_SIZE - 1) n = FIELD_BUFFER_SIZE - 1;
    memcpy(field, t + start, static_cast<size_t>(n));
    field[n] = 0;
    readPos = c == FIELD_END ? i + 1 : i + 3;
    return field;
  }
  field[0] = 0;
  return field;
}

bool NextWholeField(CFieldTable& table, CString& out) {
  const char* t = table.text.c_str();
  int len = table.text.GetLength();
  int start = table.readPos < 0 ? 0 : table.readPos;
  for (int i = start; i < len; i++) {
    char c = t[i];
    if (c != FIELD_END && c != ROW_END) continue;
    out = CString(t + start, i - start);
    table.readPos = c == FIELD_END ? i + 1 : i + 3;
    return true;
  }
  out.Empty();
  return false;
}

void CFieldTable::LoadBytes(const char* bytes, int length, const char* key) {
  text.Empty();
  if (length <= 0) return;
  char* buf = static_cast<char*>(AllocBuffer(static_cast<size_t>(length) + 1));
  if (!buf) return;
  memcpy(buf, bytes, static_cast<size_t>(length));
  buf[length] = 0;
  if (key && key[0]) UnscrambleBuffer(reinterpret_cast<unsigned char*>(buf), length, key);
  text.Append(buf, static_cast<int>(strnlen(buf, static_cast<size_t>(length))));
  FreeBuffer(buf);
}

bool CFieldTable::LoadFile(const char* path, const char* key) {
  CFile f;
  if (!f.Open(path, CFile::modeRead | CFile::shareDenyNone)) return false;
  long long size = f.GetLength();
  // A table is a few kilobytes; anything near 2 GiB is not one of ours.
  if (size < 0 || size > 0x7FFFFFF0LL) return false;
  int length = static_cast<int>(size);
  char* buf = static_cast<char*>(AllocBuffer(static_cast<size_t>(length) + 1));
  if (!buf) return false;
  unsigned got = f.ReadAll(buf, static_cast<unsigned>(length));
  f.Close();
  if (got != static_cast<unsigned>(length)) {
    FreeBuffer(buf);
    return false;
  }
  buf[length] = 0;
  if (key && key[0]) UnscrambleBuffer(reinterpret_cast<unsigned char*>(buf), length, key);
  text.Empty();
  text.Append(buf, static_cast<int>(strnlen(buf, static_cast<size_t>(length))));
  FreeBuffer(buf);
  return true;
}

char* CFieldTable::ExportText(int& length) const {
  length = text.GetLength();
  char* copy = static_cast<char*>(AllocBuffer(static_cast<size_t>(length) + 1));
  if (!copy) return 0;
  memcpy(copy, text.c_str(), static_cast<size_t>(length) + 1);
  return copy;
}

// The 8 key bytes: an empty key is "kelvorin", a short one is padded with spaces.
static void PrepareKey(const char* key, unsigned char k[8]) {
  if (!key || !key[0]) key = "kelvorin";
  size_t n = strlen(key);
  for (size_t i = 0; i < 8; i++) k[i] = i < n ? static_cast<unsigned char>(key[i]) : ' ';
}

// XOR with all eight key bytes, starting at position i mod 8.
static unsigned char MixKey(unsigned char b, int i, const unsigned char k[8]) {
  int p = i % 8;
  for (int j = 0; j < 8; j++) {
    b ^= k[p];
    p = (p + 1) % 8;
  }
  return b;
}

void ScrambleBuffer(unsigned char* buffer, int length, const char* key) {
  unsigned char k[8];
  PrepareKey(key, k);
  // All eight key bytes from any start are the same eight: one mix serves
  // every position (the builder scrambles indexes of many thousand rows).
  unsigned char mix = MixKey(0, 0, k);
  for (int i = 0; i < length; i++) buffer[i] = static_cast<unsigned char>(-(buffer[i] ^ mix));
}

void UnscrambleBuffer(unsigned char* buffer, int length, const char* key) {
  unsigned char k[8];
  PrepareKey(key, k);
  for (int i = 0; i < length; i++)
    buffer[i] = MixKey(static_cast<unsigned char>(-buffer[i]), i, k);
}

long long ParseLongLong(const char* text) {
  const char* p = text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) p++;
  bool neg = false;
  if (*p == '+' || *p == '-') neg = *p++ == '-';
  // Held at the ends of the range: 2^63 stands for anything larger.
  const unsigned long long kLimit = 0x8000000000000000ULL;
  unsigned long long v = 0;
  for (; *p >= '0' && *p <= '9'; p++) {
    unsigned d = static_cast<unsigned>(*p - '0');
    v = v > (kLimit - d) / 10 ? kLimit : v * 10 + d;
  }
  if (neg) return v == kLimit ? -0x7FFFFFFFFFFFFFFFLL - 1 : -static_cast<long long>(v);
  return v >= kLimit ? 0x7FFFFFFFFFFFFFFFLL : static_cast<long long>(v);
}

LONG ParseLong(const char* text) {
  long long v = ParseLongLong(text);
  if (v > 0x7FFFFFFFLL) v = 0x7FFFFFFFLL;
  if (v < -0x80000000LL) v = -0x80000000LL;
  return static_cast<LONG>(v);
}
