#include "commandrun.h"

#include <set>

#include "robot.h"
#include "tests/fileutil.h"

namespace {

BOOL CALLBACK AddVisible(HWND w, LPARAM p) {
  if (IsWindowVisible(w)) reinterpret_cast<std::set<HWND>*>(p)->insert(w);
  return TRUE;
}

std::set<HWND> VisibleTopWindows() {
  std::set<HWND> windows;
  EnumWindows(AddVisible, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

}  // namespace

WatchedRun RunWatched(const std::string& commandLine, DWORD timeoutMs) {
  WatchedRun run;
  std::set<HWND> before = VisibleTopWindows();
  STARTUPINFOA si = {sizeof si};
  PROCESS_INFORMATION pi = {};
  std::string line = commandLine;
  if (!CreateProcessA(0, &line[0], 0, 0, FALSE, 0, 0, 0, &si, &pi)) return run;
  DWORD start = GetTickCount();
  std::set<HWND> seen;
  for (;;) {
    DWORD wait = WaitForSingleObject(pi.hProcess, 5);
    for (HWND w : VisibleTopWindows()) {
      if (before.count(w) || seen.count(w)) continue;
      seen.insert(w);
      char cls[128] = {0};
      GetClassNameA(w, cls, sizeof cls);
      run.windows.push_back(std::string(cls) + " \"" + Robot::Text(w) + "\"");
    }
    if (wait == WAIT_OBJECT_0) break;
    if (GetTickCount() - start > timeoutMs) {
      TerminateProcess(pi.hProcess, 0xDEAD);
      break;
    }
  }
  run.ended = GetExitCodeProcess(pi.hProcess, &run.exitCode) && run.exitCode != STILL_ACTIVE;
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  return run;
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

std::string LogText(const std::string& path) {
  std::string bytes = ReadBytes(path);
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") != 0) return "(no UTF-8 byte-order mark) " + bytes;
  bytes.erase(0, 3);
  std::wstring wide(bytes.size() + 1, L'\0');
  int n = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &wide[0],
                              static_cast<int>(wide.size()));
  std::string text(static_cast<size_t>(n) * 2 + 1, '\0');
  int m = WideCharToMultiByte(936, 0, wide.data(), n, &text[0], static_cast<int>(text.size()), 0, 0);
  text.resize(static_cast<size_t>(m));
  return text;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1)) n++;
  return n;
}
