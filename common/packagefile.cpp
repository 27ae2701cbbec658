#include "packagefile.h"

#include <string.h>

#include "container.h"
#include "framework/fsys.h"
#include "framework/memory.h"
#include "lzmastream.h"
#include "x86filter.h"

CPackageFile::CPackageFile()
    : m_size(-1),
      m_in(0),
      m_out(0),
      m_blocks(0),
      m_aheadBudget(kAheadBudget),
      m_aheadRowMax(kAheadRowMax),
      m_jobs(0),
      m_jobRefs(0),
      m_rowJob(0),
      m_blockJob(0),
      m_aheadList(0),
      m_callerNode(0),
      m_callerIndex(0),
      m_heldNumber(0),
      m_heldAhead(0),
      m_heldOwn(0),
      m_ownDecoded(0),
      m_progress(0),
      m_progressContext(0),
      m_rowBytes(0) {}

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
    rest -= static_cast<long>(got);
    if (rest > 0) RowProgress(static_cast<long long>(written));
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
      if (st == CLzmaStream::kMore) RowProgress(static_cast<long long>(written));
    }
    if (st == CLzmaStream::kDone) return kExtractDone;
    if (st == CLzmaStream::kDamaged) return kExtractDamaged;
    // No input left and nothing came out: the region is cut short.
    if (!taken && !room && pos == have && rest == 0) return kExtractDamaged;
  }
}

bool CPackageFile::Sound(const FileEntry& e) const {
  // A solid row's bytes are its blocks' (checked as they are read).
  if (e.Method == kMethodSolid) return true;
  return e.Length >= 0 && e.Offset >= 0 && e.Offset <= m_size && e.Length <= m_size - e.Offset &&
         (e.Method != kMethodStored || e.Unpacked == static_cast<unsigned long long>(e.Length));
}

// A row's bytes going out: checksummed, written (when out is there) and
// counted for the bar.
bool CPackageFile::Emit(const char* bytes, size_t n, CFile* out, unsigned long& crc, unsigned long long& written,
                        unsigned long long total) {
  if (!n) return true;
  crc = Crc32Update(crc, bytes, n);
  if (out && !out->Write(bytes, static_cast<unsigned>(n))) return false;
  written += n;
  if (written < total) RowProgress(static_cast<long long>(written));
  return true;
}

