#include "container.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "fieldtable.h"
#include "framework/file.h"
#include "framework/memory.h"
#include "packageindex.h"

bool ParseTrailer(const char* tail, int count, long long& len, long long& seek) {
  // Backwards from the last byte to the nearest "&"; one at the very first byte
  // of the window does not count.
  int amp = -1;
  for (int i = count - 1; i >= 0; i--) {
    if (tail[i] == '&') {
      amp = i;
      break;
    }
  }
  if (amp <= 0) return false;
  char text[TRAILER_WINDOW + 1];
  int n = count - amp - 1;
  memcpy(text, tail + amp + 1, static_cast<size_t>(n));
  text[n] = 0;
  // LEN: between the first ":" and the first ","; SEEK: between the first ":"
  // after that "," and the first "." after it.
  len = 0;
  seek = 0;
  char* colon = strchr(text, ':');
  char* comma = strchr(text, ',');
  if (colon && (!comma || colon < comma)) {
    if (comma) *comma = 0;
    len = ParseLongLong(colon + 1);
  }
  if (comma) {
    char* colon2 = strchr(comma + 1, ':');
    if (colon2) {
      char* dot = strchr(colon2 + 1, '.');
      if (dot) *dot = 0;
      seek = ParseLongLong(colon2 + 1);
    }
  }
  return true;
}

static unsigned ReadLe32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<unsigned>(p[3]) << 24);
}

long long CertificateTableStart(const unsigned char* head, int count, long long fileSize) {
  if (count < 64 || head[0] != 'M' || head[1] != 'Z') return 0;
  unsigned pe = ReadLe32(head + 0x3C);
  // Signature, file header (20 bytes), then the optional header's magic.
  if (pe > static_cast<unsigned>(count) - 26 || memcmp(head + pe, "PE\0\0", 4) != 0) return 0;
  unsigned opt = pe + 24;
  unsigned magic = head[opt] | (head[opt + 1] << 8);
  unsigned dirs;  // offset of the data directories in the optional header
  if (magic == 0x10B) dirs = 96;
  else if (magic == 0x20B) dirs = 112;
  else return 0;
  // The security directory is the fifth; its address is a file offset.
  unsigned entry = opt + dirs + 4 * 8;
  if (entry > static_cast<unsigned>(count) - 8) return 0;
  unsigned numberOfDirs = ReadLe32(head + opt + dirs - 4);
  if (numberOfDirs < 5) return 0;
  unsigned offset = ReadLe32(head + entry), size = ReadLe32(head + entry + 4);
  if (offset == 0 && size == 0) return 0;
  // A table holds at least one 8-byte certificate header, starts 8-byte
  // aligned after the headers and is the very end of the file.
  if (size < 8 || offset % 8 != 0 || offset < entry + 8) return -1;
  if (static_cast<long long>(offset) + size != fileSize) return -1;
  return offset;
}

bool ReadTrailerWindow(const char* path, char* tail, int& count, long long& end, bool& signedFile) {
  CFile f;
  if (!f.Open(path, CFile::modeRead | CFile::shareDenyNone)) return false;
  long long size = f.GetLength();
  if (size <= 0) return false;
  unsigned char head[PE_HEAD_BYTES];
  int headCount = static_cast<int>(f.ReadAll(head, sizeof head));
  end = CertificateTableStart(head, headCount, size);
  if (end < 0) return false;
  signedFile = end > 0;
  if (!signedFile) end = size;
  // A signed file may have up to 7 zero bytes of padding before its table.
  const int pad = signedFile ? 7 : 0;
  char window[TRAILER_WINDOW + 7];
  long long want = TRAILER_WINDOW + pad;
  long long from = end > want ? end - want : 0;
  if (f.Seek(from, CFile::begin) != from) return false;
  int got = static_cast<int>(f.ReadAll(window, static_cast<unsigned>(end - from)));
  f.Close();
  if (got != end - from) return false;
  for (int i = 0; i < pad && got > 0 && window[got - 1] == 0; i++) got--;
  count = got > TRAILER_WINDOW ? TRAILER_WINDOW : got;
  memcpy(tail, window + got - count, static_cast<size_t>(count));
  return true;
}

