// Text conversion between the project file (UTF-8) and the package (code page
// 936), through iconv (on Windows: Windows' own code page functions).
#pragma once
#include <string>

// Converts UTF-8 text to code page 936. On failure gives false and, in bad, the
// first character (UTF-8) that has no code page 936 form.
bool Utf8ToCp936(const std::string& utf8, std::string& out, std::string* bad);

// Converts code page 936 text to UTF-8; a byte that does not convert comes out
// as the four characters \xNN. lossless (if given) tells whether all converted.
std::string Cp936ToUtf8(const std::string& bytes, bool* lossless = nullptr);

// A character's code point as "U+XXXX" (from its UTF-8 form).
std::string CodePointName(const std::string& utf8Char);
