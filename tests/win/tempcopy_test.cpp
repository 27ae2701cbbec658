// The uninstaller's temporary copy on real files under Wine: a fresh folder
// per copy, the copy checked byte for byte, nothing left when a step fails.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/fileutil.h"

#include "uninstall/tempcopy.h"

namespace {

std::string Temp() {
  char dir[MAX_PATH + 1] = {0};
  GetTempPathA(MAX_PATH, dir);
  return dir;
}

void Write(const std::string& path, const std::string& bytes) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
  DWORD n = 0;
  WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &n, 0);
  CloseHandle(f);
}

std::string Read(const std::string& path) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
  if (f == INVALID_HANDLE_VALUE) return "<missing>";
  std::string bytes(GetFileSize(f, 0), '\0');
  DWORD n = 0;
  if (!bytes.empty()) ReadFile(f, &bytes[0], static_cast<DWORD>(bytes.size()), &n, 0);
  CloseHandle(f);
  return bytes;
}


HANDLE Open(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
}

class TempCopyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base = Temp() + "tempcopy-test\\";
    CreateDirectoryA(base.c_str(), 0);
    source = base + "ridkit.exe";
    // Several read chunks, and a last one that is not full.
    std::string bytes;
    for (int i = 0; i < 100000; i++) bytes += static_cast<char>(i * 7);
    Write(source, bytes);
  }
  void TearDown() override {
    DeleteFileA(source.c_str());
    DeleteFileA((base + "other").c_str());
    RemoveDirectoryA(base.c_str());
  }
  std::string base, source;
};

TEST_F(TempCopyTest, EachCopyGetsAFreshFolderAndTheSameBytes) {
  std::string folders[2], paths[2];
  {
    CTemporaryCopy copies[2];
    for (int i = 0; i < 2; i++) {
      ASSERT_TRUE(copies[i].Make(source.c_str(), base.c_str()));
      folders[i] = copies[i].Folder.c_str();
      paths[i] = copies[i].Path.c_str();
      EXPECT_EQ(folders[i].substr(0, base.size() + 8), base + "glb1a2b-");
      EXPECT_EQ(paths[i], folders[i] + "\\glb1a2b.exe");
      EXPECT_TRUE(Read(paths[i]) == Read(source));
      // Held against changes until it is started.
      HANDLE w =
          CreateFileA(paths[i].c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, 0, OPEN_EXISTING, 0, 0);
      EXPECT_EQ(w, INVALID_HANDLE_VALUE) << "the checked copy could be changed";
      if (w != INVALID_HANDLE_VALUE) CloseHandle(w);
    }
    EXPECT_NE(folders[0], folders[1]);
  }
  // Never started: the test removes them.
  for (int i = 0; i < 2; i++) {
    EXPECT_TRUE(DeleteFileA(paths[i].c_str()));
    EXPECT_TRUE(RemoveDirectoryA(folders[i].c_str()));
  }
}

TEST_F(TempCopyTest, AFailedStepLeavesNothing) {
  CTemporaryCopy copy;
  EXPECT_FALSE(copy.Make((base + "missing.exe").c_str(), base.c_str()));
  EXPECT_FALSE(copy.Make(source.c_str(), (base + "no such folder\\").c_str()));
  EXPECT_FALSE(copy.Make(source.c_str(), ""));
  EXPECT_TRUE(std::string(copy.Path).empty());
  EXPECT_NE(copy.Start("x"), static_cast<DWORD>(ERROR_SUCCESS));
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((base + "glb1a2b-*").c_str(), &fd);
  EXPECT_EQ(h, INVALID_HANDLE_VALUE) << "left: " << fd.cFileName;
  if (h != INVALID_HANDLE_VALUE) FindClose(h);
}

TEST_F(TempCopyTest, ContentCheckSeesSizeAndBytes) {
  std::string other = base + "other";
  std::string bytes = Read(source);
  HANDLE a = Open(source);
  Write(other, bytes);
  HANDLE b = Open(other);
  EXPECT_TRUE(SameFileContent(a, b));
  CloseHandle(b);
  bytes[99999] ^= 1;  // the last byte, in the last, short chunk
  Write(other, bytes);
  b = Open(other);
  EXPECT_FALSE(SameFileContent(a, b));
  CloseHandle(b);
  Write(other, bytes.substr(0, 99999));
  b = Open(other);
  EXPECT_FALSE(SameFileContent(a, b));
  CloseHandle(b);
  CloseHandle(a);
}

}  // namespace
