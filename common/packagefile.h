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
  // The list's rows read ahead on a second thread, in list order, while the
  // caller writes the files before them: Extract of a row of the list (the
  // list's own entry, asked in list order; rows may be left out) writes what
  // is already in memory and checked. Stored rows come in pieces of up to
  // kAheadPiece bytes, packed rows of up to kAheadPackedMax unpacked bytes
  // whole (larger ones Extract decodes itself); at most kAheadBudget bytes are
  // held at once. The list must stay as it is until Close.
  void ReadAhead(const CFileList& list);
  static const unsigned kAheadBudget = 32U << 20;
  static const unsigned kAheadPiece = 4U << 20;
  static const unsigned kAheadPackedMax = 16U << 20;

 private:
  CPackageFile(const CPackageFile&);
  CPackageFile& operator=(const CPackageFile&);
  BOOL Buffers();
  ExtractResult CopyStored(const FileEntry& e, CFile& out, unsigned long& crc, unsigned long long& written);
  ExtractResult Decode(const FileEntry& e, CFile& out, unsigned long& crc, unsigned long long& written);

  // A piece of a row the second thread took: its bytes once in.
  struct AheadPiece {
    const FileEntry* Entry;
    int Index;  // the row's, in the list
    char* Data;
    unsigned Length;
    BOOL Last;  // the row's last piece: its State says whether the row's checksum matched
    int State;  // kAheadBusy or an ExtractResult
    AheadPiece* Next;
  };
  enum { kAheadBusy = -1 };
  static void AheadThread(void* self);
  void AheadWork();
  int DecodeRow(CFile& in, char* inBuf, const FileEntry& e, char* out);
  int ReadPiece(CFile& in, char* inBuf, AheadPiece& piece, unsigned at, unsigned long& crc);
  unsigned AheadSize(const FileEntry& e) const;
  BOOL TakenAhead(const FileEntry& e);
  AheadPiece* NextPiece();
  void ReleasePiece(AheadPiece* piece);
  BOOL WriteAhead(const char* dest);
  void StopAhead();

  CFile m_file;
  long long m_size;
  char* m_in;
  char* m_out;
  CString m_path;
  // Shared with the second thread, under m_lock.
  CLock m_lock;
  CThread m_ahead;
  const CFileList::Node* m_aheadNext;  // the row it is at
  int m_aheadIndex;
  unsigned long long m_aheadAt;  // how much of that row it has taken
  AheadPiece* m_aheadPieces;     // taken pieces in list order
  unsigned m_aheadHeld;
  BOOL m_aheadStop;
  BOOL m_aheadEnded;  // the second thread takes nothing more
  // The caller's place in the list.
  const CFileList* m_aheadList;
  const CFileList::Node* m_callerNode;
  int m_callerIndex;
};
