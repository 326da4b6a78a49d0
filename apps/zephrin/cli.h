// The `zephrin` command line: parses arguments and runs one command. Exit codes: 0 success,
// 1 render failure, 2 usage or scene-file error.
#pragma once

#include <exception>
#include <ostream>

namespace zephrin::app {

enum ExitCode : int { kExitOk = 0, kExitRenderFailure = 1, kExitUsage = 2 };

int runCommandLine(int argc, char** argv);

// Says why a command stopped on `failure` and gives its exit code: a scene file the loader refused is
// the user's input (2), anything else a failure of the run (1). Call from a catch (...) block.
int reportCommandFailure(std::exception_ptr failure, std::ostream& err);

}  // namespace zephrin::app
