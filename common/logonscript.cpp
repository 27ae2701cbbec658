#include "logonscript.h"

namespace {

// A path as a script line quotes it: '%' doubled (the one character a
// quoted text does not keep as it is); empty for a path no line can hold.
// In code page 936 no second byte of a character is below 0x40, so every
// byte compared here is a character of its own.
CString Quoted(const char* path) {
  CString quoted;
  if (!path || !path[0]) return quoted;
  quoted += '"';
  for (const char* p = path; *p; p++) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (c < 0x20 || c == '"') return CString();
    if (c == '%') quoted += '%';
    quoted += *p;
  }
  quoted += '"';
  return quoted;
}

}  // namespace

bool CLogonScript::AddStep(const char* format, const char* first, const char* second) {
  CString a = Quoted(first), b = second ? Quoted(second) : CString("");
  if (a.IsEmpty() || (second && b.IsEmpty())) return false;
  CString line;
  if (!line.Format(format, a.c_str(), b.c_str())) return false;
  int before = m_steps.GetLength();
  m_steps += line;
  return m_steps.GetLength() == before + line.GetLength();
}

bool CLogonScript::Replace(const char* from, const char* to) {
  return AddStep("move /y %s %s >nul 2>&1\r\n", from, to);
}

bool CLogonScript::RemoveFile(const char* path) { return AddStep("del /a /f /q %s >nul 2>&1\r\n", path, 0); }

bool CLogonScript::RemoveFolder(const char* path) { return AddStep("rd %s >nul 2>&1\r\n", path, 0); }

CString CLogonScript::Text() const {
  // Without code page 936 no path would be read as written: then nothing is
  // done, and the script goes all the same. Delayed expansion (which a
  // user may turn on for every console) would take '!' in a path for a
  // variable's mark.
  CString text(
      "@echo off\r\n"
      "chcp 936 >nul 2>&1\r\n"
      "if errorlevel 1 (del /a /f /q \"%~f0\" & exit /b 1)\r\n"
      "setlocal DisableDelayedExpansion\r\n");
  text += m_steps;
  text += "del /a /f /q \"%~f0\" >nul 2>&1 & exit /b 0\r\n";
  return text;
}
