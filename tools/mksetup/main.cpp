// mksetup: builds setup files from a project file, and inspects them.
#include <exception>
#include <stdio.h>

#include "cli.h"

namespace {

int Run(int argc, char** argv) {
  try {
    return RunMksetup(argc, argv);
  } catch (const std::exception& e) {
    fprintf(stderr, "error: %s\n", e.what());
    return 1;
  }
}

}  // namespace

#ifdef _WIN32

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <string>
#include <vector>

#include "hostfs.h"

namespace {

UINT g_consoleCodePage = 0;
void RestoreConsole() { SetConsoleOutputCP(g_consoleCodePage); }

}  // namespace

// The command line in UTF-16, passed on as UTF-8 (names in any language,
// whatever the system's code page); output in UTF-8 with "\n" line ends, as
// on Linux, and a console shows it as UTF-8.
int wmain(int argc, wchar_t** wargv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; i++) args.push_back(Utf8Text(wargv[i]));
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  g_consoleCodePage = GetConsoleOutputCP();
  if (g_consoleCodePage && g_consoleCodePage != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) atexit(RestoreConsole);
  return Run(argc, argv.data());
}

#else

int main(int argc, char** argv) { return Run(argc, argv); }

#endif
