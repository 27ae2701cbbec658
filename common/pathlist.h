// A short list of paths (files in use, folders a run made, shortcuts a run
// linked), kept in memory in the order added. Paths compare as Windows names
// them: ASCII letters in any case.
#pragma once
#include "framework/cstring.h"

class CPathList {
 public:
  CPathList();
  ~CPathList();
  // False when there was no memory for it (the list stays as it was).
  bool Add(const char* path);
  int Count() const { return m_count; }
  const CString& operator[](int i) const { return m_items[i]; }
  bool Contains(const char* path) const;
  void Clear();
  // The paths, one a line ("\r\n" between them), the first max of them and
  // then "..." for the rest.
  CString Lines(int max) const;

 private:
  CPathList(const CPathList&);
  CPathList& operator=(const CPathList&);
  CString* m_items;
  int m_count;
  int m_capacity;
};
