// A second thread for work that runs beside the caller's, with the lock and the
// wake-up it shares with it: the same few calls on Windows and on the Linux
// host.
#pragma once
#include "platform.h"

#ifndef _WIN32
#include <pthread.h>
#endif

class CLock {
 public:
  CLock();
  ~CLock();
  void Enter();
  void Leave();
  // Leaves the lock, sleeps until Wake (or spuriously), enters it again.
  void Wait();
  // Wakes every thread in Wait.
  void Wake();

 private:
  CLock(const CLock&);
  CLock& operator=(const CLock&);
#ifdef _WIN32
  CRITICAL_SECTION m_section;
  CONDITION_VARIABLE m_woken;
#else
  pthread_mutex_t m_mutex;
  pthread_cond_t m_woken;
#endif
};

// Holds a lock for its scope.
class CLocked {
 public:
  explicit CLocked(CLock& lock) : m_lock(lock) { m_lock.Enter(); }
  ~CLocked() { m_lock.Leave(); }

 private:
  CLocked(const CLocked&);
  CLocked& operator=(const CLocked&);
  CLock& m_lock;
};

// What a window tells a run between its steps: hold on (while the user is
// asked something) and stop (the user quit). The run looks at its gate
// before each step.
class CRunGate {
 public:
  CRunGate();
  void Hold();     // the run waits at its next look
  void Release();  // and goes on
  void Stop();     // the run stops at its next look (held or not)
  bool Stopping();
  // The run's look: waits while held; true once stopped.
  bool StopRequested();
  // A run waits at the gate now.
  bool Waiting();

 private:
  CRunGate(const CRunGate&);
  CRunGate& operator=(const CRunGate&);
  CLock m_lock;
  bool m_held;
  bool m_stop;
  int m_waiting;
};

class CThread {
 public:
  typedef void (*Routine)(void* context);
  CThread();
  ~CThread();  // joins
  // False when the thread could not be made: the caller does the work itself.
  bool Start(Routine routine, void* context);
  void Join();
  bool Running() const { return m_started; }
#ifdef _WIN32
  HANDLE Handle() const { return m_handle; }  // for a wait that pumps messages
#endif

 private:
  CThread(const CThread&);
  CThread& operator=(const CThread&);
  bool Launch();  // the platform's part of Start
  void Run();
  Routine m_routine;
  void* m_context;
  bool m_started;
#ifdef _WIN32
  HANDLE m_handle;
  static DWORD WINAPI Entry(void* self);
#else
  pthread_t m_handle;
  static void* Entry(void* self);
#endif
};
