// The self-extracting container: executable image, data regions, the scrambled
// table, and the trailer "&LEN:%d,SEEK:%d." as the file's last bytes (SEEK in
// 64 bits for a package past 2 GiB).
#pragma once
#include "fieldtable.h"
#include "framework/cstring.h"
#include "framework/fsys.h"
#include "framework/platform.h"
#include "packageext.h"
#include "packageindex.h"

// The trailer's "&" must lie in this many last bytes of the file (and not be the
// first of them).
#define TRAILER_WINDOW 127
#define UNINSTALLER_NAME "ridkit.exe"
#define UNINSTALLER_COLUMNS 8
// The uninstaller table's extension: after its nine fields, this tag ends a
// row, then key and value rows as in a package's settings section.
#define UNINSTALL_TABLE_TAG PACKAGE_TAG
// Copy runs move the data in chunks of this size.
const int kCopyChunk = 65536;

// Finds the trailer at the end of the file and gives its two numbers. A file
// signed after its package was appended ends with a certificate table that its
// executable header points at: the trailer then ends just before that table
// (and its alignment padding).
bool ReadTrailer(const char* path, long long& len, long long& seek);
// The same, with the seal after the trailer of an extended package (not
// Present when there is none).
bool ReadPackageTrailer(const char* path, long long& len, long long& seek, PackageSeal& seal);
// The bytes where the trailer must stand (at most TRAILER_WINDOW of them, into
// tail), the offset they end at and whether the file is signed. False when the
// file cannot be read or its certificate entry is damaged.
bool ReadTrailerWindow(const char* path, char* tail, int& count, long long& end, bool& signedFile);
// How many leading bytes of a file CertificateTableStart looks at.
#define PE_HEAD_BYTES 4096
// Where the certificate table of a signed executable starts, from the file's
// first bytes (head, count of them) and its size: 0 when the file has no
// executable header or no table (read as unsigned), -1 when the header's
// table entry is damaged or does not describe a table that ends the file.
long long CertificateTableStart(const unsigned char* head, int count, long long fileSize);
// Parses the trailer out of the last bytes of a file (tail holds at most
// TRAILER_WINDOW bytes, the file's last ones); the rules of ReadTrailer. The
// numbers are read like atol, in 64 bits.
bool ParseTrailer(const char* tail, int count, long long& len, long long& seek);
// Writes the trailer text for a table of len bytes at offset seek into out
// (at least 48 bytes); returns its length.
int FormatTrailer(char* out, int size, long long len, long long seek);

// A region of a container file: where it starts and how many bytes it holds,
// in 64 bits.
struct FileRegion {
  long long Offset;
  long long Length;
};

// The table a container file's trailer points at (a setup file's package
// index, an uninstaller's own table), its stored bytes read into memory once.
class CStoredTable {
 public:
  CStoredTable();
  ~CStoredTable();
  // Reads the trailer of the file at path, then the bytes it points at when
  // they lie inside the file and are at most limit of them. False when the
  // file has no trailer (nothing else is set then); Bytes() tells whether the
  // table itself was read.
  bool Read(const char* path, long long limit);
  // The stored (scrambled) bytes, null when they were not read, and their count.
  const char* Bytes() const { return m_bytes; }
  long Length() const { return m_length; }
  // The table's text, unscrambled, into table (empty when not read).
  void Load(CFieldTable& table) const;

  FileRegion Where;  // as the trailer gives it
  PackageSeal Seal;  // after the trailer; not Present in a file without one

 private:
  CStoredTable(const CStoredTable&);
  CStoredTable& operator=(const CStoredTable&);
  char* m_bytes;
  long m_length;
};

// The setup and the uninstaller of earlier releases passed their table
// through a copy in the temporary folder (TEMP_FILE_NAME) and left it there
// when they were stopped half-way. A program that has read its own table
// removes such a copy at path (read-only or not), so that a start that read
// its table leaves none, as it always did. An empty path does nothing.
void RemoveIndexCopy(const char* path);

// Copies length bytes of source from start into a new file dest (length -1: up
// to the end of source). False when a file cannot be opened, the region is not
// inside the source, or a read or write fails; a destination left incomplete
// by a failure is removed.
bool ExtractRegion(const char* dest, const char* source, long long start, long length);
// Reads length bytes of source from start into a heap buffer of length + 1 bytes
// (free it with FreeBuffer); length -1 reads to the end and gives back the real
// length. Null when the file cannot be opened or the region does not lie
// wholly inside it.
char* ReadRegion(const char* source, long& length, long long start);

#ifdef _WIN32
// The bytes of one of the program's own resources (read-only, never freed);
// null and a size of 0 when there is none.
const void* GetResourceBytes(WORD id, const char* type, DWORD& size);
#endif

