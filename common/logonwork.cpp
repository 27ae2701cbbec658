#include "logonwork.h"

#include <shlobj.h>

#include "framework/widetext.h"

// How many names are tried before giving up.
#define NAME_ATTEMPTS 100

CLogonWork::CLogonWork() {
  m_path[0] = 0;
  m_name[0] = 0;
}

bool CLogonWork::Schedule(const char* from, const char* to) {
  CLogonScript next = m_script;
  DWORD attributes = GetFileAttributesW(CWideText(from));
  bool added = to && to[0] ? next.Replace(from, to)
               : attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)
                   ? next.RemoveFolder(from)
                   : next.RemoveFile(from);
  if (!added || !Write(next)) return false;
  m_script = next;
  return true;
}

// The text into the file at path, replacing what it held (a new file when
// create); false when it is not all there.
static bool WriteScript(const WCHAR* path, const CString& text, bool create) {
  HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, 0, create ? CREATE_NEW : TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file, text.c_str(), static_cast<DWORD>(text.GetLength()), &written, 0) &&
            written == static_cast<DWORD>(text.GetLength()) && FlushFileBuffers(file);
  CloseHandle(file);
  return ok;
}

bool CLogonWork::Write(const CLogonScript& script) {
  CString text = script.Text();
  if (m_path[0]) {
    if (WriteScript(m_path, text, false)) return true;
    WriteScript(m_path, m_script.Text(), false);  // as the steps before left it
    return false;
  }
  // A name nobody used before, in the user's own folder: the temporary
  // folder may be emptied before the next logon.
  WCHAR folder[MAX_PATH + 1];
  if (SHGetFolderPathW(0, CSIDL_LOCAL_APPDATA, 0, SHGFP_TYPE_CURRENT, folder) != S_OK) return false;
  DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 16);
  bool made = false;
  for (int i = 0; i < NAME_ATTEMPTS && !made; i++) {
    wsprintfW(m_name, L"" LOGON_WORK_BASE "%08lx", static_cast<unsigned long>(seed + i));
    if (lstrlenW(folder) + lstrlenW(m_name) + 6 > MAX_PATH) break;
    wsprintfW(m_path, L"%s\\%s.cmd", folder, m_name);
    made = WriteScript(m_path, text, true);
    if (!made && GetLastError() != ERROR_FILE_EXISTS) {
      DeleteFileW(m_path);  // made, not written whole
      break;
    }
  }
  // "cmd.exe" /d /c ""script"": no AutoRun of the user's; /c takes the
  // outer quotation marks away.
  WCHAR system[MAX_PATH + 1], command[LOGON_COMMAND_MAX + 1];
  UINT n = made ? GetSystemDirectoryW(system, MAX_PATH + 1) : 0;
  bool ok = n > 0 && n <= MAX_PATH && n + lstrlenW(m_path) + 24 <= LOGON_COMMAND_MAX;
  HKEY key = 0;
  if (ok) {
    wsprintfW(command, L"\"%s\\cmd.exe\" /d /c \"\"%s\"\"", system, m_path);
    ok = RegCreateKeyExW(HKEY_CURRENT_USER, L"" LOGON_RUN_KEY, 0, 0, 0, KEY_SET_VALUE, 0, &key, 0) == ERROR_SUCCESS;
  }
  if (ok) {
    ok = RegSetValueExW(key, m_name, 0, REG_SZ, reinterpret_cast<const BYTE*>(command),
                        static_cast<DWORD>((lstrlenW(command) + 1) * sizeof(WCHAR))) == ERROR_SUCCESS;
    RegCloseKey(key);
  }
  // A script no value starts would stay for good.
  if (!ok && made) DeleteFileW(m_path);
  if (!ok) m_path[0] = 0;
  return ok;
}
