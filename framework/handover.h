// What a run on a thread of its own hands to a window to show: the latest text
// or number of each of a few slots (a status line, a bar), kept under a lock
// until the window's thread takes them. The window is told once until it has
// taken what changed, so a run that reports thousands of times a second costs
// the window one message each time it looks. Platform-free: the pacing for a
// window is CWindowRun's (framework/windowrun.h).
#pragma once
#include "cstring.h"
#include "platform.h"
#include "sync.h"

class CHandOver {
 public:
  enum { kSlots = 4 };

  CHandOver();

  // The slot's new text or number. True when the window is to be told (it
  // has taken everything before).
  bool NoteText(int slot, const char* text);
  bool NoteNumber(int slot, int number);
  // What changed since the last time, a bit (1 << slot) per slot, with the
  // slots' texts and numbers.
  int Take(CString* texts, int* numbers);

 private:
  CHandOver(const CHandOver&);
  CHandOver& operator=(const CHandOver&);
  bool NotedUnderLock(int slot);

  CLock m_lock;  // guards what follows
  CString m_texts[kSlots];
  int m_numbers[kSlots];
  int m_changes;
  bool m_told;  // the window has been told of changes it has not taken yet
};
