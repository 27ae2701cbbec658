// Whether a control shows the whole of its text: measured in the control's
// own font at the system's DPI, less what the control draws beside its text
// (a check box's box, a button's edges, an edit's margins).
#pragma once
#include <windows.h>

#include <string>

// "" when the text of control (or text put into it, code page 936) shows
// whole; else what is cut and by how many pixels.
std::string TextCut(HWND control);
std::string TextCut(HWND control, const char* text);
