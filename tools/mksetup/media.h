// Quick checks that a picture is a JPEG and an icon an .ico file, reading only
// their first and last bytes (an icon's directory at most).
#pragma once
#include <stdint.h>

#include <string>

// "" when the file looks like a JPEG picture, else the reason it does not.
// width and height (if found in the frame header) go to the pointers.
std::string CheckJpeg(const std::string& path, int* width = nullptr, int* height = nullptr);

// "" when the file is an icon file: reserved 0, type 1, at least one image,
// and every directory entry's image inside the file.
std::string CheckIcon(const std::string& path);

// "" when the file is a Windows program that carries the uninstaller as its
// resource "EXE" 138 and no package yet; else what it is instead.
std::string CheckStub(const std::string& path);
