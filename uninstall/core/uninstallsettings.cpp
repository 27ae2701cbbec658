#include "uninstallsettings.h"

#include <string.h>

#include "common/container.h"
#include "common/packageindex.h"
#include "common/setuplog.h"

bool LoadUninstallTableFrom(const char* programPath, const char* indexCopy, UninstallSettings& s) {
  if (!ReadUninstallTable(programPath, s)) return false;
  RemoveIndexCopy(indexCopy);
  return true;
}

bool IsTemporaryCopy(const char* programPath) {
  CString name(programPath);
  int slash = ReverseFindCharMb(name, '\\');
  if (slash >= 0) name = name.Mid(slash + 1);
  int dot = ReverseFindCharMb(name, '.');
  if (dot >= 0) name = name.Left(dot);
  if (name.EndsWith('"')) name = name.Left(name.GetLength() - 1);
  if (name[0] == '"') name = name.Mid(1);
  return CompareNoCaseMb(name, TEMP_COPY_BASE) == 0;
}

CString StripQuotes(const char* text) {
  CString s(text);
  if (s[0] == '"') s = s.Mid(1);
  if (s.EndsWith('"')) s = s.Left(s.GetLength() - 1);
  return s;
}

CString SetupLogBeside(const char* programPath) {
  int slash = ReverseFindCharMb(programPath, '\\');
  CString path(programPath, slash + 1);
  path += SETUP_LOG_NAME;
  return path;
}

CString TemporaryCopyPath(const char* tempFolder) {
  CString path(tempFolder);
  if (!EndsWithBackslashMb(path)) path += '\\';
  path += TEMP_COPY_NAME;
  return path;
}

bool IsSetupLogName(const char* path) {
  int slash = ReverseFindCharMb(path, '\\');
  return CompareNoCaseMb(path + slash + 1, SETUP_LOG_NAME) == 0;
}

namespace {

// Reads one switch into out; false when word is none.
bool TakeSwitch(const CString& word, UninstallSwitches& out) {
  if (CompareNoCaseMb(word, "/S") == 0) out.Silent = true;
  else if (CompareNoCaseMb(word, "/ALL") == 0) out.All = true;
  else if (word.GetLength() >= 5 && CompareNoCaseMb(word.Left(5), "/LOG=") == 0) out.LogPath = word.Mid(5);
  else return false;
  return true;
}

}  // namespace

void ParseUninstallSwitches(const char* parameters, UninstallSwitches& out) {
  out = UninstallSwitches();
  const char* s = parameters ? parameters : "";
  while (IsBlank(*s)) s++;
  // Only an unquoted first word can be a switch: a quoted line is a path.
  const char* first = s;
  UninstallSwitches probe;
  CString word = *s == '"' ? CString() : NextWord(first);
  if (!(word == "--") && !TakeSwitch(word, probe)) {
    out.SetupLog = StripQuotes(s);
    return;
  }
  out.Switches = true;
  for (;;) {
    const char* before = s;
    word = NextWord(s);
    if (word.IsEmpty() && !*s) break;
    if (word == "--") {
      while (IsBlank(*s)) s++;
      out.SetupLog = StripQuotes(s);
      break;
    }
    TakeSwitch(word, out);  // a word that is no switch is passed over
    if (s == before) break;
  }
}

CString CopyParameters(const UninstallSwitches& s, const char* setupLog) {
  if (!s.Silent && !s.All && s.LogPath.IsEmpty()) return CString(setupLog);
  CString p;
  if (s.Silent) p += "/S ";
  if (s.All) p += "/ALL ";
  if (!s.LogPath.IsEmpty()) {
    // The quotes around the value only: a line that starts with a quote is
    // a path to the copy.
    p += "/LOG=\"";
    p += s.LogPath;
    p += "\" ";
  }
  p += "-- ";
  p += setupLog;
  return p;
}
