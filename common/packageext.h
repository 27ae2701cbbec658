// The package extension: what a package carries beyond the plain layout, in
// places older setups skip. The tag "PKX1" at index position 48, a row
// extension in the 8th field of every file row ("<method>,<unpacked
// length>,<crc32>", and ",<offset>,<length>" in 64 bits for a row past
// 2 GiB), and a seal after the trailer's "." giving where the payload starts
// and the checksums of the payload and of the stored index:
//   &LEN:<L>,SEEK:<S>.PKX1:<payload start>:<payload crc>:<index crc>
// A package without tag and seal is read as it always was.
#pragma once

#define PACKAGE_TAG "PKX1"
#define METHOD_STORED_WORD "stored"
#define METHOD_LZMA_WORD "lzma"
// The setup's capability resource (RT_RCDATA, name "PKX") and its text: one
// word for each thing it reads beyond the plain layout. The builder appends a
// package to a stub only when the stub names every word the package needs.
#define CAPABILITY_RESOURCE_NAME "PKX"
#define CAPABILITY_WORD_CRC "crc32"
// 64-bit offsets and lengths: packages and files past 2 GiB.
#define CAPABILITY_WORD_BIG "big"
// The lists of the settings section: the whole licence, more associations,
// more registry entries for the uninstaller.
#define CAPABILITY_WORD_LISTS "lists"
// The setup speaks the languages a package may name (ui.language).
#define LANGUAGE_WORD "lang"
// The word of the capability text that says the setup writes the uninstaller
// a package carries (uninstaller.region) instead of assembling one.
#define UNINSTALLER_WORD "uninst"
#define CAPABILITY_TEXT "PKX1 lzma crc32 big lists lang uninst"
// An lzma region: the 5 property bytes, then the raw stream.
#define LZMA_PROPS_BYTES 5
// The most bytes a seal takes after the trailer's ".".
#define TRAILER_SEAL_MAX 64
// The largest offset or length the seed's 32-bit fields hold.
#define SEED_NUMBER_MAX 2147483647LL

#ifndef RC_INVOKED
#include <stddef.h>

#include "framework/platform.h"

// CRC-32 (IEEE 802.3, the zlib polynomial). Start with crc 0; feed pieces in
// order.
unsigned long Crc32Update(unsigned long crc, const void* data, size_t length);

enum PackMethod { kMethodNone, kMethodStored, kMethodLzma };

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
};
// Parses a row extension field. An empty field gives kMethodNone; false for
// anything that is not exactly "stored|lzma,<decimal>,<8 lower-case hex>",
// optionally followed by ",<offset>,<length>" in decimal.
bool ParseRowExtension(const char* text, RowExtension& ext);
// Writes the field text (at least 96 bytes of room), with the region when
// offset is not negative; its length.
int FormatRowExtension(char* out, int size, int method, unsigned long long unpacked, unsigned long crc,
                       long long offset = -1, long long length = 0);

// True when a row's 32-bit Length and Offset fields agree with its 64-bit
// region: each holds the value when it fits and 0 when it does not.
bool WideRowAgrees(long long length32, long long offset32, const RowExtension& ext);

// A region reference: bytes of the payload named by a setting,
// "<offset>,<length>,<method>,<unpacked>,<crc32>" (64-bit decimals, stored or
// lzma, the CRC-32 of the unpacked bytes as 8 lower-case hex digits).
struct RegionRef {
  long long Offset;
  long long Length;  // as stored (the packed bytes for lzma)
  int Method;        // kMethodNone: no region given
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
  unsigned long IndexCrc;
};
// Reads the seal out of the trailer's window (the same bytes ParseTrailer
// takes).
void ParseSeal(const char* tail, int count, PackageSeal& seal);
// The seal's text to append to the trailer (at least 48 bytes of room); its
// length.
int FormatSeal(char* out, int size, long long payloadStart, unsigned long payloadCrc, unsigned long indexCrc);
#endif  // RC_INVOKED
