// End to end: Path Select and Scroll Mode through both real plug-ins in the stand-in host. The path
// layer is chosen by id (the layer parameter) or by index (the hidden number beside it); a layer that
// cannot carry a path falls back to the Free Mode slab, and a layer not yet on its path is hidden.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "host/host_session.h"
#include "host/scene_file.h"
#include "render_log_capture.h"

namespace zephrin::host {
namespace {

namespace fs = std::filesystem;
using test::RenderLog;
using Json = nlohmann::ordered_json;

const fs::path kPluginDir = ZEPHRIN_PLUGIN_DIR;
const fs::path kExamples = fs::path(ZEPHRIN_SOURCE_DIR) / "examples";


void renderComposition(const Composition& comp, int32_t frame) {
    PluginHostPtr host = openPluginHost(kPluginDir);
    ASSERT_NE(loadedEffect(*host), nullptr) << "the effect plug-in is built beside the renderer";
    FrameRequest request;
    request.frame = frame;
    const FrameResult result = renderCompositionFrame(*host, comp, request);
    ASSERT_EQ(result.error, 0);
    EXPECT_TRUE(isBalanced(result.accounting)) << describeAccounting(result.accounting);
}

// The ribbon example with its effect parameters changed, its footage named by absolute path.
Composition ribbonVariant(const Json& params, const std::vector<std::string>& drop) {
    Json scene = Json::parse(std::ifstream(kExamples / "path_ribbon.json"));
    Json& effectParams = scene["layers"][4]["effects"][0]["params"];
    for (const std::string& key : drop) effectParams.erase(key);
    for (const auto& [key, value] : params.items()) effectParams[key] = value;
    scene["footage"]["ribbon"]["file"] = (kExamples / "assets" / "ribbon.png").string();
    const fs::path file = fs::temp_directory_path() / ("zephrin_ribbon_" + std::to_string(::getpid()) + ".json");
    std::ofstream(file) << scene.dump();
    Composition comp = loadSceneFile(file);
    fs::remove(file);
    return comp;
}

bool anyLineHas(const std::vector<std::string>& lines, const std::string& text) {
    for (const std::string& line : lines) {
        if (line.find(text) != std::string::npos) return true;
    }
    return false;
}

TEST(PathScrollExamples, RibbonFollowsItsGuidesPath) {
    RenderLog log;
    renderComposition(loadSceneFile(kExamples / "path_ribbon.json"), 36);
    const std::vector<std::string> path = log.lines("RendererV2Path: samples=");
    ASSERT_EQ(path.size(), 1u);
    // 161 sample times over 72 frames land on the 73 whole frames 0..72; repeats add no point.
    EXPECT_EQ(path[0].rfind("RendererV2Path: samples=73 length=", 0), 0u) << path[0];
    EXPECT_NE(path[0].find(" fit=0 angle=0 motion=65 motionDirection=1 verts="), std::string::npos) << path[0];
    EXPECT_TRUE(anyLineHas(log.lines("RendererV2Mesh: layer="), " kind=1 "));
    EXPECT_TRUE(log.lines("RendererV2Path: fallback").empty());
}

double loggedLength(const std::string& line) {
    const std::string lead = " length=";
    const std::size_t at = line.find(lead);
    return at == std::string::npos ? 0.0 : std::stod(line.substr(at + lead.size()));
}

TEST(PathScrollExamples, RibbonIsLaidAlongTheSmoothPathThroughTheKeysNotTheirPolyline) {
    const Composition comp = loadSceneFile(kExamples / "path_ribbon.json");
    const AnimatedVec3& guide = comp.layers[3].transform.position;
    ASSERT_EQ(guide.keyframes.size(), 5u);
    double polyline = 0.0;
    for (size_t i = 1; i < guide.keyframes.size(); ++i) {
        const Vec3d& a = guide.keyframes[i - 1].value;
        const Vec3d& b = guide.keyframes[i].value;
        polyline += std::hypot(b[0] - a[0], b[1] - a[1], b[2] - a[2]);
    }
    RenderLog log;
    renderComposition(comp, 0);
    const std::vector<std::string> path = log.lines("RendererV2Path: samples=");
    ASSERT_EQ(path.size(), 1u);
    // The frames sample the curve through every key, so their polyline is longer than the keys' own
    // unless the path runs straight between them.
    EXPECT_GT(loggedLength(path[0]), polyline * 1.03) << path[0] << " polyline " << polyline;
    // Frame 0 already shows the ribbon on its path, not the first sliver of it.
    EXPECT_NE(path[0].find(" motion=30 "), std::string::npos) << path[0];
    EXPECT_TRUE(anyLineHas(log.lines("RendererV2Mesh: layer="), " kind=1 "));
}

TEST(PathScrollExamples, PathLayerByIndexMatchesPathLayerById) {
    std::string byId, byIndex;
    {
        RenderLog log;
        renderComposition(ribbonVariant(Json::object(), {}), 12);
        ASSERT_EQ(log.lines("RendererV2Path: samples=").size(), 1u);
        byId = log.lines("RendererV2Path: samples=")[0];
    }
    {
        RenderLog log;
        renderComposition(ribbonVariant(Json{{"46", 4}}, {"47"}), 12);
        ASSERT_EQ(log.lines("RendererV2Path: samples=").size(), 1u);
        byIndex = log.lines("RendererV2Path: samples=")[0];
    }
    EXPECT_EQ(byId, byIndex);
}

TEST(PathScrollExamples, MissingOrCameraPathLayerFallsBackToFreeMode) {
    {
        RenderLog log;
        renderComposition(ribbonVariant(Json::object(), {"47"}), 12);
        EXPECT_EQ(log.lines("RendererV2Path: selectedMissing").size(), 1u);
        EXPECT_EQ(log.lines("RendererV2Path: fallback reason=invalidPath").size(), 1u);
        EXPECT_TRUE(anyLineHas(log.lines("RendererV2Mesh: layer="), " kind=1 "));
    }
    {
        RenderLog log;
        renderComposition(ribbonVariant(Json{{"47", "Camera"}}, {}), 12);
        EXPECT_EQ(log.lines("RendererV2Path: selectedInvalid").size(), 1u);
        EXPECT_EQ(log.lines("RendererV2Path: fallback reason=invalidPath").size(), 1u);
        EXPECT_TRUE(anyLineHas(log.lines("RendererV2Mesh: layer="), " kind=1 "));
    }
}

TEST(PathScrollExamples, RibbonAtMotionZeroIsHidden) {
    RenderLog log;
    renderComposition(ribbonVariant(Json{{"116", 0}}, {}), 12);
    EXPECT_EQ(log.lines("RendererV2Path: hidden reason=outsidePath").size(), 1u);
    EXPECT_TRUE(log.lines("RendererV2Mesh: layer=").empty());
    EXPECT_TRUE(log.lines("RendererV2Path: samples=").empty());
}

TEST(PathScrollExamples, PaperRollsAtBothEnds) {
    RenderLog log;
    renderComposition(loadSceneFile(kExamples / "scroll_paper.json"), 0);
    const std::vector<std::string> mesh = log.lines("RendererV2Mesh: layer=");
    ASSERT_EQ(mesh.size(), 1u);
    // 321 x 9 grid points per face.
    EXPECT_NE(mesh[0].find(" kind=1 verts=5778 "), std::string::npos) << mesh[0];
}

}  // namespace
}  // namespace zephrin::host
