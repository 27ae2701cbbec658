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
      m_aheadRows(0),
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

ExtractResult CPackageFile::CopyStored(const FileEntry& e, CFile* out, unsigned long& crc,
                                       unsigned long long& written) {
  long rest = e.Length;
  while (rest > 0) {
    unsigned want = rest < PACKAGE_CHUNK ? static_cast<unsigned>(rest) : PACKAGE_CHUNK;
    unsigned got = m_file.ReadAll(m_in, want);
    if (got != want) return kExtractFailed;
    if (e.Method != kMethodNone) crc = Crc32Update(crc, m_in, got);
    if (out && !out->Write(m_in, got)) return kExtractFailed;
    written += got;
    rest -= static_cast<long>(got);
  }
  return kExtractDone;
}

ExtractResult CPackageFile::Decode(const FileEntry& e, CFile* out, unsigned long& crc,
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
      if (out && !out->Write(m_out, static_cast<unsigned>(room))) return kExtractFailed;
      written += room;
    }
    if (st == CLzmaStream::done) return kExtractDone;
    if (st == CLzmaStream::damaged) return kExtractDamaged;
    // No input left and nothing came out: the region is cut short.
    if (!taken && !room && pos == have && rest == 0) return kExtractDamaged;
  }
}

BOOL CPackageFile::Sound(const FileEntry& e) const {
  return e.Length >= 0 && e.Offset >= 0 && static_cast<long long>(e.Offset) + e.Length <= m_size &&
         (e.Method != kMethodStored || e.Unpacked == static_cast<unsigned long long>(e.Length));
}

ExtractResult CPackageFile::WriteTo(const FileEntry& e, CFile* out) {
  if (!m_file.IsOpen() || !Buffers()) return kExtractFailed;
  return Sound(e) ? WriteRow(e, out) : kExtractDamaged;
}

ExtractResult CPackageFile::Extract(const FileEntry& e, const char* dest, BOOL onlyNew) {
  if (!m_file.IsOpen() || !Buffers()) return kExtractFailed;
  BOOL sound = Sound(e);
  // A file that is there stays as it is when the row is damaged; a new one
  // is made first, to tell new from there.
  if (!sound && !onlyNew) return kExtractDamaged;
  CFile out;
  if (!out.Open(dest, CFile::modeWrite | (onlyNew ? CFile::modeCreateNew : CFile::modeCreate)))
    return onlyNew && GetAttributes(dest) != INVALID_FILE_ATTRIBUTES ? kExtractExists : kExtractFailed;
  ExtractResult r = sound ? WriteRow(e, &out) : kExtractDamaged;
  if (!out.Close() && r == kExtractDone) r = kExtractFailed;
  if (r != kExtractDone) RemoveFile(dest);
  return r;
}

ExtractResult CPackageFile::WriteRow(const FileEntry& e, CFile* out) {
  // Decoded ahead and checked: written as it is. Whatever else the row had
  // there (no memory, damage) is found out again below, as for any row.
  if (AheadRow* row = TakeAhead(e)) {
    BOOL ready = row->State == kExtractDone;
    BOOL written = ready && (!out || out->Write(row->Data, static_cast<unsigned>(e.Unpacked)));
    {
      CLocked hold(m_lock);
      ReleaseRow(row);
    }
    if (ready) return written ? kExtractDone : kExtractFailed;
  }
  if (m_file.Seek(e.Offset, CFile::begin) != e.Offset) return kExtractFailed;
  unsigned long crc = 0;
  unsigned long long written = 0;
  ExtractResult r = e.Method == kMethodLzma ? Decode(e, out, crc, written) : CopyStored(e, out, crc, written);
  if (r == kExtractDone && e.Method != kMethodNone && (written != e.Unpacked || crc != e.Crc)) r = kExtractDamaged;
  return r;
}

// ---- decoding ahead ---------------------------------------------------------------

BOOL CPackageFile::Eligible(const FileEntry& e) const {
  return e.Method == kMethodLzma && e.Offset >= 0 && e.Length >= LZMA_PROPS_BYTES &&
         static_cast<long long>(e.Offset) + e.Length <= m_size && e.Unpacked > 0 && e.Unpacked <= kAheadRowMax;
}

void CPackageFile::DecodeAhead(const CFileList& list) {
  StopAhead();
  if (!m_file.IsOpen()) return;
  BOOL any = FALSE;
  for (const CFileList::Node* n = list.Head; n && !any; n = n->Next) any = Eligible(n->Entry);
  if (!any) return;
  m_aheadList = &list;
  m_callerNode = list.Head;
  m_callerIndex = 0;
  m_aheadNext = list.Head;
  m_aheadIndex = 0;
  m_aheadHeld = 0;
  m_aheadStop = FALSE;
  m_aheadEnded = FALSE;
  // Without a second thread the caller decodes every row itself.
  if (!m_ahead.Start(AheadThread, this)) m_aheadList = 0;
}

void CPackageFile::AheadThread(void* self) { static_cast<CPackageFile*>(self)->AheadWork(); }

