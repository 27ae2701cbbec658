// A run on a thread of its own that reports to a window, so that the window
// keeps answering while the run goes: the thread (with COM of its own, as the
// window's thread has it), what the run sends to the window and waits for,
// what it hands over to be shown (the latest of each slot, shown at most
// every kShowInterval ms, and always before anything sent and at the end),
// the message posted as the run's last act, and the join.
#pragma once
#include "cstring.h"
#include "handover.h"
#include "platform.h"
#include "sync.h"

// What the window does with what its run reports, on the window's thread.
class IRunWindow {
 public:
  // A report the run sent (what, its argument); the answer goes back to it.
  virtual LRESULT OnRunReport(int what, LPARAM arg) = 0;
  // What the run handed over since the last time: a bit (1 << slot) per
  // changed slot, with the slots' texts and numbers.
  virtual void OnRunChanges(int changes, const CString* texts, const int* numbers) = 0;
  // The run has ended with its result; its thread has ended too.
  virtual void OnRunDone(int result) = 0;

 protected:
  ~IRunWindow() {}
};

class CWindowRun {
 public:
  typedef int (*Work)(void* context);

  explicit CWindowRun(IRunWindow& window);
  ~CWindowRun();  // waits for a run that still goes (JoinPumping)

  // Starts work(context) on a thread of its own for the window w; the
  // window's OnRunDone follows its end. When no thread can be had, the work
  // goes on this thread (answering only inside its own reports) and
  // OnRunDone is called before Start returns.
  void Start(HWND w, Work work, void* context);
  // Started, and its end not yet handled by the window.
  BOOL Running() const { return m_thread.Running(); }

  // The window's side. The window passes its messages here first: TRUE when
  // the message was the run's (what it sent, the changes to show, its end).
  BOOL OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result);
  // Shows what the run handed over: now, or paced (at most every
  // kShowInterval ms; a timer brings the rest).
  void ShowChanges(BOOL now);
  // The end of the run once more, posted, for a window that put off handling
  // it (a question was open when it came).
  void RepostDone();
  // Waits for the thread while taking the messages it sends meanwhile (the
  // window is going away while the run goes on).
  void JoinPumping();

  // The run's side, on its thread: a report sent to the window and done
  // there (directly when called on the window's thread); a text or number
  // handed over to be shown.
  LRESULT Send(int what, LPARAM arg);
  void NoteText(int slot, const char* text);
  void NoteNumber(int slot, int number);

  // Drawing each of thousands of small files would cost more than copying
  // them: a window shows a run's changes at most this often (ms).
  static const DWORD kShowInterval = 50;

 private:
  CWindowRun(const CWindowRun&);
  CWindowRun& operator=(const CWindowRun&);
  static void Entry(void* self);
  void Tell();

  IRunWindow& m_window;
  HWND m_hWnd;
  Work m_work;
  void* m_context;
  int m_result;
  CHandOver m_noted;
  CThread m_thread;
  // The window's thread only: whether and when it last showed changes.
  BOOL m_shown;
  DWORD m_lastShown;
};
