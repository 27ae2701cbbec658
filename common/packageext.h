// The package extension: what a package carries beyond the plain layout, in
// places older setups skip. The tag "PKX1" at index position 48, a row
// extension in the 8th field of every file row ("<method>,<unpacked
// length>,<crc32>", and for a row of a solid block ",<block>,<offset>" and,
// for a program's code, ",x86:<from>:<length>"; for another row past 2 GiB
// ",<offset>,<length>" in 64 bits), and
// a seal after the trailer's "." giving where the payload starts and the
// checksums of the payload and of the stored index:
//   &LEN:<L>,SEEK:<S>.PKX1:<payload start>:<payload crc>:<index crc>
// Bytes too large for a setting lie in the payload, named by a region
// reference "<offset>,<length>,<method>,<unpacked>,<crc32>" (the blocks of
// solid packing: block.<n>; the carried uninstaller: uninstaller.region). A package without tag and seal is read as it
// always was.
#pragma once

#define PACKAGE_TAG "PKX1"
#define METHOD_STORED_WORD "stored"
#define METHOD_LZMA_WORD "lzma"
// A row whose bytes lie in the unpacked stream of solid blocks.
#define METHOD_SOLID_WORD "solid"
// The x86 branch filter after a region's method word: "lzma+x86".
#define FILTER_X86_WORD "x86"
// The setup's capability resource (RT_RCDATA, name "PKX") and its text: one
// word for each thing it reads beyond the plain layout. The builder appends a
// package to a stub only when the stub names every word the package needs.
#define CAPABILITY_RESOURCE_NAME "PKX"
// 64-bit offsets and lengths: packages and files past 2 GiB.
#define CAPABILITY_WORD_BIG "big"
// The lists of the settings section: the whole licence, more associations,
// more registry entries for the uninstaller.
#define CAPABILITY_WORD_LISTS "lists"
#define CAPABILITY_WORD_CRC "crc32"
// Solid blocks (the block.<n> settings, rows of method solid).
#define CAPABILITY_WORD_SOLID "solid"
// The x86 branch filter of blocks.
#define CAPABILITY_WORD_X86 "x86"
// The x86 branch filter over a range of a solid row (its program's code).
#define CAPABILITY_WORD_X86_ROWS "x86rows"
// A packed index: the seal's fifth field names its method and unpacked size.
#define CAPABILITY_WORD_INDEX "index"
// The word of the capability text that says the setup speaks the languages
// a package may name (ui.language).
#define LANGUAGE_WORD "lang"
// The word of the capability text that says the setup writes the uninstaller
// a package carries (uninstaller.region) instead of assembling one.
#define UNINSTALLER_WORD "uninst"
// The word that says the setup installs for the current user alone when a
// package asks (install.scope = user).
#define SCOPE_WORD "scope"
// The word that says the setup lets the user choose between the two
// (install.scope = ask).
#define ASK_SCOPE_WORD "ask"
// The word that says the uninstaller the setup program carries (resource EXE
// 138) went through the x86 branch filter before LZMA, positions counted from
// its first byte: the builder undoes the filter when it reads the program out
// and applies it when it packs the program back.
#define PROGRAM_X86_WORD "x86exe"
#define CAPABILITY_TEXT "PKX1 lzma crc32 lang uninst solid x86 scope big lists ask x86exe x86rows index"
// An lzma region: the 5 property bytes, then the raw stream.
#define LZMA_PROPS_BYTES 5
// The most bytes a seal takes after the trailer's ".".
#define TRAILER_SEAL_MAX 64
// The most bytes a packed index unpacks to (the setup holds it whole, twice
// while it is read); a larger index is stored as it is.
#define PACKED_INDEX_MAX (64LL << 20)
// The largest offset or length the seed's 32-bit fields hold.
#define SEED_NUMBER_MAX 2147483647LL

#ifndef RC_INVOKED
#include <stddef.h>

#include "framework/platform.h"

// CRC-32 (IEEE 802.3, the zlib polynomial). Start with crc 0; feed pieces in
// order. Folded with carry-less multiplication where the processor has it
// (found out at the first call), else eight bytes a step through tables.
unsigned long Crc32Update(unsigned long crc, const void* data, size_t length);
// The same through the tables alone (the tests hold the two against each
// other).
unsigned long Crc32UpdateTables(unsigned long crc, const void* data, size_t length);
// The processor folds: the first call of Crc32Update takes the fast way.
bool Crc32Folds();

enum PackMethod { kMethodNone, kMethodStored, kMethodLzma, kMethodSolid };
enum PackFilter { kFilterNone, kFilterX86 };

// Decimal digits at p (1 to 19, no sign, no leading zero unless "0") of at
// most limit; rest is set after them.
bool ParseDecimal(const char* p, unsigned long long limit, unsigned long long& value, const char** rest);
// value in decimal into out (at least 21 bytes); its length.
int FormatDecimal(char* out, unsigned long long value);

