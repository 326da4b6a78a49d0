// The lighting pass's CPU side: which frames it takes, the records it converts, the queries it
// builds from the raster and how its answers land in the frame's buffers.
#include "renderer/gpu/gpu_lighting_inputs.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "gpu_test_scenes.h"
#include "render_log_capture.h"
#include "renderer/gpu/gpu_lighting.h"
#include "renderer/raster/raster_fragment.h"

namespace zephrin {
namespace {

using namespace gputest;

constexpr int32_t kW = 24, kH = 16;

// A lit frame's raster: one bent grid casting shadows, a spot light, VisiblePixel records kept.
struct LitRaster {
    FrameScene scene;
    FrameBuffers buffers;
    ShadowBvh bvh;
};

void rasterizeLit(LitRaster& frame) {
    frame.bvh = buildShadowBvh(frame.scene.surfaces, frame.scene.lights);
    frame.buffers = freshBuffers(kW, kH, true);
    const std::vector<PreparedTriangle> prepared = prepareRaster(frame.scene.camera, frame.scene.surfaces, kW, kH);
    bandRaster(frame.scene.surfaces, prepared, frame.buffers);
}

void litScene(LitRaster& frame, size_t surfaceCount) {
    std::mt19937_64 rng(7);
    frame.scene.camera = screenCamera(kW, kH);
    for (size_t i = 0; i < surfaceCount; ++i) {
        frame.scene.surfaces.push_back(randomGridSurface(rng, frame.scene.camera, kFaceFront));
        frame.scene.surfaces.back().castsShadows = true;
        frame.scene.surfaces.back().controls.gpuAcceleration = true;
    }
    SceneLight spot;
    spot.type = kLightSpot;
    spot.castsShadows = true;
    spot.positionWorld = spot.positionCamera = Vec3{10.0, -20.0, 0.0};
    frame.scene.lights.push_back(spot);
}

TEST(GpuLightingEligibility, RefusesAlphaCastersWithItsLineAndDeclinesWhatItCannotHold) {
    LitRaster frame;
    litScene(frame, 2);
    rasterizeLit(frame);
    EXPECT_EQ(gpuLightingEligibility(frame.buffers, frame.scene, frame.bvh), LightingEligibility::Eligible);

    // A caster whose colour is fully transparent needs texture lookups the shader cannot do.
    LitRaster alpha;
    litScene(alpha, 2);
    alpha.scene.surfaces[1].controls.frontColor = packColor(0, 255, 255, 255);
    rasterizeLit(alpha);
    ASSERT_TRUE(alpha.bvh.hasAlphaCasters);
    {
        test::RenderLog log;
        EXPECT_FALSE(runGpuLighting(alpha.buffers, alpha.scene, alpha.bvh, {}).completed);
        EXPECT_EQ(log.lines("RendererV2GPULighting:"),
                  std::vector<std::string>{"RendererV2GPULighting: fallback=cpu reason=alpha shadow caster"});
    }

    // More surfaces than the identity holds: shaded on the CPU, without a line.
    LitRaster many;
    litScene(many, 129);
    rasterizeLit(many);
    {
        test::RenderLog log;
        EXPECT_EQ(gpuLightingEligibility(many.buffers, many.scene, many.bvh), LightingEligibility::Declined);
        EXPECT_FALSE(runGpuLighting(many.buffers, many.scene, many.bvh, {}).completed);
        EXPECT_TRUE(log.lines("RendererV2GPULighting:").empty());
    }

    // Nothing asked for the GPU; quick preview; no VisiblePixel records; no casters.
    LitRaster off;
    litScene(off, 1);
    off.scene.surfaces[0].controls.gpuAcceleration = false;
    rasterizeLit(off);
    EXPECT_EQ(gpuLightingEligibility(off.buffers, off.scene, off.bvh), LightingEligibility::Declined);
    frame.scene.settings.quickPreview = true;
    EXPECT_EQ(gpuLightingEligibility(frame.buffers, frame.scene, frame.bvh), LightingEligibility::Declined);
    frame.scene.settings.quickPreview = false;
    FrameBuffers bare = freshBuffers(kW, kH, false);
    EXPECT_EQ(gpuLightingEligibility(bare, frame.scene, frame.bvh), LightingEligibility::Declined);
    EXPECT_EQ(gpuLightingEligibility(frame.buffers, frame.scene, ShadowBvh{}), LightingEligibility::Declined);
}

TEST(GpuLightingRecords, CarryTheModelsInputsAndTheMatricesAsRows) {
    SceneLight light;
    light.type = kLightSpot;
    light.positionWorld = Vec3{1, 2, 3};
    light.positionCamera = Vec3{4, 5, 6};
    light.falloffType = 7;
    light.castsShadows = true;
    light.shadowDiffusion = 12.5;
    ShadowMap map;
    map.width = 2;
    map.height = 3;
    map.depth.assign(6, 0.5f);
    map.valid = true;
    map.nearPlane = 1.0;
    map.farPlane = 900.0;
    map.texelSpread = 0.25;
    for (size_t i = 0; i < 16; ++i) map.worldToClip[i] = static_cast<double>(i + 1);
    const LightingLight record = lightingLightOf(light, &map, 40);
    EXPECT_EQ(record.type, 1u);
    EXPECT_EQ(record.falloffMode, 2u);  // anything but none and smooth is the clamped inverse square
    EXPECT_EQ(record.castsShadows, 1u);
    EXPECT_EQ(record.positionView[2], 6.0f);
    EXPECT_EQ(record.shadowDiffusion, 12.5f);
    EXPECT_EQ(record.shadowMapValid, 1u);
    EXPECT_EQ(record.shadowMapOffset, 40u);
    EXPECT_EQ(record.shadowMapHeight, 3u);
    EXPECT_EQ(record.shadowMapFar, 900.0f);
    // Column-major storage: element (row 1, column 2) is entry 2 * 4 + 1.
    EXPECT_EQ(record.worldToClip[1][2], 10.0f);
    // A map whose texels do not fill it is not handed to the shader.
    map.depth.pop_back();
    EXPECT_EQ(lightingLightOf(light, &map, 0).shadowMapValid, 0u);

    SceneSurface surface;
    surface.kind = kSurfaceBent;
    surface.acceptsLights = true;
    surface.acceptsShadows = false;
    surface.controls.shadowMode = ShadowMode::Hybrid;
    surface.controls.shadowQuality = 3;
    surface.controls.specular = 500.0;
    surface.material.ambient = 9.0;
    surface.material.shininess = 0.0;
    const LightingSurface s = lightingSurfaceOf(surface);
    EXPECT_EQ(s.flags, 1u | kLightingSurfaceAcceptsLights | 4u << 8 | 3u << 12);
    EXPECT_EQ(s.specularScale, 3.0f);  // clamped as the model clamps it
    EXPECT_EQ(s.material[0], 4.0f);
    EXPECT_EQ(s.material[3], 1.0f);

    SceneCamera camera;
    camera.view = translationMatrix(Vec3{10, -20, 30});
    const LightingParams params = lightingParamsOf(camera, 5, 2, 9, 11);
    const float point[4] = {1, 2, 3, 1};
    float viewed[3] = {0, 0, 0};
    for (int r = 0; r < 3; ++r) {
        for (int k = 0; k < 4; ++k) viewed[r] += params.worldToView[r][k] * point[k];
    }
    EXPECT_EQ(viewed[0], 11.0f);
    EXPECT_EQ(viewed[1], -18.0f);
    EXPECT_EQ(viewed[2], 33.0f);
    EXPECT_EQ(params.triangleCount, 11u);
}

TEST(GpuLightingQueries, OnePerVisiblePixelInRowOrderAndAnswersLandWhereTheCpuWritesThem) {
    LitRaster frame;
    litScene(frame, 2);
    // One surface's triangles are side walls in the thickness colour: they reach the shader as 2.
    for (SurfaceTriangle& t : frame.scene.surfaces[1].mesh.triangles) t.faceCode = kFaceSideThickness;
    rasterizeLit(frame);
    FrameBufferSet set{true, true, true, true};
    FrameBuffers& buffers = frame.buffers;
    LightingInputs inputs;
    buildLightingQueries(buffers, frame.scene, inputs);
    size_t visible = 0;
    for (size_t p = 0; p < buffers.pixelCount(); ++p) visible += buffers.preparedIndex[p] >= 0 ? 1 : 0;
    ASSERT_EQ(inputs.queries.size(), visible);
    ASSERT_GT(visible, 0u);
    for (size_t i = 1; i < inputs.queryPixels.size(); ++i) ASSERT_LT(inputs.queryPixels[i - 1], inputs.queryPixels[i]);
    for (size_t i = 0; i < inputs.queries.size(); ++i) {
        const size_t p = inputs.queryPixels[i];
        const LightingQuery& q = inputs.queries[i];
        ASSERT_EQ(q.packedIdentity, static_cast<uint32_t>(buffers.surfaceIndex[p]) << 24 |
                                        static_cast<uint32_t>(buffers.triangleIndex[p]));
        ASSERT_EQ(q.flags, buffers.surfaceIndex[p] == 1 ? 2u : 0u);
        ASSERT_EQ(q.posWorld[1], buffers.visiblePixels[p].worldPosition[1]);
        ASSERT_EQ(q.base[3], buffers.visiblePixels[p].alpha);
    }

    // Answers go to their pixels; slopes only where a light was tested; side walls stay unmarked.
    FrameBuffers post = buffers;
    allocateFrameBuffers(post, set);
    std::vector<LightingResult> results(inputs.queries.size());
    for (size_t i = 0; i < results.size(); ++i) {
        results[i] =
            LightingResult{{0.25f, 0.5f, 0.75f, 1.0f}, 0.3f, 1.7f, 0.1f, 0.2f, 0.3f, static_cast<uint32_t>(i % 2)};
    }
    scatterLightingResults(inputs, results, post);
    for (size_t i = 0; i < results.size(); ++i) {
        const size_t p = inputs.queryPixels[i];
        ASSERT_EQ(post.color[4 * p + 1], 0.5);
        ASSERT_DOUBLE_EQ(post.shadowVisibility[p], 0.3f);
        ASSERT_EQ(post.filteredVisibility[p], post.shadowVisibility[p]);
        ASSERT_EQ(post.radiusField[p], 1.0);  // the hint is clamped like the CPU's
        ASSERT_EQ(post.slope[3 * p + 2], i % 2 == 1 ? 0.3f : 0.0f);
        ASSERT_EQ(post.shadowMark[p], inputs.queries[i].flags == 2u ? 0 : 1);
    }
}

}  // namespace
}  // namespace zephrin
