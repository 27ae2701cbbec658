// Message boxes with the application's title as caption.
#pragma once
#include "platform.h"

// A message box owned by the application's main window (if any), captioned with
// the application's title; returns the button chosen.
int AfxMessageBox(const char* text, UINT type = MB_OK);
