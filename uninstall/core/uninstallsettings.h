// What the uninstaller knows: the nine fields of the table that the setup
// appended to ridkit.exe and the settings of the table's extension, and
// where setup.log lies. Also the text rules of the
// start-up (the temporary copy's name, its parameter, the log's name), kept
// apart from the windows so that both platforms can test them.
#pragma once
#include "common/container.h"
#include "common/fieldtable.h"
#include "common/packageindex.h"
#include "framework/cstring.h"
#include "framework/mbcs.h"
#include "framework/platform.h"

// The temporary copy the uninstaller runs from, in the temporary folder.
#define TEMP_COPY_BASE "glb1a2b"
#define TEMP_COPY_NAME "glb1a2b.exe"
// Where an unattended run's first instance moves its own file while it waits
// for the copy (in the copy's folder).
#define TEMP_PARKED_NAME "ridkit-parked.exe"
// The uninstaller's own table (UninstallTable, common/container.h) and where
// it was started for.
struct UninstallSettings : UninstallTable {
  CString CommandLine;  // the temporary copy's parameters, quotes removed
  CString SetupLogPath;
};

// Reads the table appended to programPath into s (ReadUninstallTable), then
// removes a copy of it an earlier release left at indexCopy
// (RemoveIndexCopy). False when there is no trailer or the table cannot be
// read.
bool LoadUninstallTableFrom(const char* programPath, const char* indexCopy, UninstallSettings& s);

// The uninstaller's command line. A line whose first word is one of the
// switches /S, /ALL, /LOG=file (any letter case) or "--" is read as switches,
// up to "--", after which the rest (quotes removed) is the path of
// setup.log. Any other line is the path of setup.log as a whole, as every
// ridkit.lnk passes it; a path that starts with "/" is written after "-- ".
struct UninstallSwitches {
  UninstallSwitches() : Switches(false), Silent(false), All(false) {}
  bool Switches;  // the line was read as switches
  bool Silent;    // /S: no window, the outcome in the exit code
  bool All;       // /ALL: with /S, files left in the folder go too
  CString LogPath;   // /LOG=: where the account of the run goes
  CString SetupLog;  // the path of setup.log given, if any
};
void ParseUninstallSwitches(const char* parameters, UninstallSwitches& out);
// The parameters the first instance starts its temporary copy with: the
// switches given and "-- " setupLog, or setupLog alone (as before) when no
// switch was given.
CString CopyParameters(const UninstallSwitches& s, const char* setupLog);

// True when the program file's name, without folder and extension (and
// without one double quote at its end and one at its start), is "glb1a2b" in
// any letter case.
bool IsTemporaryCopy(const char* programPath);
// One double quote removed at the start, then one at the end, if present.
CString StripQuotes(const char* text);
// programPath up to and including its last backslash, then "setup.log".
CString SetupLogBeside(const char* programPath);
// The temporary folder, a backslash if it lacks one, then "glb1a2b.exe".
CString TemporaryCopyPath(const char* tempFolder);
// True when the part of path after its last backslash is "setup.log" in any
// letter case.
bool IsSetupLogName(const char* path);
