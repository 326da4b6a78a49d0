// `zephrin render`: renders frames of a scene file through the plug-ins and writes them to images.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "apps/zephrin/frame_spec.h"
#include "apps/zephrin/progress_report.h"

namespace zephrin::app {

struct RenderOptions {
    std::filesystem::path scene;
    std::string output;  // empty: out/<scene name>.png, or out/<scene name>.####.png for several frames
    std::optional<int64_t> frame;   // a composition frame number
    std::optional<FrameSpec> frames;
    int32_t downsample = 1;
    std::optional<int32_t> bitsPerChannel;
    std::filesystem::path pluginDir;
    ProgressMode progress = ProgressMode::Plain;
    // Leave frames whose file is already there, so a requeued farm task does only what is missing.
    bool skipExisting = false;
};

// Runs the command; returns the process exit code and reports problems on stderr.
int runRender(const RenderOptions& options);

}  // namespace zephrin::app
