// The display rule of the status lines: a path cut to a byte length with
// "...\" in the middle, or "..." before its last part.
#pragma once
#include "framework/cstring.h"

CString ShortenPath(const char* path, int maxLength);
