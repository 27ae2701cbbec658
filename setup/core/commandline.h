// The setup's command line: the switches a deployment script gives, apart
// from the program that acts on them.
#pragma once
#include "framework/cstring.h"
#include "framework/platform.h"

struct SetupSwitches {
  SetupSwitches()
      : Silent(false), NoOverwrite(false), AllowDowngrade(false), Help(false), AllUsers(false),
        CurrentUser(false), Resume(false) {}
  bool Silent;          // /S: no window at all
  bool NoOverwrite;     // /NOOVERWRITE: in silent mode the ask-rule keeps the file
  bool AllowDowngrade;  // /ALLOWDOWNGRADE: in silent mode an older version goes over a newer one
  bool Help;         // /?: the list of switches
  // /ALLUSERS, /CURRENTUSER: for whom a package that lets the user choose
  // installs (the last one given counts); other packages pass them over.
  bool AllUsers;
  bool CurrentUser;
  // /RESUME: the setup started again by its folder page with the
  // administrator's rights; it opens at that page, the licence agreed.
  bool Resume;
  CString Folder;    // /D=: the installation folder (the rest of the line)
  CString LogPath;   // /LOG=: where the account of the run goes
  CString Unknown;   // the first word that is no switch of ours (ignored)
};


// Reads the switches, in any letter case, separated by blanks. A word may be
// quoted ("/LOG=C:\my logs\s.log" or /LOG="C:\my logs\s.log"); the quotes are
// not part of the value. /D= takes everything after it to the end of the line
// as it stands (spaces included, no quotes), so it comes last; a last word
// "/D=folder" quoted as a whole is read the same.
// The switch the folder page starts the setup again with, before its /D=.
#define RESUME_SWITCH "/RESUME"
#define ALL_USERS_SWITCH "/ALLUSERS"
void ParseSetupSwitches(const char* parameters, SetupSwitches& out);
