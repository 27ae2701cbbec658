#include "packagefile.h"

#include <string.h>

#include "container.h"
#include "framework/fsys.h"
#include "framework/memory.h"
#include "lzmastream.h"

namespace {
int ReadRowInto(CFile& in, const FileEntry& e, char* data, char* buffer);
}  // namespace

CPackageFile::CPackageFile()
    : m_size(-1),
      m_in(0),
      m_out(0),
      m_aheadRowMax(kAheadRowMax),
      m_jobs(0),
      m_aheadList(0),
      m_callerNode(0),
      m_callerIndex(0) {}

CPackageFile::~CPackageFile() {
  Close();
  FreeBuffer(m_in);
  FreeBuffer(m_out);
}

bool CPackageFile::Open(const char* path) {
  Close();
  if (!m_file.Open(path, CFile::modeRead | CFile::shareDenyNone)) return false;
  m_path = path;
  m_size = m_file.GetLength();
  return m_size >= 0;
}

void CPackageFile::Close() {
  StopAhead();
  if (m_file.IsOpen()) m_file.Close();
  m_size = -1;
}

bool CPackageFile::Buffers() {
  if (!m_in) m_in = static_cast<char*>(AllocBuffer(kPackageChunk));
  if (!m_out) m_out = static_cast<char*>(AllocBuffer(kPackageChunk));
  return m_in && m_out;
}

bool CPackageFile::VerifyPayload(const PackageSeal& seal, long long end, ProgressFn progress, void* context) {
  if (!m_file.IsOpen() || !Buffers() || seal.PayloadStart < 0 || end < seal.PayloadStart || end > m_size)
    return false;
  if (m_file.Seek(seal.PayloadStart, CFile::begin) != seal.PayloadStart) return false;
  long long total = end - seal.PayloadStart, done = 0;
  unsigned long crc = 0;
  while (done < total) {
    long long rest = total - done;
    unsigned want = rest < kPackageChunk ? static_cast<unsigned>(rest) : kPackageChunk;
    unsigned got = m_file.ReadAll(m_in, want);
    if (got != want) return false;
    crc = Crc32Update(crc, m_in, got);
    done += got;
    if (progress) progress(context, done, total);
  }
  return crc == seal.PayloadCrc;
}

