#include "commandline.h"

#include "framework/mbcs.h"

namespace {

// True when word starts with prefix, ASCII letters in any case.
bool StartsWithNoCase(const char* word, const char* prefix) {
  for (; *prefix; word++, prefix++) {
    char a = *word, b = *prefix;
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a + 32);
    if (b >= 'A' && b <= 'Z') b = static_cast<char>(b + 32);
    if (a != b) return false;
  }
  return true;
}

// The rest of the line without the blanks at its end.
CString TrimmedRest(const char* s) {
  int n = 0;
  for (int i = 0; s[i]; i++)
    if (!IsBlank(s[i])) n = i + 1;
  return CString(s, n);
}

}  // namespace

void ParseSetupSwitches(const char* parameters, SetupSwitches& out) {
  out = SetupSwitches();
  const char* s = parameters ? parameters : "";
  for (;;) {
    while (IsBlank(*s)) s++;
    if (!*s) break;
    if (StartsWithNoCase(s, "/D=")) {
      out.Folder = TrimmedRest(s + 3);
      break;
    }
    // The same quoted as a whole, as programs that quote every argument
    // with a blank pass it: the closing quote is not part of the folder.
    if (*s == '"' && StartsWithNoCase(s + 1, "/D=")) {
      out.Folder = TrimmedRest(s + 4);
      if (out.Folder.EndsWith('"')) out.Folder = out.Folder.Left(out.Folder.GetLength() - 1);
      break;
    }
    CString word = NextWord(s);
    if (CompareNoCaseMb(word, "/S") == 0) out.Silent = true;
    else if (CompareNoCaseMb(word, "/NOOVERWRITE") == 0) out.NoOverwrite = true;
    else if (CompareNoCaseMb(word, "/ALLOWDOWNGRADE") == 0) out.AllowDowngrade = true;
    else if (word == "/?") out.Help = true;
    else if (CompareNoCaseMb(word, ALL_USERS_SWITCH) == 0) {
      out.AllUsers = true;
      out.CurrentUser = false;
    } else if (CompareNoCaseMb(word, "/CURRENTUSER") == 0) {
      out.CurrentUser = true;
      out.AllUsers = false;
    } else if (CompareNoCaseMb(word, RESUME_SWITCH) == 0) out.Resume = true;
    else if (StartsWithNoCase(word, "/LOG=")) out.LogPath = word.Mid(5);
    else if (out.Unknown.IsEmpty()) out.Unknown = word;
  }
}
