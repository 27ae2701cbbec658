// The text table behind both stored tables (the package index and the
// uninstaller's own table): fields ended by 0x07, the last field of a row by
// 0x08 0x0D 0x0A; scrambled with an 8-character key when stored.
#pragma once
#include "framework/cstring.h"
#include "framework/platform.h"

#define FIELD_END 0x07
#define ROW_END 0x08
#define FIELD_BUFFER_SIZE 516

// The key both stored tables are scrambled with.
#define TABLE_KEY "wren.exe"

class CFieldTable {
 public:
  CFieldTable();
  virtual ~CFieldTable();

  void AddField(const char* value);
  // The next field, held in the field buffer until the next call; the empty
  // string once the text is used up. A field longer than the buffer comes back
  // cut to its first FIELD_BUFFER_SIZE - 1 bytes and reading goes on with the
  // field after it.
  const char* NextField();
  // Replaces the text with the file's bytes, unscrambled with key unless the key
  // is empty. False when the file cannot be opened or read.
  bool LoadFile(const char* path, const char* key);
  // Replaces the text with the given bytes (the table text up to the first zero
  // byte), as LoadFile does with the bytes of a file.
  void LoadBytes(const char* bytes, int length, const char* key);
  // A heap copy of the text (length + 1 bytes, zero-terminated; free it with
  // FreeBuffer) and its length; null when the memory is not there.
  char* ExportText(int& length) const;

  CString text;
  char field[FIELD_BUFFER_SIZE];
  int columnCount;  // fields per row when writing
  int columnIndex;  // last field written in the current row; -1 at a row start
  int readPos;      // where the next field starts
};

// The next field of table whole, however long (NextField cuts it to its
// buffer): true with it in out, false (out empty, nothing moved) once the
// text is used up.
bool NextWholeField(CFieldTable& table, CString& out);

// The bytes that end a field written at column (from 0) of rows of columns
// fields, into end: FIELD_END inside a row, ROW_END CR LF after its last
// field. Their count (1 or 3). Every writer of a table ends its fields so.
int FieldEnding(int column, int columns, char* end);

// Numbers in stored tables are decimal text read like atol, in 32 bits: leading
// blanks and a sign allowed, no digits give 0, values beyond the range are held
// at its ends.
LONG ParseLong(const char* text);
// The same in 64 bits (the trailer of a package past 2 GiB).
long long ParseLongLong(const char* text);

void ScrambleBuffer(unsigned char* buffer, int length, const char* key);
void UnscrambleBuffer(unsigned char* buffer, int length, const char* key);
