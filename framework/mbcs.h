// Text in code page 936, the programs' one code page: a byte from 0x81 to 0xFE
// leads a double-byte character, and its trail byte (which can look like a
// backslash, a "|" or an ASCII letter) belongs to that character. Every rule
// that walks, cuts, searches or folds such text goes through these helpers;
// lengths and limits count bytes.
#pragma once
#include <stddef.h>

#include "cstring.h"
#include "platform.h"

// True for a byte that leads a double-byte character (when a trail byte follows).
inline bool IsLeadByteMb(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// true for a byte that may follow a lead byte as the second of a pair.
inline bool IsTrailByteMb(unsigned char c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFE); }
// true when s is whole code page 936 text: every lead byte is followed by a
// trail byte, and no byte is 0xFF. Windows converts such text to UTF-16 one
// character for each pair, none of them ASCII (so no pair turns into a dot,
// a slash or a backslash); any other text it converts with a loss, and what
// a lost byte becomes (a question mark, the byte after it taken along or not)
// differs between systems.
bool IsWholeTextMb(const char* s);

// Width in bytes (1 or 2) of the character at s (s[0] is not the terminator);
// a lead byte just before the terminator is a character of its own.
int CharWidthMb(const char* s);
// Byte length of the longest prefix of s that is at most max bytes and ends
// between two characters.
int CharBoundary(const char* s, int max);
// Copies src into a buffer of size bytes, cutting it (between two characters,
// never inside one) so that it fits with its terminator.
void CopyText(char* dst, int size, const char* src);

// Byte offset of the first / the last single-byte character c in s, never the
// trail byte of a double-byte character; -1 when absent.
int FindCharMb(const char* s, char c);
int ReverseFindCharMb(const char* s, char c);
// Byte offset of the first place where needle starts a character of s (0 for
// an empty needle); -1 when absent.
int FindTextMb(const char* s, const char* needle);
// True when s ends with a backslash of its own.
bool EndsWithBackslashMb(const char* s);
// Appends a backslash when the path does not end with one of its own.
void AppendBackslashIfMissing(CString& path);
// The folder with one trailing backslash (appended only when it has none of
// its own).
CString WithBackslash(const char* folder);
// path up to, not including, its last backslash of its own; empty without one.
CString FolderOf(const char* path);

// The blanks between the words of a command line.
inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }
// The parameters of a command line: what follows the program name (quoted or
// not) and the blanks after it.
const char* ParametersOf(const char* commandLine);
// The next word of a command line at s, the blanks before it passed over:
// quotes group blanks into it and are dropped (code page 936 trail bytes are
// never a quote or a blank). s moves past it.
CString NextWord(const char*& s);

// Lower-cases the ASCII letters of the n bytes at s in place; a trail byte
// stays as it is even when it looks like a letter (a lead byte takes the next
// byte with it while one is left, whatever its value).
void LowerAsciiMb(char* s, size_t n);
// s with its ASCII letters lower-cased, as LowerAsciiMb.
CString LowerTextMb(const char* s);
// Case-insensitive comparison (ASCII letters only; the bytes of double-byte
// characters compare as they are), a null pointer as an empty text. 0 when equal.
int CompareNoCaseMb(const char* a, const char* b);
