// What an interrupted render leaves behind. A farm manager stops a task with SIGTERM (SIGINT at a
// terminal, SIGHUP when a session closes); frames already renamed into place are complete and stay,
// while the frame being written is a hidden temporary file that must not outlive the process.
#pragma once

#include <filesystem>

namespace zephrin::app {

// On SIGINT, SIGTERM and SIGHUP: remove the registered temporary file and exit with 128 + the signal
// (130, 143, 129), as a shell reports a command stopped that way.
void installInterruptCleanup();

// The temporary file being written, removed if the process is interrupted before the guard ends.
struct PendingTemporaryFile {
    explicit PendingTemporaryFile(const std::filesystem::path& file);
    ~PendingTemporaryFile();
    PendingTemporaryFile(const PendingTemporaryFile&) = delete;
    PendingTemporaryFile& operator=(const PendingTemporaryFile&) = delete;
};

}  // namespace zephrin::app