ExtractResult CPackageFile::CopyStored(const FileEntry& e, CFile* out, unsigned long& crc,
                                       unsigned long long& written) {
  long long rest = e.Length;
  while (rest > 0) {
    unsigned want = rest < kPackageChunk ? static_cast<unsigned>(rest) : kPackageChunk;
    unsigned got = m_file.ReadAll(m_in, want);
    if (got != want) return kExtractFailed;
    if (e.Method != kMethodNone) crc = Crc32Update(crc, m_in, got);
    if (out && !out->Write(m_in, got)) return kExtractFailed;
    written += got;
    rest -= got;
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
  if (stream.Decode(header, n, 0, none) != CLzmaStream::kMore) return kExtractDamaged;
  long long rest = e.Length - LZMA_PROPS_BYTES;
  size_t have = 0, pos = 0;
  for (;;) {
    if (pos == have && rest > 0) {
      unsigned want = rest < kPackageChunk ? static_cast<unsigned>(rest) : kPackageChunk;
      if (m_file.ReadAll(m_in, want) != want) return kExtractFailed;
      rest -= want;
      have = want;
      pos = 0;
    }
    size_t taken = have - pos, room = kPackageChunk;
    CLzmaStream::Status st = stream.Decode(m_in + pos, taken, m_out, room);
    pos += taken;
    if (room) {
      crc = Crc32Update(crc, m_out, room);
      if (out && !out->Write(m_out, static_cast<unsigned>(room))) return kExtractFailed;
      written += room;
    }
    if (st == CLzmaStream::kDone) return kExtractDone;
    if (st == CLzmaStream::kDamaged) return kExtractDamaged;
    // No input left and nothing came out: the region is cut short.
    if (!taken && !room && pos == have && rest == 0) return kExtractDamaged;
  }
}

bool CPackageFile::Sound(const FileEntry& e) const {
  return e.Length >= 0 && e.Offset >= 0 && e.Offset <= m_size && e.Length <= m_size - e.Offset &&
         (e.Method != kMethodStored || e.Unpacked == static_cast<unsigned long long>(e.Length));
}

ExtractResult CPackageFile::WriteTo(const FileEntry& e, CFile* out) {
  if (!m_file.IsOpen() || !Buffers()) return kExtractFailed;
  return Sound(e) ? WriteRow(e, out) : kExtractDamaged;
}

ExtractResult CPackageFile::Extract(const FileEntry& e, const char* dest, bool onlyNew) {
  if (!m_file.IsOpen() || !Buffers()) return kExtractFailed;
  bool sound = Sound(e);
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
  if (CDecodeAhead::Decoded* row = TakeAhead(e)) {
    bool ready = row->State == kExtractDone;
    bool written = ready && (!out || out->Write(row->Data, static_cast<unsigned>(e.Unpacked)));
    m_ahead.Release(row);
    if (ready) return written ? kExtractDone : kExtractFailed;
  }
  if (m_file.Seek(e.Offset, CFile::begin) != e.Offset) return kExtractFailed;
  unsigned long crc = 0;
  unsigned long long written = 0;
  ExtractResult r = e.Method == kMethodLzma ? Decode(e, out, crc, written) : CopyStored(e, out, crc, written);
  if (r == kExtractDone && e.Method != kMethodNone && (written != e.Unpacked || crc != e.Crc)) r = kExtractDamaged;
  return r;
}

ExtractResult CPackageFile::ReadRegion(const RegionRef& r, size_t maxUnpacked, char*& data) {
  data = 0;
  if (!m_file.IsOpen() || !Buffers()) return kExtractFailed;
  FileEntry e;
  memset(&e, 0, sizeof e);
  e.Offset = r.Offset;
  e.Length = r.Length;
  e.Method = r.Method;
  e.Unpacked = r.Unpacked;
  e.Crc = r.Crc;
  // The size it claims is checked before anything is allocated for it.
  if (r.Method == kMethodNone || !Sound(e) || r.Unpacked > maxUnpacked ||
      (r.Method == kMethodLzma && r.Unpacked > 0 && e.Length < LZMA_PROPS_BYTES))
    return kExtractDamaged;
  data = static_cast<char*>(AllocBuffer(static_cast<size_t>(r.Unpacked) + 1));
  if (!data) return kExtractFailed;
  int result = r.Unpacked == 0 ? (r.Crc == 0 ? kExtractDone : kExtractDamaged) : ReadRowInto(m_file, e, data, m_in);
  if (result != kExtractDone) {
    FreeBuffer(data);
    data = 0;
    return static_cast<ExtractResult>(result);
  }
  data[r.Unpacked] = 0;
  return kExtractDone;
}

// ---- decoding ahead ---------------------------------------------------------------

namespace {

// A row's bytes, unpacked and checked, into data (e.Unpacked bytes): an
// ExtractResult. Packed rows are decoded straight into it; buffer (of
// kPackageChunk bytes) takes the packed bytes on their way.
int ReadRowInto(CFile& in, const FileEntry& e, char* data, char* buffer) {
  if (in.Seek(e.Offset, CFile::begin) != e.Offset) return kExtractFailed;
  if (e.Method != kMethodLzma) {
    if (in.ReadAll(data, static_cast<unsigned>(e.Unpacked)) != e.Unpacked) return kExtractFailed;
  } else {
    unsigned char props[LZMA_PROPS_BYTES];
    if (in.ReadAll(props, LZMA_PROPS_BYTES) != LZMA_PROPS_BYTES) return kExtractFailed;
    CLzmaFlatDecoder dec;
    if (!dec.Start(props, data, static_cast<size_t>(e.Unpacked))) return kExtractDamaged;
    long long rest = e.Length - LZMA_PROPS_BYTES;
    CLzmaStream::Status st = CLzmaStream::kMore;
    while (st == CLzmaStream::kMore && rest > 0) {
      unsigned want = rest < kPackageChunk ? static_cast<unsigned>(rest) : kPackageChunk;
      if (in.ReadAll(buffer, want) != want) return kExtractFailed;
      rest -= want;
      for (size_t pos = 0; pos < want && st == CLzmaStream::kMore;) {
        size_t n = want - pos;
        st = dec.Decode(buffer + pos, n);
        pos += n;
        if (!n && st == CLzmaStream::kMore) break;  // wants no more of this: ends below
      }
    }
    if (st == CLzmaStream::kMore) {
      size_t none = 0;
      st = dec.Decode(buffer, none);  // the input has ended: a stream that is complete says so now
    }
    if (st != CLzmaStream::kDone) return kExtractDamaged;
  }
  return Crc32Update(0, data, static_cast<size_t>(e.Unpacked)) == e.Crc ? kExtractDone : kExtractDamaged;
}

// A packed row decoded into memory, on either thread.
class CRowDecoder : public IAheadDecoder {
 public:
  int DecodeJob(const AheadJob& job, char* data, CFile& in, char* buffer) {
    return ReadRowInto(in, *static_cast<const FileEntry*>(job.What), data, buffer);
  }
};

}  // namespace

bool CPackageFile::Eligible(const FileEntry& e) const {
  return e.Method == kMethodLzma && e.Offset >= 0 && e.Length >= LZMA_PROPS_BYTES && e.Offset <= m_size &&
         e.Length <= m_size - e.Offset && e.Unpacked > 0 && e.Unpacked <= m_aheadRowMax;
}

void CPackageFile::SetAheadLimits(size_t budget, size_t rowMax) {
  m_ahead.SetBudget(budget);
  m_aheadRowMax = rowMax;
}

void CPackageFile::DecodeAhead(const CFileList& list) {
  StopAhead();
  if (!m_file.IsOpen()) return;
  int count = 0;
  for (const CFileList::Node* n = list.Head; n; n = n->Next) count += Eligible(n->Entry) ? 1 : 0;
  if (!count) return;
  m_jobs = static_cast<AheadJob*>(AllocBuffer(sizeof(AheadJob) * static_cast<size_t>(count)));
  if (!m_jobs) return;
  int k = 0, index = 0;
  for (const CFileList::Node* n = list.Head; n; n = n->Next, index++) {
    if (!Eligible(n->Entry)) continue;
    AheadJob job = {index, static_cast<size_t>(n->Entry.Unpacked), &n->Entry};
    m_jobs[k++] = job;
  }
  m_aheadList = &list;
  m_callerNode = list.Head;
  m_callerIndex = 0;
  // Without a second thread the caller decodes every row itself.
  static CRowDecoder decoder;
  if (!m_ahead.Start(m_path, kPackageChunk, decoder, m_jobs, count)) StopAhead();
}

CDecodeAhead::Decoded* CPackageFile::TakeAhead(const FileEntry& e) {
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
  return m_ahead.Take(index, m_file, m_in);
}

void CPackageFile::StopAhead() {
  m_ahead.Stop();
  FreeBuffer(m_jobs);
  m_jobs = 0;
  m_aheadList = 0;
}
