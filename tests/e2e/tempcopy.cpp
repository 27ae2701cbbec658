#include "tempcopy.h"

#include <aclapi.h>
#include <sddl.h>

#include "robot.h"

std::string ProcessImageOf(HWND w) {
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  HANDLE h = pid ? OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid) : 0;
  if (!h) return "";
  char path[MAX_PATH + 1] = {0};
  DWORD n = MAX_PATH;
  std::string image = QueryFullProcessImageNameA(h, 0, path, &n) ? std::string(path, n) : "";
  CloseHandle(h);
  return image;
}

DWORD ExitCodeOf(HANDLE process, DWORD timeoutMs) {
  DWORD code = STILL_ACTIVE;
  if (process && WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0) GetExitCodeProcess(process, &code);
  return code;
}

std::vector<std::string> PendingRemovals() {
  std::vector<std::string> paths;
  HKEY k;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", 0, KEY_READ, &k) !=
      ERROR_SUCCESS)
    return paths;
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(k, "PendingFileRenameOperations", 0, &type, 0, &size) == ERROR_SUCCESS && size > 0) {
    std::string data(size, '\0');
    if (RegQueryValueExA(k, "PendingFileRenameOperations", 0, &type, reinterpret_cast<BYTE*>(&data[0]), &size) ==
        ERROR_SUCCESS) {
      // Pairs of texts: source, target; an empty target removes the source.
      std::vector<std::string> texts;
      for (size_t at = 0; at < data.size();) {
        size_t end = data.find('\0', at);
        if (end == std::string::npos) end = data.size();
        texts.push_back(data.substr(at, end - at));
        at = end + 1;
      }
      for (size_t i = 0; i + 1 < texts.size(); i += 2) {
        if (texts[i].empty() || !texts[i + 1].empty()) continue;
        std::string p = texts[i];
        if (p.compare(0, 4, "\\??\\") == 0) p = p.substr(4);
        paths.push_back(p);
      }
    }
  }
  RegCloseKey(k);
  return paths;
}

std::vector<std::string> TemporaryCopyFolders() {
  std::vector<std::string> folders;
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((TempFolder() + "glb1a2b-*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return folders;
  do {
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) folders.push_back(TempFolder() + fd.cFileName);
  } while (FindNextFileA(h, &fd));
  FindClose(h);
  return folders;
}

bool RestartPrefix() {
  STARTUPINFOA si = {sizeof si};
  PROCESS_INFORMATION pi;
  char command[] = "wineboot.exe -r";
  if (!CreateProcessA(0, command, 0, 0, FALSE, 0, 0, 0, &si, &pi)) return false;
  bool done = WaitForSingleObject(pi.hProcess, 120000) == WAIT_OBJECT_0;
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return done;
}

bool FileSystemKeepsAcls() {
  std::string probe = TempFolder() + "acl-probe";
  RemoveDirectoryA(probe.c_str());
  SECURITY_ATTRIBUTES sa = {sizeof sa};
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;OICI;FA;;;BA)", SDDL_REVISION_1,
                                                            &sa.lpSecurityDescriptor, 0))
    return false;
  bool made = CreateDirectoryA(probe.c_str(), &sa);
  LocalFree(sa.lpSecurityDescriptor);
  if (!made) return false;
  PACL dacl = 0;
  PSECURITY_DESCRIPTOR sd = 0;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  bool kept = GetNamedSecurityInfoA(probe.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, 0, 0, &dacl, 0, &sd) ==
                  ERROR_SUCCESS &&
              GetSecurityDescriptorControl(sd, &control, &revision) && (control & SE_DACL_PROTECTED) && dacl &&
              dacl->AceCount == 1;
  if (sd) LocalFree(sd);
  RemoveDirectoryA(probe.c_str());
  return kept;
}

bool OnlyUserAdministratorsAndSystem(const std::string& folder) {
  PACL dacl = 0;
  PSECURITY_DESCRIPTOR sd = 0;
  if (GetNamedSecurityInfoA(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, 0, 0, &dacl, 0, &sd) !=
      ERROR_SUCCESS)
    return false;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  bool ok = dacl && GetSecurityDescriptorControl(sd, &control, &revision) && (control & SE_DACL_PROTECTED);
  // The current user's SID.
  HANDLE token = 0;
  char user[256];
  DWORD n = 0;
  ok = ok && OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
       GetTokenInformation(token, TokenUser, user, sizeof user, &n);
  if (token) CloseHandle(token);
  PSID admins = 0, system = 0;
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &admins);
  AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system);
  for (DWORD i = 0; ok && i < dacl->AceCount; i++) {
    ACE_HEADER* ace = 0;
    if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace))) ok = false;
    else if (ace->AceType == ACCESS_ALLOWED_ACE_TYPE) {
      PSID sid = &reinterpret_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart;
      ok = EqualSid(sid, reinterpret_cast<TOKEN_USER*>(user)->User.Sid) || EqualSid(sid, admins) ||
           EqualSid(sid, system);
    }
  }
  if (admins) FreeSid(admins);
  if (system) FreeSid(system);
  LocalFree(sd);
  return ok;
}
