#include "dpi.h"

int SystemDpi() {
  // The system DPI stays as it was at the program's start: read it once.
  static int dpi = 0;
  if (!dpi) {
    HDC screen = GetDC(0);
    dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
    if (screen) ReleaseDC(0, screen);
    if (dpi <= 0) dpi = 96;
  }
  return dpi;
}

int ScaleForDpi(int pixels) { return MulDiv(pixels, SystemDpi(), 96); }
