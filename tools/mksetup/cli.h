// The mksetup command line: build and inspect.
#pragma once

// Exit status: 0 done, 1 the work failed (messages on stderr), 2 usage error.
int RunMksetup(int argc, char** argv);
