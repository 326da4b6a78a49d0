#include "renderer/frame/frame_renderer.h"

#include <gtest/gtest.h>

#include "render_log_capture.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>

#include "common/host_suites.h"
#include "host_fixture.h"
#include "renderer/frame/frame_log.h"
#include "renderer/raster/raster_band.h"

namespace zephrin {
namespace {
using test::RenderLog;
using host::HostWorld;
using testhost::kWorldFill;
using testhost::pixelAt;
using testhost::TestHost;

// The handle the host lent for one of its worlds.
AEGP_WorldH handleOf(TestHost& host, const HostWorld& world) {
    for (const auto& [handle, record] : host.state.worlds) {
        if (&record->world == &world) return host::toHandle<AEGP_WorldH>(handle);
    }
    return nullptr;
}

constexpr double kQuadDepth = 100.0;

// A flat, untextured square facing the camera, centred on the view axis at kQuadDepth; with the
// camera of sceneFor it covers destination pixels [W/2 - halfSize, W/2 + halfSize).
SceneSurface flatQuad(double halfSize, PackedColor color) {
    SceneSurface surface;
    surface.kind = kSurfaceFlat;
    surface.controls.frontColor = color;
    const double corners[4][2] = {{-halfSize, -halfSize}, {halfSize, -halfSize}, {halfSize, halfSize},
                                  {-halfSize, halfSize}};
    for (const auto& corner : corners) {
        SurfaceVertex vertex;
        vertex.cameraPosition = Vec3{corner[0], corner[1], kQuadDepth};
        vertex.worldPosition = vertex.cameraPosition;
        vertex.objectPosition = vertex.cameraPosition;
        vertex.u = corner[0] > 0.0 ? 1.0 : 0.0;
        vertex.v = corner[1] > 0.0 ? 1.0 : 0.0;
        surface.mesh.vertices.push_back(vertex);
    }
    surface.mesh.triangles.push_back(SurfaceTriangle{0, 1, 2, kFaceFront, 0});
    surface.mesh.triangles.push_back(SurfaceTriangle{0, 2, 3, kFaceFront, 0});
    return surface;
}

// One composition pixel per destination pixel at the quad's depth.
FrameScene sceneFor(int32_t width, int32_t height) {
    FrameScene scene;
    scene.camera.compWidth = scene.camera.destWidth = width;
    scene.camera.compHeight = scene.camera.destHeight = height;
    scene.camera.focal = kQuadDepth;
    return scene;
}

SceneSurface surfaceWithTriangle(SurfaceTriangle triangle) {
    SceneSurface surface;
    surface.mesh.vertices.resize(3);
    surface.mesh.triangles.push_back(triangle);
    return surface;
}


TEST(FrameDecisions, SquareDownsampleUpToFourTakesTheTilePath) {
    struct Case {
        int16_t x, y;
        bool tile;
    };
    for (Case c : {Case{1, 1, true}, Case{2, 2, true}, Case{4, 4, true}, Case{1, 2, false}, Case{8, 8, false},
                   Case{5, 5, false}, Case{0, 0, false}}) {
        FrameScene scene = sceneFor(64, 64);
        scene.settings.downsampleX = c.x;
        scene.settings.downsampleY = c.y;
        EXPECT_EQ(decideFrame(scene, 64, 64).tilePath, c.tile) << c.x << "x" << c.y;
    }
}

TEST(FrameDecisions, QuickPreviewQuartersTheRasterRoundingUp) {
    FrameScene scene = sceneFor(1921, 1080);
    FrameDecisions full = decideFrame(scene, 1921, 1080);
    EXPECT_EQ(full.rasterScale, 1);
    EXPECT_EQ(full.rasterWidth, 1921);
    EXPECT_EQ(full.rasterHeight, 1080);

    scene.settings.quickPreview = true;
    FrameDecisions quick = decideFrame(scene, 1921, 1080);
    EXPECT_EQ(quick.rasterScale, 4);
    EXPECT_EQ(quick.rasterWidth, 481);
    EXPECT_EQ(quick.rasterHeight, 270);
    EXPECT_EQ(quick.workers, rasterBandCount(270));

    FrameDecisions empty = decideFrame(scene, 0, 0);
    EXPECT_EQ(empty.rasterWidth, 1);
    EXPECT_EQ(empty.rasterHeight, 1);
}

TEST(FrameDecisions, OptionalBuffersFollowPathLightsAndGpuShadows) {
    FrameScene perRow = sceneFor(8, 8);
    perRow.settings.downsampleY = 2;
    FrameBufferSet unlitRows = decideFrame(perRow, 8, 8).buffers;
    EXPECT_FALSE(unlitRows.triangleIds);
    EXPECT_FALSE(unlitRows.preparedIds);
    EXPECT_FALSE(unlitRows.visiblePixels);

    perRow.lights.push_back(SceneLight{});
    FrameBufferSet litRows = decideFrame(perRow, 8, 8).buffers;
    EXPECT_TRUE(litRows.triangleIds);
    EXPECT_FALSE(litRows.preparedIds);

    // The per-row path shades as it goes; the band raster leaves it to the shading rows.
    EXPECT_FALSE(decideFrame(perRow, 8, 8).shadeRowsWithRaster);

    FrameScene tile = sceneFor(8, 8);
    FrameBufferSet unlitTiles = decideFrame(tile, 8, 8).buffers;
    EXPECT_TRUE(unlitTiles.triangleIds);
    EXPECT_TRUE(unlitTiles.preparedIds);
    EXPECT_FALSE(unlitTiles.visiblePixels);
    EXPECT_TRUE(decideFrame(tile, 8, 8).shadeRowsWithRaster);

    tile.lights.push_back(SceneLight{});
    tile.surfaces.push_back(flatQuad(2.0, packColor(255, 255, 255, 255)));
    EXPECT_FALSE(decideFrame(tile, 8, 8).buffers.visiblePixels);
    EXPECT_TRUE(decideFrame(tile, 8, 8).shadeRowsWithRaster);
    tile.surfaces[0].controls.gpuAcceleration = true;
    EXPECT_TRUE(decideFrame(tile, 8, 8).buffers.visiblePixels);
    // A GPU lighting or shadow pass needs the whole raster before any pixel is shaded.
    EXPECT_FALSE(decideFrame(tile, 8, 8).shadeRowsWithRaster);
    tile.surfaces[0].acceptsShadows = false;
    EXPECT_FALSE(decideFrame(tile, 8, 8).buffers.visiblePixels);
    EXPECT_FALSE(decideFrame(tile, 8, 8).buffers.shadowPost);
    EXPECT_TRUE(decideFrame(tile, 8, 8).shadeRowsWithRaster);
}

TEST(FrameDecisions, GpuRasterNeedsAGpuSurfaceAndNoFineOrThicknessTriangles) {
    FrameScene scene = sceneFor(8, 8);
    scene.surfaces.push_back(surfaceWithTriangle(SurfaceTriangle{0, 1, 2, kFaceFront, 0}));
    EXPECT_FALSE(decideFrame(scene, 8, 8).gpuRasterEligible);
    scene.surfaces[0].controls.gpuAcceleration = true;
    EXPECT_TRUE(decideFrame(scene, 8, 8).gpuRasterEligible);

    // Triangles of another rendered surface block it; those of a shadow-only surface do not.
    scene.surfaces.push_back(surfaceWithTriangle(SurfaceTriangle{0, 1, 2, kFaceSideThickness, 0}));
    EXPECT_FALSE(decideFrame(scene, 8, 8).gpuRasterEligible);
    scene.surfaces[1].renders = false;
    scene.surfaces[1].shadowOnly = true;
    EXPECT_TRUE(decideFrame(scene, 8, 8).gpuRasterEligible);
    scene.surfaces.push_back(surfaceWithTriangle(SurfaceTriangle{0, 1, 2, kFaceFront, 1}));
    EXPECT_FALSE(decideFrame(scene, 8, 8).gpuRasterEligible);

    // A shadow-only surface with GPU acceleration does not make the frame eligible.
    FrameScene hidden = sceneFor(8, 8);
    hidden.surfaces.push_back(surfaceWithTriangle(SurfaceTriangle{0, 1, 2, kFaceFront, 0}));
    hidden.surfaces[0].controls.gpuAcceleration = true;
    hidden.surfaces[0].renders = false;
    EXPECT_FALSE(decideFrame(hidden, 8, 8).gpuRasterEligible);
}

TEST(FrameDecisions, ShadowMapsFollowMapModesOutsideQuickPreview) {
    FrameScene scene = sceneFor(8, 8);
    scene.surfaces.push_back(surfaceWithTriangle(SurfaceTriangle{}));
    scene.surfaces.push_back(surfaceWithTriangle(SurfaceTriangle{}));
    scene.surfaces[0].controls.shadowQuality = 3;
    scene.surfaces[1].controls.shadowQuality = 4;
    scene.surfaces[1].acceptsShadows = false;
    FrameDecisions rays = decideFrame(scene, 8, 8);
    EXPECT_FALSE(rays.needShadowMaps);
    // Only surfaces that accept shadows set the map quality.
    EXPECT_EQ(rays.frameShadowQuality, 3);

    for (ShadowMode mode : {ShadowMode::MapFast, ShadowMode::Hybrid}) {
        scene.surfaces[1].controls.shadowMode = mode;
        scene.settings.quickPreview = false;
        EXPECT_TRUE(decideFrame(scene, 8, 8).needShadowMaps) << static_cast<int32_t>(mode);
        scene.settings.quickPreview = true;
        EXPECT_FALSE(decideFrame(scene, 8, 8).needShadowMaps) << static_cast<int32_t>(mode);
    }

    scene.surfaces[0].controls.shadowQuality = 0;
    EXPECT_EQ(decideFrame(scene, 8, 8).frameShadowQuality, 1);
}

TEST(FrameBuffersAllocation, KeptArraysStartEmptyAndOthersAreAbsent) {
    FrameBuffers buffers;
    buffers.rasterWidth = 3;
    buffers.rasterHeight = 2;
    FrameBufferSet all{true, true, true, true};
    allocateFrameBuffers(buffers, all);
    EXPECT_EQ(buffers.depth, std::vector<double>(6, std::numeric_limits<double>::infinity()));
    EXPECT_EQ(buffers.coverage, std::vector<uint8_t>(6, 0));
    EXPECT_EQ(buffers.color, std::vector<double>(24, 0.0));
    for (const auto* ids : {&buffers.surfaceIndex, &buffers.triangleIndex, &buffers.clipTriangle,
                            &buffers.preparedIndex}) {
        EXPECT_EQ(*ids, std::vector<int32_t>(6, -1));
    }
    EXPECT_EQ(buffers.visiblePixels.size(), 6u);
    EXPECT_EQ(buffers.shadowVisibility, std::vector<double>(6, 1.0));
    EXPECT_EQ(buffers.filteredVisibility, std::vector<double>(6, 1.0));
    EXPECT_EQ(buffers.radiusField, std::vector<double>(6, 0.0));
    EXPECT_EQ(buffers.slope, std::vector<float>(18, 0.0f));
    EXPECT_EQ(buffers.shadowMark, std::vector<uint8_t>(6, 0));
    EXPECT_TRUE(keepsShadowPost(buffers));

    allocateFrameBuffers(buffers, FrameBufferSet{});
    EXPECT_EQ(buffers.surfaceIndex.size(), 6u);
    EXPECT_TRUE(buffers.triangleIndex.empty());
    EXPECT_TRUE(buffers.clipTriangle.empty());
    EXPECT_TRUE(buffers.preparedIndex.empty());
    EXPECT_TRUE(buffers.visiblePixels.empty());
    EXPECT_TRUE(buffers.shadowVisibility.empty());
    EXPECT_TRUE(buffers.slope.empty());
    EXPECT_FALSE(keepsShadowPost(buffers));
}

TEST(FrameBuffersAllocation, LargeRastersFillOnWorkersAndAFailedFillRaisesOnTheCaller) {
    FrameBuffers buffers;
    buffers.rasterWidth = 256;
    buffers.rasterHeight = 256;
    allocateFrameBuffers(buffers, FrameBufferSet{true, true, false, true});
    const size_t n = buffers.pixelCount();
    EXPECT_EQ(buffers.color, std::vector<double>(4 * n, 0.0));
    EXPECT_EQ(buffers.depth, std::vector<double>(n, std::numeric_limits<double>::infinity()));
    EXPECT_EQ(buffers.preparedIndex, std::vector<int32_t>(n, -1));
    EXPECT_EQ(buffers.packedColor, std::vector<uint32_t>(n, 0));
    EXPECT_EQ(buffers.winnerMask, std::vector<uint8_t>(n, 0));
    EXPECT_TRUE(buffers.visiblePixels.empty());
    EXPECT_TRUE(keepsShadowPost(buffers));

    // Far more than any vector can hold: the failure must reach the caller, not end the process.
    buffers.rasterWidth = 1 << 30;
    buffers.rasterHeight = 1 << 30;
    EXPECT_THROW(allocateFrameBuffers(buffers, FrameBufferSet{true, true, true, true}), std::exception);
}

TEST(FrameBuffersAllocation, ResetRestoresStartValuesWithoutAddingArrays) {
    FrameBuffers buffers;
    buffers.rasterWidth = 2;
    buffers.rasterHeight = 1;
    allocateFrameBuffers(buffers, FrameBufferSet{true, true, false, true});
    buffers.depth[1] = 3.0;
    buffers.coverage[0] = 0x0F;
    buffers.color[7] = 1.0;
    buffers.surfaceIndex[0] = buffers.triangleIndex[0] = buffers.clipTriangle[1] = buffers.preparedIndex[1] = 4;
    buffers.shadowVisibility[0] = buffers.filteredVisibility[1] = 0.2;
    buffers.radiusField[0] = 0.7;
    buffers.slope[5] = 0.3f;
    buffers.shadowMark[1] = 1;
    resetFrameBuffers(buffers);

    FrameBuffers fresh;
    fresh.rasterWidth = 2;
    fresh.rasterHeight = 1;
    allocateFrameBuffers(fresh, FrameBufferSet{true, true, false, true});
    EXPECT_EQ(buffers.depth, fresh.depth);
    EXPECT_EQ(buffers.coverage, fresh.coverage);
    EXPECT_EQ(buffers.color, fresh.color);
    EXPECT_EQ(buffers.surfaceIndex, fresh.surfaceIndex);
    EXPECT_EQ(buffers.triangleIndex, fresh.triangleIndex);
    EXPECT_EQ(buffers.clipTriangle, fresh.clipTriangle);
    EXPECT_EQ(buffers.preparedIndex, fresh.preparedIndex);
    EXPECT_EQ(buffers.shadowVisibility, fresh.shadowVisibility);
    EXPECT_EQ(buffers.filteredVisibility, fresh.filteredVisibility);
    EXPECT_EQ(buffers.radiusField, fresh.radiusField);
    EXPECT_EQ(buffers.slope, fresh.slope);
    EXPECT_EQ(buffers.shadowMark, fresh.shadowMark);
    EXPECT_TRUE(buffers.visiblePixels.empty());
}

TEST(FrameBuffersAllocation, RecycledArraysAreReusedOnlyBySimilarFramesAndStartClean) {
    releaseRecycledFrameBuffers();
    const FrameBufferSet all{true, true, true, true};
    FrameBuffers first;
    first.rasterWidth = 64;
    first.rasterHeight = 32;
    allocateFrameBuffers(first, all);
    first.depth[5] = 2.0;
    first.color[3] = 1.0;
    first.surfaceIndex[7] = first.preparedIndex[7] = 3;
    first.shadowVisibility[9] = 0.25;
    const double* colourStorage = first.color.data();
    recycleFrameBuffers(first);
    EXPECT_TRUE(first.color.empty());
    EXPECT_TRUE(first.depth.empty());

    // The same size takes the spare storage, written back to the start values.
    FrameBuffers second;
    second.rasterWidth = 64;
    second.rasterHeight = 32;
    allocateFrameBuffers(second, all);
    EXPECT_EQ(second.color.data(), colourStorage);
    FrameBuffers fresh;
    fresh.rasterWidth = 64;
    fresh.rasterHeight = 32;
    allocateFrameBuffers(fresh, all);
    EXPECT_NE(fresh.color.data(), colourStorage);  // the spare set was taken
    EXPECT_EQ(second.depth, fresh.depth);
    EXPECT_EQ(second.color, fresh.color);
    EXPECT_EQ(second.surfaceIndex, fresh.surfaceIndex);
    EXPECT_EQ(second.preparedIndex, fresh.preparedIndex);
    EXPECT_EQ(second.shadowVisibility, fresh.shadowVisibility);

    // Only one set is kept: the second one returned is freed.
    recycleFrameBuffers(second);
    recycleFrameBuffers(fresh);
    EXPECT_TRUE(fresh.color.empty());

    // A frame of less than half the pixels does not keep the big storage alive.
    FrameBuffers small;
    small.rasterWidth = 16;
    small.rasterHeight = 16;
    allocateFrameBuffers(small, all);
    EXPECT_EQ(small.color.capacity(), 4 * small.pixelCount());
    EXPECT_EQ(small.color, std::vector<double>(4 * small.pixelCount(), 0.0));

    // After a release nothing is adopted.
    recycleFrameBuffers(small);
    releaseRecycledFrameBuffers();
    FrameBuffers after;
    after.rasterWidth = 16;
    after.rasterHeight = 16;
    allocateFrameBuffers(after, all);
    EXPECT_EQ(after.color, std::vector<double>(4 * after.pixelCount(), 0.0));
    releaseRecycledFrameBuffers();
}

TEST(FrameLog, FrameLineListsEveryStageInOrder) {
    FrameSummary summary;
    summary.surfaces = 2;
    summary.triangles = 40;
    summary.lights = 1;
    summary.destWidth = 640;
    summary.destHeight = 360;
    summary.rasterWidth = 160;
    summary.rasterHeight = 90;
    summary.workers = 1;
    summary.quickPreview = true;
    summary.rasterScale = 4;
    summary.worldType = 2;
    FrameStamps& t = summary.stamps;
    t.start = 1000000;
    t.buffers = 3500000;          // 2.5 ms
    t.shadowMaps = 3500000;       // 0
    t.rasterPrepStart = 3600000;
    t.rasterPrep = 4600000;       // 1
    t.geometry = 6600000;         // 2
    t.gpuShadow = 6600001;        // 1e-06
    t.shade = 10100000;           // 3.499999, six significant digits
    t.shadowPost = 10350000;      // 0.25
    t.dof = 10350000;             // 0
    t.blend = 11350000;           // 1
    EXPECT_EQ(formatFrameLine(summary),
              "RendererV2Frame: surfaces=2 tris=40 lights=1 dst=640x360 raster=160x90 workers=1 "
              "ms=(buffers:2.5,shadowMaps:0,raster:6.6,rasterPrep:1,geometry:2,gpuShadow:1e-06,shade:3.5,"
              "shadowPost:0.25,dof:0,blend:1) quickPreview=1 rasterScale=4 gpuRaster=0 gpuLighting=0 type=2");
}

TEST(FrameLog, GpuRasterLinesReportMegabytesAndFallbackReason) {
    GpuRunInfo info;
    info.adapterName = "Test Adapter";
    info.dedicatedVideoMemory = (8ull << 30) + 12345;
    info.dispatchMs = 1.25;
    EXPECT_EQ(formatGpuRasterLine(info, 921600, 77),
              "RendererV2GPURaster: adapter=Test Adapter vramMB=8192 pixels=921600 tris=77 dispatchMs=1.25");
    EXPECT_EQ(formatGpuRasterFallbackLine(""), "RendererV2GPURaster: fallback=cpu reason=dispatch failed");
    EXPECT_EQ(formatGpuRasterFallbackLine("transparent visible texel"),
              "RendererV2GPURaster: fallback=cpu reason=transparent visible texel");
    ShadowMap map;
    map.width = map.height = 256;
    map.valid = true;
    EXPECT_EQ(formatShadowMapLine(3, kLightSpot, map), "RendererV2ShadowMap: light=3 type=1 size=256x256 valid=1");
}

TEST(Paint, SceneWithoutSurfacesLeavesEveryDepthUnchanged) {
    for (AEGP_WorldType type : {AEGP_WorldType_8, AEGP_WorldType_16, AEGP_WorldType_32}) {
        TestHost host;
        AEGP_WorldH world = host.addWorld(type, 9, 5);
        const std::vector<uint8_t> before = host.world(world).bytes;
        const PR_InData in = host.inData();
        EXPECT_TRUE(paint(&in, world, sceneFor(9, 5))) << "type " << type;
        EXPECT_EQ(host.world(world).bytes, before) << "type " << type;
        EXPECT_EQ(host.accounting().suitesAcquired, 1);
        EXPECT_EQ(host.accounting().suitesReleased, 1);
    }
}

// A World suite call that fails: the host's table with that one slot answering an error.
void failWorldCall(TestHost& host, int which) {
    auto& suite = host.replaceSuite<AEGP_WorldSuite3>(kAEGPWorldSuite, kAEGPWorldSuiteVersion3);
    switch (which) {
        case 0:
            suite.AEGP_GetSize = [](AEGP_WorldH, A_long*, A_long*) -> A_Err { return A_Err_GENERIC; };
            break;
        case 1:
            suite.AEGP_GetType = [](AEGP_WorldH, AEGP_WorldType*) -> A_Err { return A_Err_GENERIC; };
            break;
        case 2:
            suite.AEGP_GetRowBytes = [](AEGP_WorldH, A_u_long*) -> A_Err { return A_Err_GENERIC; };
            break;
        default:
            suite.AEGP_GetBaseAddr8 = [](AEGP_WorldH, PF_Pixel8**) -> A_Err { return A_Err_GENERIC; };
            break;
    }
}

TEST(Paint, FailsWhenTheDestinationCannotBeRead) {
    FrameScene scene = sceneFor(4, 4);
    scene.surfaces.push_back(flatQuad(1.0, packColor(255, 255, 0, 0)));
    {
        TestHost host;
        AEGP_WorldH noBase = host.addWorld(AEGP_WorldType_16, 4, 4);
        std::vector<uint8_t>().swap(host.world(noBase).bytes);  // a world without pixel memory
        const PR_InData in = host.inData();
        EXPECT_FALSE(paint(&in, noBase, scene));
    }
    for (int failure = 0; failure < 4; ++failure) {
        TestHost host;
        failWorldCall(host, failure);
        AEGP_WorldH world = host.addWorld(AEGP_WorldType_8, 4, 4);
        const std::vector<uint8_t> before = host.world(world).bytes;
        const PR_InData in = host.inData();
        EXPECT_FALSE(paint(&in, world, scene)) << failure;
        EXPECT_EQ(host.world(world).bytes, before);
        // Every paint gave back the suite it took.
        EXPECT_EQ(host.accounting().suitesAcquired, host.accounting().suitesReleased);
    }
    TestHost host;
    AEGP_WorldH untyped = host.addWorld(AEGP_WorldType_8, 4, 4);
    host.world(untyped).type = AEGP_WorldType_NONE;
    const PR_InData in = host.inData();
    EXPECT_FALSE(paint(&in, untyped, scene));
    EXPECT_EQ(host.accounting().suitesAcquired, host.accounting().suitesReleased);
}

TEST(Paint, RefusesARowStrideShorterThanARow) {
    TestHost host;
    AEGP_WorldH world = host.addWorld(AEGP_WorldType_32, 4, 4);
    host.world(world).rowBytes = 4 * sizeof(PF_PixelFloat) - 1;
    const std::vector<uint8_t> before = host.world(world).bytes;
    FrameScene scene = sceneFor(4, 4);
    scene.surfaces.push_back(flatQuad(2.0, packColor(255, 255, 0, 0)));
    const PR_InData in = host.inData();
    EXPECT_FALSE(paint(&in, world, scene));
    EXPECT_EQ(host.world(world).bytes, before);
}

TEST(Paint, MissingWorldSuiteRaisesBadCallbackParam) {
    TestHost host;
    host.withhold(kAEGPWorldSuite);
    AEGP_WorldH world = host.addWorld(AEGP_WorldType_8, 2, 2);
    const PR_InData in = host.inData();
    try {
        paint(&in, world, sceneFor(2, 2));
        FAIL() << "expected HostSuiteError";
    } catch (const HostSuiteError& error) {
        EXPECT_EQ(error.code, PF_Err_BAD_CALLBACK_PARAM);
    }
}

TEST(Paint, LogsTheFrameLineWithSizesAndWorldType) {
    RenderLog log;
    TestHost host;
    AEGP_WorldH world = host.addWorld(AEGP_WorldType_16, 6, 4);
    FrameScene scene = sceneFor(6, 4);
    scene.settings.quickPreview = true;
    const PR_InData in = host.inData();
    ASSERT_TRUE(paint(&in, world, scene));
    const std::string head = "RendererV2Frame: surfaces=0 tris=0 lights=0 dst=6x4 raster=2x1 workers=1 ms=(";
    const std::string tail = ") quickPreview=1 rasterScale=4 gpuRaster=0 gpuLighting=0 type=2";
    std::string line = log.firstLine("RendererV2Frame:");
    ASSERT_GE(line.size(), head.size() + tail.size()) << line;
    EXPECT_EQ(line.substr(0, head.size()), head) << line;
    EXPECT_EQ(line.substr(line.size() - tail.size()), tail) << line;

    // The stage times, in order, each a non-negative number.
    std::istringstream times(line.substr(head.size(), line.size() - head.size() - tail.size()));
    std::string entry;
    for (const char* stage : {"buffers", "shadowMaps", "raster", "rasterPrep", "geometry", "gpuShadow", "shade",
                              "shadowPost", "dof", "blend"}) {
        ASSERT_TRUE(std::getline(times, entry, ',')) << "missing " << stage << " in " << line;
        const std::string key = std::string(stage) + ":";
        ASSERT_EQ(entry.substr(0, key.size()), key) << line;
        const std::string value = entry.substr(key.size());
        char* end = nullptr;
        double ms = std::strtod(value.c_str(), &end);
        EXPECT_TRUE(!value.empty() && *end == '\0' && ms >= 0.0) << stage << " in " << line;
    }
    EXPECT_FALSE(std::getline(times, entry, ',')) << line;
}

TEST(Paint, OpaqueQuadIsWrittenAndBothRasterPathsAgree) {
    constexpr int32_t kSize = 16;
    const PackedColor red = packColor(255, 255, 0, 0);
    TestHost host;
    HostWorld& tile = host.world(host.addWorld(AEGP_WorldType_8, kSize, kSize));
    HostWorld& perRow = host.world(host.addWorld(AEGP_WorldType_8, kSize, kSize));
    const std::vector<uint8_t> untouched = tile.bytes;

    const PR_InData in = host.inData();
    FrameScene scene = sceneFor(kSize, kSize);
    scene.surfaces.push_back(flatQuad(4.0, red));
    ASSERT_TRUE(paint(&in, handleOf(host, tile), scene));
    scene.settings.downsampleX = 1;
    scene.settings.downsampleY = 2;
    ASSERT_TRUE(paint(&in, handleOf(host, perRow), scene));

    EXPECT_EQ(tile.bytes, perRow.bytes);
    const PF_Pixel8& centre = pixelAt<PF_Pixel8>(tile, kSize / 2, kSize / 2);
    EXPECT_EQ(centre.alpha, 255);
    EXPECT_EQ(centre.red, 255);
    EXPECT_EQ(centre.green, 0);
    EXPECT_EQ(centre.blue, 0);
    // Outside the quad the destination keeps what it had.
    const PF_Pixel8& corner = pixelAt<PF_Pixel8>(tile, 0, 0);
    EXPECT_EQ(corner.alpha, untouched[0]);
    EXPECT_EQ(corner.red, untouched[1]);
}

TEST(Paint, TallFramesDealSeveralBandsToEachWorkerAndMissNoRow) {
    // Tall enough for several bands per worker wherever the machine has two threads or more.
    constexpr int32_t kWidth = 6, kHeight = 1100;
    FrameScene scene = sceneFor(kWidth, kHeight);
    const FrameDecisions decisions = decideFrame(scene, kWidth, kHeight);
    EXPECT_EQ(decisions.rasterBands, decisions.workers * rasterBandsPerWorker(kHeight, decisions.workers));

    const PackedColor green = packColor(255, 0, 255, 0);
    scene.surfaces.push_back(flatQuad(kHeight, green));
    TestHost host;
    HostWorld& tile = host.world(host.addWorld(AEGP_WorldType_8, kWidth, kHeight));
    HostWorld& perRow = host.world(host.addWorld(AEGP_WorldType_8, kWidth, kHeight));
    const PR_InData in = host.inData();
    ASSERT_TRUE(paint(&in, handleOf(host, tile), scene));
    scene.settings.downsampleY = 2;
    ASSERT_TRUE(paint(&in, handleOf(host, perRow), scene));
    EXPECT_EQ(tile.bytes, perRow.bytes);
    for (int32_t y = 0; y < kHeight; ++y) {
        for (int32_t x = 0; x < kWidth; ++x) {
            ASSERT_EQ(pixelAt<PF_Pixel8>(tile, x, y).green, 255) << x << "," << y;
        }
    }
}

TEST(Paint, QuickPreviewFillsDestinationBlocksFromTheQuarterRaster) {
    constexpr int32_t kSize = 16;
    TestHost host;
    AEGP_WorldH handle = host.addWorld(AEGP_WorldType_8, kSize, kSize);
    HostWorld& world = host.world(handle);
    FrameScene scene = sceneFor(kSize, kSize);
    scene.settings.quickPreview = true;
    // Covers raster pixels 1..2 of the 4 x 4 quarter raster exactly, so destination pixels 4..11.
    scene.surfaces.push_back(flatQuad(4.0, packColor(255, 0, 0, 255)));
    const PR_InData in = host.inData();
    ASSERT_TRUE(paint(&in, handle, scene));
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            bool inside = x >= 4 && x < 12 && y >= 4 && y < 12;
            const PF_Pixel8& p = pixelAt<PF_Pixel8>(world, x, y);
            EXPECT_EQ(p.blue, inside ? 255 : kWorldFill) << x << "," << y;
        }
    }
}

}  // namespace
}  // namespace zephrin