void CPackageFile::AheadWork() {
  CFile in;
  char* inBuf = static_cast<char*>(AllocBuffer(PACKAGE_CHUNK));
  BOOL ready = inBuf && in.Open(m_path, CFile::modeRead | CFile::shareDenyNone);
  m_lock.Enter();
  while (ready && !m_aheadStop) {
    BOOL end = FALSE;
    AheadRow* row = ClaimRow(end);
    if (!row) {
      if (end) break;
      m_lock.Wait();  // until the caller has written some
      continue;
    }
    DecodeClaimed(in, inBuf, *row);
  }
  m_aheadEnded = TRUE;
  m_lock.Wake();
  m_lock.Leave();
  FreeBuffer(inBuf);
}

CPackageFile::AheadRow* CPackageFile::ClaimRow(BOOL& end) {
  end = FALSE;
  while (m_aheadNext && !Eligible(m_aheadNext->Entry)) {
    m_aheadNext = m_aheadNext->Next;
    m_aheadIndex++;
  }
  if (!m_aheadNext) {
    end = TRUE;
    return 0;
  }
  const FileEntry& e = m_aheadNext->Entry;
  if (m_aheadHeld + e.Unpacked > kAheadBudget) return 0;
  AheadRow* row = new AheadRow;
  if (!row) {
    end = TRUE;
    return 0;
  }
  row->Entry = &e;
  row->Index = m_aheadIndex;
  row->Data = 0;
  row->State = kAheadBusy;
  row->Next = 0;
  AheadRow** tail = &m_aheadRows;
  while (*tail) tail = &(*tail)->Next;
  *tail = row;
  m_aheadHeld += static_cast<unsigned>(e.Unpacked);
  m_aheadNext = m_aheadNext->Next;
  m_aheadIndex++;
  return row;
}

int CPackageFile::DecodeRow(CFile& in, char* inBuf, AheadRow& row) {
  const FileEntry& e = *row.Entry;
  row.Data = static_cast<char*>(AllocBuffer(static_cast<size_t>(e.Unpacked)));
  if (!row.Data) return kExtractFailed;
  unsigned char props[LZMA_PROPS_BYTES];
  if (in.Seek(e.Offset, CFile::begin) != e.Offset || in.ReadAll(props, LZMA_PROPS_BYTES) != LZMA_PROPS_BYTES)
    return kExtractFailed;
  CLzmaFlatDecoder dec;
  if (!dec.Start(props, row.Data, static_cast<size_t>(e.Unpacked))) return kExtractDamaged;
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
  return Crc32Update(0, row.Data, static_cast<size_t>(e.Unpacked)) == e.Crc ? kExtractDone : kExtractDamaged;
}

void CPackageFile::DecodeClaimed(CFile& in, char* inBuf, AheadRow& row) {
  m_lock.Leave();
  int state = DecodeRow(in, inBuf, row);
  m_lock.Enter();
  row.State = state;
  m_lock.Wake();
}

CPackageFile::AheadRow* CPackageFile::TakeAhead(const FileEntry& e) {
  if (!m_aheadList) return 0;
  const CFileList::Node* n = m_callerNode;
  int index = m_callerIndex;
  while (n && &n->Entry != &e) {
    n = n->Next;
    index++;
  }
  if (!n) {
    // Not a row of the list after the last one asked: from here on the
    // caller decodes every row itself.
    StopAhead();
    return 0;
  }
  m_callerNode = n->Next;
  m_callerIndex = index + 1;
  CLocked hold(m_lock);
  for (;;) {
    AheadRow* row = m_aheadRows;
    // Rows left out (kept files): their bytes are not wanted.
    if (row && row->Index < index && row->State != kAheadBusy) {
      m_aheadRows = row->Next;
      ReleaseRow(row);
      continue;
    }
    if (row && row->Index == index && row->State != kAheadBusy) {
      m_aheadRows = row->Next;
      return row;
    }
    if (!row || row->Index > index) break;
    // The row (or one before it) is being decoded. Rather than wait, decode a
    // row further on: both threads decode.
    BOOL end = FALSE;
    AheadRow* mine = m_aheadStop ? 0 : ClaimRow(end);
    if (!mine) {
      m_lock.Wait();
      continue;
    }
    DecodeClaimed(m_file, m_in, *mine);
  }
  // Not taken: the second thread passes it by.
  if (m_aheadIndex <= index) {
    m_aheadNext = n->Next;
    m_aheadIndex = index + 1;
  }
  return 0;
}

// Under the lock.
void CPackageFile::ReleaseRow(AheadRow* row) {
  m_aheadHeld -= static_cast<unsigned>(row->Entry->Unpacked);
  FreeBuffer(row->Data);
  delete row;
  m_lock.Wake();
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
  while (AheadRow* row = m_aheadRows) {
    m_aheadRows = row->Next;
    FreeBuffer(row->Data);
    delete row;
  }
  m_aheadHeld = 0;
  m_aheadList = 0;
}
