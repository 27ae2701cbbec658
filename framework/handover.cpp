#include "handover.h"

CHandOver::CHandOver() : m_changes(0), m_told(FALSE), m_shown(FALSE), m_lastShown(0) {
  for (int i = 0; i < kSlots; i++) m_numbers[i] = 0;
  InitializeCriticalSection(&m_lock);
}

CHandOver::~CHandOver() { DeleteCriticalSection(&m_lock); }

// Called with the lock held; leaves it.
BOOL CHandOver::Noted(int slot) {
  m_changes |= 1 << slot;
  BOOL tell = !m_told;
  m_told = TRUE;
  LeaveCriticalSection(&m_lock);
  return tell;
}

BOOL CHandOver::NoteText(int slot, const char* text) {
  if (slot < 0 || slot >= kSlots) return FALSE;
  EnterCriticalSection(&m_lock);
  m_texts[slot] = text;
  return Noted(slot);
}

BOOL CHandOver::NoteNumber(int slot, int number) {
  if (slot < 0 || slot >= kSlots) return FALSE;
  EnterCriticalSection(&m_lock);
  m_numbers[slot] = number;
  return Noted(slot);
}

int CHandOver::Take(CString* texts, int* numbers) {
  EnterCriticalSection(&m_lock);
  int changes = m_changes;
  for (int i = 0; i < kSlots; i++) {
    if (!(changes & (1 << i))) continue;
    texts[i] = m_texts[i];
    numbers[i] = m_numbers[i];
  }
  m_changes = 0;
  m_told = FALSE;
  LeaveCriticalSection(&m_lock);
  return changes;
}

int CHandOver::TakePaced(HWND w, UINT_PTR timer, BOOL now, CString* texts, int* numbers) {
  DWORD tick = GetTickCount();
  if (!now && m_shown && tick - m_lastShown < kShowInterval) {
    SetTimer(w, timer, kShowInterval - (tick - m_lastShown), 0);
    return 0;
  }
  KillTimer(w, timer);
  m_shown = TRUE;
  m_lastShown = tick;
  return Take(texts, numbers);
}
