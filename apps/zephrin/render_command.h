// `zephrin render`: renders frames of a scene file through the plug-ins and writes them to images.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace zephrin::app {

struct FrameRange {
    int32_t first = 0;
    int32_t last = 0;  // inclusive
};

struct RenderOptions {
    std::filesystem::path scene;
    std::string output;  // empty: out/<scene name>.png, or out/<scene name>.####.png for a range
    std::optional<int32_t> frame;
    std::optional<FrameRange> frames;
    int32_t downsample = 1;
    std::optional<int32_t> bitsPerChannel;
    std::filesystem::path pluginDir;
    bool quiet = false;
};

// Parses "A-B" (A <= B, both >= 0).
std::optional<FrameRange> parseFrameRange(const std::string& text);

// Runs the command; returns the process exit code and reports problems on stderr.
int runRender(const RenderOptions& options);

}  // namespace zephrin::app
