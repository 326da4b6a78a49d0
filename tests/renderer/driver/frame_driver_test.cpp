#include "renderer/driver/frame_driver.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "common/monotonic_clock.h"
#include "fake_host.h"
#include "renderer/collect/layer_textures.h"
#include "renderer/geometry/mesh_storage.h"

namespace zephrin {
namespace {

using fakehost::Host;
using fakehost::LogCapture;

TEST(FrameStampConversion, MatchesExactNanosecondsWithoutOverflow) {
    // The common 10 MHz counter is a plain multiplication.
    EXPECT_EQ(counterToNanoseconds(123456789, 10000000), 12345678900LL);
    EXPECT_EQ(counterToNanoseconds(0, 10000000), 0);
    EXPECT_EQ(counterToNanoseconds(987654321012345LL, 1000000000), 987654321012345LL);

    // Odd frequencies: the split keeps the result exact where n * 1e9 itself would overflow.
    const int64_t frequencies[] = {3579545, 2400000, 1, 999999937};
    const int64_t counters[] = {0, 1, 3579544, 3579545, 1234567890123LL, std::numeric_limits<int64_t>::max() / 1000};
    for (int64_t f : frequencies) {
        for (int64_t n : counters) {
            __int128 exactWide = static_cast<__int128>(n) * 1000000000 / f;
            if (exactWide > std::numeric_limits<int64_t>::max()) continue;
            EXPECT_EQ(counterToNanoseconds(n, f), static_cast<int64_t>(exactWide)) << "n=" << n << " f=" << f;
        }
    }
}

TEST(RenderTotals, LineCarriesEveryPhaseInMilliseconds) {
    RenderPhaseStamps stamps{1000000, 3500000, 4000000, 10000000, 10250000};
    EXPECT_EQ(formatRenderTotals(stamps),
              "RendererV2RenderTotal: ms=(setup:2.5,collect:0.5,paint:6,dispose:0.25,total:9.25)");

    // A frame whose collection failed: collect and paint keep the entry stamp.
    RenderPhaseStamps failed{1000000, 3000000, 1000000, 1000000, 4000000};
    EXPECT_EQ(formatRenderTotals(failed), "RendererV2RenderTotal: ms=(setup:2,collect:-2,paint:0,dispose:3,total:3)");
}

TEST(RenderMode, DownsampleOrInteractiveBufferMakesTheFrameInteractive) {
    EXPECT_FALSE(isInteractiveRender({1, 1}, false));
    EXPECT_TRUE(isInteractiveRender({1, 1}, true));
    EXPECT_TRUE(isInteractiveRender({2, 2}, false));
    EXPECT_TRUE(isInteractiveRender({1, 2}, false));
    EXPECT_TRUE(isInteractiveRender({3, 1}, false));
}

struct ParsedTotals {
    double setup = 0, collect = 0, paint = 0, dispose = 0, total = 0;
};

ParsedTotals parseTotals(const LogCapture& logs) {
    std::vector<std::string> lines = logs.renderLines("RendererV2RenderTotal:");
    EXPECT_EQ(lines.size(), 1u);
    ParsedTotals t;
    if (lines.empty()) return t;
    int read = std::sscanf(lines[0].c_str(),
                           "RendererV2RenderTotal: ms=(setup:%lf,collect:%lf,paint:%lf,dispose:%lf,total:%lf)",
                           &t.setup, &t.collect, &t.paint, &t.dispose, &t.total);
    EXPECT_EQ(read, 5) << lines[0];
    return t;
}

void addTwoLayers(Host& host) {
    host.addLayer(5);
    host.addLayer(9).layerToWorld = translationMatrix(Vec3{100.0, 0.0, 50.0});
}

TEST(RenderFrame, PaintFailureStillGivesEveryTextureBackOnceInSurfaceOrder) {
    LogCapture logs;
    Host host;
    addTwoLayers(host);
    host.destination().baseAddressMissing = true;
    PR_InData inData = host.inData();

    EXPECT_EQ(renderFrame(&inData, host.renderContext()), A_Err_GENERIC);

    std::vector<std::string> expected = {"render:5", "render:9", "disposeTexture:1", "disposeTexture:2"};
    EXPECT_EQ(host.events, expected);
    EXPECT_EQ(host.worldsLent(), 2);
    EXPECT_EQ(host.worldsReturned(), 2);
    EXPECT_EQ(host.badHandles, 0);
    EXPECT_EQ(host.suitesAcquired, host.suitesReleased);
    EXPECT_EQ(logs.renderLines("RendererV2Scene: surfaces=2 lights=0").size(), 1u);
    parseTotals(logs);
}

TEST(RenderFrame, MeshStoreHoldsOnlyTheLastFramesArrays) {
    releaseRecycledMeshStorage();
    Host host;
    addTwoLayers(host);
    PR_InData inData = host.inData();
    ASSERT_EQ(renderFrame(&inData, host.renderContext()), A_Err_NONE);
    const size_t afterFirst = recycledMeshStorageBytes();
    EXPECT_GT(afterFirst, 0u);
    // The second frame's meshes replace the first frame's in the store rather than adding to them.
    ASSERT_EQ(renderFrame(&inData, host.renderContext()), A_Err_NONE);
    EXPECT_EQ(recycledMeshStorageBytes(), afterFirst);
    releaseRecycledMeshStorage();
}

TEST(RenderFrame, CameraFailureSkipsPaintAndLogsNegativeCollect) {
    LogCapture logs;
    Host host;
    addTwoLayers(host);
    host.compDimensionsError = A_Err_PARAMETER;
    const std::vector<uint8_t> before = host.destination().bytes;
    PR_InData inData = host.inData();

    EXPECT_EQ(renderFrame(&inData, host.renderContext()), A_Err_NONE);
    EXPECT_EQ(host.destination().bytes, before);
    EXPECT_TRUE(host.events.empty());
    EXPECT_TRUE(logs.renderLines("RendererV2Scene:").empty());

    ParsedTotals t = parseTotals(logs);
    EXPECT_GE(t.setup, 0.0);
    EXPECT_EQ(t.collect, -t.setup);
    EXPECT_EQ(t.paint, 0.0);
    EXPECT_EQ(t.dispose, t.total);
}

TEST(RenderFrame, CompositionAndDestinationErrorsAreTheFrameResult) {
    for (bool compFails : {true, false}) {
        LogCapture logs;
        Host host;
        addTwoLayers(host);
        if (compFails) {
            host.compToRenderError = A_Err_STRUCT;
        } else {
            host.destinationError = A_Err_STRUCT;
        }
        PR_InData inData = host.inData();
        EXPECT_EQ(renderFrame(&inData, host.renderContext()), A_Err_STRUCT);
        EXPECT_TRUE(host.events.empty());
        EXPECT_EQ(logs.renderLines("RenderMode: hostInteractive=0 interactiveBuffer=0 dsf=1x1 bins=1").size(), 1u);
        EXPECT_TRUE(logs.renderLines("RendererV2Camera:").empty());
        parseTotals(logs);
    }
}

TEST(RenderFrame, MissingSuiteReturns516AndGivesBackWhatWasLent) {
    {
        LogCapture logs;
        Host host;
        addTwoLayers(host);
        host.missingSuites.insert({kAEGPCanvasSuite, kAEGPCanvasSuiteVersion10});
        PR_InData inData = host.inData();
        EXPECT_EQ(renderFrame(&inData, host.renderContext()), PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_TRUE(logs.renderLines("RendererV2Frame: boot").empty());
        parseTotals(logs);
    }
    {
        // The World suite goes missing just after the host rendered the first texture.
        Host host;
        addTwoLayers(host);
        host.missingSuites.insert({kAEGPWorldSuite, kAEGPWorldSuiteVersion3});
        PR_InData inData = host.inData();
        EXPECT_EQ(renderFrame(&inData, host.renderContext()), PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_EQ(host.worldsLent(), 1);
        EXPECT_EQ(host.worldsReturned(), 1);
        EXPECT_EQ(host.badHandles, 0);
        EXPECT_EQ(host.suitesAcquired, host.suitesReleased);
    }
    { EXPECT_EQ(renderFrame(nullptr, nullptr), PF_Err_BAD_CALLBACK_PARAM); }
}

TEST(RenderFrame, EmptyCompositionPaintsAndLogsItsPhasesInOrder) {
    LogCapture logs;
    Host host;
    const std::vector<uint8_t> before = host.destination().bytes;
    PR_InData inData = host.inData();

    PR_ArtisanEntryPoints table{};
    table.render_func = Artie_RenderDispatch;
    EXPECT_EQ(table.render_func(&inData, nullptr, nullptr, host.renderContext(), nullptr, nullptr), A_Err_NONE);
    EXPECT_EQ(host.destination().bytes, before);
    EXPECT_EQ(host.suitesAcquired, host.suitesReleased);

    const std::vector<std::string> order = {"RendererV2Frame: boot RENDERER_V2_",
                                            "RenderMode: ",
                                            "RendererV2Camera: active=0 dof=0",
                                            "RendererV2BuildSurfaces: surfaces=0",
                                            "RendererV2Scene: surfaces=0 lights=0 interactive=0 hostInteractive=0 "
                                            "quickPreview=0 dsf=1x1",
                                            "RendererV2CollectScene: ms=(camera:",
                                            "RendererV2RenderTotal: ms=(setup:"};
    std::vector<std::string> lines = logs.renderLines();
    size_t next = 0;
    for (const std::string& line : lines) {
        if (next < order.size() && line.rfind(order[next], 0) == 0) ++next;
    }
    EXPECT_EQ(next, order.size()) << "missing or out of order: " << (next < order.size() ? order[next] : "");
    ASSERT_FALSE(logs.entryLines().empty());
    EXPECT_EQ(logs.entryLines()[0], "Artie_RenderDispatch called");
}

struct CollectedFrame {
    bool ok = false;
    FrameScene scene;
};

CollectedFrame collectWith(Host& host) {
    CollectedFrame frame;
    PR_InData inData = host.inData();
    frame.ok = collectScene(&inData, host.renderContext(), host.destinationHandle(), frame.scene);
    return frame;
}

void giveBack(Host& host, FrameScene& scene) {
    HostSuites suites(host.basicSuite());
    disposeSceneTextures(suites, host.renderContext(), scene);
}

TEST(CollectScene, InteractiveFramesCapShadowQualityAndShrinkTheGrid) {
    struct Case {
        AEGP_DownsampleFactor downsample;
        bool buffer;
        bool interactive;
    };
    const Case cases[] = {{{1, 1}, false, false}, {{2, 2}, false, true}, {{1, 1}, true, true}, {{1, 2}, false, true}};
    for (const Case& c : cases) {
        LogCapture logs;
        Host host;
        host.addLayer(5);
        host.downsample = c.downsample;
        host.offerInteractiveBuffer = c.buffer;
        CollectedFrame frame = collectWith(host);
        ASSERT_TRUE(frame.ok);
        EXPECT_EQ(frame.scene.settings.interactive, c.interactive);
        EXPECT_EQ(frame.scene.settings.downsampleX, c.downsample.xS);
        EXPECT_EQ(frame.scene.settings.downsampleY, c.downsample.yS);
        ASSERT_EQ(frame.scene.surfaces.size(), 1u);
        const SceneSurface& surface = frame.scene.surfaces[0];
        EXPECT_EQ(surface.controls.shadowQuality, c.interactive ? 1 : 2);
        EXPECT_EQ(surface.mesh.vertices.size(), c.interactive ? 9u : 35u);
        const std::string flag = c.interactive ? "1" : "0";
        EXPECT_EQ(logs.renderLines("RendererV2Scene: surfaces=1 lights=0 interactive=" + flag + " hostInteractive=" +
                                   flag + " quickPreview=0 dsf=" + std::to_string(c.downsample.xS) + "x" +
                                   std::to_string(c.downsample.yS))
                      .size(),
                  1u);
        giveBack(host, frame.scene);
        EXPECT_TRUE(frame.scene.surfaces.empty());
        EXPECT_EQ(host.worldsReturned(), host.worldsLent());
    }
}

TEST(CollectScene, UnreadableDownsampleCountsAsFullResolution) {
    Host host;
    host.downsample = {4, 4};
    host.downsampleFails = true;
    CollectedFrame frame = collectWith(host);
    ASSERT_TRUE(frame.ok);
    EXPECT_EQ(frame.scene.settings.downsampleX, 1);
    EXPECT_EQ(frame.scene.settings.downsampleY, 1);
    EXPECT_FALSE(frame.scene.settings.interactive);
}

TEST(CollectScene, WithoutBasicSuiteRaises516) {
    PR_InData empty{};
    FrameScene scene;
    EXPECT_THROW(collectScene(&empty, nullptr, nullptr, scene), HostSuiteError);
    EXPECT_THROW(collectScene(nullptr, nullptr, nullptr, scene), HostSuiteError);
}

TEST(TextureDisposal, FrontBeforeBackInSurfaceOrderThroughTheRightSuite) {
    Host host;
    host.addLayer(5);
    host.addLayer(9);
    auto lend = [&host](size_t listPosition) {
        size_t index = host.addWorld(AEGP_WorldType_8, 4, 4);
        host.worlds[index].lent = true;
        host.worlds[index].renderedContext = host.layerContextHandle(listPosition);
        SurfaceTexture texture;
        texture.world = host.worldHandle(index);
        texture.renderedContext = host.layerContextHandle(listPosition);
        texture.uvRect = UvRect{0.25, 0.25, 0.75, 0.75};
        return texture;
    };
    FrameScene scene;
    scene.surfaces.resize(3);
    scene.surfaces[0].frontTexture = lend(0);  // world 1
    scene.surfaces[0].backTexture = lend(1);   // world 2
    // Surface 1 has no textures at all; surface 2 has a plug-in world at the back.
    scene.surfaces[2].frontTexture = lend(1);  // world 3
    size_t owned = host.addWorld(AEGP_WorldType_16, 2, 2);
    host.worlds[owned].ownedByPlugin = true;
    scene.surfaces[2].backTexture.world = host.worldHandle(owned);
    scene.surfaces[2].backTexture.ownedWorld = true;

    SurfaceTexture& kept = scene.surfaces[0].frontTexture;
    {
        HostSuites suites(host.basicSuite());
        disposeTexture(suites, host.renderContext(), kept);
        EXPECT_EQ(kept.world, nullptr);
        EXPECT_EQ(kept.renderedContext, nullptr);
        EXPECT_EQ(kept.uvRect.uMin, 0.0);
        EXPECT_EQ(kept.uvRect.vMax, 1.0);
        disposeSceneTextures(suites, host.renderContext(), scene);
    }
    std::vector<std::string> expected = {"disposeTexture:1", "disposeTexture:2", "disposeTexture:3", "dispose:4"};
    EXPECT_EQ(host.events, expected);
    EXPECT_TRUE(scene.surfaces.empty());
    EXPECT_EQ(host.badHandles, 0);
    EXPECT_EQ(host.suitesAcquired, host.suitesReleased);
}

}  // namespace
}  // namespace zephrin
