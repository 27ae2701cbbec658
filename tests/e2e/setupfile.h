// Setup files made by hand for the end-to-end tests: the built stub followed
// by an index of chosen fields and its trailer, and small file helpers.
#pragma once
#include <string>
#include <vector>

#include "tests/fileutil.h"

std::string WrenTmp();
void RemoveWrenTmp();
// A scrambled index holding these fields, rows of 8 as the builder writes them.
std::string ScrambledIndex(const std::vector<std::string>& fields);
// A complete, well-formed index: 64 header fields and the given file names.
std::vector<std::string> IndexFields(const std::string& product, const std::vector<std::string>& files);
std::string Trailer(long len, long seek);
// The built setup program (SETUP_EXE).
std::string Stub();
// The stub, some payload, the index and its trailer.
std::string SetupFile(const std::string& index);
// A file of that name (".exe" added) in the test's working folder.
std::string CaseFile(const std::string& name);
