// Decoding ahead: a second thread decodes the jobs of a run (a package's
// packed rows and solid blocks) in their order, straight into memory and
// within a budget,
// while the caller writes the ones before them; the caller, rather than wait
// for a job, decodes one further on itself, so both threads decode. The
// scheduler knows the jobs only by their number and size: what a job is, and
// how it is decoded, is the decoder's (IAheadDecoder).
#pragma once
#include <stddef.h>

#include "framework/cstring.h"
#include "framework/file.h"
#include "framework/platform.h"
#include "framework/sync.h"

// One piece of work decoded ahead.
struct AheadJob {
  int Index;         // the caller's number for it; jobs are given in rising order
  size_t Size;       // the bytes it takes decoded, held until the caller releases it
  const void* What;  // the decoder's own (the row)
};

// Told of a job's bytes as they come out, on the thread that decodes it.
class IDecodeProgress {
 public:
  virtual void Decoded(size_t bytes) = 0;

 protected:
  ~IDecodeProgress() {}
};

// Decodes a job into data (job.Size bytes), reading with in and the buffer
// given (each thread has its own) and telling progress of what comes out; an
// ExtractResult. Called on both threads.
class IAheadDecoder {
 public:
  virtual int DecodeJob(const AheadJob& job, char* data, CFile& in, char* buffer, IDecodeProgress& progress) = 0;

 protected:
  ~IAheadDecoder() {}
};

class CDecodeAhead {
 public:
  // A job taken by the caller: its bytes once decoded.
  struct Decoded {
    const AheadJob* Job;
    char* Data;
    int State;  // kBusy, kNoMemory, or what the decoder gave
    Decoded* Next;
  };
  enum { kBusy = -1, kNoMemory = -2 };

  CDecodeAhead();
  ~CDecodeAhead();  // Stop

  // At most this many decoded bytes are held at once (a job that does not
  // fit waits until the caller has released enough).
  void SetBudget(size_t budget) { m_budget = budget; }
  // Starts the second thread on the jobs (count of them, kept by the caller
  // until Stop), reading the file at path with buffers of bufferSize bytes.
  // False when the thread could not be made: nothing is decoded ahead.
  bool Start(const char* path, size_t bufferSize, IAheadDecoder& decoder, const AheadJob* jobs, int count);
  bool Active() const { return m_thread.Running(); }
  // The caller's turn for its number index: the decoded job of that number
  // (release it with Release), or null when there is none (that number is no
  // job, or it was not taken: the caller then does it itself; with
  // claimMissing it is then decoded here, by the caller, as a job of the
  // budget). Decoded jobs before index are dropped (the caller left them
  // out). While the job is being decoded the caller decodes a later one with
  // in and buffer, or waits for it, telling its report what was decoded.
  Decoded* Take(int index, CFile& in, char* buffer, bool claimMissing = false);
  void Release(Decoded* d);
  // Stops the second thread and drops what it decoded.
  void Stop();
  // Called on the caller's thread whenever the bytes decoded so far (by
  // either thread, DecodedBytes) grew while it was in Take.
  typedef void (*ReportFn)(void* context);
  void SetReport(ReportFn report, void* context);
  long long DecodedBytes();

  // The jobs given to Start, the most decoded bytes held at once since, and
  // the jobs decoded ahead by either thread (a job the caller asks for before
  // either took it is read by the caller as any other row).
  int JobCount() const { return m_count; }
  size_t PeakHeld();
  int DecodedCount();

 private:
  CDecodeAhead(const CDecodeAhead&);
  CDecodeAhead& operator=(const CDecodeAhead&);
  static void Entry(void* self);
  void Work();
  // Under the lock: the next job, taken; null when none can be taken now
  // (the budget is spent), and then end says whether none ever will.
  Decoded* ClaimUnderLock(bool& end);
  void ReleaseUnderLock(Decoded* d);
  // Outside the lock: decodes a claimed job, then sets its state under it.
  void DecodeClaimed(Decoded& d, CFile& in, char* buffer, bool caller);
  class CProgress;
  void Report();

  IAheadDecoder* m_decoder;
  const AheadJob* m_jobs;
  int m_count;
  CString m_path;
  size_t m_bufferSize;
  size_t m_budget;
  CThread m_thread;
  // Shared by both threads, under m_lock.
  CLock m_lock;
  int m_next;           // the next job to claim
  Decoded* m_decoded0;  // claimed jobs in order
  size_t m_held;
  bool m_stop;
  size_t m_peak;
  int m_decoded;
  long long m_decodedBytes;
  bool m_callerWaits;  // the caller sleeps in Take: each piece decoded wakes it
  ReportFn m_report;
  void* m_reportContext;
};
