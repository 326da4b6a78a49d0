// How a render tells the world how far it is: a bar for a person at a terminal, "Progress: NN%" lines
// that a farm manager's regular expression reads from a log, or one JSON object per event on stdout
// for pipeline tools. Errors always go to stderr as well.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "apps/zephrin/progress_bar.h"

namespace zephrin::app {

enum class ProgressMode { Bar, Plain, Json, Silent };

// "auto", "bar", "plain" or "json"; auto is the bar on a terminal and plain lines otherwise. Quiet
// silences the automatic choice only: a mode asked for by name is what a tool is waiting to read.
std::optional<ProgressMode> progressModeNamed(const std::string& name, bool quiet, bool stderrIsTerminal);

struct ProgressReport {
    ProgressMode mode = ProgressMode::Silent;
    std::FILE* out = stdout;  // plain lines and JSON events
    std::FILE* err = stderr;  // the bar and error messages
    ProgressBar bar;
    int64_t total = 0;
    int64_t done = 0;  // frames written or skipped
    int64_t written = 0;
    int64_t lastPercent = -1;
    std::string pattern;  // the output as given, for the closing line
};

// Errors can be reported from the start; the frames are announced once they are known.
void reportStart(ProgressReport& report, int64_t totalFrames, const std::string& pattern);
void reportFrameStarted(ProgressReport& report, int64_t frame);
void reportFrameWritten(ProgressReport& report, int64_t frame, const std::string& path, double milliseconds);
// A frame whose file already exists (resuming a render).
void reportFrameSkipped(ProgressReport& report, int64_t frame, const std::string& path);
// "zephrin: message" on stderr, and an error event in JSON mode; `frame` when one frame failed.
void reportError(ProgressReport& report, const std::string& message, std::optional<int64_t> frame = std::nullopt);
void finishReport(ProgressReport& report);

}  // namespace zephrin::app
