#include "apps/zephrin/progress_report.h"

#include <cmath>
#include <nlohmann/json.hpp>

namespace zephrin::app {
namespace {

using Json = nlohmann::ordered_json;

// Farm managers read a whole line at a time, so each event is flushed as it happens.
void emitLine(std::FILE* stream, const std::string& line) {
    std::fputs((line + "\n").c_str(), stream);
    std::fflush(stream);
}

void emitEvent(ProgressReport& report, const Json& event) {
    // Replacement characters instead of an exception for a file name that is not UTF-8.
    emitLine(report.out, event.dump(-1, ' ', false, Json::error_handler_t::replace));
}

void emitPercent(ProgressReport& report) {
    int64_t percent = report.total > 0 ? report.done * 100 / report.total : 100;
    if (percent == report.lastPercent) return;
    report.lastPercent = percent;
    emitLine(report.out, "Progress: " + std::to_string(percent) + "%");
}

}  // namespace

std::optional<ProgressMode> progressModeNamed(const std::string& name, bool quiet, bool stderrIsTerminal) {
    if (name == "auto") {
        if (quiet) return ProgressMode::Silent;
        return stderrIsTerminal ? ProgressMode::Bar : ProgressMode::Plain;
    }
    if (name == "bar") return ProgressMode::Bar;
    if (name == "plain") return ProgressMode::Plain;
    if (name == "json") return ProgressMode::Json;
    return std::nullopt;
}

void reportStart(ProgressReport& report, int64_t totalFrames, const std::string& pattern) {
    report.total = totalFrames;
    report.pattern = pattern;
    switch (report.mode) {
        case ProgressMode::Bar: report.bar = startProgress(totalFrames, report.err, true); break;
        case ProgressMode::Plain: emitPercent(report); break;
        case ProgressMode::Json:
            emitEvent(report, Json{{"event", "renderStarted"}, {"frames", totalFrames}, {"output", pattern}});
            break;
        case ProgressMode::Silent: break;
    }
}

void reportFrameStarted(ProgressReport& report, int64_t frame) {
    if (report.mode == ProgressMode::Json) emitEvent(report, Json{{"event", "frameStarted"}, {"frame", frame}});
}

void reportFrameWritten(ProgressReport& report, int64_t frame, const std::string& path, double milliseconds) {
    ++report.done;
    ++report.written;
    switch (report.mode) {
        case ProgressMode::Bar: updateProgress(report.bar, report.done); break;
        case ProgressMode::Plain:
            emitLine(report.out, "wrote " + path);
            emitPercent(report);
            break;
        case ProgressMode::Json:
            emitEvent(report, Json{{"event", "frameWritten"},
                                   {"frame", frame},
                                   {"path", path},
                                   {"milliseconds", std::round(milliseconds * 10.0) / 10.0}});
            break;
        case ProgressMode::Silent: break;
    }
}

void reportFrameSkipped(ProgressReport& report, int64_t frame, const std::string& path) {
    ++report.done;
    switch (report.mode) {
        case ProgressMode::Bar: updateProgress(report.bar, report.done); break;
        case ProgressMode::Plain:
            emitLine(report.out, "skipped " + path + " (already there)");
            emitPercent(report);
            break;
        case ProgressMode::Json:
            emitEvent(report, Json{{"event", "frameSkipped"}, {"frame", frame}, {"path", path}});
            break;
        case ProgressMode::Silent: break;
    }
}

void reportError(ProgressReport& report, const std::string& message, std::optional<int64_t> frame) {
    // The bar's line is still open: end it so the message starts on its own line.
    if (report.mode == ProgressMode::Bar) finishProgress(report.bar);
    report.bar.enabled = false;
    std::string text = "zephrin: " + (frame ? "frame " + std::to_string(*frame) + ": " : std::string()) + message;
    emitLine(report.err, text);
    if (report.mode == ProgressMode::Json) {
        Json event{{"event", "error"}};
        if (frame) event["frame"] = *frame;
        event["message"] = message;
        emitEvent(report, event);
    }
}

void finishReport(ProgressReport& report) {
    switch (report.mode) {
        case ProgressMode::Bar:
            finishProgress(report.bar);
            emitLine(report.out, "wrote " + std::to_string(report.written) + " of " + std::to_string(report.total) +
                                     " frames to " + report.pattern);
            break;
        case ProgressMode::Json:
            emitEvent(report, Json{{"event", "renderFinished"},
                                   {"written", report.written},
                                   {"skipped", report.done - report.written}});
            break;
        case ProgressMode::Plain:
        case ProgressMode::Silent: break;
    }
}

}  // namespace zephrin::app
