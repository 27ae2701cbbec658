#include "robot.h"

#include <string.h>
#include <vector>

// Poll interval while waiting for a window: also the time the program is given
// to end (a wait on the process handle, so an early end is seen at once).
static const DWORD kPollMs = 20;

Robot::Robot() { memset(&pi_, 0, sizeof pi_); }

Robot::~Robot() { Kill(); }

bool Robot::Start(const std::string& program, const std::string& args) {
  Kill();
  std::string cmd = "\"" + program + "\"";
  if (!args.empty()) cmd += " " + args;
  STARTUPINFOA si;
  memset(&si, 0, sizeof si);
  si.cb = sizeof si;
  std::string buf = cmd;
  if (!CreateProcessA(program.c_str(), &buf[0], 0, 0, FALSE, 0, 0, 0, &si, &pi_)) {
    memset(&pi_, 0, sizeof pi_);
    return false;
  }
  return true;
}

// The limited half of this process's token as a primary token, or null.
static HANDLE LimitedToken() {
  HANDLE own = 0, primary = 0;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own)) return 0;
  TOKEN_LINKED_TOKEN linked = {};
  DWORD size = 0;
  TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
  if (GetTokenInformation(own, TokenElevationType, &type, sizeof type, &size) && type == TokenElevationTypeFull &&
      GetTokenInformation(own, TokenLinkedToken, &linked, sizeof linked, &size)) {
    DuplicateTokenEx(linked.LinkedToken, MAXIMUM_ALLOWED, 0, SecurityImpersonation, TokenPrimary, &primary);
    CloseHandle(linked.LinkedToken);
  }
  CloseHandle(own);
  return primary;
}

bool Robot::StartLimited(const std::string& program, const std::string& args) {
  Kill();
  HANDLE token = LimitedToken();
  if (!token) return false;
  std::string cmd = "\"" + program + "\"" + (args.empty() ? "" : " " + args);
  STARTUPINFOA si;
  memset(&si, 0, sizeof si);
  si.cb = sizeof si;
  BOOL started = CreateProcessAsUserA(token, program.c_str(), &cmd[0], 0, 0, FALSE, 0, 0, 0, &si, &pi_);
  CloseHandle(token);
  if (!started) memset(&pi_, 0, sizeof pi_);
  return started != FALSE;
}

bool Robot::Attach(DWORD processId) {
  Kill();
  pi_.hProcess = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, processId);
  if (!pi_.hProcess) return false;
  pi_.dwProcessId = processId;
  return true;
}

bool Robot::Running() const {
  return pi_.hProcess && WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT;
}

void Robot::Kill() {
  if (!pi_.hProcess) return;
  if (Running()) {
    TerminateProcess(pi_.hProcess, 0xDEAD);
    WaitForSingleObject(pi_.hProcess, 5000);
  }
  CloseHandle(pi_.hProcess);
  if (pi_.hThread) CloseHandle(pi_.hThread);
  memset(&pi_, 0, sizeof pi_);
}

namespace {
struct Search {
  DWORD pid;
  const std::function<bool(HWND)>* match;
  HWND found;
};

BOOL CALLBACK MatchWindow(HWND w, LPARAM lp) {
  Search* s = reinterpret_cast<Search*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (pid != s->pid || !IsWindowVisible(w) || !(*s->match)(w)) return TRUE;
  s->found = w;
  return FALSE;
}
}  // namespace

bool Robot::IsClass(HWND w, const char* cls) {
  char name[256] = {0};
  GetClassNameA(w, name, sizeof name);
  return strcmp(name, cls) == 0;
}

