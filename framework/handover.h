// What a run on a thread of its own hands to a window to show: the latest text
// or number of each of a few slots (a status line, a bar), kept under a lock
// until the window's thread takes them. The window is told once until it has
// taken what changed, so a run that reports thousands of times a second costs
// the window one message each time it looks.
#pragma once
#include "cstring.h"
#include "platform.h"

class CHandOver {
 public:
  enum { kSlots = 4 };

  CHandOver();
  ~CHandOver();

  // The slot's new text or number. TRUE when the window is to be told (it
  // has taken everything before).
  BOOL NoteText(int slot, const char* text);
  BOOL NoteNumber(int slot, int number);
  // What changed since the last time, a bit (1 << slot) per slot, with the
  // slots' texts and numbers.
  int Take(CString* texts, int* numbers);
  // Take, paced for the window w (called on its thread): now, or at most
  // every kShowInterval ms; before that nothing is taken, 0 comes back and
  // w's timer `timer` is set for when the changes are due.
  int TakePaced(HWND w, UINT_PTR timer, BOOL now, CString* texts, int* numbers);
  // Drawing each of thousands of small files would cost more than copying
  // them: a window shows a run's changes at most this often (ms).
  static const DWORD kShowInterval = 50;

 private:
  BOOL Noted(int slot);
  CRITICAL_SECTION m_lock;  // guards what follows
  CString m_texts[kSlots];
  int m_numbers[kSlots];
  int m_changes;
  BOOL m_told;  // the window has been told of changes it has not taken yet
  // The window's thread only: whether and when it last took changes.
  BOOL m_shown;
  DWORD m_lastShown;
  CHandOver(const CHandOver&);
  CHandOver& operator=(const CHandOver&);
};
