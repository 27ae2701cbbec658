#include "runlog.h"

#include "framework/memory.h"
#include "framework/widetext.h"

CRunLog::CRunLog() : m_file(INVALID_HANDLE_VALUE) {}

CRunLog::~CRunLog() { Close(); }

BOOL CRunLog::Open(const char* path) {
  Close();
  if (!path || !path[0]) return FALSE;
  m_file = CreateFileW(CWideText(path), GENERIC_WRITE, FILE_SHARE_READ, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
  if (m_file == INVALID_HANDLE_VALUE) return FALSE;
  static const char bom[] = "\xEF\xBB\xBF";
  DWORD written = 0;
  WriteFile(m_file, bom, 3, &written, 0);
  return TRUE;
}

void CRunLog::Line(const char* text) {
  if (m_file == INVALID_HANDLE_VALUE) return;
  int wide = MultiByteToWideChar(kTextCodePage, 0, text, -1, 0, 0);
  if (wide <= 0) return;
  WCHAR* w = static_cast<WCHAR*>(AllocBuffer(static_cast<size_t>(wide) * sizeof(WCHAR)));
  if (!w) return;
  MultiByteToWideChar(kTextCodePage, 0, text, -1, w, wide);
  int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, 0, 0, 0, 0);
  char* utf8 = n > 0 ? static_cast<char*>(AllocBuffer(static_cast<size_t>(n) + 2)) : 0;
  if (utf8) {
    WideCharToMultiByte(CP_UTF8, 0, w, -1, utf8, n, 0, 0);
    // n counts the terminating zero: the line break takes its place.
    utf8[n - 1] = '\r';
    utf8[n] = '\n';
    DWORD written = 0;
    WriteFile(m_file, utf8, static_cast<DWORD>(n + 1), &written, 0);
    FreeBuffer(utf8);
  }
  FreeBuffer(w);
}

void CRunLog::Line(const char* format, const char* text) {
  CString line;
  line.Format(format, text);
  Line(line);
}

void CRunLog::Close() {
  if (m_file != INVALID_HANDLE_VALUE) CloseHandle(m_file);
  m_file = INVALID_HANDLE_VALUE;
}
