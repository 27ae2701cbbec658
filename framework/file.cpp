#include "file.h"

unsigned CFile::ReadAll(void* buf, unsigned count) {
  char* p = static_cast<char*>(buf);
  unsigned got = 0;
  while (got < count) {
    unsigned n = Read(p + got, count - got);
    if (n == 0) break;
    got += n;
  }
  return got;
}

#ifdef _WIN32

#include "widetext.h"

CFile::CFile() : m_h(INVALID_HANDLE_VALUE) {}
CFile::~CFile() { Close(); }

bool CFile::IsOpen() const { return m_h != INVALID_HANDLE_VALUE; }

void CFile::Attach(Handle h) {
  Close();
  m_h = h;
}

BOOL CFile::Open(const char* path, unsigned flags) {
  Close();
  DWORD access = GENERIC_READ;
  if ((flags & 3) == modeWrite) access = GENERIC_WRITE;
  else if ((flags & 3) == modeReadWrite) access = GENERIC_READ | GENERIC_WRITE;
  DWORD share = 0;
  switch (flags & 0x70) {
    case shareDenyWrite: share = FILE_SHARE_READ; break;
    case shareDenyRead: share = FILE_SHARE_WRITE; break;
    case shareDenyNone: share = FILE_SHARE_READ | FILE_SHARE_WRITE; break;
    default: share = 0; break;
  }
  DWORD create = (flags & modeCreateNew) ? CREATE_NEW : (flags & modeCreate) ? CREATE_ALWAYS : OPEN_EXISTING;
  m_h = CreateFileW(CWideText(path), access, share, NULL, create, FILE_ATTRIBUTE_NORMAL, NULL);
  return m_h != INVALID_HANDLE_VALUE;
}

unsigned CFile::Read(void* buf, unsigned count) {
  DWORD got = 0;
  if (!IsOpen() || count == 0) return 0;
  if (!ReadFile(m_h, buf, count, &got, NULL)) return 0;
  return got;
}

BOOL CFile::Write(const void* buf, unsigned count) {
  if (!IsOpen()) return FALSE;
  const char* p = static_cast<const char*>(buf);
  while (count > 0) {
    DWORD put = 0;
    if (!WriteFile(m_h, p, count, &put, NULL) || put == 0) return FALSE;
    p += put;
    count -= put;
  }
  return TRUE;
}

long long CFile::Seek(long long offset, SeekPosition from) {
  if (!IsOpen()) return -1;
  LARGE_INTEGER off, pos;
  off.QuadPart = offset;
  if (!SetFilePointerEx(m_h, off, &pos, from)) return -1;
  return pos.QuadPart;
}

long long CFile::GetLength() const {
  LARGE_INTEGER size;
  if (!IsOpen() || !GetFileSizeEx(m_h, &size)) return -1;
  return size.QuadPart;
}

BOOL CFile::Flush() { return IsOpen() && FlushFileBuffers(m_h); }

BOOL CFile::Close() {
  if (!IsOpen()) return TRUE;
  BOOL ok = CloseHandle(m_h);
  m_h = INVALID_HANDLE_VALUE;
  return ok;
}

#else  // POSIX host build

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fsys.h"

CFile::CFile() : m_fd(-1) {}
CFile::~CFile() { Close(); }

bool CFile::IsOpen() const { return m_fd >= 0; }

void CFile::Attach(Handle h) {
  Close();
  m_fd = h;
}

BOOL CFile::Open(const char* path, unsigned flags) {
  Close();
  int oflags = O_RDONLY;
  if ((flags & 3) == modeWrite) oflags = O_WRONLY;
  else if ((flags & 3) == modeReadWrite) oflags = O_RDWR;
  if (flags & modeCreateNew) oflags |= O_CREAT | O_EXCL;
  else if (flags & modeCreate) oflags |= O_CREAT | O_TRUNC;
  m_fd = ::open(HostPath(path), oflags | O_CLOEXEC, 0644);
  if (m_fd >= 0) {
    struct stat st;
    if (fstat(m_fd, &st) != 0 || S_ISDIR(st.st_mode)) {  // a folder is no file
      ::close(m_fd);
      m_fd = -1;
    }
  }
  return m_fd >= 0;
}

unsigned CFile::Read(void* buf, unsigned count) {
  if (!IsOpen() || count == 0) return 0;
  ssize_t n;
  do n = ::read(m_fd, buf, count);
  while (n < 0 && errno == EINTR);
  return n > 0 ? static_cast<unsigned>(n) : 0;
}

BOOL CFile::Write(const void* buf, unsigned count) {
  if (!IsOpen()) return FALSE;
  const char* p = static_cast<const char*>(buf);
  while (count > 0) {
    ssize_t n = ::write(m_fd, p, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return FALSE;
    p += n;
    count -= static_cast<unsigned>(n);
  }
  return TRUE;
}

long long CFile::Seek(long long offset, SeekPosition from) {
  if (!IsOpen()) return -1;
  int whence = from == begin ? SEEK_SET : from == current ? SEEK_CUR : SEEK_END;
  off_t r = ::lseek(m_fd, static_cast<off_t>(offset), whence);
  return r < 0 ? -1 : static_cast<long long>(r);
}

long long CFile::GetLength() const {
  struct stat st;
  if (!IsOpen() || fstat(m_fd, &st) != 0) return -1;
  return static_cast<long long>(st.st_size);
}

BOOL CFile::Flush() { return IsOpen() && ::fsync(m_fd) == 0; }

BOOL CFile::Close() {
  if (!IsOpen()) return TRUE;
  int r = ::close(m_fd);
  m_fd = -1;
  return r == 0;
}

#endif
