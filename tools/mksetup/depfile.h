// The inputs of a build as a dependency file (mksetup build --depfile): one
// rule in the make syntax that Ninja and make read, so that a build system
// builds the setup file again when any file it was made from changes, and a
// folder source is read again when a file is added to it or taken away.
#pragma once
#include <string>
#include <vector>

#include "plan.h"
#include "project.h"

// Every file and folder the build read: the project, the licence, the stub,
// every packed file and picture, every folder read for a folder source.
std::vector<std::string> BuildInputs(const Project& project, const Plan& plan);

// "target: input input ..." with absolute paths, escaped for make and Ninja.
std::string DepfileText(const std::string& target, const std::vector<std::string>& inputs);
