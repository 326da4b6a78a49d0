// A one-line progress bar with an estimate of the time left, redrawn in place on a terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace zephrin::app {

struct ProgressBar {
    std::FILE* stream = stderr;
    bool enabled = false;  // only on a terminal
    int32_t total = 0;
    std::chrono::steady_clock::time_point start;
};

ProgressBar startProgress(int32_t total, std::FILE* stream);
void updateProgress(ProgressBar& bar, int32_t done);
void finishProgress(ProgressBar& bar);

// "[#####-----]  12/48 frames  ETA 0:07" for the given state; exposed for tests.
std::string progressLine(int32_t done, int32_t total, double secondsElapsed, int32_t barWidth);

}  // namespace zephrin::app
