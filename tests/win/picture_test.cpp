// The picture object over Wine's OLE picture loader.
#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

#include "common/picture.h"

namespace {

std::string Read(const char* name) {
  char path[MAX_PATH + 1] = {0};
  GetModuleFileNameA(0, path, MAX_PATH);
  std::string p = path;
  std::ifstream f(p.substr(0, p.rfind('\\') + 1) + name, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

class PictureTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { CoInitialize(0); }
  static void TearDownTestSuite() { CoUninitialize(); }
};

// Whether drawing into a white bitmap changed a pixel.
bool DrawsSomething(CPictureImage& pic, HRESULT* result) {
  HDC screen = GetDC(0);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, 40, 40);
  ReleaseDC(0, screen);
  HGDIOBJ old = SelectObject(dc, bmp);
  RECT r = {0, 0, 40, 40};
  FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  *result = pic.Draw(dc, 0, 0, 40, 40);
  bool changed = false;
  for (int y = 0; y < 40 && !changed; y += 5)
    for (int x = 0; x < 40 && !changed; x += 5) changed = GetPixel(dc, x, y) != RGB(255, 255, 255);
  SelectObject(dc, old);
  DeleteObject(bmp);
  DeleteDC(dc);
  return changed;
}

TEST_F(PictureTest, JpegDecodesWithItsSizeAndDraws) {
  std::string jpeg = Read("page.jpg");  // 115 x 250 pixels
  ASSERT_FALSE(jpeg.empty());
  CPictureImage pic;
  ASSERT_TRUE(pic.LoadFromMemory(jpeg.data(), static_cast<int>(jpeg.size())));
  EXPECT_TRUE(pic.IsLoaded());
  HDC screen = GetDC(0);
  int dpiX = GetDeviceCaps(screen, LOGPIXELSX), dpiY = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(0, screen);
  EXPECT_NEAR(pic.width, MulDiv(115, 2540, dpiX), 2);
  EXPECT_NEAR(pic.height, MulDiv(250, 2540, dpiY), 2);
  HRESULT hr = 1;
  EXPECT_TRUE(DrawsSomething(pic, &hr));
  EXPECT_EQ(hr, S_OK);
}

TEST_F(PictureTest, BadBytesLeaveItNotLoaded) {
  std::string jpeg = Read("page.jpg");
  std::string garbage(2000, '\x33');
  CPictureImage pic;
  HRESULT hr = 1;
  EXPECT_FALSE(DrawsSomething(pic, &hr));  // never loaded
  EXPECT_EQ(hr, 0);
  EXPECT_FALSE(pic.LoadFromMemory(jpeg.data(), 0));
  EXPECT_FALSE(pic.LoadFromMemory(garbage.data(), static_cast<int>(garbage.size())));
  EXPECT_FALSE(pic.IsLoaded());

  // A failed load after a good one: the earlier picture is no longer drawn.
  ASSERT_TRUE(pic.LoadFromMemory(jpeg.data(), static_cast<int>(jpeg.size())));
  EXPECT_FALSE(pic.LoadFromMemory(garbage.data(), static_cast<int>(garbage.size())));
  EXPECT_FALSE(pic.IsLoaded());
  EXPECT_FALSE(DrawsSomething(pic, &hr));
  EXPECT_EQ(hr, 0);
  ASSERT_TRUE(pic.LoadFromMemory(jpeg.data(), static_cast<int>(jpeg.size())));
  EXPECT_FALSE(pic.LoadFromMemory(jpeg.data(), 0));
  EXPECT_FALSE(pic.IsLoaded());
}

TEST_F(PictureTest, MissingResourceFails) {
  std::string jpeg = Read("page.jpg");
  CPictureImage pic;
  ASSERT_TRUE(pic.LoadFromMemory(jpeg.data(), static_cast<int>(jpeg.size())));
  EXPECT_FALSE(pic.LoadFromResource(130, "PIC"));
  EXPECT_FALSE(pic.IsLoaded());
}

}  // namespace
