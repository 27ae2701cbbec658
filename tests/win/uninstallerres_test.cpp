// The setup's way of writing the uninstaller from its compressed resource,
// run in a test program whose own resource "EXE" 138 is a stream cut short:
// writing fails as any failure to write it does, and leaves no file.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "setup/setupservices.h"
#include "testutil.h"

TEST(UninstallerResource, ACutStreamWritesNoUninstaller) {
  // The resource is there; only its bytes are damaged.
  HRSRC res = FindResourceA(GetModuleHandleA(0), MAKEINTRESOURCEA(138), "EXE");
  ASSERT_TRUE(res);
  ASSERT_GT(SizeofResource(GetModuleHandleA(0), res), 100u);

  TempDir dir;
  CPackage package;
  char self[MAX_PATH];
  GetModuleFileNameA(0, self, MAX_PATH);
  package.Path = self;
  CSetupServices services(package);
  EXPECT_FALSE(services.WriteUninstaller(dir.Dir().c_str()));
  EXPECT_FALSE(FileExists(dir.Path("ridkit.exe")));
}
