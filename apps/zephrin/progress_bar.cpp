#include "apps/zephrin/progress_bar.h"

#include <cmath>

namespace zephrin::app {

namespace {
constexpr int32_t kBarWidth = 30;

std::string formatDuration(double seconds) {
    long total = std::lround(std::max(seconds, 0.0));
    char text[32];
    if (total >= 3600) {
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, (total / 60) % 60, total % 60);
    } else {
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    }
    return text;
}
}  // namespace

std::string progressLine(int64_t done, int64_t total, double secondsElapsed, int32_t barWidth) {
    double fraction = total > 0 ? static_cast<double>(done) / total : 1.0;
    int32_t filled = static_cast<int32_t>(fraction * barWidth);
    std::string line = "[" + std::string(filled, '#') + std::string(barWidth - filled, '-') + "] ";
    line += std::to_string(done) + "/" + std::to_string(total) + " frames";
    if (done > 0 && done < total) {
        line += "  ETA " + formatDuration(secondsElapsed / done * (total - done));
    } else if (done >= total) {
        line += "  in " + formatDuration(secondsElapsed);
    }
    return line;
}

ProgressBar startProgress(int64_t total, std::FILE* stream, bool enabled) {
    ProgressBar bar;
    bar.stream = stream;
    bar.total = total;
    bar.enabled = enabled;
    bar.start = std::chrono::steady_clock::now();
    updateProgress(bar, 0);
    return bar;
}

void updateProgress(ProgressBar& bar, int64_t done) {
    if (!bar.enabled) return;
    double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - bar.start).count();
    std::fprintf(bar.stream, "\r%s\x1b[K", progressLine(done, bar.total, elapsed, kBarWidth).c_str());
    std::fflush(bar.stream);
}

void finishProgress(ProgressBar& bar) {
    if (!bar.enabled) return;
    std::fputc('\n', bar.stream);
    std::fflush(bar.stream);
}

}  // namespace zephrin::app
