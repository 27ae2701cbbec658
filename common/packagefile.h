// Reading an extended package's data: the checks of index and payload against
// the seal, and writing a file row's bytes out through its method with its
// checksum checked. The setup file stays open across files; memory is two
// fixed buffers and, for lzma rows, the decoder's dictionary.
#pragma once
#include "../framework/cstring.h"
#include "../framework/file.h"
#include "../framework/platform.h"
#include "../framework/sync.h"
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
  kExtractExists,   // only a new file was to be written, and dest is there: untouched
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
  // Writes the row's file to dest (created or emptied; with onlyNew created
  // only when nothing of that name is there, else kExtractExists: one look
  // at the folder instead of two). A destination that is not complete and
  // correct is removed.
  ExtractResult Extract(const FileEntry& e, const char* dest, BOOL onlyNew = FALSE);
  // Writes the row's file through out (open for writing, at its start; the
  // caller removes what a failure left), or with out null only reads it:
  // either way its bytes unpacked and checked as Extract checks them.
  ExtractResult WriteTo(const FileEntry& e, CFile* out);
  // Packed rows of the list decoded ahead on a second thread, in list order,
  // while the caller writes the files before them: Extract of a row of the
  // list (the list's own entry, asked in list order; rows may be left out)
  // writes what is already decoded and checked, and rather than wait for a
  // row decodes one further on itself. Rows of up to kAheadRowMax unpacked
  // bytes, at most kAheadBudget bytes held at once; stored rows and larger
  // packed ones Extract reads as it always does (reading stored rows ahead
  // measured slower: the copy is bound by writing). The list must stay as it
  // is until Close.
  void DecodeAhead(const CFileList& list);
  static const unsigned kAheadBudget = 32U << 20;
  static const unsigned kAheadRowMax = 16U << 20;
  static const unsigned kAheadPackedMax = 16U << 20;

 private:
  CPackageFile(const CPackageFile&);
  CPackageFile& operator=(const CPackageFile&);
  BOOL Buffers();
  // The row's region lies inside the file and a stored row's sizes agree.
  BOOL Sound(const FileEntry& e) const;
  ExtractResult CopyStored(const FileEntry& e, CFile* out, unsigned long& crc, unsigned long long& written);
  ExtractResult Decode(const FileEntry& e, CFile* out, unsigned long& crc, unsigned long long& written);
  ExtractResult WriteRow(const FileEntry& e, CFile* out);

  // A packed row taken by one of the threads: its bytes once decoded.
  struct AheadRow {
    const FileEntry* Entry;
    int Index;  // in the list
    char* Data;
    int State;  // kAheadBusy or an ExtractResult
    AheadRow* Next;
  };
  enum { kAheadBusy = -1 };
  static void AheadThread(void* self);
  void AheadWork();
  BOOL Eligible(const FileEntry& e) const;
  // Under the lock: the next eligible row in list order, taken; 0 when none
  // can be taken now (the budget is spent), and then end says whether none
  // ever will.
  AheadRow* ClaimRow(BOOL& end);
  int DecodeRow(CFile& in, char* inBuf, AheadRow& row);
  // Under the lock: decodes a row taken by ClaimRow outside it.
  void DecodeClaimed(CFile& in, char* inBuf, AheadRow& row);
  AheadRow* TakeAhead(const FileEntry& e);
  void ReleaseRow(AheadRow* row);
  void StopAhead();

  CFile m_file;
  long long m_size;
  char* m_in;
  char* m_out;
  CString m_path;
  // Shared with the second thread, under m_lock.
  CLock m_lock;
  CThread m_ahead;
  const CFileList::Node* m_aheadNext;  // the next row to take
  int m_aheadIndex;
  AheadRow* m_aheadRows;  // taken rows in list order
  unsigned m_aheadHeld;
  BOOL m_aheadStop;
  BOOL m_aheadEnded;  // the second thread takes nothing more
  // The caller's place in the list.
  const CFileList* m_aheadList;
  const CFileList::Node* m_callerNode;
  int m_callerIndex;
};
