// The end-to-end promise of "GPU Acceleration": a whole frame of every lit example, rendered through
// both real plug-ins in the stand-in host, is the same image with the switch on as with it off. On a
// machine without a usable device the switch-on frame falls back and the promise holds trivially; on
// lavapipe (admitted by the tests' software switch) and on a real GPU the passes run.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "common/effect_contract.h"
#include "gpu_test_device.h"
#include "host/host_session.h"
#include "host/scene_file.h"
#include "render_log_capture.h"

namespace zephrin::host {
namespace {

namespace fs = std::filesystem;

const fs::path kPluginDir = ZEPHRIN_PLUGIN_DIR;
const fs::path kExamples = fs::path(ZEPHRIN_SOURCE_DIR) / "examples";
// Examples render at a quarter size: the tile path still runs, and lavapipe shades a sixteenth of the pixels.
constexpr int16_t kDownsample = 4;
// 8-bit channels: the passes work in single precision, which may move a channel by one step.
constexpr int kChannelTolerance = 1;

// Switches "GPU Acceleration" on for every instance of the effect in the composition.
void switchGpuOn(Composition& comp) {
    for (Layer& layer : comp.layers) {
        for (EffectEntry& effect : layer.effects) {
            if (effect.matchName != kBendEffectMatchName) continue;
            nlohmann::json params =
                effect.paramsJson.empty() ? nlohmann::json::object() : nlohmann::json::parse(effect.paramsJson);
            params[std::to_string(param::kGpuAcceleration)] = true;
            effect.paramsJson = params.dump();
        }
    }
}

// One host renders every frame, so the plug-in opens its GPU device (and the driver builds its
// pipelines) once, as in a real session.
HostWorld renderExample(PluginHost& host, const fs::path& file, bool gpu) {
    Composition comp = loadSceneFile(file);
    if (gpu) switchGpuOn(comp);
    FrameRequest request;
    request.downsampleX = request.downsampleY = kDownsample;
    FrameResult result = renderCompositionFrame(host, comp, request);
    EXPECT_EQ(result.error, 0) << file;
    EXPECT_TRUE(isBalanced(result.accounting)) << file << ": " << describeAccounting(result.accounting);
    forgetSceneEffects(host, comp);
    return std::move(result.image);
}

TEST(GpuFrames, EveryLitExampleLooksTheSameWithGpuAccelerationOnAndOff) {
    const gputest::SoftwareDevicesAllowed allowed;
    // The plug-ins stay loaded for the rest of the process, as in a host session: the renderer's GPU
    // context is process-wide and given back at exit, not when a host closes the library.
    static PluginHost* const host = openPluginHost(kPluginDir).release();
    // Where this machine has a device, the passes must really have run somewhere, or the promise
    // would hold only because everything fell back.
    GpuContext probe;
    const bool device = gputest::openTestDevice(probe);
    releaseGpuContext(probe);
    size_t lit = 0, rasterRuns = 0, lightingRuns = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(kExamples)) {
        if (entry.path().extension() != ".json") continue;
        const nlohmann::json scene = nlohmann::json::parse(std::ifstream(entry.path()));
        bool hasLight = false;
        for (const nlohmann::json& layer : scene["layers"]) hasLight = hasLight || layer.value("type", "") == "light";
        if (!hasLight) continue;
        ++lit;
        const HostWorld cpu = renderExample(*host, entry.path(), false);
        test::RenderLog log;
        const HostWorld gpu = renderExample(*host, entry.path(), true);
        ASSERT_EQ(cpu.bytes.size(), gpu.bytes.size()) << entry.path();
        size_t worst = 0, differing = 0;
        for (size_t i = 0; i < cpu.bytes.size(); ++i) {
            const size_t d = static_cast<size_t>(std::abs(int(cpu.bytes[i]) - int(gpu.bytes[i])));
            if (d > static_cast<size_t>(kChannelTolerance)) {
                if (differing == 0) {
                    ADD_FAILURE() << entry.path().filename() << ": byte " << i << " (pixel " << (i % cpu.rowBytes) / 4
                                  << "," << i / cpu.rowBytes << ") " << int(cpu.bytes[i]) << " on the CPU, "
                                  << int(gpu.bytes[i]) << " with the GPU";
                }
                ++differing;
            }
            worst = std::max(worst, d);
        }
        EXPECT_EQ(differing, 0u) << entry.path().filename() << ": worst channel difference " << worst;
        // Which passes ran, for the record of this machine.
        for (const std::string& line : log.lines("RendererV2GPU")) {
            std::printf("%s: %s\n", entry.path().filename().c_str(), line.c_str());
            if (line.rfind("RendererV2GPURaster: adapter=", 0) == 0) ++rasterRuns;
            if (line.rfind("RendererV2GPULighting: adapter=", 0) == 0) ++lightingRuns;
        }
    }
    EXPECT_GE(lit, 6u);
    if (device) {
        EXPECT_GE(rasterRuns, 3u);
        EXPECT_GE(lightingRuns, 3u);
    }
}

}  // namespace
}  // namespace zephrin::host
