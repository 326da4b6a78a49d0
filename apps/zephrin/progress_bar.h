// A one-line progress bar with an estimate of the time left, redrawn in place on a terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace zephrin::app {

struct ProgressBar {
    std::FILE* stream = stderr;
    bool enabled = false;
    int64_t total = 0;
    std::chrono::steady_clock::time_point start;
};

ProgressBar startProgress(int64_t total, std::FILE* stream, bool enabled);
void updateProgress(ProgressBar& bar, int64_t done);
void finishProgress(ProgressBar& bar);

// "[#####-----]  12/48 frames  ETA 0:07" for the given state; exposed for tests.
std::string progressLine(int64_t done, int64_t total, double secondsElapsed, int32_t barWidth);

}  // namespace zephrin::app
