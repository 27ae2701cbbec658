#include "packagefile.h"

#include <string.h>

#include "../framework/fsys.h"
#include "../framework/memory.h"
#include "container.h"
#include "lzmastream.h"

BOOL IndexMatchesSeal(const char* stored, long len, const PackageSeal& seal) {
  return len >= 0 && Crc32Update(0, stored, static_cast<size_t>(len)) == seal.IndexCrc;
}

BOOL ExtensionConsistent(const PackageSettings& s, const PackageSeal& seal, long seek) {
  if (!s.Extended && !seal.Present) return !s.RowsDamaged;
  return s.Extended && seal.Valid && !s.RowsDamaged && seal.PayloadStart >= 0 && seal.PayloadStart <= seek;
}

CPackageFile::CPackageFile() : m_size(-1), m_in(0), m_out(0) {}

CPackageFile::~CPackageFile() {
  Close();
  FreeBuffer(m_in);
  FreeBuffer(m_out);
}

BOOL CPackageFile::Open(const char* path) {
  Close();
  if (!m_file.Open(path, CFile::modeRead | CFile::shareDenyNone)) return FALSE;
  m_size = m_file.GetLength();
  return m_size >= 0;
}

void CPackageFile::Close() {
  if (m_file.IsOpen()) m_file.Close();
  m_size = -1;
}

BOOL CPackageFile::Buffers() {
  if (!m_in) m_in = static_cast<char*>(AllocBuffer(PACKAGE_CHUNK));
  if (!m_out) m_out = static_cast<char*>(AllocBuffer(PACKAGE_CHUNK));
  return m_in && m_out;
}

BOOL CPackageFile::VerifyPayload(const PackageSeal& seal, long end, ProgressFn progress, void* context) {
  if (!m_file.IsOpen() || !Buffers() || seal.PayloadStart < 0 || end < seal.PayloadStart || end > m_size)
    return FALSE;
  if (m_file.Seek(seal.PayloadStart, CFile::begin) != seal.PayloadStart) return FALSE;
  long long total = end - seal.PayloadStart, done = 0;
  unsigned long crc = 0;
  while (done < total) {
    long long rest = total - done;
    unsigned want = rest < PACKAGE_CHUNK ? static_cast<unsigned>(rest) : PACKAGE_CHUNK;
    unsigned got = m_file.ReadAll(m_in, want);
    if (got != want) return FALSE;
    crc = Crc32Update(crc, m_in, got);
    done += got;
    if (progress) progress(context, done, total);
  }
  return crc == seal.PayloadCrc;
}

ExtractResult CPackageFile::CopyStored(const FileEntry& e, CFile& out, unsigned long& crc,
                                       unsigned long long& written) {
  long rest = e.Length;
  while (rest > 0) {
    unsigned want = rest < PACKAGE_CHUNK ? static_cast<unsigned>(rest) : PACKAGE_CHUNK;
    unsigned got = m_file.ReadAll(m_in, want);
    if (got != want) return kExtractFailed;
    if (e.Method != kMethodNone) crc = Crc32Update(crc, m_in, got);
    if (!out.Write(m_in, got)) return kExtractFailed;
    written += got;
    rest -= static_cast<long>(got);
  }
  return kExtractDone;
}

ExtractResult CPackageFile::Decode(const FileEntry& e, CFile& out, unsigned long& crc,
                                   unsigned long long& written) {
  // The region's property bytes, then the unpacked size: the stream header
  // the decoder reads.
  unsigned char header[LZMA_HEADER_SIZE];
  if (e.Length < LZMA_PROPS_BYTES || m_file.ReadAll(header, LZMA_PROPS_BYTES) != LZMA_PROPS_BYTES)
    return kExtractDamaged;
  unsigned long long size = e.Unpacked;
  for (int i = LZMA_PROPS_BYTES; i < LZMA_HEADER_SIZE; i++, size >>= 8) header[i] = static_cast<unsigned char>(size);
  CLzmaStream stream;
  size_t n = LZMA_HEADER_SIZE, none = 0;
  if (stream.Decode(header, n, 0, none) != CLzmaStream::more) return kExtractDamaged;
  long rest = e.Length - LZMA_PROPS_BYTES;
  size_t have = 0, pos = 0;
  for (;;) {
    if (pos == have && rest > 0) {
      unsigned want = rest < PACKAGE_CHUNK ? static_cast<unsigned>(rest) : PACKAGE_CHUNK;
      if (m_file.ReadAll(m_in, want) != want) return kExtractFailed;
      rest -= static_cast<long>(want);
      have = want;
      pos = 0;
    }
    size_t taken = have - pos, room = PACKAGE_CHUNK;
    CLzmaStream::Status st = stream.Decode(m_in + pos, taken, m_out, room);
    pos += taken;
    if (room) {
      crc = Crc32Update(crc, m_out, room);
      if (!out.Write(m_out, static_cast<unsigned>(room))) return kExtractFailed;
      written += room;
    }
    if (st == CLzmaStream::done) return kExtractDone;
    if (st == CLzmaStream::damaged) return kExtractDamaged;
    // No input left and nothing came out: the region is cut short.
    if (!taken && !room && pos == have && rest == 0) return kExtractDamaged;
  }
}

ExtractResult CPackageFile::Extract(const FileEntry& e, const char* dest) {
  if (!m_file.IsOpen() || !Buffers()) return kExtractFailed;
  if (e.Length < 0 || e.Offset < 0 || static_cast<long long>(e.Offset) + e.Length > m_size) return kExtractDamaged;
  if (e.Method == kMethodStored && e.Unpacked != static_cast<unsigned long long>(e.Length)) return kExtractDamaged;
  if (m_file.Seek(e.Offset, CFile::begin) != e.Offset) return kExtractFailed;
  CFile out;
  if (!out.Open(dest, CFile::modeCreate | CFile::modeWrite)) return kExtractFailed;
  unsigned long crc = 0;
  unsigned long long written = 0;
  ExtractResult r = e.Method == kMethodLzma ? Decode(e, out, crc, written) : CopyStored(e, out, crc, written);
  if (r == kExtractDone && e.Method != kMethodNone && (written != e.Unpacked || crc != e.Crc)) r = kExtractDamaged;
  if (!out.Close() && r == kExtractDone) r = kExtractFailed;
  if (r != kExtractDone) RemoveFile(dest);
  return r;
}
