#include "sync.h"

#ifdef _WIN32

CLock::CLock() {
  InitializeCriticalSection(&m_section);
  InitializeConditionVariable(&m_woken);
}
CLock::~CLock() { DeleteCriticalSection(&m_section); }
void CLock::Enter() { EnterCriticalSection(&m_section); }
void CLock::Leave() { LeaveCriticalSection(&m_section); }
void CLock::Wait() { SleepConditionVariableCS(&m_woken, &m_section, INFINITE); }
void CLock::Wake() { WakeAllConditionVariable(&m_woken); }

CThread::CThread() : m_routine(0), m_context(0), m_started(false), m_handle(0) {}

DWORD WINAPI CThread::Entry(void* self) {
  static_cast<CThread*>(self)->Run();
  return 0;
}

bool CThread::Launch() {
  m_handle = CreateThread(0, 0, Entry, this, 0, 0);
  return m_handle != 0;
}

void CThread::Join() {
  if (!m_started) return;
  WaitForSingleObject(m_handle, INFINITE);
  CloseHandle(m_handle);
  m_handle = 0;
  m_started = false;
}

#else

CLock::CLock() {
  pthread_mutex_init(&m_mutex, 0);
  pthread_cond_init(&m_woken, 0);
}
CLock::~CLock() {
  pthread_cond_destroy(&m_woken);
  pthread_mutex_destroy(&m_mutex);
}
void CLock::Enter() { pthread_mutex_lock(&m_mutex); }
void CLock::Leave() { pthread_mutex_unlock(&m_mutex); }
void CLock::Wait() { pthread_cond_wait(&m_woken, &m_mutex); }
void CLock::Wake() { pthread_cond_broadcast(&m_woken); }

CThread::CThread() : m_routine(0), m_context(0), m_started(false), m_handle() {}

void* CThread::Entry(void* self) {
  static_cast<CThread*>(self)->Run();
  return 0;
}

bool CThread::Launch() { return pthread_create(&m_handle, 0, Entry, this) == 0; }

void CThread::Join() {
  if (!m_started) return;
  pthread_join(m_handle, 0);
  m_started = false;
}

#endif

CThread::~CThread() { Join(); }

CRunGate::CRunGate() : m_held(false), m_stop(false), m_waiting(0) {}

void CRunGate::Hold() {
  CLocked hold(m_lock);
  m_held = true;
}

void CRunGate::Release() {
  CLocked hold(m_lock);
  m_held = false;
  m_lock.Wake();
}

void CRunGate::Stop() {
  CLocked hold(m_lock);
  m_stop = true;
  m_held = false;
  m_lock.Wake();
}

bool CRunGate::Stopping() {
  CLocked hold(m_lock);
  return m_stop;
}

bool CRunGate::StopRequested() {
  CLocked hold(m_lock);
  m_waiting++;
  while (m_held) m_lock.Wait();
  m_waiting--;
  return m_stop;
}

bool CRunGate::Waiting() {
  CLocked hold(m_lock);
  return m_waiting > 0;
}

bool CThread::Start(Routine routine, void* context) {
  if (m_started) return false;
  m_routine = routine;
  m_context = context;
  m_started = Launch();
  return m_started;
}

void CThread::Run() { m_routine(m_context); }
