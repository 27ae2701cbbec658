// The package index: what the setup file says about the package, field by field,
// and the file list. Shared by the setup's loader and the package builder.
#pragma once
#include "fieldtable.h"
#include "framework/cstring.h"
#include "framework/mbcs.h"
#include "framework/platform.h"
#include "packageext.h"

// Destination folder kinds and copy rules of a file.
#define FOLDER_INSTALL 8
#define FOLDER_SYSTEM 16
#define FOLDER_WINDOWS 32
#define COPY_ALWAYS 64
#define COPY_IF_ABSENT 128
#define COPY_ASK 256
// Shortcut bits of a file.
#define SHORTCUT_DESKTOP 1
#define SHORTCUT_STARTMENU 2
#define SHORTCUT_GROUP 4

// Keywords of the index (exact, case-sensitive). Any other folder text means the
// installation folder, any other copy text means "always"; the builder writes
// the two fallback words below for those.
#define KW_WINDOWS_FOLDER "WINDOWS_FOLDER"
#define KW_SYSTEM_FOLDER "SYSTEM_FOLDER"
#define KW_INSTALL_FOLDER "INSTALL_FOLDER"
#define KW_NOTEXIST_COPY "NOTEXIST_COPY"
#define KW_ASK_COPY "ASK_COPY"
#define KW_ALWAYS_COPY "ALWAYS_COPY"
#define KW_TRUE "TRUE"

#define PAGE_COUNT 5
#define PAGE_LINES 8
#define TEXT_SIZE 256            // a text setting's buffer
#define EXT_SIZE 4               // an extension: 3 bytes and the terminator
#define ASSOC_PROGRAM_SIZE 255   // the program reference behind it
#define SPLASH_CAPTION_SIZE 68
#define STATIC_LINE_LIMIT 47     // a page line shown in a static control

// The package extension: the tag at kIdxExtension (PACKAGE_TAG, packageext.h)
// and the settings section after the file list (key and value rows, values of
// at most SETTING_VALUE_LIMIT bytes). Readers skip keys they do not know.
#define SETTING_VALUE_LIMIT 255
#define SETTING_PRODUCT_ID "product.id"
#define SETTING_PRODUCT_VERSION "product.version"
#define SETTING_PRODUCT_PUBLISHER "product.publisher"
#define SETTING_PRODUCT_URL "product.url"
// The language of the setup's and the uninstaller's own texts ("en"); none:
// Simplified Chinese (zh-CN).
#define SETTING_UI_LANGUAGE "ui.language"
// The blocks of solid packing: "block.<n>" (n from 1) with a region reference
// (RegionRef, packageext.h) of method lzma or stored, the filter x86 allowed.
// A row of method solid names the block its bytes start in.
#define SETTING_BLOCK "block."
// The most blocks a package may have, and the most unpacked bytes of one (the
// setup holds whole blocks in memory).
#define BLOCK_COUNT_MAX 65536
#define BLOCK_UNPACKED_MAX (64UL << 20)
// The uninstaller the setup writes as it is (signed with the setup file): a
// region reference (RegionRef) into the payload.
#define SETTING_UNINSTALLER_REGION "uninstaller.region"
// For whom the product is installed: SCOPE_USER_WORD for the current user
// alone (no administrator's rights, nothing outside the user's profile and
// HKEY_CURRENT_USER); SCOPE_ASK_WORD: the user chooses between the two when
// installing; none: for the whole machine.
#define SETTING_INSTALL_SCOPE "install.scope"
#define SCOPE_MACHINE_WORD "machine"
#define SCOPE_USER_WORD "user"
#define SCOPE_ASK_WORD "ask"

