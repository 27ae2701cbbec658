#include "sign.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "common/container.h"
#include "files.h"
#include "tempfiles.h"

namespace {

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

}  // namespace

bool SignFile(const std::string& input, const std::string& given, const SignOptions& o, std::string& error) {
  // The certificate and the password file are regular files: opened without
  // waiting (a pipe without a writer would hold the signing for ever).
  const std::pair<const char*, const std::string*> inputs[] = {{"--sign", &o.certificate},
                                                              {"--sign-password-file", &o.passwordFile}};
  for (const auto& [option, path] : inputs) {
    if (path->empty()) continue;
    int fd = open(path->c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    bool regular = fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
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
  struct stat in;
  if (stat(input.c_str(), &in) != 0) {
    error = input + ": " + strerror(errno);
    return false;
  }
  // The signed file is made under a temporary name of its own beside the
  // output (the tool refuses to write over a file); a file of the user's is
  // never in the way, and an interrupted run leaves nothing.
  std::string tmp;
  if (!ReserveTempName(std::filesystem::path(output).parent_path().string(), tmp, error)) return false;
  std::vector<std::string> args = {"sign", "-pkcs12", o.certificate, "-h", "sha256"};
  if (!o.passwordFile.empty()) args.insert(args.end(), {"-readpass", o.passwordFile});
  else args.insert(args.end(), {"-pass", ""});
  if (!o.timestampUrl.empty()) args.insert(args.end(), {"-ts", o.timestampUrl});
  args.insert(args.end(), {"-in", input, "-out", tmp});
  std::string out;
  int code = Run(args, out);
  bool ok = code == 0 && access(tmp.c_str(), F_OK) == 0;
  if (code == 127 && out.empty()) {
    error = std::string("signing needs the program ") + kTool + " (Debian package " + kTool + "), which is not installed";
  } else if (!ok) {
    error = "signing with " + o.certificate + " failed (a wrong password or not a PKCS#12 code-signing certificate?): " +
            LastLines(out);
  } else if (chmod(tmp.c_str(), in.st_mode & 07777) != 0 || rename(tmp.c_str(), output.c_str()) != 0) {
    // The signed file has the permissions of the file signed.
    error = "cannot put the signed file at " + output + ": " + strerror(errno);
    ok = false;
  }
  if (ok) {
    ReleaseTempFile(AT_FDCWD, tmp);
    SyncFolder(std::filesystem::path(output).parent_path().string());
  } else {
    RemoveTempFile(AT_FDCWD, tmp);
  }
  return ok;
}

SignatureInfo ReadSignature(const std::string& path) {
  SignatureInfo info;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return info;
  unsigned char head[PE_HEAD_BYTES];
  int n = static_cast<int>(fread(head, 1, sizeof head, f));
  fseek(f, 0, SEEK_END);
  long long size = ftell(f);
  fclose(f);
  long long table = CertificateTableStart(head, n, size);
  if (table == 0) return info;
  info.present = true;
  if (table < 0) {
    info.damaged = true;
    return info;
  }
  std::string out;
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
  if (!info.checked) info.note = LastLines(out);
  return info;
}
