#include "renderer/driver/frame_driver.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "common/monotonic_clock.h"
#include "host/suites/canvas_suite.h"
#include "host_fixture.h"
#include "render_log_capture.h"
#include "renderer/collect/layer_textures.h"
#include "renderer/geometry/mesh_storage.h"

namespace zephrin {
namespace {

using Host = testhost::TestHost;
using test::LogCapture;

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

// Two 3D solids, ids 5 and 9, the second moved off the first, in a composition small enough to paint quickly.
host::Composition twoLayers() {
    host::Composition comp;
    comp.width = 64;
    comp.height = 36;
    testhost::addLayer(comp, testhost::makeLayer(5)).threeD = true;
    host::Layer& moved = testhost::addLayer(comp, testhost::makeLayer(9));
    moved.threeD = true;
    moved.transform.position.value = {100.0, 0.0, 50.0};
    return comp;
}

A_Err failWithStruct() { return A_Err_STRUCT; }

TEST(RenderFrame, PaintFailureStillGivesEveryTextureBackOnceInSurfaceOrder) {
    LogCapture logs;
    Host host;
    host.recordWorldTraffic();
    const host::Composition comp = twoLayers();
    PR_RenderContextH rc = host.beginFrame(comp);
    std::vector<uint8_t>().swap(host.world(host.destination(rc)).bytes);  // no pixel memory to paint into
    PR_InData inData = host.inData();

    EXPECT_EQ(renderFrame(&inData, rc), A_Err_GENERIC);

    std::vector<std::string> expected = {"render:5", "render:9", "disposeTexture:1", "disposeTexture:2"};
    EXPECT_EQ(host.events, expected);
    EXPECT_EQ(host.accounting().worldsLent, 2);
    EXPECT_EQ(host.accounting().worldsReturned, 2);
    EXPECT_EQ(host.accounting().badHandles, 0);
    EXPECT_EQ(host.accounting().suitesAcquired, host.accounting().suitesReleased);
    EXPECT_EQ(logs.renderLines("RendererV2Scene: surfaces=2 lights=0").size(), 1u);
    parseTotals(logs);
}

TEST(RenderFrame, MeshStoreHoldsOnlyTheLastFramesArrays) {
    releaseRecycledMeshStorage();
    Host host;
    const host::Composition comp = twoLayers();
    PR_RenderContextH rc = host.beginFrame(comp);
    PR_InData inData = host.inData();
    ASSERT_EQ(renderFrame(&inData, rc), A_Err_NONE);
    const size_t afterFirst = recycledMeshStorageBytes();
    EXPECT_GT(afterFirst, 0u);
    // The second frame's meshes replace the first frame's in the store rather than adding to them.
    ASSERT_EQ(renderFrame(&inData, rc), A_Err_NONE);
    EXPECT_EQ(recycledMeshStorageBytes(), afterFirst);
    releaseRecycledMeshStorage();
}

TEST(RenderFrame, CameraFailureSkipsPaintAndLogsNegativeCollect) {
    LogCapture logs;
    Host host;
    host.recordWorldTraffic();
    host.replaceSuite<AEGP_ItemSuite10>(kAEGPItemSuite, kAEGPItemSuiteVersion10).AEGP_GetItemDimensions =
        [](AEGP_ItemH, A_long*, A_long*) -> A_Err { return A_Err_PARAMETER; };
    const host::Composition comp = twoLayers();
    PR_RenderContextH rc = host.beginFrame(comp);
    const std::vector<uint8_t> before = host.world(host.destination(rc)).bytes;
    PR_InData inData = host.inData();

    EXPECT_EQ(renderFrame(&inData, rc), A_Err_NONE);
    EXPECT_EQ(host.world(host.destination(rc)).bytes, before);
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
        host.recordWorldTraffic();
        auto& canvas = host.replaceSuite<AEGP_CanvasSuite10>(kAEGPCanvasSuite, kAEGPCanvasSuiteVersion10);
        if (compFails) {
            canvas.AEGP_GetCompToRender = [](PR_RenderContextH, AEGP_CompH*) { return failWithStruct(); };
        } else {
            canvas.AEGP_GetCompDestinationBuffer = [](PR_RenderContextH, AEGP_CompH, AEGP_WorldH*) {
                return failWithStruct();
            };
        }
        const host::Composition comp = twoLayers();
        PR_RenderContextH rc = host.beginFrame(comp);
        PR_InData inData = host.inData();
        EXPECT_EQ(renderFrame(&inData, rc), A_Err_STRUCT);
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
        host.withhold(kAEGPCanvasSuite);
        const host::Composition comp = twoLayers();
        PR_RenderContextH rc = host.beginFrame(comp);
        PR_InData inData = host.inData();
        EXPECT_EQ(renderFrame(&inData, rc), PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_TRUE(logs.renderLines("RendererV2Frame: boot").empty());
        parseTotals(logs);
    }
    {
        // The World suite version textures are read through goes missing: the host has rendered the first
        // texture when the renderer finds out.
        Host host;
        host.withholdVersion(kAEGPWorldSuite, kAEGPWorldSuiteVersion3);
        const host::Composition comp = twoLayers();
        PR_RenderContextH rc = host.beginFrame(comp);
        PR_InData inData = host.inData();
        EXPECT_EQ(renderFrame(&inData, rc), PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_EQ(host.accounting().worldsLent, 1);
        EXPECT_EQ(host.accounting().worldsReturned, 1);
        EXPECT_EQ(host.accounting().badHandles, 0);
        EXPECT_EQ(host.accounting().suitesAcquired, host.accounting().suitesReleased);
    }
    { EXPECT_EQ(renderFrame(nullptr, nullptr), PF_Err_BAD_CALLBACK_PARAM); }
}

TEST(RenderFrame, EmptyCompositionPaintsAndLogsItsPhasesInOrder) {
    LogCapture logs;
    Host host;
    host::Composition comp;
    comp.width = 64;
    comp.height = 36;
    PR_RenderContextH rc = host.beginFrame(comp);
    const std::vector<uint8_t> before = host.world(host.destination(rc)).bytes;
    PR_InData inData = host.inData();

    PR_ArtisanEntryPoints table{};
    table.render_func = Artie_RenderDispatch;
    EXPECT_EQ(table.render_func(&inData, nullptr, nullptr, rc, nullptr, nullptr), A_Err_NONE);
    EXPECT_EQ(host.world(host.destination(rc)).bytes, before);
    EXPECT_EQ(host.accounting().suitesAcquired, host.accounting().suitesReleased);

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

CollectedFrame collectWith(Host& host, PR_RenderContextH rc) {
    CollectedFrame frame;
    PR_InData inData = host.inData();
    frame.ok = collectScene(&inData, rc, host.destination(rc), frame.scene);
    return frame;
}

void giveBack(Host& host, PR_RenderContextH rc, FrameScene& scene) {
    HostSuites suites(host.basic());
    disposeSceneTextures(suites, rc, scene);
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
        host::Composition comp;
        testhost::addLayer(comp, testhost::makeLayer(5)).threeD = true;
        host::FrameRequest request;
        request.downsampleX = c.downsample.xS;
        request.downsampleY = c.downsample.yS;
        request.offerInteractiveBuffer = c.buffer;
        PR_RenderContextH rc = host.beginFrame(comp, request);
        CollectedFrame frame = collectWith(host, rc);
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
        giveBack(host, rc, frame.scene);
        EXPECT_TRUE(frame.scene.surfaces.empty());
        EXPECT_EQ(host.accounting().worldsReturned, host.accounting().worldsLent);
    }
}

TEST(CollectScene, UnreadableDownsampleCountsAsFullResolution) {
    Host host;
    host.replaceSuite<AEGP_CanvasSuite10>(kAEGPCanvasSuite, kAEGPCanvasSuiteVersion10).AEGP_GetRenderDownsampleFactor =
        [](PR_RenderContextH, AEGP_DownsampleFactor*) -> A_Err { return A_Err_GENERIC; };
    host::Composition comp;
    host::FrameRequest request;
    request.downsampleX = request.downsampleY = 4;
    PR_RenderContextH rc = host.beginFrame(comp, request);
    CollectedFrame frame = collectWith(host, rc);
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
    host.recordWorldTraffic();
    host::Composition comp;
    testhost::addLayer(comp, testhost::makeLayer(5));
    testhost::addLayer(comp, testhost::makeLayer(9));
    PR_RenderContextH rc = host.beginFrame(comp);
    auto lend = [&host, rc](size_t listPosition) {
        SurfaceTexture texture;
        texture.world = host.addWorld(AEGP_WorldType_8, 4, 4, 0, host::WorldOrigin::Texture);
        texture.renderedContext = host.layerContext(rc, listPosition);
        texture.uvRect = UvRect{0.25, 0.25, 0.75, 0.75};
        return texture;
    };
    FrameScene scene;
    scene.surfaces.resize(3);
    scene.surfaces[0].frontTexture = lend(0);  // world 1
    scene.surfaces[0].backTexture = lend(1);   // world 2
    // Surface 1 has no textures at all; surface 2 has a plug-in world at the back.
    scene.surfaces[2].frontTexture = lend(1);  // world 3
    scene.surfaces[2].backTexture.world = host.addWorld(AEGP_WorldType_16, 2, 2, 0, host::WorldOrigin::PluginNew);
    scene.surfaces[2].backTexture.ownedWorld = true;

    SurfaceTexture& kept = scene.surfaces[0].frontTexture;
    {
        HostSuites suites(host.basic());
        disposeTexture(suites, rc, kept);
        EXPECT_EQ(kept.world, nullptr);
        EXPECT_EQ(kept.renderedContext, nullptr);
        EXPECT_EQ(kept.uvRect.uMin, 0.0);
        EXPECT_EQ(kept.uvRect.vMax, 1.0);
        disposeSceneTextures(suites, rc, scene);
    }
    std::vector<std::string> expected = {"disposeTexture:1", "disposeTexture:2", "disposeTexture:3", "dispose:4"};
    EXPECT_EQ(host.events, expected);
    EXPECT_TRUE(scene.surfaces.empty());
    EXPECT_EQ(host.accounting().badHandles, 0);
    EXPECT_EQ(host.accounting().suitesAcquired, host.accounting().suitesReleased);
    EXPECT_EQ(host.accounting().worldsReturned, host.accounting().worldsLent);
}

}  // namespace
}  // namespace zephrin
