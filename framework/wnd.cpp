#include "wnd.h"

CString CWnd::WindowText(HWND w) { return WindowTextMb(w); }