bool ReadPackageTrailer(const char* path, long long& len, long long& seek, PackageSeal& seal) {
  memset(&seal, 0, sizeof seal);
  char tail[TRAILER_WINDOW];
  int count = 0;
  long long end = 0;
  bool signedFile = false;
  if (!ReadTrailerWindow(path, tail, count, end, signedFile)) return false;
  if (!ParseTrailer(tail, count, len, seek)) return false;
  // The index of a signed file must lie before its trailer, not in the table.
  if (signedFile && (len < 0 || seek < 0 || seek > end || len > end - seek)) return false;
  ParseSeal(tail, count, seal);
  return !seal.Misplaced;
}

bool ReadTrailer(const char* path, long long& len, long long& seek) {
  PackageSeal seal;
  return ReadPackageTrailer(path, len, seek, seal);
}

int FormatTrailer(char* out, int size, long long len, long long seek) {
  if (size <= 0) return 0;
  // "&LEN:%d,SEEK:%d." with numbers of any size.
  char l[24], s[24];
  l[0] = '-';
  s[0] = '-';
  FormatDecimal(l + (len < 0), len < 0 ? 0 - static_cast<unsigned long long>(len) : static_cast<unsigned long long>(len));
  FormatDecimal(s + (seek < 0),
                seek < 0 ? 0 - static_cast<unsigned long long>(seek) : static_cast<unsigned long long>(seek));
  int n = FormatText(out, static_cast<size_t>(size), "&LEN:%s,SEEK:%s.", l, s);
  return n < 0 || n >= size ? 0 : n;
}

// Opens source and checks that [start, start + length) lies inside it; length -1
// becomes the rest of the file.
static bool OpenRegion(CFile& f, const char* source, long long start, long& length) {
  if (!f.Open(source, CFile::modeRead | CFile::shareDenyNone)) return false;
  long long size = f.GetLength();
  if (size < 0 || start < 0 || start > size) return false;
  if (length == -1) {
    long long rest = size - start;
    if (rest > 0x7FFFFFFFLL) return false;
    length = static_cast<long>(rest);
  }
  // Against what is left of the file: a start and length near the largest
  // numbers must not wrap around into a region that seems to fit.
  if (length < 0 || length > size - start) return false;
  return f.Seek(start, CFile::begin) == start;
}

bool ExtractRegion(const char* dest, const char* source, long long start, long length) {
  CFile in;
  if (!OpenRegion(in, source, start, length)) return false;
  CFile out;
  if (!out.Open(dest, CFile::modeCreate | CFile::modeWrite)) return false;
  char* chunk = static_cast<char*>(AllocBuffer(kCopyChunk));
  bool ok = chunk != 0;
  long remaining = length;
  while (ok && remaining > 0) {
    unsigned want = remaining < kCopyChunk ? static_cast<unsigned>(remaining) : kCopyChunk;
    unsigned got = in.Read(chunk, want);
    if (got == 0) ok = false;  // the source ended or failed early
    else if (!out.Write(chunk, got)) ok = false;
    remaining -= static_cast<long>(got);
  }
  FreeBuffer(chunk);
  in.Close();
  if (!out.Close()) ok = false;
  if (!ok) RemoveFile(dest);
  return ok;
}

char* ReadRegion(const char* source, long& length, long long start) {
  CFile f;
  long want = length;
  if (!OpenRegion(f, source, start, want)) return 0;
  char* buf = static_cast<char*>(AllocBuffer(static_cast<size_t>(want) + 1));
  if (!buf) return 0;
  if (f.ReadAll(buf, static_cast<unsigned>(want)) != static_cast<unsigned>(want)) {
    FreeBuffer(buf);
    return 0;
  }
  length = want;
  return buf;
}

CStoredTable::CStoredTable() : m_bytes(0), m_length(0) {
  Where.Offset = Where.Length = 0;
  memset(&Seal, 0, sizeof Seal);
}

CStoredTable::~CStoredTable() { FreeBuffer(m_bytes); }

bool CStoredTable::Read(const char* path, long long limit) {
  FreeBuffer(m_bytes);
  m_bytes = 0;
  m_length = 0;
  long long len = 0, seek = 0;
  if (!ReadPackageTrailer(path, len, seek, Seal)) return false;
  Where.Offset = seek;
  Where.Length = len;
  if (len > limit || len > 0x7FFFFFFFLL || len < -1) return true;
  long n = static_cast<long>(len);
  m_bytes = ReadRegion(path, n, seek);
  if (m_bytes) m_length = n;
  return true;
}

void CStoredTable::Load(CFieldTable& table) const { table.LoadBytes(m_bytes, static_cast<int>(m_length), TABLE_KEY); }

