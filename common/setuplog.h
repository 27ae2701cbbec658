// setup.log: the list of installed files, file-type extensions and shortcuts
// that the setup writes at Finish and the uninstaller reads back. Every line
// ends with 0x0D 0x0D 0x0A; the order of the first three sections and the
// empty lines between them carry the structure, their names are never
// checked. What the first three cannot hold follows the shortcut list (where
// earlier uninstallers stop reading) as further sections, each its name
// line, its entries and an empty line, found by name.
#pragma once
#include "framework/cstring.h"
#include "framework/file.h"
#include "framework/platform.h"
#include "installfolders.h"
#include "packageindex.h"
#include "pathlist.h"

#define SETUP_LOG_NAME "setup.log"
#define LOG_FILES_SECTION "[FILELIST]"
#define LOG_TYPES_SECTION "[TYPELIST]"
#define LOG_SHORTCUTS_SECTION "[SHORTCUTLIST]"
// The associations of the package's list, one TypeRecord line each.
#define LOG_TYPES2_SECTION "[TYPELIST2]"
// Sections after the shortcut list, each after an empty line: readers of
// before stop at the first empty line there, and every reader passes over a
// section it does not know. A log that needs none ends with its shortcuts.
// The folders the setup made above the installation folder (/D=), which
// the removal takes back once they are empty.
#define LOG_FOLDERS_SECTION "[FOLDERLIST]"
// The most entries of a list the programs hold in memory (the file list is
// never held); a longer list is read up to there.
#define LOG_LIST_MAX 10000
#define LOG_TERMINATOR "\r\r\n"
// Longest line the reader takes (terminator excluded). No Windows path of the
// ANSI functions comes near it; a longer line is skipped as damaged.
#define LOG_LINE_LIMIT 4096

// The log's path in an installation folder: the folder, a backslash if it
// lacks one, then "setup.log".
CString SetupLogPathIn(const char* installDir);

class CSetupLogWriter {
 public:
  CSetupLogWriter();
  // Creates or empties the file; an existing file gets normal attributes first,
  // so that a read-only log is replaced. False when it cannot be created.
  bool Create(const char* path);
  // Writes text and the terminator. After the first failed write nothing more
  // is written (a half line would glue the next one to it) and every later
  // call gives false.
  bool WriteLine(const char* text);
  // True only when the log was created, every line was written and the file
  // closed cleanly: a short log must not pass for a complete one.
  bool Close();
  bool IsOpen() const { return m_file.IsOpen(); }

 private:
  CFile m_file;
  bool m_ok;
};

// A row's shortcut file name: Name up to and including its first "." followed
// by "lnk" (a.b.exe gives a.lnk; a name without a dot gives "lnk").
CString ShortcutName(const char* name);

// What a list association's ".ext" key held before the setup associated it,
// so that its removal takes back exactly what the setup wrote. A line
// "<ext>|made", "<ext>|none", "<ext>|was|<previous default>" or "<ext>|kept".
enum TypeState {
  kTypeMade,  // the setup made the key (or found it naming the type's class already)
  kTypeNone,  // the key was there without a default value
  kTypeWas,   // the key's default value was Previous
  kTypeKept,  // the default value cannot be written into the log: left as it is found
};
struct TypeRecord {
  CString Extension;
  int State;
  CString Previous;
};
CString FormatTypeRecord(const TypeRecord& record);
// False for a line that is not such a record (or names no extension the
// list may hold): passed over.
bool ParseTypeRecord(const char* line, TypeRecord& record);
// The records of a run, in the order the associations were made.
struct TypeRecordList {
  TypeRecordList() : Count(0) {}
  TypeRecord Items[LIST_ITEM_MAX];
  int Count;
};

