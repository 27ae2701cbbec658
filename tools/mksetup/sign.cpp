#include "sign.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <utility>
#include <vector>

#include "common/container.h"
#include "files.h"
#include "hostfs.h"
#include "tempfiles.h"

#include <unistd.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#endif

namespace {

#ifdef _WIN32

const char kTool[] = "signtool";

// One argument as the C runtime's command-line parsing takes it back.
std::wstring Quoted(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  for (size_t i = 0;; i++) {
    size_t backslashes = 0;
    while (i < arg.size() && arg[i] == L'\\') i++, backslashes++;
    if (i == arg.size()) {
      out.append(backslashes * 2, L'\\');
      break;
    }
    if (arg[i] == L'"') out.append(backslashes * 2 + 1, L'\\');
    else out.append(backslashes, L'\\');
    out += arg[i];
  }
  return out + L"\"";
}

// Runs signtool from the PATH with these arguments; its exit status (127: it
// could not be started) and everything it printed.
int Run(const std::vector<std::string>& args, std::string& output) {
  wchar_t program[MAX_PATH + 1];
  if (!SearchPathW(nullptr, L"signtool.exe", nullptr, MAX_PATH + 1, program, nullptr)) return 127;
  std::wstring line = Quoted(program);
  for (const std::string& a : args) line += L" " + Quoted(WidePath(a));
  SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
  HANDLE readEnd, writeEnd;
  if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return 127;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  HANDLE nul = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW si;
  ZeroMemory(&si, sizeof si);
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = nul;
  si.hStdOutput = si.hStdError = writeEnd;
  PROCESS_INFORMATION pi;
  BOOL started = CreateProcessW(program, &line[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi);
  CloseHandle(writeEnd);
  if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
  if (!started) {
    CloseHandle(readEnd);
    return 127;
  }
  char buf[4096];
  DWORD n;
  while (ReadFile(readEnd, buf, sizeof buf, &n, nullptr) && n > 0) output.append(buf, n);
  CloseHandle(readEnd);
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  return static_cast<int>(code);
}

#else

const char kTool[] = "osslsigncode";

// Runs the tool with these arguments; its exit status (127: it could not be
// started) and everything it printed.
int Run(const std::vector<std::string>& args, std::string& output) {
  int pipefd[2];
  if (pipe(pipefd) != 0) return 127;
  pid_t pid = fork();
  if (pid < 0) {
    close(pipefd[0]), close(pipefd[1]);
    return 127;
  }
  if (pid == 0) {
    dup2(pipefd[1], 1);
    dup2(pipefd[1], 2);
    close(pipefd[0]), close(pipefd[1]);
    int devnull = open("/dev/null", O_RDONLY);
    if (devnull >= 0) dup2(devnull, 0);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(kTool));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(kTool, argv.data());
    _exit(127);
  }
  close(pipefd[1]);
  char buf[4096];
  ssize_t n;
  while ((n = read(pipefd[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
    if (n > 0) output.append(buf, static_cast<size_t>(n));
  close(pipefd[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

#endif

// The tool's last lines that say something, for an error message.
std::string LastLines(const std::string& output) {
  std::string out;
  size_t start = output.size() > 600 ? output.find('\n', output.size() - 600) : 0;
  for (size_t i = start == std::string::npos ? 0 : start; i < output.size(); i++)
    out += output[i] == '\n' ? ' ' : output[i];
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// The value after "label" on its line, or "".
std::string After(const std::string& text, const std::string& label, size_t from = 0) {
  size_t at = text.find(label, from);
  if (at == std::string::npos) return "";
  at += label.size();
  size_t end = text.find('\n', at);
  std::string v = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
  while (!v.empty() && (v.back() == ' ' || v.back() == '\r')) v.pop_back();
  size_t b = v.find_first_not_of(" \t:");
  return b == std::string::npos ? "" : v.substr(b);
}

#ifndef _WIN32
// The tool writes bytes outside ASCII as \xNN.
std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); i++) {
    if (s[i] == '\\' && i + 3 < s.size() + 0 && s[i + 1] == 'x' && isxdigit(static_cast<unsigned char>(s[i + 2])) &&
        isxdigit(static_cast<unsigned char>(s[i + 3]))) {
      out += static_cast<char>(strtol(s.substr(i + 2, 2).c_str(), nullptr, 16));
      i += 3;
    } else {
      out += s[i];
    }
  }
  return out;
}

#endif

}  // namespace

bool SignFile(const std::string& input, const std::string& given, const SignOptions& o, std::string& error) {
  // The certificate and the password file are regular files: opened without
  // waiting (a pipe without a writer would hold the signing for ever).
  const std::pair<const char*, const std::string*> inputs[] = {{"--sign", &o.certificate},
                                                              {"--sign-password-file", &o.passwordFile}};
  for (const auto& [option, path] : inputs) {
    if (path->empty()) continue;
    int fd = OpenRead(*path);
    FileInfo st;
    bool regular = fd >= 0 && StatFd(fd, st) && st.regular;
    if (fd < 0) error = std::string(option) + " " + *path + ": " + strerror(errno);
    else if (!regular) error = std::string(option) + " " + *path + ": not a regular file";
    if (fd >= 0) close(fd);
    if (!regular) return false;
  }
  // Written through a link, as the build writes its output.
  std::string output = given, why;
  if (!ThroughLink(output, why)) {
    error = "output " + given + ": " + why;
    return false;
  }
  FileInfo in;
  if (!StatPath(input, in)) {
    error = input + ": " + strerror(errno);
    return false;
  }
  // The signed file is made under a temporary name of its own beside the
  // output (the tool refuses to write over a file); a file of the user's is
  // never in the way, and an interrupted run leaves nothing.
  std::string folder = PathText(FsPath(output).parent_path());
  std::string tmp;
  if (!ReserveTempName(folder, tmp, error)) return false;
#ifdef _WIN32
  // signtool signs a file in place: a copy of the input under the temporary
  // name. It takes the password on its command line.
  std::vector<std::string> args = {"sign", "/fd", "sha256", "/f", o.certificate};
  if (!o.passwordFile.empty()) {
    std::string password;
    if (FILE* f = OpenFile(o.passwordFile, "rb")) {
      for (int c; (c = fgetc(f)) != EOF && c != '\n' && c != '\r';) password += static_cast<char>(c);
      fclose(f);
    }
    args.insert(args.end(), {"/p", password});
  }
  if (!o.timestampUrl.empty()) args.insert(args.end(), {"/tr", o.timestampUrl, "/td", "sha256"});
  args.push_back(tmp);
  if (!CopyFileW(WidePath(input).c_str(), WidePath(tmp).c_str(), TRUE)) {
    SetErrnoFromWin32();
    error = "cannot copy " + input + " for signing: " + strerror(errno);
    RemoveTempFile(kCurrentFolder, tmp);
    return false;
  }
  const char* missing = "signing on Windows needs signtool (of the Windows SDK) on the PATH, which was not found";
#else
  std::vector<std::string> args = {"sign", "-pkcs12", o.certificate, "-h", "sha256"};
  if (!o.passwordFile.empty()) args.insert(args.end(), {"-readpass", o.passwordFile});
  else args.insert(args.end(), {"-pass", ""});
  if (!o.timestampUrl.empty()) args.insert(args.end(), {"-ts", o.timestampUrl});
  args.insert(args.end(), {"-in", input, "-out", tmp});
  const char* missing = "signing needs the program osslsigncode (Debian package osslsigncode), which is not installed";
#endif
  std::string out;
  int code = Run(args, out);
  FileInfo signedFile;
  bool ok = code == 0 && StatPath(tmp, signedFile);
  if (code == 127 && out.empty()) {
    error = missing;
  } else if (!ok) {
    error = "signing with " + o.certificate + " failed (a wrong password or not a PKCS#12 code-signing certificate?): " +
            LastLines(out);
  } else if (!SameMode(tmp, in) || !RenameOver(tmp, output)) {
    // The signed file has the permissions of the file signed.
    error = "cannot put the signed file at " + output + ": " + strerror(errno);
    ok = false;
  }
  if (ok) {
    ReleaseTempFile(kCurrentFolder, tmp);
    SyncFolder(folder);
  } else {
    RemoveTempFile(kCurrentFolder, tmp);
  }
  return ok;
}

SignatureInfo ReadSignature(const std::string& path) {
  SignatureInfo info;
  FILE* f = OpenFile(path, "rb");
  if (!f) return info;
  unsigned char head[PE_HEAD_BYTES];
  int n = static_cast<int>(fread(head, 1, sizeof head, f));
  fseeko(f, 0, SEEK_END);
  long long size = ftello(f);
  fclose(f);
  long long table = CertificateTableStart(head, n, size);
  if (table == 0) return info;
  info.present = true;
  if (table < 0) {
    info.damaged = true;
    return info;
  }
  std::string out;
#ifdef _WIN32
  int code = Run({"verify", "/pa", "/v", path}, out);
  if (code == 127 && out.empty()) {
    info.note = "signtool is not on the PATH";
    return info;
  }
  size_t chain = out.find("Signing Certificate Chain:");
  info.subject = After(out, "Issued to:", chain == std::string::npos ? 0 : chain);
  // 0x80096010: the digest does not match the file. Other failures (a
  // certificate Windows does not trust) say nothing of the file's bytes.
  info.checked = code == 0 || out.find("0x80096010") != std::string::npos;
  info.matches = code == 0;
#else
  int code = Run({"verify", "-in", path}, out);
  if (code == 127 && out.empty()) {
    info.note = std::string(kTool) + " is not installed";
    return info;
  }
  size_t signer = out.find("Signer's certificate:");
  info.subject = Unescape(After(out, "Subject:", signer == std::string::npos ? 0 : signer));
  std::string current = After(out, "Current message digest"), calculated = After(out, "Calculated message digest");
  info.checked = !current.empty() && !calculated.empty();
  info.matches = info.checked && current == calculated;
#endif
  if (!info.checked) info.note = LastLines(out);
  return info;
}