// Everything WriteUninstaller needs, so that it runs without a running setup.
struct UninstallerSource {
  const void* program;  // the uninstaller program (resource "EXE" 138)
  DWORD programSize;
  const char* modulePath;  // the setup file holding picture and icon
  const char* productName;
  long pictureLength, pictureOffset;
  long iconLength, iconOffset;
  // The registry keys and values to remove: the table's fields 6 to 9 take
  // the first two of each, its extension the rest (null or empty: none).
  const char* regKeys[REG_ENTRY_MAX];
  const char* regValues[REG_ENTRY_MAX];
  const char* installDir;  // ends with a backslash
  // The package's settings the uninstaller reads in the table's extension:
  // the language it speaks (ui.language; null or empty: none) and whether
  // the installation is the current user's alone (install.scope = user). A
  // table without any is the nine fields alone, as every uninstaller reads it.
  const char* language = nullptr;
  bool userScope = false;
};

// The fields as the package gives them, for an uninstaller program of
// programSize bytes (the pointers stay valid while settings and the texts
// live), and the package's settings the uninstaller reads in the
// extension: the language (ui.language) and the scope (install.scope).
struct PackageSettings;
UninstallerSource UninstallerSourceOf(const PackageSettings& settings, const void* program,
                                      DWORD programSize, const char* modulePath, const char* installDir);

// The uninstaller program the setup carries (resource "EXE" 138) is
// LZMA-packed; no uninstaller program is anywhere near this size unpacked.
const size_t kUninstallerProgramMax = 16UL << 20;
// The most bytes of an uninstaller a package carries (its program, the page
// picture and the icon): the setup reads it into memory whole.
const long kUninstallerImageMax = 64L << 20;

// The uninstaller the setup writes: program, picture, icon, the scrambled
// table of nine fields (and its extension when there is anything to carry:
// the tag UNINSTALL_TABLE_TAG, then key and value rows like the package's
// settings section: ui.language, registry entries past two of each) and the
// trailer, in a heap buffer (free it with
// FreeBuffer) of size bytes. A picture or icon region that cannot be read
// from the setup file is written as absent (length 0). Null when there is
// no program or no memory. The setup and the builder (which carries it
// signed in the package) assemble it with this one function, so the two are
// the same bytes for the same package.
char* AssembleUninstaller(const UninstallerSource& src, long& size);
// What an uninstaller's table says: its nine fields and the settings of its
// extension. The uninstaller reads its own; an upgrade reads the replaced
// installation's, to take back what the new package no longer names.
#define UNINSTALL_TABLE_FIELDS 9
struct UninstallTable {
  UninstallTable();
  CString ProductName;
  LONG PictureLength;  // 0 or less: no picture
  LONG PictureOffset;
  LONG IconLength;  // 0 or less: the program's own icon
  LONG IconOffset;
  // Fields 6 to 9 give the first two of each; the table's extension the rest.
  CString RegKeys[REG_ENTRY_MAX];
  CString RegValues[REG_ENTRY_MAX];
  CString Language;  // ui.language of the table's extension: empty for zh-CN
  CString Scope;     // install.scope of the table's extension: empty for the machine
  // The installation is the current user's alone: its registry entries lie
  // under HKEY_CURRENT_USER, and removing it needs no administrator's rights.
  bool UserScope() const { return Scope == SCOPE_USER_WORD; }
};
// Takes the nine fields in order, whatever rows they are divided into; missing
// texts are empty, missing numbers 0. Then the extension, when the field
// after them is its tag (UNINSTALL_TABLE_TAG): its settings, key and value
// each, as the package's settings section (keys it does not know are passed
// over; of a key given twice the last counts): ui.language, install.scope and
// the registry lists (uninstall.key.<n>, uninstall.value.<n>).
void ParseUninstallTable(CFieldTable& table, UninstallTable& t);
// Reads the table appended to programPath (the trailer, then the table,
// unscrambled) into t. False, with the picture and icon absent, when there is
// no trailer or the table cannot be read.
bool ReadUninstallTable(const char* programPath, UninstallTable& t);
// The uninstaller's table is nine short fields and a few rows; a trailer that
// gives more than this is not one.
const long long kUninstallTableLimit = 1 << 20;

// Writes image (size bytes) as ridkit.exe into the installation folder
// (ending with a backslash), over a read-only one too. False when image is
// null or the file cannot be created or written completely (a file left
// incomplete, or the old one, is removed).
bool WriteUninstallerFile(const char* installDir, const void* image, long size);
// Writes ridkit.exe into the installation folder as AssembleUninstaller
// makes it; false as WriteUninstallerFile.
bool WriteUninstaller(const UninstallerSource& src);
