#include "handover.h"

CHandOver::CHandOver() : m_changes(0), m_told(false) {
  for (int i = 0; i < kSlots; i++) m_numbers[i] = 0;
}

bool CHandOver::NotedUnderLock(int slot) {
  m_changes |= 1 << slot;
  bool tell = !m_told;
  m_told = true;
  return tell;
}

bool CHandOver::NoteText(int slot, const char* text) {
  if (slot < 0 || slot >= kSlots) return false;
  CLocked hold(m_lock);
  m_texts[slot] = text;
  return NotedUnderLock(slot);
}

bool CHandOver::NoteNumber(int slot, int number) {
  if (slot < 0 || slot >= kSlots) return false;
  CLocked hold(m_lock);
  m_numbers[slot] = number;
  return NotedUnderLock(slot);
}

int CHandOver::Take(CString* texts, int* numbers) {
  CLocked hold(m_lock);
  int changes = m_changes;
  for (int i = 0; i < kSlots; i++) {
    if (!(changes & (1 << i))) continue;
    texts[i] = m_texts[i];
    numbers[i] = m_numbers[i];
  }
  m_changes = 0;
  m_told = false;
  return changes;
}