// The lists of the settings section (the stub's word CAPABILITY_WORD_LISTS):
// indexed keys, 1-based, one key per field of an item, LIST_ITEM_MAX items
// at most.
//   licence.region                   the whole licence: a region reference
//   association.<n>.extension        without the dot, LIST_EXTENSION_CHARS
//   association.<n>.program          folder-token reference
//   association.<n>.description      the type's name (optional)
//   association.<n>.icon             folder-token reference ",<index>" (optional)
//   uninstall.key.<n>, uninstall.value.<n>  n from 3: beyond the header's two
#define LIST_ITEM_MAX 64
#define SETTING_LICENCE_REGION "licence.region"
#define SETTING_ASSOCIATION "association."
#define SETTING_UNINSTALL_KEY "uninstall.key."
#define SETTING_UNINSTALL_VALUE "uninstall.value."
#define ASSOCIATION_FIELD_EXTENSION "extension"
#define ASSOCIATION_FIELD_PROGRAM "program"
#define ASSOCIATION_FIELD_DESCRIPTION "description"
#define ASSOCIATION_FIELD_ICON "icon"
// Limits of the list values (an item with a value past its limit is void,
// never cut: a cut reference names something else).
#define LIST_EXTENSION_CHARS 15
#define REG_ENTRY_LIMIT (FIELD_BUFFER_SIZE - 1)
// The whole licence text, in bytes of code page 936.
#define LICENCE_TEXT_LIMIT (256 * 1024)
// The registry keys and values handed to the uninstaller: the header's two
// and the list's.
#define REG_ENTRY_MAX LIST_ITEM_MAX

// The positions of the index header, from 0: the field at position p is the
// (p + 1)-th of the index. The reader, the builder, the inspector and the
// descriptor table below all name positions by these.
enum IndexPosition {
  kIdxPageText = 0,  // PAGE_LINES lines of each page, page after page
  kIdxProductName = PAGE_COUNT * PAGE_LINES,
  kIdxReadmeFile,
  kIdxRunFile,
  kIdxRegKeys,  // two keys
  kIdxRegValues = kIdxRegKeys + 2,  // two values
  kIdxExtension = kIdxRegValues + 2,  // PACKAGE_TAG when the package carries the extension
  kIdxPictureLength,
  kIdxPictureOffset,
  kIdxIconLength,
  kIdxIconOffset,
  kIdxTypeAssoc,  // two associations: the program, then the extension
  kIdxSplashEnabled = kIdxTypeAssoc + 4,
  kIdxSplashPictureLength,
  kIdxSplashPictureOffset,
  kIdxSplashCaption,
  kIdxSplashBackColor,
  kIdxSplashCaptionBar,
  kIdxUnused63,
  kIdxUnused64,
  kIndexHeaderFields  // fields before the first file row
};
// Position of page line `line` (both from 0) and of association a's program
// (its extension follows it).
inline int PageTextPosition(int page, int line) { return kIdxPageText + page * PAGE_LINES + line; }
inline int TypeAssocPosition(int a) { return kIdxTypeAssoc + 2 * a; }

// The fields of a file row, from 0.
enum FileRowPosition {
  kRowName,
  kRowFolder,
  kRowSubDir,
  kRowShortcuts,
  kRowCopyMode,
  kRowLength,
  kRowOffset,
  kRowExtension,  // "<method>,<unpacked length>,<crc32>" in an extended package
  kFileRowFields
};

// What one position of the index header holds.
enum IndexFieldKind { kFieldText, kFieldNumber, kFieldBool, kFieldIgnored };
struct IndexFieldInfo {
  const char* name;  // as the builder and the inspector call it
  IndexFieldKind kind;
  int limit;  // most bytes a text may hold (0: the field buffer's own limit)
};
// What each position of the header holds, at [position].
extern const IndexFieldInfo kIndexFields[kIndexHeaderFields];
extern const char* const kFileRowFieldNames[kFileRowFields];
// The byte limit of a text field of a file row (0 for numbers and keywords).
extern const int kFileRowLimits[kFileRowFields];

