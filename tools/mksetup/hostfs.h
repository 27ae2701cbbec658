// Where the builder meets the operating system: its own place and the places
// it looks for the setup program.
#pragma once
#include <string>
#include <vector>

// The folder of the running mksetup program ("" when unknown).
std::string SelfFolder();

// Where mksetup looks for the setup program when no --stub is given, in
// order: beside itself, then where an installation puts it
// (<prefix>/lib/mksetup/setup.exe for <prefix>/bin/mksetup).
std::vector<std::string> StubPlaces();

// StubPlaces() as one line: "a, b".
std::string StubPlacesText();

// The first of StubPlaces() that is a file, else "".
std::string FindStub();

// Writes a small text file whole; false with the reason when it cannot.
bool WriteText(const std::string& path, const std::string& text, std::string& error);
