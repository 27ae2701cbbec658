// Reading an extended package's data: the checks of index and payload against
// the seal, and writing a file row's bytes out through its method with its
// checksum checked. The setup file stays open across files; memory is two
// fixed buffers and, for lzma rows, the decoder's dictionary.
#pragma once
#include "decodeahead.h"
#include "framework/cstring.h"
#include "framework/file.h"
#include "framework/platform.h"
#include "packageext.h"
#include "packageindex.h"

// The setup file moves through buffers of this size.
const int kPackageChunk = 256 * 1024;

enum ExtractResult {
  kExtractDone,
  kExtractFailed,   // the destination could not be written (or the source read)
  kExtractDamaged,  // the bytes are not what the row says
  kExtractExists,   // only a new file was to be written, and dest is there: untouched
};

class CPackageFile {
 public:
  CPackageFile();
  ~CPackageFile();
  bool Open(const char* path);
  void Close();
  bool IsOpen() const { return m_file.IsOpen(); }
  // Called with the bytes checked so far, now and then.
  typedef void (*ProgressFn)(void* context, long long done, long long total);
  // True when the CRC-32 of [seal.PayloadStart, end) matches seal.PayloadCrc.
  bool VerifyPayload(const PackageSeal& seal, long long end, ProgressFn progress, void* context);
  // Writes the row's file to dest (created or emptied; with onlyNew created
  // only when nothing of that name is there, else kExtractExists: one look
  // at the folder instead of two). A destination that is not complete and
  // correct is removed.
  ExtractResult Extract(const FileEntry& e, const char* dest, bool onlyNew = false);
  // Writes the row's file through out (open for writing, at its start; the
  // caller removes what a failure left), or with out null only reads it:
  // either way its bytes unpacked and checked as Extract checks them.
  ExtractResult WriteTo(const FileEntry& e, CFile* out);
  // The bytes of a region named by a setting (the whole licence, say),
  // unpacked and checked, into a heap buffer of its unpacked length and a
  // zero byte (free it with FreeBuffer; null unless kExtractDone). A region
  // outside the file, or one that claims more than maxUnpacked bytes, is
  // damaged before anything is allocated for it.
  ExtractResult ReadRegion(const RegionRef& region, size_t maxUnpacked, char*& data);
  // Packed rows of the list decoded ahead (CDecodeAhead, common/decodeahead)
  // while the caller writes the files before them: Extract of a row of the
  // list (the list's own entry, asked in list order; rows may be left out)
  // writes what is already decoded and checked. Rows of up to the row limit
  // unpacked, within the budget; stored rows and larger packed ones Extract
  // reads as it always does (reading stored rows ahead measured slower: the
  // copy is bound by writing). The list must stay as it is until Close.
  void DecodeAhead(const CFileList& list);
  // The budget and the row limit of decoding ahead (tests drive them with
  // small ones).
  void SetAheadLimits(size_t budget, size_t rowMax);
  CDecodeAhead& Ahead() { return m_ahead; }
  static const size_t kAheadBudget = 32U << 20;
  static const size_t kAheadRowMax = 16U << 20;

 private:
  CPackageFile(const CPackageFile&);
  CPackageFile& operator=(const CPackageFile&);
  bool Buffers();
  // The row's region lies inside the file and a stored row's sizes agree.
  bool Sound(const FileEntry& e) const;
  ExtractResult CopyStored(const FileEntry& e, CFile* out, unsigned long& crc, unsigned long long& written);
  ExtractResult Decode(const FileEntry& e, CFile* out, unsigned long& crc, unsigned long long& written);
  ExtractResult WriteRow(const FileEntry& e, CFile* out);
  bool Eligible(const FileEntry& e) const;
  // The row decoded ahead, when it was; the caller's place in the list moves past it.
  CDecodeAhead::Decoded* TakeAhead(const FileEntry& e);
  void StopAhead();

  CFile m_file;
  long long m_size;
  char* m_in;
  char* m_out;
  CString m_path;
  CDecodeAhead m_ahead;
  size_t m_aheadRowMax;
  AheadJob* m_jobs;  // the rows decoded ahead, in list order
  // The caller's place in the list.
  const CFileList* m_aheadList;
  const CFileList::Node* m_callerNode;
  int m_callerIndex;
};
