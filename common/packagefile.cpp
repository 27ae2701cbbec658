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

CPackageFile::CPackageFile()
    : m_size(-1),
      m_in(0),
      m_out(0),
      m_aheadNext(0),
      m_aheadIndex(0),
      m_aheadAt(0),
      m_aheadPieces(0),
      m_aheadHeld(0),
      m_aheadStop(FALSE),
      m_aheadEnded(FALSE),
      m_aheadList(0),
      m_callerNode(0),
      m_callerIndex(0) {}

CPackageFile::~CPackageFile() {
  Close();
  FreeBuffer(m_in);
  FreeBuffer(m_out);
}

BOOL CPackageFile::Open(const char* path) {
  Close();
  if (!m_file.Open(path, CFile::modeRead | CFile::shareDenyNone)) return FALSE;
  m_path = path;
  m_size = m_file.GetLength();
  return m_size >= 0;
}

void CPackageFile::Close() {
  StopAhead();
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
  // Read ahead and checked: written as it is. Whatever the row had there
  // (no memory, damage) is found out again below, as for any row.
  if (TakenAhead(e) && WriteAhead(dest)) return kExtractDone;
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

// ---- reading ahead ----------------------------------------------------------------

unsigned CPackageFile::AheadSize(const FileEntry& e) const {
  if (e.Offset < 0 || e.Length <= 0 || static_cast<long long>(e.Offset) + e.Length > m_size) return 0;
  if (e.Method == kMethodLzma)
    return e.Length >= LZMA_PROPS_BYTES && e.Unpacked > 0 && e.Unpacked <= kAheadPackedMax
               ? static_cast<unsigned>(e.Unpacked)
               : 0;
  if (e.Method == kMethodStored && e.Unpacked != static_cast<unsigned long long>(e.Length)) return 0;
  return static_cast<unsigned>(e.Length);
}

void CPackageFile::ReadAhead(const CFileList& list) {
  StopAhead();
  if (!m_file.IsOpen()) return;
  BOOL any = FALSE;
  for (const CFileList::Node* n = list.Head; n && !any; n = n->Next) any = AheadSize(n->Entry) > 0;
  if (!any) return;
  m_aheadList = &list;
  m_callerNode = list.Head;
  m_callerIndex = 0;
  m_aheadNext = list.Head;
  m_aheadIndex = 0;
  m_aheadAt = 0;
  m_aheadHeld = 0;
  m_aheadStop = FALSE;
  m_aheadEnded = FALSE;
  // Without a second thread the caller reads every row itself.
  if (!m_ahead.Start(AheadThread, this)) m_aheadList = 0;
}

void CPackageFile::AheadThread(void* self) { static_cast<CPackageFile*>(self)->AheadWork(); }

void CPackageFile::AheadWork() {
  CFile in;
  char* inBuf = static_cast<char*>(AllocBuffer(PACKAGE_CHUNK));
  BOOL ready = inBuf && in.Open(m_path, CFile::modeRead | CFile::shareDenyNone);
  unsigned long crc = 0;  // of the stored row being read, so far
  m_lock.Enter();
  while (ready && !m_aheadStop && m_aheadNext) {
    const FileEntry& e = m_aheadNext->Entry;
    unsigned size = AheadSize(e);
    if (!size) {
      m_aheadNext = m_aheadNext->Next;
      m_aheadIndex++;
      m_aheadAt = 0;
      continue;
    }
    unsigned at = static_cast<unsigned>(m_aheadAt);
    unsigned len = e.Method == kMethodLzma || size - at < kAheadPiece ? size - at : kAheadPiece;
    if (m_aheadHeld + len > kAheadBudget) {
      m_lock.Wait();  // until the caller has written some
      continue;
    }
    AheadPiece* piece = new AheadPiece;
    if (!piece) break;
    piece->Entry = &e;
    piece->Index = m_aheadIndex;
    piece->Data = 0;
    piece->Length = len;
    piece->Last = at + len == size;
    piece->State = kAheadBusy;
    piece->Next = 0;
    AheadPiece** tail = &m_aheadPieces;
    while (*tail) tail = &(*tail)->Next;
    *tail = piece;
    m_aheadHeld += len;
    if (piece->Last) {
      m_aheadNext = m_aheadNext->Next;
      m_aheadIndex++;
      m_aheadAt = 0;
    } else {
      m_aheadAt = at + len;
    }
    m_lock.Leave();
    int state = ReadPiece(in, inBuf, *piece, at, crc);
    m_lock.Enter();
    piece->State = state;
    m_lock.Wake();
  }
  m_aheadEnded = TRUE;
  m_lock.Wake();
  m_lock.Leave();
  FreeBuffer(inBuf);
}

int CPackageFile::ReadPiece(CFile& in, char* inBuf, AheadPiece& piece, unsigned at, unsigned long& crc) {
  const FileEntry& e = *piece.Entry;
  piece.Data = static_cast<char*>(AllocBuffer(piece.Length));
  if (!piece.Data) return kExtractFailed;
  if (e.Method == kMethodLzma) return DecodeRow(in, inBuf, e, piece.Data);
  if (at == 0) {
    crc = 0;
    if (in.Seek(e.Offset, CFile::begin) != e.Offset) return kExtractFailed;
  }
  if (in.ReadAll(piece.Data, piece.Length) != piece.Length) return kExtractFailed;
  if (e.Method == kMethodNone) return kExtractDone;
  crc = Crc32Update(crc, piece.Data, piece.Length);
  return piece.Last && crc != e.Crc ? kExtractDamaged : kExtractDone;
}

int CPackageFile::DecodeRow(CFile& in, char* inBuf, const FileEntry& e, char* out) {
  unsigned char props[LZMA_PROPS_BYTES];
  if (in.Seek(e.Offset, CFile::begin) != e.Offset || in.ReadAll(props, LZMA_PROPS_BYTES) != LZMA_PROPS_BYTES)
    return kExtractFailed;
  CLzmaFlatDecoder dec;
  if (!dec.Start(props, out, static_cast<size_t>(e.Unpacked))) return kExtractDamaged;
  long rest = e.Length - LZMA_PROPS_BYTES;
  CLzmaStream::Status st = CLzmaStream::more;
  while (st == CLzmaStream::more && rest > 0) {
    unsigned want = rest < PACKAGE_CHUNK ? static_cast<unsigned>(rest) : PACKAGE_CHUNK;
    if (in.ReadAll(inBuf, want) != want) return kExtractFailed;
    rest -= static_cast<long>(want);
    for (size_t pos = 0; pos < want && st == CLzmaStream::more;) {
      size_t n = want - pos;
      st = dec.Decode(inBuf + pos, n);
      pos += n;
      if (!n && st == CLzmaStream::more) break;  // wants no more of this: ends below
    }
  }
  if (st == CLzmaStream::more) {
    size_t none = 0;
    st = dec.Decode(inBuf, none);  // the input has ended: a stream that is complete says so now
  }
  if (st != CLzmaStream::done) return kExtractDamaged;
  return Crc32Update(0, out, static_cast<size_t>(e.Unpacked)) == e.Crc ? kExtractDone : kExtractDamaged;
}

BOOL CPackageFile::TakenAhead(const FileEntry& e) {
  if (!m_aheadList) return FALSE;
  const CFileList::Node* n = m_callerNode;
  int index = m_callerIndex;
  while (n && &n->Entry != &e) {
    n = n->Next;
    index++;
  }
  if (!n) {
    // Not a row of the list after the last one asked: from here on the
    // caller reads every row itself.
    StopAhead();
    return FALSE;
  }
  m_callerNode = n->Next;
  m_callerIndex = index + 1;
  CLocked hold(m_lock);
  // Pieces of rows left out: their bytes are not wanted.
  while (AheadPiece* piece = m_aheadPieces) {
    if (piece->Index >= index) break;
    if (piece->State == kAheadBusy) {
      m_lock.Wait();
      continue;
    }
    m_aheadPieces = piece->Next;
    m_aheadHeld -= piece->Length;
    FreeBuffer(piece->Data);
    delete piece;
    m_lock.Wake();
  }
  if (m_aheadPieces && m_aheadPieces->Index == index) return TRUE;
  // Not taken: the second thread passes it by.
  if (m_aheadIndex <= index) {
    m_aheadNext = n->Next;
    m_aheadIndex = index + 1;
    m_aheadAt = 0;
  }
  return FALSE;
}

CPackageFile::AheadPiece* CPackageFile::NextPiece() {
  CLocked hold(m_lock);
  for (;;) {
    AheadPiece* piece = m_aheadPieces;
    if (piece && piece->State != kAheadBusy) {
      m_aheadPieces = piece->Next;
      return piece;
    }
    if (!piece && m_aheadEnded) return 0;
    m_lock.Wait();
  }
}

void CPackageFile::ReleasePiece(AheadPiece* piece) {
  {
    CLocked hold(m_lock);
    m_aheadHeld -= piece->Length;
    m_lock.Wake();
  }
  FreeBuffer(piece->Data);
  delete piece;
}

BOOL CPackageFile::WriteAhead(const char* dest) {
  CFile out;
  BOOL ok = out.Open(dest, CFile::modeCreate | CFile::modeWrite);
  for (;;) {
    AheadPiece* piece = NextPiece();
    if (!piece) {
      ok = FALSE;  // the second thread stopped inside the row
      break;
    }
    if (piece->State != kExtractDone || (ok && !out.Write(piece->Data, piece->Length))) ok = FALSE;
    BOOL last = piece->Last;
    ReleasePiece(piece);
    if (last) break;
  }
  if (out.IsOpen() && !out.Close()) ok = FALSE;
  if (!ok) RemoveFile(dest);
  return ok;
}

void CPackageFile::StopAhead() {
  if (m_ahead.Running()) {
    {
      CLocked hold(m_lock);
      m_aheadStop = TRUE;
      m_lock.Wake();
    }
    m_ahead.Join();
  }
  while (AheadPiece* piece = m_aheadPieces) {
    m_aheadPieces = piece->Next;
    FreeBuffer(piece->Data);
    delete piece;
  }
  m_aheadHeld = 0;
  m_aheadList = 0;
}
