// Pixel sizes at the system's DPI. The programs are DPI aware (their
// manifest): dialog templates grow with the system font by themselves, but a
// size given in pixels (a picture's place, a window made by hand) is meant at
// 96 DPI and must be scaled, or it stays small beside the grown dialog.
#pragma once
#include "platform.h"

// The system's DPI (96 at 100 %, 144 at 150 %, 192 at 200 %).
int SystemDpi();
// pixels at 96 DPI, at the system's DPI.
int ScaleForDpi(int pixels);