ExtractResult CPackageFile::CopySolid(const FileEntry& e, CFile* out, unsigned long& crc,
                                      unsigned long long& written) {
  long long number = e.Block;
  unsigned long long at = e.BlockOffset < 0 ? ~0ULL : static_cast<unsigned long long>(e.BlockOffset);
  unsigned long long rest = e.Unpacked;
  // In pieces, so that the bar moves through a large file.
  const unsigned long long kPiece = 4U << 20;
  while (rest > 0) {
    ExtractResult state = kExtractDone;
    const char* bytes = BlockBytes(number, state);
    if (!bytes) return state;
    const unsigned long long size = m_blocks->At(number)->Unpacked;
    if (at > size) return kExtractDamaged;
    unsigned long long here = size - at < rest ? size - at : rest;  // the row's bytes in this block
    // The part of the filtered range in this block: undone through m_out (the
    // block stays as it was unpacked, for a row asked for again).
    long long partFrom = 0, partLength = 0, position = 0;
    unsigned long long partAt = here, partEnd = here;  // in this block's share of the row
    if (e.Filter == kFilterX86 && RowFilterPart(e.FilterFrom, e.FilterLength, static_cast<long long>(written),
                                                static_cast<long long>(here), partFrom, partLength, position)) {
      partAt = static_cast<unsigned long long>(partFrom) - written;
      partEnd = partAt + static_cast<unsigned long long>(partLength);
    }
    const char* base = bytes + at;
    // Bytes as they are, from k up to end.
    auto plain = [&](unsigned long long k, unsigned long long end) {
      for (unsigned long long n; k < end; k += n) {
        n = end - k < kPiece ? end - k : kPiece;
        if (!Emit(base + k, static_cast<size_t>(n), out, crc, written, e.Unpacked)) return false;
      }
      return true;
    };
    if (!plain(0, partAt)) return kExtractFailed;
    CX86Filter filter;
    size_t carry = 0;  // bytes at the start of m_out not yet final
    for (unsigned long long k = partAt; k < partEnd;) {
      size_t n = partEnd - k < static_cast<unsigned long long>(kPackageChunk) - carry
                     ? static_cast<size_t>(partEnd - k)
                     : static_cast<size_t>(kPackageChunk) - carry;
      memcpy(m_out + carry, base + k, n);
      k += n;
      size_t have = carry + n;
      size_t done = filter.Decode(reinterpret_cast<unsigned char*>(m_out), have, static_cast<unsigned long>(position));
      if (k == partEnd) done = have;  // the part's last bytes stay as they are
      if (!Emit(m_out, done, out, crc, written, e.Unpacked)) return kExtractFailed;
      position += static_cast<long long>(done);
      carry = have - done;
      memmove(m_out, m_out + done, carry);
    }
    if (!plain(partEnd, here)) return kExtractFailed;
    rest -= here;
    // On into the next block.
    number++;
    at = 0;
  }
  return kExtractDone;
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
  m_rowBytes = 0;
  if (e.Method == kMethodSolid) {
    PassRow(e);
    unsigned long crc = 0;
    unsigned long long written = 0;
    ExtractResult r = CopySolid(e, out, crc, written);
    if (r == kExtractDone && (written != e.Unpacked || crc != e.Crc)) r = kExtractDamaged;
    return r;
  }
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

// ---- whole regions: decoded ahead, and solid blocks ---------------------------------

int ReadRegionInto(CFile& in, const RegionRef& r, char* data, char* buffer, IDecodeProgress* progress) {
  const size_t size = static_cast<size_t>(r.Unpacked);
  if (!size || size != r.Unpacked || r.Offset < 0 || r.Length < 0 || in.Seek(r.Offset, CFile::begin) != r.Offset) return kExtractFailed;
  // Progress in pieces of about this size.
  const size_t kStep = 1U << 20;
  if (r.Method == kMethodStored) {
    if (r.Unpacked != static_cast<unsigned long long>(r.Length)) return kExtractDamaged;
    for (size_t done = 0; done < size;) {
      unsigned want = size - done < kStep ? static_cast<unsigned>(size - done) : kStep;
      if (in.ReadAll(data + done, want) != want) return kExtractFailed;
      done += want;
      if (progress) progress->Decoded(want);
    }
  } else {
    unsigned char props[LZMA_PROPS_BYTES];
    if (r.Length < LZMA_PROPS_BYTES || in.ReadAll(props, LZMA_PROPS_BYTES) != LZMA_PROPS_BYTES)
      return kExtractDamaged;
    CLzmaFlatDecoder dec;
    if (!dec.Start(props, data, size)) return kExtractDamaged;
    long long rest = r.Length - LZMA_PROPS_BYTES;
    CLzmaStream::Status st = CLzmaStream::kMore;
    size_t told = 0;
    while (st == CLzmaStream::kMore && rest > 0) {
      unsigned want = rest < kPackageChunk ? static_cast<unsigned>(rest) : kPackageChunk;
      if (in.ReadAll(buffer, want) != want) return kExtractFailed;
      rest -= want;
      for (size_t pos = 0; pos < want && st == CLzmaStream::kMore;) {
        size_t n = want - pos, before = dec.Produced();
        st = dec.Decode(buffer + pos, n, kStep);
        pos += n;
        if (progress && dec.Produced() != told) {
          progress->Decoded(dec.Produced() - told);
          told = dec.Produced();
        }
        if (!n && dec.Produced() == before && st == CLzmaStream::kMore) break;  // wants no more of this: ends below
      }
    }
    // The input has ended: a stream that is complete says so now.
    while (st == CLzmaStream::kMore) {
      size_t none = 0, before = dec.Produced();
      st = dec.Decode(buffer, none, kStep);
      if (progress && dec.Produced() != told) {
        progress->Decoded(dec.Produced() - told);
        told = dec.Produced();
      }
      if (st == CLzmaStream::kMore && dec.Produced() == before) break;
    }
    if (st != CLzmaStream::kDone) return kExtractDamaged;
  }
  if (r.Filter == kFilterX86) {
    CX86Filter filter;
    filter.Decode(reinterpret_cast<unsigned char*>(data), size, 0);  // the last bytes stay as they are
  }
  return Crc32Update(0, data, size) == r.Crc ? kExtractDone : kExtractDamaged;
}

namespace {

// A job decoded into memory, on either thread: a packed row or a block.
class CRegionDecoder : public IAheadDecoder {
 public:
  int DecodeJob(const AheadJob& job, char* data, CFile& in, char* buffer, IDecodeProgress& progress) {
    return ReadRegionInto(in, *static_cast<const RegionRef*>(job.What), data, buffer, &progress);
  }
};

// Counts the bytes of the blocks the caller decodes itself.
class CCallerProgress : public IDecodeProgress {
 public:
  CCallerProgress(long long& count, CDecodeAhead::ReportFn report, void* context)
      : m_count(count), m_report(report), m_context(context) {}
  void Decoded(size_t bytes) {
    m_count += static_cast<long long>(bytes);
    m_report(m_context);
  }

 private:
  long long& m_count;
  CDecodeAhead::ReportFn m_report;
  void* m_context;
};

}  // namespace

ExtractResult CPackageFile::ReadRegion(const RegionRef& r, size_t maxUnpacked, char*& data) {
  data = 0;
  if (!m_file.IsOpen() || !Buffers()) return kExtractFailed;
  // The size it claims is checked before anything is allocated for it.
  if (r.Method == kMethodNone || r.Offset < 0 || r.Length < 0 || r.Offset > m_size || r.Length > m_size - r.Offset ||
      r.Unpacked == 0 || r.Unpacked > maxUnpacked || (r.Method == kMethodLzma && r.Length < LZMA_PROPS_BYTES) ||
      (r.Method == kMethodStored && r.Unpacked != static_cast<unsigned long long>(r.Length)))
    return kExtractDamaged;
  data = static_cast<char*>(AllocBuffer(static_cast<size_t>(r.Unpacked) + 1));
  if (!data) return kExtractFailed;
  // The same reader as the blocks'.
  int result = ReadRegionInto(m_file, r, data, m_in, 0);
  if (result != kExtractDone) {
    FreeBuffer(data);
    data = 0;
    return static_cast<ExtractResult>(result);
  }
  data[r.Unpacked] = 0;
  return kExtractDone;
}

bool CPackageFile::Eligible(const FileEntry& e) const {
  return e.Method == kMethodLzma && e.Offset >= 0 && e.Length >= LZMA_PROPS_BYTES && e.Offset <= m_size &&
         e.Length <= m_size - e.Offset && e.Unpacked > 0 && e.Unpacked <= m_aheadRowMax;
}

void CPackageFile::SetAheadLimits(size_t budget, size_t rowMax) {
  m_aheadBudget = budget;
  m_aheadRowMax = rowMax;
}

void CPackageFile::SetReadProgress(ReadProgressFn progress, void* context) {
  m_progress = progress;
  m_progressContext = context;
  m_ahead.SetReport(ReportAhead, this);
}

void CPackageFile::ReportAhead(void* self) {
  CPackageFile* f = static_cast<CPackageFile*>(self);
  f->RowProgress(f->m_rowBytes);
}

void CPackageFile::RowProgress(long long bytes) {
  m_rowBytes = bytes;
  if (m_progress) m_progress(m_progressContext, bytes);
}

void CPackageFile::DecodeAhead(const CFileList& list) {
  StopAhead();
  if (!m_file.IsOpen()) return;
  int blockCount = m_blocks ? m_blocks->Count() : 0;
  // The blocks with a row the run always writes: decoded ahead. A block only
  // of rows the run may keep waits until a row of it is written.
  char* wanted = 0;
  if (blockCount) {
    wanted = static_cast<char*>(AllocBuffer(static_cast<size_t>(blockCount) + 1));
    m_blockJob = static_cast<int*>(AllocBuffer(sizeof(int) * (static_cast<size_t>(blockCount) + 1)));
    if (!wanted || !m_blockJob) {
      FreeBuffer(wanted);
      StopAhead();
      return;
    }
    memset(wanted, 0, static_cast<size_t>(blockCount) + 1);
    for (int b = 0; b <= blockCount; b++) m_blockJob[b] = -1;
  }
  // The blocks a row's bytes lie in: from its first to the one its last byte
  // is in (the table was checked: they are there, one after another).
  struct Span {
    static bool Of(const CBlockTable* blocks, const FileEntry& e, long long& first, long long& last) {
      const RegionRef* b = blocks ? blocks->At(e.Block) : 0;
      if (e.Method != kMethodSolid || !b || !e.Unpacked) return false;
      long long end = blocks->RunStart(e.Block) + e.BlockOffset + static_cast<long long>(e.Unpacked);
      if (e.BlockOffset < 0 || end > blocks->RunEnd(e.Block)) return false;
      first = last = e.Block;
      while (blocks->RunStart(last) + static_cast<long long>(blocks->At(last)->Unpacked) < end) last++;
      return true;
    }
  };
  size_t largest = 0;
  int count = 0;
  for (const CFileList::Node* n = list.Head; n; n = n->Next) {
    long long first, last;
    if (Eligible(n->Entry)) count++;
    if (!Span::Of(m_blocks, n->Entry, first, last)) continue;
    for (long long b = first; b <= last; b++) {
      if (n->Entry.CopyMode != COPY_IF_ABSENT && n->Entry.CopyMode != COPY_ASK) wanted[b] = 1;
      count++;  // at most; blocks of many rows count once below
    }
  }
  m_jobs = static_cast<AheadJob*>(AllocBuffer(sizeof(AheadJob) * (static_cast<size_t>(count) + 1)));
  m_jobRefs = static_cast<RegionRef*>(AllocBuffer(sizeof(RegionRef) * (static_cast<size_t>(count) + 1)));
  m_rowJob = static_cast<int*>(AllocBuffer(sizeof(int) * (static_cast<size_t>(list.Count) + 1)));
  if (!m_jobs || !m_jobRefs || !m_rowJob) {
    FreeBuffer(wanted);
    StopAhead();
    return;
  }
  // In the order the list needs them; a block once, where it is first needed
  // (a block needed again after a later one is read by the caller itself).
  int k = 0, index = 0;
  long long lastBlock = 0;
  for (const CFileList::Node* n = list.Head; n; n = n->Next, index++) {
    const FileEntry& e = n->Entry;
    m_rowJob[index] = -1;
    long long first, last;
    if (Eligible(e)) {
      RegionRef ref = {e.Offset, e.Length, kMethodLzma, kFilterNone, e.Unpacked, e.Crc};
      m_jobRefs[k] = ref;
      m_rowJob[index] = k++;
    } else if (Span::Of(m_blocks, e, first, last)) {
      for (long long b = first; b <= last; b++) {
        if (b <= lastBlock || !wanted[b]) continue;
        lastBlock = b;
        m_jobRefs[k] = *m_blocks->At(b);
        if (m_jobRefs[k].Unpacked > largest) largest = static_cast<size_t>(m_jobRefs[k].Unpacked);
        m_blockJob[b] = k++;
      }
    }
  }
  FreeBuffer(wanted);
  for (int j = 0; j < k; j++) {
    AheadJob job = {j, static_cast<size_t>(m_jobRefs[j].Unpacked), &m_jobRefs[j]};
    m_jobs[j] = job;
  }
  if (!k) {
    StopAhead();
    return;
  }
  m_aheadList = &list;
  m_callerNode = list.Head;
  m_callerIndex = 0;
  // Two of the largest blocks: one the caller writes from, one decoded.
  m_ahead.SetBudget(m_aheadBudget > 2 * largest ? m_aheadBudget : 2 * largest);
  // Without a second thread the caller decodes every row itself.
  static CRegionDecoder decoder;
  if (!m_ahead.Start(m_path, kPackageChunk, decoder, m_jobs, k)) StopAhead();
}

int CPackageFile::PassRow(const FileEntry& e) {
  if (!m_aheadList) return -1;
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
    return -1;
  }
  m_callerNode = n->Next;
  m_callerIndex = index + 1;
  return index;
}