HWND Robot::FindWindowWhere(const std::function<bool(HWND)>& match) const {
  if (!pi_.hProcess) return 0;
  Search s = {pi_.dwProcessId, &match, 0};
  EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

HWND Robot::WaitForWindowWhere(const std::function<bool(HWND)>& match, DWORD timeoutMs) {
  HWND found = 0;
  WaitUntil([&] { return (found = FindWindowWhere(match)) != 0; }, timeoutMs);
  return found;
}

// A window of that class, with that caption when one is given.
static std::function<bool(HWND)> ClassAndCaption(const char* cls, const char* caption) {
  return [=](HWND w) { return Robot::IsClass(w, cls) && (!caption || Robot::Text(w) == caption); };
}

HWND Robot::FindWindowOf(const char* cls, const char* caption) const {
  return FindWindowWhere(ClassAndCaption(cls, caption));
}

HWND Robot::WaitForWindow(const char* cls, const char* caption, DWORD timeoutMs) {
  return WaitForWindowWhere(ClassAndCaption(cls, caption), timeoutMs);
}

bool Robot::WaitForExit(DWORD timeoutMs, DWORD* exitCode) {
  if (!pi_.hProcess) return false;
  if (WaitForSingleObject(pi_.hProcess, timeoutMs) != WAIT_OBJECT_0) {
    Kill();
    return false;
  }
  DWORD code = 0;
  GetExitCodeProcess(pi_.hProcess, &code);
  if (exitCode) *exitCode = code;
  return true;
}

std::wstring Wide936(const std::string& text) {
  int n = MultiByteToWideChar(936, 0, text.c_str(), -1, 0, 0);
  if (n <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(936, 0, text.c_str(), -1, &wide[0], n);
  wide.resize(static_cast<size_t>(n - 1));
  return wide;
}

std::string Narrow936(const wchar_t* text) {
  int n = WideCharToMultiByte(936, 0, text, -1, 0, 0, 0, 0);
  if (n <= 0) return std::string();
  std::string narrow(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(936, 0, text, -1, &narrow[0], n, 0, 0);
  narrow.resize(static_cast<size_t>(n - 1));
  return narrow;
}

std::string Robot::Text(HWND w) {
  // Any length: a licence runs to hundreds of KiB.
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(w, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) return std::string();
  std::vector<WCHAR> buf(length + 4096 + 1, 0);
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(w, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()), SMTO_ABORTIFHUNG, 5000,
                           &result))
    return std::string();
  buf.back() = 0;
  return Narrow936(buf.data());
}

std::string Robot::ControlText(HWND dialog, int id) {
  HWND c = GetDlgItem(dialog, id);
  return c ? Text(c) : std::string();
}

bool Robot::Click(HWND dialog, int id) {
  HWND b = GetDlgItem(dialog, id);
  if (!b || !IsWindowEnabled(b)) return false;
  return PostMessageA(b, BM_CLICK, 0, 0) != 0;
}

std::string WinePath(const char* unixPath) {
  std::string p = unixPath;
  if (!p.empty() && p[0] == '/') p = "Z:" + p;
  for (char& c : p)
    if (c == '/') c = '\\';
  return p;
}

std::string TempFolder() {
  char dir[MAX_PATH + 1] = {0};
  GetTempPathA(MAX_PATH, dir);
  return dir;
}


HWND Robot::WaitForOwnedDialog(HWND owner, DWORD timeoutMs) {
  return WaitForWindowWhere([&](HWND w) { return GetWindow(w, GW_OWNER) == owner && IsClass(w, DIALOG_CLASS); },
                            timeoutMs);
}

bool Robot::WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (!pi_.hProcess || GetTickCount() - start >= timeoutMs) return condition();
    if (WaitForSingleObject(pi_.hProcess, kPollMs) == WAIT_OBJECT_0) return condition();
  }
}

bool Robot::Visible(HWND dialog, int id) {
  HWND c = GetDlgItem(dialog, id);
  return c && IsWindowVisible(c);
}

bool Robot::Enabled(HWND dialog, int id) {
  HWND c = GetDlgItem(dialog, id);
  return c && IsWindowEnabled(c);
}

bool Robot::Checked(HWND dialog, int id) {
  HWND c = GetDlgItem(dialog, id);
  DWORD_PTR r = 0;
  return c && SendMessageTimeoutA(c, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 5000, &r) && r == BST_CHECKED;
}

void Robot::SetControlText(HWND dialog, int id, const std::string& text) { SetControlText(dialog, id, Wide936(text)); }

void Robot::SetControlText(HWND dialog, int id, const std::wstring& text) {
  DWORD_PTR r = 0;
  SendMessageTimeoutW(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                      SMTO_ABORTIFHUNG, 5000, &r);
}

void Robot::PressKey(HWND w, int vk) {
  // Keys go to the focus of the active window; right after a dialog closed,
  // activation may still be on its way back to w's window.
  HWND root = GetAncestor(w, GA_ROOT);
  DWORD thread = GetWindowThreadProcessId(w, 0);
  GUITHREADINFO info;
  DWORD start = GetTickCount();
  for (;;) {
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    bool ok = GetGUIThreadInfo(thread, &info) != 0;
    if ((ok && info.hwndActive == root && info.hwndFocus) || GetTickCount() - start > 3000) break;
    Sleep(kPollMs);
  }
  HWND target = info.hwndFocus && GetAncestor(info.hwndFocus, GA_ROOT) == root ? info.hwndFocus : w;
  PostMessageA(target, WM_KEYDOWN, vk, 1);
  PostMessageA(target, WM_KEYUP, vk, 0xC0000001);
}

void Robot::CloseBox(HWND w) { PostMessageA(w, WM_SYSCOMMAND, SC_CLOSE, 0); }

bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(kPollMs);
  }
  return true;
}

HWND WaitForTopWindow(const char* cls, const char* caption, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    HWND w = FindWindowA(cls, caption);
    if (w && IsWindowVisible(w)) return w;
    if (GetTickCount() - start >= timeoutMs) return 0;
    Sleep(20);
  }
}
