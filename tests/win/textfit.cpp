#include "textfit.h"

#include <stdio.h>

#include "framework/widetext.h"

namespace {

int Scaled(HWND w, int pixels) {
  HDC dc = GetDC(w);
  int dpi = GetDeviceCaps(dc, LOGPIXELSX);
  ReleaseDC(w, dc);
  return MulDiv(pixels, dpi, 96);
}

std::string Cut(const char* what, const std::wstring& text, int need, int have) {
  char out[64];
  snprintf(out, sizeof out, "%s %d px, has %d: ", what, need, have);
  std::string s = out;
  s += NarrowText(text.c_str());
  return s;
}

}  // namespace

std::string TextCut(HWND control, const char* text) {
  SetWindowTextW(control, CWideText(text));
  return TextCut(control);
}

std::string TextCut(HWND control) {
  WCHAR text[1024] = {0};
  GetWindowTextW(control, text, 1024);
  if (!text[0]) return "";
  WCHAR cls[32] = {0};
  GetClassNameW(control, cls, 32);
  LONG style = GetWindowLongW(control, GWL_STYLE);
  RECT client;
  GetClientRect(control, &client);
  int width = client.right, height = client.bottom;
  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
  std::string cut;
  RECT r = {0, 0, 0, 0};
  if (lstrcmpiW(cls, L"Button") == 0) {
    // A box or circle and a gap before the text; a push button's edges and
    // focus frame around it.
    LONG type = style & BS_TYPEMASK;
    bool box = type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
               type == BS_AUTORADIOBUTTON || type == BS_3STATE || type == BS_AUTO3STATE;
    int room = width - (box ? Scaled(control, 13 + 4) : 2 * Scaled(control, 4));
    DrawTextW(dc, text, -1, &r, DT_CALCRECT | DT_SINGLELINE);
    if (r.right > room) cut = Cut("needs", text, r.right, room);
  } else if (lstrcmpiW(cls, L"Edit") == 0) {
    // The lines the edit itself wraps the text into, in its formatting rectangle.
    TEXTMETRICW tm;
    GetTextMetricsW(dc, &tm);
    SendMessageW(control, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&r));
    int need = static_cast<int>(SendMessageW(control, EM_GETLINECOUNT, 0, 0)) * tm.tmHeight;
    if (need > r.bottom - r.top) cut = Cut("needs a height of", text, need, r.bottom - r.top);
  } else {
    // A static: its words wrapped at its width; a word longer than a line is cut.
    UINT prefix = (style & SS_NOPREFIX) ? DT_NOPREFIX : 0;
    r.right = width;
    DrawTextW(dc, text, -1, &r, DT_CALCRECT | DT_WORDBREAK | prefix);
    if (r.bottom > height) cut = Cut("needs a height of", text, r.bottom, height);
    else if (r.right > width) cut = Cut("needs", text, r.right, width);
  }
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return cut;
}
