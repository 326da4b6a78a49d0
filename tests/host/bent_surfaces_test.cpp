// End to end: the example scenes that bend layers, rendered through both real plug-ins in the stand-in
// host. The renderer reads the effect's settings only through host streams; every frame gives back each
// effect, stream, value and world it borrowed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/host_session.h"
#include "host/scene_file.h"
#include "render_log_capture.h"

namespace zephrin::host {
namespace {

namespace fs = std::filesystem;
using test::RenderLog;

const fs::path kPluginDir = ZEPHRIN_PLUGIN_DIR;
const fs::path kExamples = fs::path(ZEPHRIN_SOURCE_DIR) / "examples";


// Renders frame `frame` of an example and checks the frame succeeded and gave everything back.
void renderExample(const std::string& name, int32_t frame = 0) {
    PluginHostPtr host = openPluginHost(kPluginDir);
    ASSERT_NE(loadedEffect(*host), nullptr) << "the effect plug-in is built beside the renderer";
    const Composition comp = loadSceneFile(kExamples / name);
    FrameRequest request;
    request.frame = frame;
    const FrameResult result = renderCompositionFrame(*host, comp, request);
    ASSERT_EQ(result.error, 0) << name;
    EXPECT_GT(result.accounting.effectsLent, 0) << name;
    EXPECT_TRUE(isBalanced(result.accounting)) << name << ": " << describeAccounting(result.accounting);
}

bool anyLineHas(const std::vector<std::string>& lines, const std::string& text) {
    for (const std::string& line : lines) {
        if (line.find(text) != std::string::npos) return true;
    }
    return false;
}

TEST(BentExamples, BannerIsABentSlabWithAFittedBack) {
    RenderLog log;
    renderExample("bent_banner.json");
    EXPECT_TRUE(anyLineHas(log.lines("RendererV2Mesh: layer="), " kind=1 "));
    EXPECT_EQ(log.lines("RendererV2Mesh: controls count=4 ").size(), 1u);
    EXPECT_EQ(log.lines("RendererV2BackFit: layerPlus content=[0,0,255,255] texture=256x256").size(), 1u);
}

TEST(BentExamples, TiledStripRendersEveryFrameOfItsMotion) {
    for (int32_t frame : {0, 6, 11}) {
        RenderLog log;
        renderExample("bent_strip.json", frame);
        EXPECT_TRUE(anyLineHas(log.lines("RendererV2Mesh: layer="), " kind=1 ")) << frame;
    }
}

TEST(BentExamples, RingIsAnAnalyticCircle) {
    RenderLog log;
    renderExample("bent_ring.json", 15);
    EXPECT_EQ(log.lines("RendererV2Mesh: analyticCirclePreset center=(").size(), 1u);
    EXPECT_TRUE(anyLineHas(log.lines("RendererV2Mesh: controls count=12 "), " closeEndpoints=1 shapePreset=4 "));
}

TEST(BentExamples, CutOutLogoGetsContourWalls) {
    RenderLog log;
    renderExample("bent_logo.json");
    const std::vector<std::string> contour = log.lines("RendererV2AlphaContour: samples=");
    ASSERT_EQ(contour.size(), 1u);
    EXPECT_EQ(contour[0].find(" segments=0"), std::string::npos) << contour[0];
}

}  // namespace
}  // namespace zephrin::host