// Writes value in decimal (at most 20 digits and the terminator); the count
// of digits. The programs' runtime formats 32-bit numbers only.
int FormatDecimal(char* out, unsigned long long value);
// Reads decimal digits at p (1 to 19, no sign, no leading zero unless "0", at
// most limit) into value; rest is where they end. False for anything else.
bool ParseDecimal(const char* p, unsigned long long limit, unsigned long long& value, const char** rest);

// A file row's extension.
struct RowExtension {
  int Method;  // kMethodNone when the field is empty
  unsigned long long Unpacked;
  unsigned long Crc;
  // The row's region in 64 bits, given for a row whose offset or length
  // passes the 32-bit fields (which then hold 0 where the value does not fit).
  bool Wide;
  long long Offset;
  long long Length;
  // kMethodSolid: the bytes start at BlockOffset in the unpacked bytes of
  // block Block (from 1) and go on into the blocks after it.
  long long Block;
  long long BlockOffset;
  // kMethodSolid, Filter kFilterX86: the FilterLength bytes from FilterFrom
  // (in the row's bytes) went through the x86 filter, in one part per block
  // they lie in (see RowFilterPart).
  int Filter;
  long long FilterFrom;
  long long FilterLength;
};
// Parses a row extension field. An empty field gives kMethodNone; false for
// anything that is not exactly "stored|lzma,<decimal>,<8 lower-case hex>"
// (optionally followed by ",<offset>,<length>" in decimal) or
// "solid,<decimal>,<8 lower-case hex>,<block>,<offset>" (block from 1),
// optionally followed by ",x86:<from>:<length>" (a range of at least one byte
// inside the row).
bool ParseRowExtension(const char* text, RowExtension& ext);
// Writes the field text (at least 128 bytes of room); its length. For
// kMethodSolid first and second are the block and the offset in it (always
// written), then the filtered range when filterLength is above 0; for
// another method, when first is not negative, the region's 64-bit offset and
// length.
int FormatRowExtension(char* out, int size, int method, unsigned long long unpacked, unsigned long crc,
                       long long first = -1, long long second = 0, long long filterFrom = 0,
                       long long filterLength = 0);

// The x86 filter of a solid row's range runs on its own over each block's part
// of the range: the filter starts afresh where the range or a block starts,
// positions counted from the range's first byte, and the last 4 bytes of each
// part stay as they are. For the row's bytes [at, at + size) that lie in one
// block: the part of the range among them (from, length in the row's bytes,
// and its position in the range); false when none is.
bool RowFilterPart(long long filterFrom, long long filterLength, long long at, long long size, long long& from,
                   long long& length, long long& position);

// True when a row's 32-bit Length and Offset fields agree with its 64-bit
// region: each holds the value when it fits and 0 when it does not.
bool WideRowAgrees(long long length32, long long offset32, const RowExtension& ext);

// A region reference: bytes of the payload named by a setting,
// "<offset>,<length>,<method>[+<filter>],<unpacked>,<crc32>" (64-bit decimals
// from the start of the file, stored or lzma, the CRC-32 of the unpacked bytes
// as 8 lower-case hex digits; the filter, x86, is undone after unpacking).
struct RegionRef {
  long long Offset;
  long long Length;  // as stored (the packed bytes for lzma)
  int Method;        // kMethodStored or kMethodLzma; kMethodNone: none given
  int Filter;        // kFilterNone or kFilterX86
  unsigned long long Unpacked;
  unsigned long Crc;
};
// False (and Method kMethodNone) for anything that is not exactly that form.
bool ParseRegionRef(const char* text, RegionRef& ref);
// The reference's text (at least 96 bytes of room); its length.
int FormatRegionRef(char* out, int size, const RegionRef& ref);

// The seal after the trailer.
struct PackageSeal {
  bool Present;  // the text after the trailer's "." starts like a seal ("PKX")
  bool Valid;    // and that suffix is a well-formed seal
  long long PayloadStart;
  unsigned long PayloadCrc;
  unsigned long IndexCrc;  // of the index's bytes as stored (packed or not)
  // kMethodLzma: the stored index is an lzma region (as a row's) that
  // unpacks to IndexUnpacked bytes, the index as a plain package stores it
  // (scrambled); kMethodNone: the index is stored as it is.
  int IndexMethod;
  long long IndexUnpacked;
  // A seal's text without the trailer before it: the trailer was cut, and
  // the file is read as one without a trailer.
  bool Misplaced;
};
// Reads the seal out of the trailer's window (the same bytes ParseTrailer
// takes): "PKX1:<payload start>:<payload crc>:<index crc>", and for a packed
// index ":lzma,<unpacked length>" after it (1 to PACKED_INDEX_MAX).
void ParseSeal(const char* tail, int count, PackageSeal& seal);
// The seal's text to append to the trailer (at least 64 bytes of room); its
// length. indexUnpacked above 0: the index is packed (lzma) from that many
// bytes.
int FormatSeal(char* out, int size, long long payloadStart, unsigned long payloadCrc, unsigned long indexCrc,
               long long indexUnpacked = 0);
#endif  // RC_INVOKED
