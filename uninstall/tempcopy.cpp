#include "tempcopy.h"

#include <sddl.h>
#include <shellapi.h>
#include <string.h>

#include "common/shellhelpers.h"
#include "framework/widetext.h"
#include "uninstall/core/uninstallsettings.h"

// How many folder names are tried before giving up.
#define FOLDER_ATTEMPTS 100

namespace {

// The protected access list of the copy's folder and everything in it: full
// control for the current user, the administrators and the system, nothing
// for anyone else. Empty when the user's SID cannot be read.
CString PrivateFolderSddl() {
  CString sddl;
  HANDLE token = 0;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return sddl;
  char buffer[256];
  DWORD n = 0;
  if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &n)) {
    char* sid = 0;
    if (ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &sid)) {
      sddl.Format("D:P(A;OICI;FA;;;%s)(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)", sid);
      LocalFree(sid);
    }
  }
  CloseHandle(token);
  return sddl;
}

// Creates a folder of a name nobody used before below base (which ends with
// a backslash), with the private access list. Empty when none could be made.
CString CreatePrivateFolder(const CString& base) {
  CString sddl = PrivateFolderSddl();
  if (sddl.IsEmpty()) return CString();
  SECURITY_ATTRIBUTES sa;
  memset(&sa, 0, sizeof sa);
  sa.nLength = sizeof sa;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sa.lpSecurityDescriptor, 0))
    return CString();
  CString made;
  DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 16);
  for (int i = 0; i < FOLDER_ATTEMPTS && made.IsEmpty(); i++) {
    CString folder;
    folder.Format("%s%s-%08lx", base.c_str(), TEMP_COPY_BASE, static_cast<unsigned long>(seed + i));
    // Fails on anything already there: a folder someone prepared is never used.
    if (CreateDirectoryW(CWideText(folder), &sa)) made = folder;
    else if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  LocalFree(sa.lpSecurityDescriptor);
  return made;
}

}  // namespace

BOOL SameFileContent(HANDLE a, HANDLE b) {
  LARGE_INTEGER sizeA, sizeB;
  if (!GetFileSizeEx(a, &sizeA) || !GetFileSizeEx(b, &sizeB) || sizeA.QuadPart != sizeB.QuadPart) return FALSE;
  LARGE_INTEGER zero;
  zero.QuadPart = 0;
  if (!SetFilePointerEx(a, zero, 0, FILE_BEGIN) || !SetFilePointerEx(b, zero, 0, FILE_BEGIN)) return FALSE;
  static char bufA[32768], bufB[32768];
  LONGLONG left = sizeA.QuadPart;
  while (left > 0) {
    DWORD want = left > static_cast<LONGLONG>(sizeof bufA) ? sizeof bufA : static_cast<DWORD>(left);
    DWORD gotA = 0, gotB = 0;
    if (!ReadFile(a, bufA, want, &gotA, 0) || !ReadFile(b, bufB, want, &gotB, 0)) return FALSE;
    if (gotA != want || gotB != want || memcmp(bufA, bufB, want) != 0) return FALSE;
    left -= want;
  }
  return TRUE;
}

CTemporaryCopy::CTemporaryCopy() : AtLogon(false), m_held(INVALID_HANDLE_VALUE) {}

CTemporaryCopy::~CTemporaryCopy() {
  if (m_held != INVALID_HANDLE_VALUE) CloseHandle(m_held);
}

void CTemporaryCopy::Discard() {
  if (m_held != INVALID_HANDLE_VALUE) CloseHandle(m_held);
  m_held = INVALID_HANDLE_VALUE;
  if (!Path.IsEmpty()) DeleteFileW(CWideText(Path));
  if (!Folder.IsEmpty()) RemoveDirectoryW(CWideText(Folder));
  Path = CString();
  Folder = CString();
}

BOOL CTemporaryCopy::Make(const char* source, const char* tempFolder) {
  Discard();
  if (!tempFolder || !tempFolder[0]) return FALSE;
  CString base = FolderOf(TemporaryCopyPath(tempFolder)) + "\\";
  Folder = CreatePrivateFolder(base);
  if (Folder.IsEmpty()) return FALSE;
  Path = TemporaryCopyPath(Folder);
  if (!CopyFileW(CWideText(source), CWideText(Path), TRUE)) {
    Discard();
    return FALSE;
  }
  // Held shared for reading only from the check to the start: the file that
  // starts is the file that was checked.
  m_held = CreateFileW(CWideText(Path), GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
  HANDLE original = CreateFileW(CWideText(source), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
  BOOL same = m_held != INVALID_HANDLE_VALUE && original != INVALID_HANDLE_VALUE && SameFileContent(m_held, original);
  if (original != INVALID_HANDLE_VALUE) CloseHandle(original);
  if (!same) Discard();
  return same;
}

DWORD CTemporaryCopy::Start(const char* parameters, DWORD* exitCode, bool elevated) {
  if (m_held == INVALID_HANDLE_VALUE) return ERROR_INVALID_HANDLE;
  HANDLE process = 0;
  DWORD error = StartProgram(Path, parameters, Folder, elevated, process);
  if (error == ERROR_SUCCESS && exitCode) {
    // A deployment tool waits for this instance: it ends with the copy.
    CloseHandle(m_held);
    m_held = INVALID_HANDLE_VALUE;
    if (!WaitForExitCode(process, *exitCode)) error = ERROR_GEN_FAILURE;
  } else if (process) {
    CloseHandle(process);
  }
  if (m_held != INVALID_HANDLE_VALUE) CloseHandle(m_held);
  m_held = INVALID_HANDLE_VALUE;
  return error;
}

BOOL CTemporaryCopy::ScheduleRemoval() {
  if (Path.IsEmpty() || Folder.IsEmpty()) return FALSE;
  // In this order: the folder is empty when its turn comes.
  BOOL file = RemoveAtRestart(Path);
  BOOL folder = RemoveAtRestart(Folder);
  return file && folder;
}

BOOL CTemporaryCopy::RemoveAtRestart(const char* path) {
  if (AtLogon) return m_logonWork.Schedule(path, 0);
  return MoveFileExW(CWideText(path), 0, MOVEFILE_DELAY_UNTIL_REBOOT);
}
