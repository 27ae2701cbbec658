#include "pathlist.h"

#include "framework/mbcs.h"

CPathList::CPathList() : m_items(0), m_count(0), m_capacity(0) {}

CPathList::~CPathList() { Clear(); }

bool CPathList::Add(const char* path) {
  if (m_count == m_capacity) {
    int capacity = m_capacity ? m_capacity * 2 : 8;
    CString* items = new CString[capacity];
    if (!items) return false;
    for (int i = 0; i < m_count; i++) items[i] = m_items[i];
    delete[] m_items;
    m_items = items;
    m_capacity = capacity;
  }
  m_items[m_count] = path;
  m_count++;
  return true;
}

bool CPathList::Contains(const char* path) const {
  for (int i = 0; i < m_count; i++)
    if (CompareNoCaseMb(m_items[i], path) == 0) return true;
  return false;
}

void CPathList::Clear() {
  delete[] m_items;
  m_items = 0;
  m_count = m_capacity = 0;
}

CString CPathList::Lines(int max) const {
  CString text;
  for (int i = 0; i < m_count; i++) {
    if (i > 0) text += "\r\n";
    if (i == max) {
      text += "...";
      break;
    }
    text += m_items[i];
  }
  return text;
}
