// Walks a setup file's wizard through its first three pages and the cancel
// confirmation, saving a picture of the screen at each step (BMP files), so a
// person can look at the pages without sitting at the screen. Ends by
// quitting the wizard: nothing is installed.
// Usage: wizard_tour <setup file> <output folder>
#include <windows.h>

#include <stdio.h>

#include <string>

#include "robot.h"
#include "wizard.h"

namespace {

// The whole screen as a 24-bit BMP file.
bool SaveScreen(const std::string& path) {
  int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
  HDC screen = GetDC(0);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO bi;
  ZeroMemory(&bi, sizeof bi);
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  void* bits = 0;
  HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, 0, 0);
  bool ok = false;
  if (bmp) {
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    DWORD stride = ((w * 3 + 3) / 4) * 4, size = stride * h;
    BITMAPFILEHEADER fh;
    ZeroMemory(&fh, sizeof fh);
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof bi.bmiHeader;
    fh.bfSize = fh.bfOffBits + size;
    FILE* f = fopen(path.c_str(), "wb");
    if (f) {
      ok = fwrite(&fh, sizeof fh, 1, f) == 1 && fwrite(&bi.bmiHeader, sizeof bi.bmiHeader, 1, f) == 1 &&
           fwrite(bits, size, 1, f) == 1;
      ok = fclose(f) == 0 && ok;
    }
    DeleteObject(bmp);
  }
  DeleteDC(mem);
  ReleaseDC(0, screen);
  printf("%s %s\n", ok ? "saved" : "could not save", path.c_str());
  return ok;
}

// Lets the program paint what it just changed before the picture is taken.
void Settle(Robot& robot) { robot.WaitUntil([] { return false; }, 700); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: wizard_tour <setup file> <output folder>\n");
    return 2;
  }
  std::string out = argv[2];
  CreateDirectoryA(out.c_str(), 0);
  Robot robot;
  Wizard wizard(robot);
  if (!robot.Start(argv[1]) || !wizard.WaitForSheet(300000)) {
    fprintf(stderr, "wizard_tour: the wizard did not come up\n");
    return 1;
  }
  Settle(robot);
  SaveScreen(out + "\\1-welcome.bmp");
  if (!wizard.NextTo(1)) return 1;
  Robot::Click(wizard.CurrentPage(), IDC_AGREE);
  Settle(robot);
  SaveScreen(out + "\\2-licence.bmp");
  if (!wizard.NextTo(2)) return 1;
  Settle(robot);
  SaveScreen(out + "\\3-folder.bmp");
  Robot::Click(wizard.Sheet(), IDCANCEL);
  HWND confirm = wizard.WaitConfirmation();
  Settle(robot);
  SaveScreen(out + "\\4-cancel.bmp");
  if (confirm) Robot::Click(confirm, IDCANCEL);
  return robot.WaitForExit(20000) ? 0 : 1;
}