struct FileEntry {
  char Name[TEXT_SIZE];
  int Shortcuts;
  int Folder;
  char SubDir[TEXT_SIZE];
  int CopyMode;
  // The region as stored (packed bytes for lzma): the row's 32-bit fields, or
  // its extension's 64-bit ones.
  long long Length;
  long long Offset;
  int Method;  // kMethodNone: stored, unchecked (a package without the extension)
  unsigned long long Unpacked;
  unsigned long Crc;  // of the unpacked bytes
  // kMethodSolid: the bytes start at BlockOffset in block Block (from 1) and
  // go on into the blocks after it; Length and Offset hold nothing.
  long long Block;
  long long BlockOffset;
  // kMethodSolid, Filter kFilterX86: the FilterLength bytes from FilterFrom
  // of the file are stored through the x86 filter (RowFilterPart).
  int Filter;
  long long FilterFrom;
  long long FilterLength;
};

// The blocks of a package's solid packing by their numbers (from 1).
class CBlockTable {
 public:
  CBlockTable();
  ~CBlockTable();
  // Gives block number its reference; false when the number is outside 1 to
  // BLOCK_COUNT_MAX or the memory is not there.
  bool Set(long long number, const RegionRef& ref);
  // The block of that number; null when it was not given.
  const RegionRef* At(long long number) const;
  // The highest number given (0: none).
  int Count() const { return m_count; }
  // Where block number starts in the unpacked bytes of the run of given
  // blocks it belongs to, and where that run ends (Finish first).
  long long RunStart(long long number) const;
  long long RunEnd(long long number) const;
  // After the last Set: the runs' positions.
  void Finish();
  void Clear();

 private:
  CBlockTable(const CBlockTable&);
  CBlockTable& operator=(const CBlockTable&);
  struct Entry {
    RegionRef Ref;  // Method kMethodNone: not given
    long long Start;
    int RunLast;    // the last block of its run (an index)
  };
  Entry* m_entries;
  int m_count;
  int m_capacity;
};

// The package's files in index order: a doubly linked list that owns its nodes,
// with a cursor placed by MoveTo.
class CFileList {
 public:
  struct Node {
    FileEntry Entry;
    Node* Prev;
    Node* Next;
  };
  CFileList();
  ~CFileList();
  bool Append(const FileEntry& e);  // False when out of memory
  // Puts the cursor on the node with that index; an index outside the list
  // leaves it where it was. True when the cursor is on that index.
  bool MoveTo(int index);
  const FileEntry* Current() const { return Cursor ? &Cursor->Entry : 0; }
  void Clear();

  int Count;
  Node* Head;
  Node* Tail;
  Node* Cursor;
  int CursorIndex;

 private:
  CFileList(const CFileList&);
  CFileList& operator=(const CFileList&);
};

struct TypeAssocRecord {
  char Extension[EXT_SIZE];
  char Program[ASSOC_PROGRAM_SIZE];
};

// An association of the settings section's list: the type gets a class of
// the product's own (ListTypeClass, regref.h), and its removal takes back
// what was there before.
struct ListAssociation {
  CString Extension;    // without the dot
  CString Program;      // folder-token reference
  CString Description;  // the type's name; may be empty
  CString Icon;         // folder-token reference ",<index>"; empty: the program's first icon
};