CDecodeAhead::Decoded* CPackageFile::TakeAhead(const FileEntry& e) {
  int index = PassRow(e);
  if (index < 0 || m_rowJob[index] < 0) return 0;
  // The block held before this row is passed by.
  ReleaseBlock();
  return m_ahead.Take(m_rowJob[index], m_file, m_in);
}

const char* CPackageFile::BlockBytes(long long number, ExtractResult& state) {
  const RegionRef* ref = m_blocks ? m_blocks->At(number) : 0;
  if (!ref || !ref->Unpacked || ref->Unpacked > BLOCK_UNPACKED_MAX) {
    state = kExtractDamaged;
    return 0;
  }
  if (m_heldNumber == number && (m_heldAhead || m_heldOwn)) return m_heldAhead ? m_heldAhead->Data : m_heldOwn;
  ReleaseBlock();
  int job = m_blockJob && m_aheadList && number <= m_blocks->Count() ? m_blockJob[number] : -1;
  if (job >= 0) {
    CDecodeAhead::Decoded* d = m_ahead.Take(job, m_file, m_in, true);
    if (d && d->State == kExtractDone) {
      m_heldNumber = number;
      m_heldAhead = d;
      return d->Data;
    }
    // No memory there, or damage: found out again below, as for any block.
    if (d) m_ahead.Release(d);
  }
  m_heldOwn = static_cast<char*>(AllocBuffer(static_cast<size_t>(ref->Unpacked)));
  if (!m_heldOwn) {
    state = kExtractFailed;
    return 0;
  }
  CCallerProgress progress(m_ownDecoded, ReportAhead, this);
  state = static_cast<ExtractResult>(ReadRegionInto(m_file, *ref, m_heldOwn, m_in, &progress));
  if (state != kExtractDone) {
    ReleaseBlock();
    return 0;
  }
  m_heldNumber = number;
  return m_heldOwn;
}

void CPackageFile::ReleaseBlock() {
  if (m_heldAhead) m_ahead.Release(m_heldAhead);
  FreeBuffer(m_heldOwn);
  m_heldAhead = 0;
  m_heldOwn = 0;
  m_heldNumber = 0;
}

void CPackageFile::StopAhead() {
  ReleaseBlock();
  m_ahead.Stop();
  FreeBuffer(m_jobs);
  FreeBuffer(m_jobRefs);
  FreeBuffer(m_rowJob);
  FreeBuffer(m_blockJob);
  m_jobs = 0;
  m_jobRefs = 0;
  m_rowJob = 0;
  m_blockJob = 0;
  m_aheadList = 0;
}
