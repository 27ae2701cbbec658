// The command lines of both programs, which any caller writes: the switches
// read back, and what the uninstaller passes to its copy read back alike.
#include <stddef.h>
#include <stdint.h>

#include <string>

#include "framework/mbcs.h"
#include "framework/mbcs.h"
#include "setup/core/commandline.h"
#include "uninstall/core/uninstallsettings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  std::string text(reinterpret_cast<const char*>(data), size);
  text = text.c_str();  // a command line ends at its first zero byte
  SetupSwitches s;
  ParseSetupSwitches(ParametersOf(text.c_str()), s);
  ParseSetupSwitches(text.c_str(), s);
  UninstallSwitches u;
  ParseUninstallSwitches(text.c_str(), u);
  // A log path without quotes survives the way to the copy.
  if (u.Switches && u.LogPath.Find('"') < 0 && (u.Silent || u.All || !u.LogPath.IsEmpty())) {
    CString passed = CopyParameters(u, "C:\\A\\setup.log");
    UninstallSwitches back;
    ParseUninstallSwitches(passed, back);
    if (back.Silent != u.Silent || back.All != u.All || !(back.LogPath == u.LogPath.c_str()) ||
        !(back.SetupLog == "C:\\A\\setup.log"))
      __builtin_trap();
  }
  return 0;
}