// Every setting the index carries, under the names the setup uses.
struct PackageSettings {
  PackageSettings();
  CFileList FileList;
  char PageText[PAGE_COUNT][PAGE_LINES][TEXT_SIZE];
  char ProductName[TEXT_SIZE];
  LONG PictureLength;
  LONG PictureOffset;
  LONG IconLength;
  LONG IconOffset;
  char ReadmeFile[TEXT_SIZE];
  char RunFile[TEXT_SIZE];
  TypeAssocRecord TypeAssoc[2];
  // [0] and [1] from the header, the rest from the settings section's list.
  CString RegKeys[REG_ENTRY_MAX];
  CString RegValues[REG_ENTRY_MAX];
  bool SplashEnabled;
  LONG SplashPictureLength;
  LONG SplashPictureOffset;
  char SplashCaption[SPLASH_CAPTION_SIZE];
  LONG SplashBackColor;
  bool SplashCaptionBar;
  // The package carries the extension (tag at position 48); then the trailer
  // must carry the seal and every row its extension.
  bool Extended;
  // A row extension that does not parse, is missing in an extended package or
  // stands in one without the tag: the package is damaged.
  bool RowsDamaged;
  // The blocks of solid packing, and whether a block setting did not read.
  CBlockTable Blocks;
  bool BlocksDamaged;
  // Where the settings section starts in the index's text (-1: none).
  int SettingsSection;
  // The settings section's values (empty when not given).
  CString ProductId;
  CString ProductVersion;
  CString ProductPublisher;
  CString ProductUrl;
  CString Language;  // ui.language: empty for the default, zh-CN
  CString Scope;     // install.scope: empty for the default, the whole machine
  // Installed for the current user alone (install.scope = user); any other
  // value is the whole machine's installation.
  bool UserScope() const { return Scope == SCOPE_USER_WORD; }
  // The user chooses (install.scope = ask). The setup then puts the scope
  // chosen in Scope, and the runs see one scope as with any other package.
  bool AskScope() const { return Scope == SCOPE_ASK_WORD; }
  // The whole licence (Method kMethodNone: the header's licence line is all).
  RegionRef LicenceRegion;
  // The associations of the list, in the order of their numbers.
  ListAssociation Associations[LIST_ITEM_MAX];
  int AssociationCount;
  // The uninstaller the package carries (Method kMethodNone: none, or a
  // reference that does not read; the setup then assembles it).
  RegionRef UninstallerRegion;
};

// Reads the header and the file rows from the table into s, and in a package
// with the extension tag the settings section after the list. Texts longer
// than their buffers are cut inside them, at a character boundary.
void ParsePackageIndex(CFieldTable& table, PackageSettings& s);

// The next key and value of a settings section (table placed inside it) as
// stored, whole; false at its end: an empty key, or the end of the text.
bool NextSetting(CFieldTable& table, CString& key, CString& value);
// The item number n (1 to LIST_ITEM_MAX) of a list key prefix + n + rest
// (rest empty or "." and a field name, given back); 0 for any other key.
int ListItemOf(const char* key, const char* prefix, const char** rest);
// Takes a setting of the registry lists (uninstall.key.<n>, uninstall.value.<n>,
// n from 3) into keys and values; false when key is not one of them. A
// value longer than REG_ENTRY_LIMIT is void.
bool TakeRegistrySetting(const CString& key, const CString& value, CString* keys, CString* values);
// True when text is an extension the list may hold: 1 to LIST_EXTENSION_CHARS
// characters of whole code page 936 text, none of them a control character,
// a dot, a blank or one of \ / : * ? " < > |.
bool IsListExtension(const char* text);

// True when the blocks and the rows of solid packing agree with each other
// and with the payload [payloadStart, payloadEnd): every block given lies in
// the payload, is lzma (at least its property bytes) or stored (its length
// its unpacked size), unpacks to 1 to BLOCK_UNPACKED_MAX bytes; every solid
// row's bytes lie in blocks that are given, one after another.
bool BlocksConsistent(const PackageSettings& s, long long payloadStart, long long payloadEnd);

// True when a file row stays inside the folder it names: its name and
// subfolder are whole code page 936 text (IsWholeTextMb), its subfolder is
// empty or relative (no leading backslash), its name is one non-empty part,
// and no part is "." or ".." (or only dots and spaces) or holds a drive or
// stream colon or a slash. Only such a row is written, listed or linked.
bool IsContainedEntry(const FileEntry& e);

int FolderFromKeyword(const char* text);
int CopyModeFromKeyword(const char* text);
const char* FolderKeyword(int folder);
const char* CopyModeKeyword(int copyMode);
