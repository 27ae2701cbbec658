// mksetup: builds setup files from a project file, and inspects them.
#include <exception>
#include <stdio.h>

#include "cli.h"

int main(int argc, char** argv) {
  try {
    return RunMksetup(argc, argv);
  } catch (const std::exception& e) {
    fprintf(stderr, "error: %s\n", e.what());
    return 1;
  }
}
