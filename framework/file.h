// Binary file access with the open flags of the programs' file class. Instead of
// raising file errors, every operation reports its result: callers check it.
#pragma once
#include "platform.h"

class CFile {
 public:
  enum OpenFlags {
    modeRead = 0x0000,
    modeWrite = 0x0001,
    modeReadWrite = 0x0002,
    shareExclusive = 0x0010,
    shareDenyWrite = 0x0020,
    shareDenyRead = 0x0030,
    shareDenyNone = 0x0040,
    modeCreate = 0x1000,  // create, or empty an existing file
    modeCreateNew = 0x4000,  // create; fails when the file (or anything of that name) is there
  };
  enum SeekPosition { begin = 0, current = 1, end = 2 };

  CFile();
  ~CFile();  // closes the file if it is open
  BOOL Open(const char* path, unsigned flags);
#ifdef _WIN32
  typedef HANDLE Handle;
#else
  typedef int Handle;  // a file descriptor
#endif
  // Takes over a file opened by other means (closed by Close).
  void Attach(Handle h);
  // Bytes actually read; 0 at the end of the file or on an error.
  unsigned Read(void* buf, unsigned count);
  // Reads until count bytes are in or the file ends; the number read.
  unsigned ReadAll(void* buf, unsigned count);
  // TRUE only when all count bytes were written.
  BOOL Write(const void* buf, unsigned count);
  // New position, or -1 when the seek failed.
  long long Seek(long long offset, SeekPosition from);
  long long GetLength() const;  // -1 when unknown
  BOOL Flush();
  // TRUE when the file was closed cleanly (for a file written to, a failed close
  // means data may be lost).
  BOOL Close();
  bool IsOpen() const;

 private:
  CFile(const CFile&);
  CFile& operator=(const CFile&);
#ifdef _WIN32
  HANDLE m_h;
#else
  int m_fd;
#endif
};
