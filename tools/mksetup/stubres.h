// The setup file's own face: the product's icon (icon group 128) and a
// version resource written into the setup program before the package; for an
// installation of the current user alone, the manifests of the setup program
// and of the uninstaller it carries ask for no elevation (asInvoker).
#pragma once
#include <string>
#include <vector>

#include "project.h"

// Whether the project asks for anything to be written into the setup program.
bool WantsStubResources(const Project& project);
// Reads the setup program at stubPath and gives it back in image with the
// project's icon and version; false with the reason when it cannot be
// rewritten safely. A file that is no Windows program is left to the checks
// of the stub and given back unchanged.
bool PrepareStub(const Project& project, const std::string& stubPath, std::string& image, std::string& error);
// "" when the setup program in bytes says it reads what a package needs (its
// resource RT_RCDATA "PKX" names each of words), else what it lacks: the
// first word it does not name, or the resource it does not have.
std::string StubReads(const std::string& bytes, const std::vector<const char*>& words);
// The uninstaller program the setup program in bytes carries (resource
// "EXE" 138, LZMA-packed), unpacked into program; false with the reason.
bool StubUninstallerProgram(const std::string& bytes, std::string& program, std::string& error);