void RemoveIndexCopy(const char* path) {
  if (!path || !path[0] || GetAttributes(path) == INVALID_FILE_ATTRIBUTES) return;
  SetAttributesNormal(path);
  RemoveFile(path);
}

#ifdef _WIN32
const void* GetResourceBytes(WORD id, const char* type, DWORD& size) {
  size = 0;
  HMODULE module = GetModuleHandleA(NULL);
  HRSRC res = FindResourceA(module, MAKEINTRESOURCEA(id), type);
  if (!res) return 0;
  HGLOBAL h = LoadResource(module, res);
  if (!h) return 0;
  size = SizeofResource(module, res);
  return LockResource(h);
}
#endif

// Reads one region of the setup file for the uninstaller; its offset and
// length in the uninstaller go to newOffset and newLength (running: the
// uninstaller's length so far). A region that cannot be read is absent
// (length 0, null): a missing picture or icon must not cost the user the
// uninstaller.
static char* ReadPart(const char* modulePath, long length, long offset, long long& running, long& newLength,
                      long& newOffset) {
  newOffset = static_cast<long>(running);
  newLength = 0;
  if (length <= 0) return 0;
  long n = length;
  char* bytes = ReadRegion(modulePath, n, offset);
  if (!bytes) return 0;
  newLength = n;
  running += n;
  return bytes;
}

UninstallerSource UninstallerSourceOf(const PackageSettings& settings, const void* program, DWORD programSize,
                                      const char* modulePath, const char* installDir) {
  UninstallerSource src = UninstallerSource();
  src.program = program;
  src.programSize = programSize;
  src.modulePath = modulePath;
  src.productName = settings.ProductName;
  src.pictureLength = settings.PictureLength;
  src.pictureOffset = settings.PictureOffset;
  src.iconLength = settings.IconLength;
  src.iconOffset = settings.IconOffset;
  for (int i = 0; i < REG_ENTRY_MAX; i++) {
    src.regKeys[i] = settings.RegKeys[i];
    src.regValues[i] = settings.RegValues[i];
  }
  src.installDir = installDir;
  src.language = settings.Language;
  src.userScope = settings.UserScope();
  return src;
}

namespace {

const char* OrEmpty(const char* text) { return text ? text : ""; }

// The table's extension after its ninth field: the tag, then a row of key
// and value for each setting the uninstaller reads: ui.language,
// install.scope, and each registry entry past the first two of its kind.
// Nothing when there is none, so that such a table stays nine fields.
void AddTableExtension(CFieldTable& table, const UninstallerSource& src) {
  bool any = OrEmpty(src.language)[0] != 0 || src.userScope;
  for (int i = 2; i < REG_ENTRY_MAX && !any; i++) any = OrEmpty(src.regKeys[i])[0] || OrEmpty(src.regValues[i])[0];
  if (!any) return;
  // The ninth field began a row; the tag ends it, each pair is a row.
  table.columnCount = 2;
  table.AddField(UNINSTALL_TABLE_TAG);
  if (OrEmpty(src.language)[0]) {
    table.AddField(SETTING_UI_LANGUAGE);
    table.AddField(src.language);
  }
  if (src.userScope) {
    table.AddField(SETTING_INSTALL_SCOPE);
    table.AddField(SCOPE_USER_WORD);
  }
  const struct {
    const char* prefix;
    const char* const* entries;
  } lists[] = {{SETTING_UNINSTALL_KEY, src.regKeys}, {SETTING_UNINSTALL_VALUE, src.regValues}};
  for (const auto& list : lists) {
    for (int i = 2; i < REG_ENTRY_MAX; i++) {
      if (!OrEmpty(list.entries[i])[0]) continue;
      char key[40];
      FormatText(key, sizeof key, "%s%d", list.prefix, i + 1);
      table.AddField(key);
      table.AddField(list.entries[i]);
    }
  }
}

}  // namespace