// Writes everything before the shortcut pass: "[FILELIST]", the installed path
// (CInstallFolders::Resolve) of every file in list order (not of a row that
// would leave its folder, which is never written: see IsContainedEntry), an
// empty line, "[TYPELIST]", each non-empty extension of the two associations, an empty line, "[SHORTCUTLIST]". False
// when a line could not be written or formed.
bool WriteLogSections(CSetupLogWriter& log, const PackageSettings& s, const CInstallFolders& folders);
// Writes what follows the shortcut list, each section after an empty line
// and always in this order: "[FOLDERLIST]" with the folders (null or empty:
// none), then "[TYPELIST2]" with a line for each record of the list
// associations (null or empty: none). Nothing without them, so that such a
// log stays as it always was. False when a line could not be written.
bool WriteLaterSections(CSetupLogWriter& log, const CPathList* folders, const TypeRecordList* types);

// What ReadLine found.
enum LogLineKind {
  kLogLineText,     // a line, possibly empty
  kLogLineEnd,      // end of file: no more bytes (the line is empty)
  kLogLineDamaged,  // a line holding a zero byte, longer than LOG_LINE_LIMIT,
                     // or too big for memory: no usable text (the line is empty)
};

// Reads a log line by line for the uninstaller. The file list is read twice
// (sizes, then deletion): BeginFileList goes back to the start each time.
class CSetupLogReader {
 public:
  CSetupLogReader();
  // Read-only, shared with other readers and writers. False when it cannot be opened.
  bool Open(const char* path);
  void Close();
  bool IsOpen() const { return m_file.IsOpen(); }
  bool Rewind();

  // A line is the bytes up to the next 0x0A. A 0x0D before the 0x0A goes with
  // the line end, and then one more trailing 0x0D (the log's extra one) is
  // removed. Only a 0x0D is removed, so a line with a plain CR LF or LF end,
  // or the file's last line without any end, keeps all of its text.
  LogLineKind ReadLine(CString& line);

  // The sections as the uninstaller walks them. Each Next... gives true with
  // the next entry, or false at the empty line that ends the group or at the
  // end of the file. Damaged lines are passed over: they name nothing that
  // could safely be deleted, but they do not end a group either.
  bool BeginFileList();  // back to the start, past the section line
  bool NextFilePath(CString& path);
  void BeginTypeList();  // past the section line; call once the file paths ran out
  // An entry longer than 3 bytes is cut to its first 3 (at a character boundary).
  bool NextExtension(CString& ext);
  void BeginShortcutList();  // past the section line; call once the extensions ran out
  bool NextShortcut(CString& path);
  // A section after the shortcut list by its name line (found with
  // NextSection): true with the reader placed at its first entry (read them
  // with NextEntry); false when the log has none. BeginGroup(2) goes back to
  // the shortcut list afterwards.
  bool BeginSection(const char* name);
  // Back to the start, then past the first index groups (each ended by an
  // empty line) and the next group's name line: 0 the files, 1 the
  // extensions, 2 the shortcuts.
  bool BeginGroup(int index);
  // The next entry of the group or section; false at its empty line or the
  // end of the file. Damaged lines are passed over.
  bool NextEntry(CString& text);
  // The sections after the shortcut list, once the shortcuts ran out: the
  // next section's name (its first line), false at the end of the file.
  // NextSectionEntry gives its entries as NextShortcut does.
  bool NextSection(CString& name);
  bool NextSectionEntry(CString& entry) { return NextEntry(entry); }

 private:
  bool Fill();
  CFile m_file;
  char m_buf[4096];
  unsigned m_pos;
  unsigned m_len;
};

// The lists of a log that are short enough to keep: its extensions (each cut
// as NextExtension cuts it), its shortcuts and the folders of its folder list,
// each at most LOG_LIST_MAX, and (when listTypes is given) the records of
// its list associations. False when the log cannot be opened.
bool ReadSetupLogLists(const char* path, CPathList& types, CPathList& shortcuts, CPathList& folders,
                       TypeRecordList* listTypes = 0);

// The program-group rule for one shortcut line: True when the lower-cased path
// contains the lower-cased Programs folder (a backslash is added to it when
// missing); group is then the lower-cased path up to its last backslash.
// Never gives the Programs folder itself or anything above it (a shortcut lying
// directly in it), nor anything when the Programs folder is empty: the
// uninstaller removes that folder with all its content.
bool ProgramGroupOf(const char* shortcutPath, const char* programsFolder, CString& group);
