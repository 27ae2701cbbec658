// Reading an extended package's data: the checks of index and payload against
// the seal, and writing a file row's bytes out through its method with its
// checksum checked. The setup file stays open across files; memory is two
// fixed buffers and, for lzma rows, the decoder's dictionary.
#pragma once
#include "../framework/file.h"
#include "../framework/platform.h"
#include "packageext.h"
#include "packageindex.h"

// The setup file moves through buffers of this size.
#define PACKAGE_CHUNK (256 * 1024)

// TRUE when the stored index bytes (len at seek, as read) match the seal.
BOOL IndexMatchesSeal(const char* stored, long len, const PackageSeal& seal);
// TRUE when tag, seal and rows agree: no tag and no seal, or both (the seal
// well-formed, its payload start before the index) with every row extended.
BOOL ExtensionConsistent(const PackageSettings& settings, const PackageSeal& seal, long seek);

enum ExtractResult {
  kExtractDone,
  kExtractFailed,   // the destination could not be written (or the source read)
  kExtractDamaged,  // the bytes are not what the row says
};

class CPackageFile {
 public:
  CPackageFile();
  ~CPackageFile();
  BOOL Open(const char* path);
  void Close();
  BOOL IsOpen() const { return m_file.IsOpen(); }
  // Called with the bytes checked so far, now and then.
  typedef void (*ProgressFn)(void* context, long long done, long long total);
  // TRUE when the CRC-32 of [seal.PayloadStart, end) matches seal.PayloadCrc.
  BOOL VerifyPayload(const PackageSeal& seal, long end, ProgressFn progress, void* context);
  // Writes the row's file to dest (created or emptied). A destination that
  // is not complete and correct is removed.
  ExtractResult Extract(const FileEntry& e, const char* dest);

 private:
  CPackageFile(const CPackageFile&);
  CPackageFile& operator=(const CPackageFile&);
  BOOL Buffers();
  ExtractResult CopyStored(const FileEntry& e, CFile& out, unsigned long& crc, unsigned long long& written);
  ExtractResult Decode(const FileEntry& e, CFile& out, unsigned long& crc, unsigned long long& written);

  CFile m_file;
  long long m_size;
  char* m_in;
  char* m_out;
};
