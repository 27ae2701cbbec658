// The package extension: what a package carries beyond the plain layout, in
// places older setups skip. The tag "PKX1" at index position 48, a row
// extension in the 8th field of every file row ("<method>,<unpacked
// length>,<crc32>"), and a seal after the trailer's "." giving where the
// payload starts and the checksums of the payload and of the stored index:
//   &LEN:<L>,SEEK:<S>.PKX1:<payload start>:<payload crc>:<index crc>
// A package without tag and seal is read as it always was.
#pragma once

#define PACKAGE_TAG "PKX1"
#define METHOD_STORED_WORD "stored"
#define METHOD_LZMA_WORD "lzma"
// The setup's capability resource (RT_RCDATA, name "PKX") and its text.
#define CAPABILITY_RESOURCE_NAME "PKX"
#define CAPABILITY_TEXT "PKX1 lzma crc32 lang uninst scope"
// The word of the capability text that says the setup speaks the languages
// a package may name (ui.language).
#define LANGUAGE_WORD "lang"
// The word of the capability text that says the setup writes the uninstaller
// a package carries (uninstaller.region) instead of assembling one.
#define UNINSTALLER_WORD "uninst"
// The word that says the setup installs for the current user alone when a
// package asks (install.scope = user).
#define SCOPE_WORD "scope"
// An lzma region: the 5 property bytes, then the raw stream.
#define LZMA_PROPS_BYTES 5
// The most bytes a seal takes after the trailer's ".".
#define TRAILER_SEAL_MAX 64

#ifndef RC_INVOKED
#include <stddef.h>

#include "framework/platform.h"

// CRC-32 (IEEE 802.3, the zlib polynomial). Start with crc 0; feed pieces in
// order.
unsigned long Crc32Update(unsigned long crc, const void* data, size_t length);

enum PackMethod { kMethodNone, kMethodStored, kMethodLzma };

// A file row's extension.
struct RowExtension {
  int Method;  // kMethodNone when the field is empty
  unsigned long long Unpacked;
  unsigned long Crc;
};
// Parses a row extension field. An empty field gives kMethodNone; false for
// anything that is not exactly "stored|lzma,<decimal>,<8 lower-case hex>".
bool ParseRowExtension(const char* text, RowExtension& ext);
// Writes the field text (at least 48 bytes of room); its length.
int FormatRowExtension(char* out, int size, int method, unsigned long long unpacked, unsigned long crc);

// A region reference: bytes of the payload named by a setting,
// "<offset>,<length>,<method>,<unpacked>,<crc32>" (decimals, stored or lzma,
// the CRC-32 of the unpacked bytes as 8 lower-case hex digits).
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
  long PayloadStart;
  unsigned long PayloadCrc;
  unsigned long IndexCrc;
};
// Reads the seal out of the trailer's window (the same bytes ParseTrailer
// takes).
void ParseSeal(const char* tail, int count, PackageSeal& seal);
// The seal's text to append to the trailer (at least 48 bytes of room); its
// length.
int FormatSeal(char* out, int size, long payloadStart, unsigned long payloadCrc, unsigned long indexCrc);
#endif  // RC_INVOKED
