// The `zephrin` command line: parses arguments and runs one command. Exit codes: 0 success,
// 1 render failure, 2 usage or scene-file error.
#pragma once

namespace zephrin::app {

enum ExitCode : int { kExitOk = 0, kExitRenderFailure = 1, kExitUsage = 2 };

int runCommandLine(int argc, char** argv);

}  // namespace zephrin::app
