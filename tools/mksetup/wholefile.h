// A whole file read into memory: the project file, the licence text, the stub.
#pragma once
#include <string>

// The file's bytes into bytes; false (errno set) when it cannot be opened or
// read to its end.
bool ReadWholeFile(const std::string& path, std::string& bytes);
