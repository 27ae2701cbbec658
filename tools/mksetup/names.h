// What Windows accepts as a file or folder name, how it compares names, and
// UTF-8 checks for texts that come from files rather than from TOML.
#pragma once
#include <stddef.h>

#include <string>

// Why utf8 cannot be one file or folder name on Windows ("" when it can):
// empty, "." or "..", control characters, the characters \ / : * ? " < > |,
// a trailing dot or space, or a reserved device name (CON, NUL, COM1, ...)
// in any letter case, with or without an extension.
std::string WindowsNameProblem(const std::string& utf8);

// The path (UTF-8) folded as Windows compares names: letter case beyond ASCII
// too (full-width and Cyrillic letters), and trailing dots and spaces of each
// backslash-separated part dropped.
std::string FoldForWindows(const std::string& utf8);

// True when s is well-formed UTF-8; otherwise *badAt is the first bad byte.
bool IsUtf8(const std::string& s, size_t* badAt = nullptr);

// For a text that is not UTF-8: what it probably is, e.g. "not UTF-8 (looks
// like UTF-16)" or "not UTF-8 (looks like GBK, code page 936)".
std::string DescribeNotUtf8(const std::string& bytes);
