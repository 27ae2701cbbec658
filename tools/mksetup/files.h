// The builder's file steps beneath its planner and writers: a whole file
// read into memory (the project file, the licence text, the stub), bytes
// written whole to a descriptor, an output
// written through the link it is, a rename put on disk.
#pragma once
#include <stddef.h>

#include <string>

// The file's bytes into bytes; false (errno set) when it cannot be opened or
// read to its end.
bool ReadWholeFile(const std::string& path, std::string& bytes);

// Writes n bytes at p to the descriptor, however many calls it takes; false
// (errno set) when a write fails.
bool WriteAll(int fd, const char* p, size_t n);

// Puts a rename in the folder on disk.
void SyncFolder(const std::string& dir);

// An output that is a symbolic link is written through: output becomes the
// path of the file it leads to, and the link stays. False with the reason
// for a link that leads to nothing.
bool ThroughLink(std::string& output, std::string& why);