char* AssembleUninstaller(const UninstallerSource& src, long& size) {
  size = 0;
  if (!src.program || src.programSize == 0 || src.programSize >= 0x7FFFFFFF) return 0;
  long long running = src.programSize;
  long picLen = 0, picOff = 0, iconLen = 0, iconOff = 0;
  char* picture = ReadPart(src.modulePath, src.pictureLength, src.pictureOffset, running, picLen, picOff);
  char* icon = ReadPart(src.modulePath, src.iconLength, src.iconOffset, running, iconLen, iconOff);

  CFieldTable table;
  table.columnCount = UNINSTALLER_COLUMNS;
  char num[16];
  table.AddField(src.productName);
  FormatText(num, sizeof num, "%d", static_cast<int>(picLen)); table.AddField(num);
  FormatText(num, sizeof num, "%d", static_cast<int>(picOff)); table.AddField(num);
  FormatText(num, sizeof num, "%d", static_cast<int>(iconLen)); table.AddField(num);
  FormatText(num, sizeof num, "%d", static_cast<int>(iconOff)); table.AddField(num);
  table.AddField(OrEmpty(src.regKeys[0]));
  table.AddField(OrEmpty(src.regKeys[1]));
  table.AddField(OrEmpty(src.regValues[0]));
  table.AddField(OrEmpty(src.regValues[1]));
  AddTableExtension(table, src);
  int len = 0;
  char* text = table.ExportText(len);
  char trailer[64];
  int tn = FormatTrailer(trailer, sizeof trailer, len, static_cast<long>(running));

  char* image = 0;
  long long total = running + len + tn;
  if (text && tn > 0 && total < 0x7FFFFFFF) image = static_cast<char*>(AllocBuffer(static_cast<size_t>(total)));
  if (image) {
    // Program, picture, icon, the scrambled table and the trailer.
    char* p = image;
    memcpy(p, src.program, src.programSize);
    p += src.programSize;
    if (picture) memcpy(p, picture, static_cast<size_t>(picLen));
    p += picLen;
    if (icon) memcpy(p, icon, static_cast<size_t>(iconLen));
    p += iconLen;
    ScrambleBuffer(reinterpret_cast<unsigned char*>(text), len, TABLE_KEY);
    memcpy(p, text, static_cast<size_t>(len));
    memcpy(p + len, trailer, static_cast<size_t>(tn));
    size = static_cast<long>(total);
  }
  FreeBuffer(picture);
  FreeBuffer(icon);
  FreeBuffer(text);
  return image;
}

bool WriteUninstallerFile(const char* installDir, const void* image, long size) {
  CString target(installDir);
  target += UNINSTALLER_NAME;
  if (GetAttributes(target) != INVALID_FILE_ATTRIBUTES) SetAttributesNormal(target);
  CFile out;
  if (!out.Open(target, CFile::modeCreate | CFile::modeWrite)) return false;
  bool ok = image != 0 && size > 0 && out.Write(image, static_cast<unsigned>(size));
  if (!out.Close()) ok = false;
  if (!ok) RemoveFile(target);
  return ok;
}

bool WriteUninstaller(const UninstallerSource& src) {
  long size = 0;
  char* image = AssembleUninstaller(src, size);
  bool ok = WriteUninstallerFile(src.installDir, image, size);
  FreeBuffer(image);
  return ok;
}

UninstallTable::UninstallTable() : PictureLength(0), PictureOffset(0), IconLength(0), IconOffset(0) {}

void ParseUninstallTable(CFieldTable& t, UninstallTable& s) {
  s.ProductName = t.NextField();
  s.PictureLength = ParseLong(t.NextField());
  s.PictureOffset = ParseLong(t.NextField());
  s.IconLength = ParseLong(t.NextField());
  s.IconOffset = ParseLong(t.NextField());
  s.RegKeys[0] = t.NextField();
  s.RegKeys[1] = t.NextField();
  s.RegValues[0] = t.NextField();
  s.RegValues[1] = t.NextField();
  if (strcmp(t.NextField(), UNINSTALL_TABLE_TAG) != 0) return;
  CString key, value;
  char text[SETTING_VALUE_LIMIT + 1];
  while (NextSetting(t, key, value)) {
    if (TakeRegistrySetting(key, value, s.RegKeys, s.RegValues)) continue;
    CopyText(text, sizeof text, value);
    if (key == SETTING_UI_LANGUAGE) s.Language = text;
    else if (key == SETTING_INSTALL_SCOPE) s.Scope = text;
  }
}

bool ReadUninstallTable(const char* programPath, UninstallTable& t) {
  t.PictureLength = 0;
  t.IconLength = 0;
  CStoredTable stored;
  if (!stored.Read(programPath, kUninstallTableLimit) || !stored.Bytes()) return false;
  CFieldTable table;
  stored.Load(table);
  ParseUninstallTable(table, t);
  return true;
}
