// The lighting pass on a Vulkan device (lavapipe in CI), held against the CPU deferred shading of the
// same raster: colours within one 8-bit step, and the shadow-post buffers the soft-shadow filter
// reads within the stated tolerances.
#include "renderer/gpu/gpu_lighting.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "gpu_test_device.h"
#include "gpu_test_scenes.h"
#include "renderer/shading/deferred_shading.h"

namespace zephrin {
namespace {

using namespace gputest;

constexpr int32_t kW = 96, kH = 72;
// One 8-bit step: single precision moves a channel by far less away from shadow edges.
constexpr double kColourTolerance = 1.0 / 255.0;
// Visibility, hint and slope feed a blur; the same step bounds them.
constexpr double kShadowPostTolerance = 1.0 / 255.0;
// Pixels whose shadow ray grazes a caster's edge may flip between lit and shadowed in single
// precision; at most this share of the shaded pixels.
constexpr double kGrazingShare = 0.002;

// World = camera space moved by this, so that the pass's world-to-view transform is exercised.
const Vec3 kViewShift{7.0, -4.0, 3.0};

void shiftToWorld(SceneSurface& surface) {
    for (SurfaceVertex& v : surface.mesh.vertices) v.worldPosition = v.cameraPosition - kViewShift;
}

SceneLight lightAt(int32_t type, const Vec3& world, const Vec3& direction) {
    SceneLight light;
    light.type = type;
    light.positionWorld = world;
    light.positionCamera = world + kViewShift;
    light.directionWorld = light.directionCamera = normalizeOr(direction, Vec3{0, 0, 1});
    return light;
}

// A floor with casters above it under every kind of light; `mode` is every surface's shadow mode.
FrameScene litScene(std::mt19937_64& rng, ShadowMode mode) {
    FrameScene scene;
    scene.camera = screenCamera(kW, kH);
    scene.camera.view = translationMatrix(kViewShift);
    SceneSurface floor;
    floor.kind = kSurfaceFlat;
    const double z = 320.0;
    floor.mesh.vertices = {screenVertex(scene.camera, -5, -5, z, 0, 0), screenVertex(scene.camera, kW + 5, -5, z, 1, 0),
                           screenVertex(scene.camera, kW + 5, kH + 5, z, 1, 1),
                           screenVertex(scene.camera, -5, kH + 5, z, 0, 1)};
    floor.mesh.triangles = {{0, 1, 2, kFaceFront, 0}, {0, 2, 3, kFaceFront, 0}};
    floor.controls.frontColor = packColor(255, 200, 190, 170);
    scene.surfaces.push_back(std::move(floor));
    for (int k = 0; k < 2; ++k) {
        SceneSurface caster = randomGridSurface(rng, scene.camera, kFaceFront);
        for (SurfaceVertex& v : caster.mesh.vertices) {
            // Shrink toward the middle and lift toward the camera, so they cast onto the floor.
            v = screenVertex(scene.camera, kW * 0.5 + (v.cameraPosition.x * kFocal / v.cameraPosition.z) * 0.5,
                             kH * 0.5 + (v.cameraPosition.y * kFocal / v.cameraPosition.z) * 0.5,
                             v.cameraPosition.z * 0.7, v.u, v.v);
        }
        caster.castsShadows = true;
        caster.material.specular = 0.8;
        caster.material.shininess = 17.0;
        scene.surfaces.push_back(std::move(caster));
    }
    for (SceneSurface& s : scene.surfaces) {
        shiftToWorld(s);
        s.controls.gpuAcceleration = true;
        s.controls.shadowMode = mode;
        s.controls.shadowQuality = 2;
        s.controls.shadowSoftness = 3.0;
    }
    SceneLight spot = lightAt(kLightSpot, Vec3{-60, -90, -20}, Vec3{60, 90, 300});
    spot.castsShadows = true;
    spot.shadowDiffusion = 25.0;
    spot.coneAngle = 80.0;
    spot.intensity = 0.6;
    SceneLight point = lightAt(kLightPoint, Vec3{80, -40, 60}, Vec3{0, 0, 1});
    point.castsShadows = true;
    point.falloffType = 1;
    point.falloffRadius = 100.0;
    point.falloffDistance = 400.0;
    point.intensity = 0.3;
    SceneLight sun = lightAt(kLightParallel, Vec3{}, Vec3{0.3, 0.5, 1.0});
    sun.castsShadows = true;
    sun.shadowDarkness = 0.7;
    sun.shadowDiffusion = 10.0;
    sun.intensity = 0.25;
    SceneLight ambient = lightAt(kLightAmbient, Vec3{}, Vec3{0, 0, 1});
    ambient.intensity = 0.1;
    scene.lights = {spot, point, sun, ambient};
    return scene;
}

struct Outliers {
    size_t shaded = 0, colour = 0, post = 0;
    double worstColour = 0.0;
};

TEST(GpuLighting, EqualsCpuDeferredShadingWithTheShadowPostBuffers) {
    SoftwareDevicesAllowed allowed;
    GpuContext context;
    if (!openTestDevice(context)) GTEST_SKIP() << "no Vulkan device: " << context.failureReason;
    std::mt19937_64 rng(0x11647);
    Outliers outliers;
    for (ShadowMode mode : {ShadowMode::RayTrace, ShadowMode::Auto, ShadowMode::Hybrid, ShadowMode::MapFast}) {
        const FrameScene scene = litScene(rng, mode);
        const ShadowBvh bvh = buildShadowBvh(scene.surfaces, scene.lights);
        ASSERT_FALSE(bvh.nodes.empty());
        std::vector<ShadowMap> maps;
        for (const SceneLight& light : scene.lights) {
            const bool mapped = light.castsShadows && light.type != kLightAmbient &&
                                (mode == ShadowMode::Hybrid || mode == ShadowMode::MapFast);
            maps.push_back(mapped ? buildShadowMap(bvh, light, 2, 1) : ShadowMap{});
        }
        const std::vector<PreparedTriangle> prepared = prepareRaster(scene.camera, scene.surfaces, kW, kH);
        FrameBuffers cpu;
        cpu.rasterWidth = kW;
        cpu.rasterHeight = kH;
        allocateFrameBuffers(cpu, FrameBufferSet{true, true, true, true});
        bandRaster(scene.surfaces, prepared, cpu);
        FrameBuffers gpu = cpu;

        ShadingFrame frame;
        frame.scene = &scene;
        frame.rasterCamera = &scene.camera;
        frame.prepared = &prepared;
        frame.buffers = &cpu;
        frame.shadowBvh = &bvh;
        frame.shadowMaps = &maps;
        frame.keepsShadowPost = true;
        shadeVisiblePixels(frame, 0, kH);

        ASSERT_EQ(gpuLightingEligibility(gpu, scene, bvh), LightingEligibility::Eligible);
        LightingInputs inputs;
        buildLightingQueries(gpu, scene, inputs);
        convertLightingScene(scene, maps, inputs);
        PackedShadowBvh packed;
        ASSERT_TRUE(packShadowBvh(bvh, packed));
        inputs.params = lightingParamsOf(
            scene.camera, static_cast<uint32_t>(inputs.queries.size()), static_cast<uint32_t>(inputs.lights.size()),
            static_cast<uint32_t>(packed.nodes.size()), static_cast<uint32_t>(packed.triangles.size()));
        std::vector<LightingResult> results;
        GpuRunInfo info;
        ASSERT_TRUE(dispatchLighting(context, packed, inputs, results, info)) << info.failureReason;
        scatterLightingResults(inputs, results, gpu);

        for (uint32_t pixel : inputs.queryPixels) {
            ++outliers.shaded;
            double worst = 0.0;
            for (size_t c = 0; c < 4; ++c)
                worst = std::max(worst, std::fabs(cpu.color[4 * pixel + c] - gpu.color[4 * pixel + c]));
            outliers.worstColour = std::max(outliers.worstColour, worst);
            if (worst > kColourTolerance) ++outliers.colour;
            double post = std::max(std::fabs(cpu.shadowVisibility[pixel] - gpu.shadowVisibility[pixel]),
                                   std::fabs(cpu.radiusField[pixel] - gpu.radiusField[pixel]));
            for (size_t c = 0; c < 3; ++c)
                post = std::max(post, double(std::fabs(cpu.slope[3 * pixel + c] - gpu.slope[3 * pixel + c])));
            if (post > kShadowPostTolerance) ++outliers.post;
            ASSERT_EQ(cpu.shadowMark[pixel], gpu.shadowMark[pixel]);
            ASSERT_EQ(cpu.filteredVisibility[pixel], cpu.shadowVisibility[pixel]);
            ASSERT_EQ(gpu.filteredVisibility[pixel], gpu.shadowVisibility[pixel]);
        }
        // Every visible pixel the CPU shaded got an answer.
        size_t cpuShaded = 0;
        for (size_t p = 0; p < cpu.pixelCount(); ++p) cpuShaded += cpu.color[4 * p + 3] > 0.0 ? 1 : 0;
        EXPECT_EQ(inputs.queries.size(), cpuShaded);
    }
    std::printf("lighting: %zu pixels, %zu colours and %zu shadow-post values beyond one step, worst colour %g\n",
                outliers.shaded, outliers.colour, outliers.post, outliers.worstColour);
    EXPECT_LE(static_cast<double>(outliers.colour), kGrazingShare * static_cast<double>(outliers.shaded));
    EXPECT_LE(static_cast<double>(outliers.post), kGrazingShare * static_cast<double>(outliers.shaded));
    releaseGpuContext(context);
    expectNoValidationErrors(context);
}

}  // namespace
}  // namespace zephrin
