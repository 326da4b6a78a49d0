// `zephrin info --gpu`: the graphics adapters this machine's Vulkan loader reports and, for each,
// whether the renderer's GPU passes would run on it and why not.
#pragma once

#include <iosfwd>

namespace CLI {
class App;
}

namespace zephrin::app {

struct GpuInfoRequest {
    bool requested = false;
};

// Adds --gpu to the info command, which then takes either a scene or the flag.
void addGpuInfoFlag(CLI::App& infoCommand, GpuInfoRequest& request);

int runGpuInfo(std::ostream& out);

}  // namespace zephrin::app
