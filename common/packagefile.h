// Reading an extended package's data: the checks of index and payload against
// the seal, and writing a file row's bytes out through its method with its
// checksum checked. The setup file stays open across files; memory is two
// fixed buffers and, for lzma rows, the decoder's dictionary, and for rows of
// solid blocks the block the rows are in (a block is unpacked whole, once).
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
  // The blocks the package's solid rows name (kept by the caller while the
  // file is used); without them such a row is damaged.
  void UseBlocks(const CBlockTable* blocks) { m_blocks = blocks; }
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
  // The bytes of a region named by a setting (the carried uninstaller),
  // unpacked and checked by the blocks' reader (ReadRegionInto), into a heap
  // buffer of its unpacked length and a zero byte (free it with FreeBuffer;
  // null unless kExtractDone). A region outside the file, an empty one, or
  // one that claims more than maxUnpacked bytes is damaged before anything is
  // allocated for it.
  ExtractResult ReadRegion(const RegionRef& region, size_t maxUnpacked, char*& data);
  // Packed rows and blocks of the list decoded ahead (CDecodeAhead,
  // common/decodeahead) while the caller writes the files before them:
  // Extract of a row of the list (the list's own entry, asked in list order;
  // rows may be left out) writes what is already decoded and checked. Rows of
  // up to the row limit unpacked and every block with a row the run always
  // writes, within the budget; stored rows and larger packed ones Extract
  // reads as it always does (reading stored rows ahead measured slower: the
  // copy is bound by writing), and a block only of rows the run may keep
  // (copied if absent, or asked) when a row of it is written. The list must
  // stay as it is until Close.
  void DecodeAhead(const CFileList& list);
  // The budget and the row limit of decoding ahead (tests drive them with
  // small ones). The budget grows to two of the package's largest blocks,
  // so that both threads decode.
  void SetAheadLimits(size_t budget, size_t rowMax);
  CDecodeAhead& Ahead() { return m_ahead; }
  static const size_t kAheadBudget = 32U << 20;
  static const size_t kAheadRowMax = 16U << 20;

  // Told on the caller's thread while a read takes long (a block decoded,
  // waited for, or a large row copied): the bytes of the current row read so
  // far. The bytes decoded as jobs of either thread are DecodedBytes.
  typedef void (*ReadProgressFn)(void* context, long long rowBytes);
  void SetReadProgress(ReadProgressFn progress, void* context);
  long long DecodedBytes() { return m_ahead.DecodedBytes() + m_ownDecoded; }

 private:
  CPackageFile(const CPackageFile&);
  CPackageFile& operator=(const CPackageFile&);
  bool Buffers();
  // The row's region lies inside the file and a stored row's sizes agree.
  bool Sound(const FileEntry& e) const;
  ExtractResult CopyStored(const FileEntry& e, CFile* out, unsigned long& crc, unsigned long long& written);
  ExtractResult Decode(const FileEntry& e, CFile* out, unsigned long& crc, unsigned long long& written);
  ExtractResult CopySolid(const FileEntry& e, CFile* out, unsigned long& crc, unsigned long long& written);
  bool Emit(const char* bytes, size_t n, CFile* out, unsigned long& crc, unsigned long long& written,
            unsigned long long total);
  ExtractResult WriteRow(const FileEntry& e, CFile* out);
  bool Eligible(const FileEntry& e) const;
  // The row decoded ahead, when it was; the caller's place in the list moves past it.
  CDecodeAhead::Decoded* TakeAhead(const FileEntry& e);
  // Moves the caller's place past the row; its index in the list, or -1 (and
  // no more decoding ahead) when it is not a row of the list after the place.
  int PassRow(const FileEntry& e);
  // The unpacked bytes of block number, held until another block is asked
  // for; null (state says why) when they cannot be had.
  const char* BlockBytes(long long number, ExtractResult& state);
  void ReleaseBlock();
  void StopAhead();
  void RowProgress(long long bytes);
  static void ReportAhead(void* self);

  CFile m_file;
  long long m_size;
  char* m_in;
  char* m_out;
  CString m_path;
  const CBlockTable* m_blocks;
  CDecodeAhead m_ahead;
  size_t m_aheadBudget;
  size_t m_aheadRowMax;
  AheadJob* m_jobs;      // the rows and blocks decoded ahead, in the order the list needs them
  RegionRef* m_jobRefs;  // what each job decodes
  int* m_rowJob;         // by list index: the job of a packed row, or -1
  int* m_blockJob;       // by block number: its job, or -1
  // The caller's place in the list.
  const CFileList* m_aheadList;
  const CFileList::Node* m_callerNode;
  int m_callerIndex;
  // The block the caller reads from: taken from decoding ahead, or its own.
  long long m_heldNumber;
  CDecodeAhead::Decoded* m_heldAhead;
  char* m_heldOwn;
  long long m_ownDecoded;  // bytes of blocks the caller decoded itself, outside the jobs
  ReadProgressFn m_progress;
  void* m_progressContext;
  long long m_rowBytes;  // of the row being read, for the progress
};

// A region's bytes (Unpacked of them, at least 1) unpacked and checked into
// data, read with in through buffer (kPackageChunk bytes), telling progress
// (when not null) of what comes out: an ExtractResult.
int ReadRegionInto(CFile& in, const RegionRef& r, char* data, char* buffer, IDecodeProgress* progress);
