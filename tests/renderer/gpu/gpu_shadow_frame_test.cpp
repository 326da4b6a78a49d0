// The shadow-query pass inside whole frames: its queries, its eligibility, and frames with "GPU
// Acceleration" on against the same frames with it off.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "gpu_test_device.h"
#include "host_fixture.h"
#include "render_log_capture.h"
#include "renderer/frame/frame_renderer.h"
#include "renderer/gpu/gpu_shadows.h"
#include "renderer/shadows/shadow_rays.h"

namespace zephrin {
namespace {
using gputest::SoftwareDevicesAllowed;
using host::HostWorld;
using test::RenderLog;
using testhost::pixelAt;

constexpr int32_t kSize = 48;

// The process-wide context, opened with validation before any frame asks for it.
bool openProcessDevice() {
    GpuContext& context = gpuContext();
    const std::lock_guard<std::mutex> held(context.lock);
    return ensureGpuDevice(context, nullptr, gputest::validatedOptions());
}

SceneSurface square(double half, double z, int32_t kind) {
    SceneSurface s;
    s.kind = kind;
    s.controls.frontColor = packColor(255, 200, 180, 160);
    const double corners[4][2] = {{-half, -half}, {half, -half}, {half, half}, {-half, half}};
    for (const auto& c : corners) {
        SurfaceVertex v;
        v.cameraPosition = v.worldPosition = v.objectPosition = Vec3{c[0], c[1], z};
        v.cameraNormal = v.worldNormal = Vec3{0.0, 0.0, -1.0};
        v.u = c[0] > 0 ? 1.0 : 0.0;
        v.v = c[1] > 0 ? 1.0 : 0.0;
        s.mesh.vertices.push_back(v);
    }
    s.mesh.triangles.push_back(SurfaceTriangle{0, 2, 1, kFaceFront, 0});
    s.mesh.triangles.push_back(SurfaceTriangle{0, 3, 2, kFaceFront, 0});
    return s;
}

// A floor, a caster in front of it, a soft-shadowed spot and a hard-shadowed parallel light.
FrameScene shadowedScene(bool gpu) {
    FrameScene scene;
    scene.camera.compWidth = scene.camera.destWidth = kSize;
    scene.camera.compHeight = scene.camera.destHeight = kSize;
    scene.camera.focal = 100.0;
    scene.camera.view = identityMatrix();
    scene.surfaces.push_back(square(40.0, 100.0, kSurfaceFlat));
    scene.surfaces.push_back(square(8.0, 80.0, kSurfaceBent));
    scene.surfaces[1].castsShadows = true;
    for (SceneSurface& s : scene.surfaces) s.controls.gpuAcceleration = gpu;
    SceneLight spot;
    spot.type = kLightSpot;
    spot.positionWorld = spot.positionCamera = Vec3{10.0, -6.0, 0.0};
    spot.directionWorld = spot.directionCamera = normalizeOr(Vec3{-10.0, 6.0, 100.0}, Vec3{});
    spot.intensity = 0.02;
    spot.coneAngle = 120.0;
    spot.castsShadows = true;
    spot.shadowDiffusion = 30.0;
    scene.lights.push_back(spot);
    SceneLight sun;
    sun.type = kLightParallel;
    sun.intensity = 0.01;
    sun.directionWorld = sun.directionCamera = normalizeOr(Vec3{0.3, 0.2, 1.0}, Vec3{});
    sun.castsShadows = true;
    scene.lights.push_back(sun);
    return scene;
}

HostWorld paintScene(const FrameScene& scene) {
    testhost::TestHost host;
    AEGP_WorldH world = host.addWorld(AEGP_WorldType_32, kSize, kSize);
    const PR_InData in = host.inData();
    EXPECT_TRUE(paint(&in, world, scene));
    return host.world(world);
}

TEST(GpuShadowFrame, FramesWithTheGpuEqualFramesWithout) {
    SoftwareDevicesAllowed allowed;
    if (!openProcessDevice()) GTEST_SKIP() << "no Vulkan device: " << gpuContext().failureReason;
    const HostWorld cpu = paintScene(shadowedScene(false));
    RenderLog log;
    const HostWorld gpu = paintScene(shadowedScene(true));
    const HostWorld again = paintScene(shadowedScene(true));

    const std::vector<std::string> lines = log.lines("RendererV2GPU:");
    ASSERT_EQ(lines.size(), 2u) << log.text();
    EXPECT_NE(lines[0].find("adapter=" + gpuContext().adapterName + " vramMB="), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find(" batch=" + std::to_string(gpuContext().batchLimit) + " ms=(prepare:"), std::string::npos);
    EXPECT_NE(lines[0].find(",sceneReuse:0)"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find(",sceneReuse:1)"), std::string::npos) << lines[1];
    EXPECT_EQ(lines[0].find("queries=0 "), std::string::npos) << lines[0];

    // The shadows are really there, and the same: single precision may only move a blocker
    // distance by a hair, never a shadow.
    float worst = 0.0f;
    for (int32_t y = 0; y < kSize; ++y) {
        for (int32_t x = 0; x < kSize; ++x) {
            const PF_PixelFloat& a = pixelAt<PF_PixelFloat>(const_cast<HostWorld&>(cpu), x, y);
            const PF_PixelFloat& b = pixelAt<PF_PixelFloat>(const_cast<HostWorld&>(gpu), x, y);
            for (float d : {a.alpha - b.alpha, a.red - b.red, a.green - b.green, a.blue - b.blue}) {
                worst = std::max(worst, std::fabs(d));
            }
        }
    }
    EXPECT_LE(worst, 1.0f / 255.0f);
    EXPECT_EQ(gpu.bytes, again.bytes);
    EXPECT_LT(pixelAt<PF_PixelFloat>(const_cast<HostWorld&>(gpu), 13, 33).red,
              pixelAt<PF_PixelFloat>(const_cast<HostWorld&>(gpu), 36, 14).red);
    gputest::expectNoValidationErrors(gpuContext());
}

TEST(GpuShadowFrame, AnAlphaCasterKeepsShadowRaysOnTheCpu) {
    SoftwareDevicesAllowed allowed;
    FrameScene scene = shadowedScene(true);
    scene.surfaces[1].controls.frontColor = packColor(0, 200, 180, 160);  // a see-through caster
    RenderLog log;
    paintScene(scene);
    EXPECT_EQ(log.lines("RendererV2GPU:"),
              (std::vector<std::string>{"RendererV2GPU: fallback=cpu reason=alpha shadow caster"}));
}

// Hand-made buffers of a 3 x 1 raster: pixel 0 on an "Auto" surface, pixel 1 on a "Map Fast" one,
// pixel 2 empty.
struct QueryFrame {
    FrameScene scene;
    FrameBuffers buffers;
};

QueryFrame queryFrame() {
    QueryFrame f;
    f.scene.surfaces.push_back(square(40.0, 100.0, kSurfaceBent));
    f.scene.surfaces.push_back(square(40.0, 100.0, kSurfaceBent));
    f.scene.surfaces[1].controls.shadowMode = ShadowMode::MapFast;
    for (SceneSurface& s : f.scene.surfaces) s.controls.gpuAcceleration = s.castsShadows = true;
    f.buffers.rasterWidth = 3;
    f.buffers.rasterHeight = 1;
    allocateFrameBuffers(f.buffers, FrameBufferSet{true, true, true, false});
    for (int32_t p = 0; p < 2; ++p) {
        f.buffers.preparedIndex[static_cast<size_t>(p)] = p;
        f.buffers.surfaceIndex[static_cast<size_t>(p)] = p;
        f.buffers.triangleIndex[static_cast<size_t>(p)] = 1;
        VisiblePixel& visible = f.buffers.visiblePixels[static_cast<size_t>(p)];
        visible.worldPosition[0] = 10.0f;
        visible.worldPosition[2] = 100.0f;
        visible.worldNormal[2] = 1.0f;  // facing away from the lights: turned toward them
    }
    return f;
}

TEST(GpuShadowQueries, OneRayPerPixelAndTracedLightAsShadingTracesIt) {
    QueryFrame f = queryFrame();
    SceneLight point;
    point.castsShadows = true;
    point.shadowDiffusion = 30.0;
    point.positionWorld = Vec3{10.0, 0.0, -100.0};
    SceneLight ambient;
    ambient.type = kLightAmbient;
    ambient.castsShadows = true;
    SceneLight unshadowed;
    unshadowed.type = kLightParallel;
    SceneLight hard;
    hard.type = kLightParallel;
    hard.castsShadows = true;
    hard.directionWorld = Vec3{0.0, 0.0, 2.0};
    SceneLight spotAway = point;
    spotAway.type = kLightSpot;
    spotAway.directionWorld = Vec3{0.0, 0.0, -1.0};  // the point lies outside its cone
    f.scene.lights = {point, ambient, unshadowed, hard, spotAway};

    const GpuShadowQueryList list = buildShadowQueries(f.buffers, f.scene);
    ASSERT_EQ(list.queries.size(), 2u);
    EXPECT_EQ(list.pixels, (std::vector<uint32_t>{0, 0}));
    EXPECT_EQ(list.lights, (std::vector<uint32_t>{0, 3}));

    const GpuShadowQuery& soft = list.queries[0];
    EXPECT_EQ(soft.packedIdentity, kNearestHitBit | 1u);
    // The normal is turned toward the light and the origin leaves the surface along it.
    EXPECT_FLOAT_EQ(soft.origin[2], static_cast<float>(100.0 - kRayOriginOffset));
    EXPECT_FLOAT_EQ(soft.dir[2], -1.0f);
    EXPECT_FLOAT_EQ(soft.maxT, static_cast<float>(200.0 - kRayOriginOffset - kRayEndOffset));
    const GpuShadowQuery& parallel = list.queries[1];
    EXPECT_EQ(parallel.packedIdentity, 1u);  // hard shadows need no distance
    EXPECT_FLOAT_EQ(parallel.maxT, static_cast<float>(kParallelRayLength));
    EXPECT_FLOAT_EQ(parallel.dir[2], -1.0f);
}

TEST(GpuShadowQueries, MoreThan128SurfacesStayOnTheCpu) {
    SoftwareDevicesAllowed allowed;
    if (!openProcessDevice()) GTEST_SKIP() << "no Vulkan device: " << gpuContext().failureReason;
    QueryFrame f = queryFrame();
    SceneLight point;
    point.castsShadows = true;
    point.positionWorld = Vec3{10.0, 0.0, -100.0};
    f.scene.lights = {point};
    while (f.scene.surfaces.size() < 128) f.scene.surfaces.push_back(square(1.0, 50.0, kSurfaceBent));
    const ShadowBvh bvh = buildShadowBvh(f.scene.surfaces, f.scene.lights);
    ShadowSampleCache cache;
    EXPECT_TRUE(runGpuShadows(f.buffers, f.scene, bvh, cache).completed);
    ASSERT_EQ(cache.samples.size(), 3u);
    EXPECT_TRUE(cache.samples[0].valid);
    EXPECT_FALSE(cache.samples[1].valid);  // Map Fast

    f.scene.surfaces.push_back(square(1.0, 50.0, kSurfaceBent));
    const ShadowBvh more = buildShadowBvh(f.scene.surfaces, f.scene.lights);
    RenderLog log;
    EXPECT_FALSE(runGpuShadows(f.buffers, f.scene, more, cache).completed);
    EXPECT_TRUE(cache.samples.empty());
    EXPECT_TRUE(log.lines("RendererV2GPU:").empty());
}

}  // namespace
}  // namespace zephrin
