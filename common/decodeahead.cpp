#include "decodeahead.h"

#include "framework/memory.h"

CDecodeAhead::CDecodeAhead()
    : m_decoder(0),
      m_jobs(0),
      m_count(0),
      m_bufferSize(0),
      m_budget(32U << 20),
      m_next(0),
      m_decoded0(0),
      m_held(0),
      m_stop(false),
      m_peak(0),
      m_decoded(0),
      m_decodedBytes(0),
      m_callerWaits(false),
      m_report(0),
      m_reportContext(0) {}

// Counts what a thread decodes; the second thread wakes a caller that waits,
// the caller tells its report.
class CDecodeAhead::CProgress : public IDecodeProgress {
 public:
  CProgress(CDecodeAhead& ahead, bool caller) : m_ahead(ahead), m_caller(caller) {}
  void Decoded(size_t bytes) {
    {
      CLocked hold(m_ahead.m_lock);
      m_ahead.m_decodedBytes += static_cast<long long>(bytes);
      if (!m_caller && m_ahead.m_callerWaits) m_ahead.m_lock.Wake();
    }
    if (m_caller) m_ahead.Report();
  }

 private:
  CDecodeAhead& m_ahead;
  bool m_caller;
};

void CDecodeAhead::SetReport(ReportFn report, void* context) {
  m_report = report;
  m_reportContext = context;
}

void CDecodeAhead::Report() {
  if (m_report) m_report(m_reportContext);
}

long long CDecodeAhead::DecodedBytes() {
  CLocked hold(m_lock);
  return m_decodedBytes;
}

CDecodeAhead::~CDecodeAhead() { Stop(); }

bool CDecodeAhead::Start(const char* path, size_t bufferSize, IAheadDecoder& decoder, const AheadJob* jobs,
                         int count) {
  Stop();
  m_decoder = &decoder;
  m_jobs = jobs;
  m_count = count;
  m_path = path;
  m_bufferSize = bufferSize;
  m_next = 0;
  m_held = 0;
  m_stop = false;
  m_peak = 0;
  m_decoded = 0;
  m_decodedBytes = 0;
  m_callerWaits = false;
  return m_thread.Start(Entry, this);
}

void CDecodeAhead::Entry(void* self) { static_cast<CDecodeAhead*>(self)->Work(); }

void CDecodeAhead::Work() {
  CFile in;
  char* buffer = static_cast<char*>(AllocBuffer(m_bufferSize));
  bool ready = buffer && in.Open(m_path, CFile::modeRead | CFile::shareDenyNone);
  while (ready) {
    Decoded* mine = 0;
    {
      CLocked hold(m_lock);
      bool end = false;
      while (!m_stop && !(mine = ClaimUnderLock(end)) && !end) m_lock.Wait();  // until the caller releases some
    }
    if (!mine) break;
    DecodeClaimed(*mine, in, buffer, false);
  }
  FreeBuffer(buffer);
}

CDecodeAhead::Decoded* CDecodeAhead::ClaimUnderLock(bool& end) {
  end = m_next >= m_count;
  if (end) return 0;
  const AheadJob& job = m_jobs[m_next];
  if (m_held + job.Size > m_budget) return 0;
  Decoded* d = new Decoded;
  if (!d) {
    end = true;
    return 0;
  }
  d->Job = &job;
  d->Data = 0;
  d->State = kBusy;
  d->Next = 0;
  Decoded** tail = &m_decoded0;
  while (*tail) tail = &(*tail)->Next;
  *tail = d;
  m_held += job.Size;
  if (m_held > m_peak) m_peak = m_held;
  m_next++;
  return d;
}

void CDecodeAhead::DecodeClaimed(Decoded& d, CFile& in, char* buffer, bool caller) {
  char* data = static_cast<char*>(AllocBuffer(d.Job->Size));
  CProgress progress(*this, caller);
  // Without the memory the job is left to the caller, which reads it itself.
  int state = data ? m_decoder->DecodeJob(*d.Job, data, in, buffer, progress) : kNoMemory;
  CLocked hold(m_lock);
  d.Data = data;
  d.State = state;
  m_decoded++;
  m_lock.Wake();
}

CDecodeAhead::Decoded* CDecodeAhead::Take(int index, CFile& in, char* buffer, bool claimMissing) {
  if (!m_thread.Running()) return 0;
  for (;;) {
    Decoded* mine = 0;
    bool missing = false, woken = false;
    {
      CLocked hold(m_lock);
      for (;;) {
        Decoded* d = m_decoded0;
        // Jobs left out (kept files): their bytes are not wanted.
        if (d && d->Job->Index < index && d->State != kBusy) {
          m_decoded0 = d->Next;
          ReleaseUnderLock(d);
          continue;
        }
        if (d && d->Job->Index == index && d->State != kBusy) {
          m_decoded0 = d->Next;
          return d;
        }
        if (!d || d->Job->Index > index) {
          // Not taken: the second thread passes it by. Asked to, the caller
          // claims it itself when it is the next job (no job before it is
          // held any more, so it fits the budget).
          if (claimMissing && m_next < m_count && m_jobs[m_next].Index == index && !m_stop) {
            bool end = false;
            mine = ClaimUnderLock(end);
            missing = mine != 0;
            if (missing) break;
          }
          while (m_next < m_count && m_jobs[m_next].Index <= index) m_next++;
          return 0;
        }
        // The job (or one before it) is being decoded. Rather than wait,
        // decode one further on: both threads decode.
        bool end = false;
        mine = m_stop ? 0 : ClaimUnderLock(end);
        if (mine) break;
        m_callerWaits = true;
        long long before = m_decodedBytes;
        m_lock.Wait();
        m_callerWaits = false;
        // Woken by a piece decoded on the second thread: told outside the lock.
        if (m_decodedBytes != before) {
          woken = true;
          break;
        }
      }
    }
    if (woken) {
      Report();
      continue;
    }
    DecodeClaimed(*mine, in, buffer, true);
    if (missing) {
      // Its own job: taken off the list of claimed ones at once.
      CLocked hold(m_lock);
      Decoded** at = &m_decoded0;
      while (*at != mine) at = &(*at)->Next;
      *at = mine->Next;
      return mine;
    }
  }
}

void CDecodeAhead::Release(Decoded* d) {
  CLocked hold(m_lock);
  ReleaseUnderLock(d);
}

void CDecodeAhead::ReleaseUnderLock(Decoded* d) {
  m_held -= d->Job->Size;
  FreeBuffer(d->Data);
  delete d;
  m_lock.Wake();
}

size_t CDecodeAhead::PeakHeld() {
  CLocked hold(m_lock);
  return m_peak;
}

int CDecodeAhead::DecodedCount() {
  CLocked hold(m_lock);
  return m_decoded;
}

void CDecodeAhead::Stop() {
  if (m_thread.Running()) {
    {
      CLocked hold(m_lock);
      m_stop = true;
      m_lock.Wake();
    }
    m_thread.Join();
  }
  while (Decoded* d = m_decoded0) {
    m_decoded0 = d->Next;
    FreeBuffer(d->Data);
    delete d;
  }
  m_held = 0;
}
