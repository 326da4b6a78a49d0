// Runs the built `zephrin` command in a child process and collects its exit code and output.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace zephrin::test {

struct ProcessResult {
    int exitCode = -1;
    std::string output;  // stdout and stderr together
};

std::filesystem::path zephrinExecutable();
std::filesystem::path pluginFolder();
std::filesystem::path sourceFolder();

// `env` entries are "NAME=value" pairs set for the child only.
ProcessResult runZephrin(const std::vector<std::string>& args, const std::vector<std::string>& env = {});

// A `zephrin` started in the background, its stdout and stderr going to `log`.
struct RunningZephrin {
    int pid = -1;
    std::filesystem::path log;
};
RunningZephrin startZephrin(const std::vector<std::string>& args, const std::filesystem::path& log);
// The exit code, or -signal for a process a signal ended before it could exit by itself, so a test
// tells an orderly exit with 143 from a death by SIGTERM.
int waitForZephrin(const RunningZephrin& running);

// A fresh, empty folder for one test, removed by the caller's fixture.
std::filesystem::path freshTestFolder(const std::string& name);

std::string readTextFile(const std::filesystem::path& file);
void writeTextFile(const std::filesystem::path& file, const std::string& text);

}  // namespace zephrin::test
