// `zephrin studio`: a local web page (loopback only) showing a layer's effect controls as the effect
// draws them and a preview render of the current frame. Mouse, wheel and key events from the browser are
// handed to the effect as the host hands its own, and the page saves the edited scene.
#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>

namespace zephrin::app {

struct StudioOptions {
    std::filesystem::path scene;
    std::string layer;              // empty: the first layer that carries the effect
    std::filesystem::path output;   // where Save writes; empty: <scene>.edited.json beside the scene
    int32_t port = 0;               // 0: any free port
    int32_t frame = 0;
    int32_t previewDownsample = 2;  // the preview renders at 1/N of the composition size
    std::filesystem::path pluginDir;
};

// Serves until the page asks to quit (or the process is stopped). Prints the page's address first.
int runStudio(const StudioOptions& options, std::ostream& out, std::ostream& err);

}  // namespace zephrin::app
