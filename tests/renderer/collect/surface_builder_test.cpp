#include "renderer/collect/surface_builder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "../driver/fake_host.h"
#include "common/effect_contract.h"
#include "renderer/driver/frame_driver.h"
#include "renderer/collect/layer_textures.h"
#include "renderer/collect/camera.h"

namespace zephrin {
namespace {

using fakehost::Host;
using fakehost::LogCapture;

// Runs the layer loop over the fake host's layers with the default camera of its composition.
void build(Host& host, FrameScene& scene, bool interactive = false) {
    scene.camera.compWidth = host.compWidth;
    scene.camera.compHeight = host.compHeight;
    setDefaultCamera(scene.camera);
    PR_InData inData = host.inData();
    buildSurfaces(&inData, scene, host.renderContext(), host.time, interactive);
}

void giveBack(Host& host, FrameScene& scene) {
    HostSuites suites(host.basicSuite());
    disposeSceneTextures(suites, host.renderContext(), scene);
    EXPECT_EQ(host.worldsReturned(), host.worldsLent());
    EXPECT_EQ(host.badHandles, 0);
}

TEST(CastsShadowsOption, OffOnAndOnly) {
    auto check = [](double value, bool casts, bool only, bool renders) {
        ShadowCasting c = decodeCastsShadows(value);
        EXPECT_EQ(c.castsShadows, casts) << value;
        EXPECT_EQ(c.shadowOnly, only) << value;
        EXPECT_EQ(c.renders, renders) << value;
    };
    check(0.0, false, false, true);
    check(0.4, false, false, true);
    check(1.0, true, false, true);
    check(2.0, true, true, false);
    check(1.6, true, true, false);
    check(-3.0, true, false, true);
    check(1e300, true, true, false);
    check(std::numeric_limits<double>::quiet_NaN(), false, false, true);
}

TEST(LayerOpacity, PercentOrFractionWithinZeroToOne) {
    EXPECT_DOUBLE_EQ(layerOpacity(50.0), 0.5);
    EXPECT_DOUBLE_EQ(layerOpacity(100.0), 1.0);
    EXPECT_DOUBLE_EQ(layerOpacity(0.3), 0.3);
    EXPECT_DOUBLE_EQ(layerOpacity(1.2), 1.0);
    EXPECT_DOUBLE_EQ(layerOpacity(250.0), 1.0);
    EXPECT_DOUBLE_EQ(layerOpacity(-5.0), 0.0);
    EXPECT_DOUBLE_EQ(layerOpacity(std::numeric_limits<double>::quiet_NaN()), 1.0);
}

TEST(BuildSurfaces, OnlyVisibleThreeDVideoLayersWithAPlacementBecomeSurfaces) {
    Host host;
    host.addLayer(1);
    host.addLayer(2).threeD = false;
    host.addLayer(3).flags |= AEGP_LayerFlag_NULL_LAYER;
    host.addLayer(4).flags |= AEGP_LayerFlag_ADJUSTMENT_LAYER;
    host.addLayer(5).flags |= AEGP_LayerFlag_GUIDE_LAYER;
    host.addLayer(6).objectType = AEGP_ObjectType_CAMERA;
    host.addLayer(7).videoActive = false;
    fakehost::Layer& unplaced = host.addLayer(8);
    unplaced.renderLayerToWorldFails = true;
    unplaced.layerToWorldFails = true;
    fakehost::Layer& fallback = host.addLayer(9);
    fallback.renderLayerToWorldFails = true;
    fallback.layerToWorld = translationMatrix(Vec3{0.0, 0.0, 400.0});

    FrameScene scene;
    build(host, scene);
    ASSERT_EQ(scene.surfaces.size(), 2u);
    EXPECT_EQ(scene.surfaces[0].layer, host.layerHandle(0));
    EXPECT_EQ(scene.surfaces[0].layerContext, host.layerContextHandle(0));
    EXPECT_EQ(scene.surfaces[1].layer, host.layerHandle(8));
    EXPECT_EQ(scene.surfaces[1].mesh.vertices[0].worldPosition.z, 400.0);
    std::vector<std::string> expected = {"render:1", "render:9"};
    EXPECT_EQ(host.events, expected);
    for (const SceneSurface& s : scene.surfaces) {
        EXPECT_EQ(s.kind, kSurfaceFlat);
        EXPECT_EQ(s.controls.frontLayerId, host.layers[s.layer == host.layerHandle(0) ? 0 : 8].id);
    }
    giveBack(host, scene);
    EXPECT_EQ(host.suitesAcquired, host.suitesReleased);
}

TEST(BuildSurfaces, LayerListedTwiceYieldsOneSurface) {
    LogCapture logs;
    Host host;
    host.addLayer(5);
    host.renderList.push_back(0);
    FrameScene scene;
    build(host, scene);
    EXPECT_EQ(scene.surfaces.size(), 1u);
    std::vector<std::string> expected = {"RendererV2Mesh: skipDuplicate layer=1 id=5"};
    EXPECT_EQ(logs.renderLines("RendererV2Mesh: skipDuplicate"), expected);
    giveBack(host, scene);
}

TEST(BuildSurfaces, ReadsLayerOptionsOpacityAndMaterial) {
    Host host;
    fakehost::Layer& only = host.addLayer(5);
    only.numbers = {{AEGP_LayerStream_CASTS_SHADOWS, 2.0},  {AEGP_LayerStream_ACCEPTS_SHADOWS, 0.0},
                    {AEGP_LayerStream_ACCEPTS_LIGHTS, 0.0}, {AEGP_LayerStream_LIGHT_TRANSMISSION, 50.0},
                    {AEGP_LayerStream_AMBIENT_COEFF, 80.0}, {AEGP_LayerStream_SPECULAR_INTENSITY, 900.0}};
    only.opacity = 50.0;
    host.addLayer(6).opacityFails = true;

    FrameScene scene;
    build(host, scene);
    ASSERT_EQ(scene.surfaces.size(), 2u);
    const SceneSurface& first = scene.surfaces[0];
    EXPECT_TRUE(first.castsShadows);
    EXPECT_TRUE(first.shadowOnly);
    EXPECT_FALSE(first.renders);
    EXPECT_FALSE(first.acceptsShadows);
    EXPECT_FALSE(first.acceptsLights);
    EXPECT_DOUBLE_EQ(first.lightTransmission, 0.5);
    EXPECT_DOUBLE_EQ(first.opacity, 0.5);
    EXPECT_DOUBLE_EQ(first.material.ambient, 0.8);
    EXPECT_DOUBLE_EQ(first.material.specular, 8.0);

    const SceneSurface& second = scene.surfaces[1];
    EXPECT_FALSE(second.castsShadows);
    EXPECT_TRUE(second.renders);
    EXPECT_TRUE(second.acceptsShadows);
    EXPECT_TRUE(second.acceptsLights);
    EXPECT_DOUBLE_EQ(second.lightTransmission, 0.0);
    EXPECT_DOUBLE_EQ(second.opacity, 1.0);
    giveBack(host, scene);
}

TEST(BuildSurfaces, LayerWithoutSourceUsesItsContentBoundsThenTheComposition) {
    Host host;
    fakehost::Layer& bounded = host.addLayer(5);
    bounded.sourceWidth = bounded.sourceHeight = 0;
    bounded.hasMaskedBounds = true;
    bounded.maskedBounds = A_FloatRect{10.0, 20.0, 110.0, 70.0};
    fakehost::Layer& sliver = host.addLayer(6);
    sliver.sourceWidth = sliver.sourceHeight = 0;
    sliver.hasMaskedBounds = true;
    sliver.maskedBounds = A_FloatRect{0.0, 0.0, 1.0, 500.0};
    host.compWidth = 640;
    host.compHeight = 360;

    FrameScene scene;
    build(host, scene, true);
    ASSERT_EQ(scene.surfaces.size(), 2u);
    const SceneSurface& first = scene.surfaces[0];
    EXPECT_TRUE(first.hasLayerBounds);
    EXPECT_EQ(first.layerWidth, 100);
    EXPECT_EQ(first.layerHeight, 50);
    EXPECT_EQ(first.layerBounds[2], 110.0);
    EXPECT_EQ(first.mesh.vertices.front().objectPosition.x, 10.0);
    EXPECT_EQ(first.mesh.vertices.front().objectPosition.y, 20.0);
    EXPECT_EQ(first.mesh.vertices.back().objectPosition.x, 110.0);
    EXPECT_EQ(first.mesh.vertices.back().objectPosition.y, 70.0);

    const SceneSurface& second = scene.surfaces[1];
    EXPECT_FALSE(second.hasLayerBounds);
    EXPECT_EQ(second.layerWidth, 640);
    EXPECT_EQ(second.layerHeight, 360);
    EXPECT_EQ(second.mesh.vertices.front().objectPosition.x, 0.0);
    giveBack(host, scene);
}

TEST(BuildSurfaces, MeshSitsInCameraSpaceThroughTheView) {
    Host host;
    host.addLayer(5).layerToWorld = translationMatrix(Vec3{960.0, 540.0, 0.0});
    FrameScene scene;
    build(host, scene);
    ASSERT_EQ(scene.surfaces.size(), 1u);
    const SurfaceVertex& corner = scene.surfaces[0].mesh.vertices.front();
    EXPECT_NEAR(corner.cameraPosition.x, 0.0, 1e-9);
    EXPECT_NEAR(corner.cameraPosition.y, 0.0, 1e-9);
    EXPECT_NEAR(corner.cameraPosition.z, scene.camera.focal, 1e-9);
    EXPECT_NEAR(corner.cameraNormal.z, 1.0, 1e-12);
    giveBack(host, scene);
}

TEST(BuildSurfaces, FrontTextureIsTheLayerItselfWithPixelAccess) {
    Host host;
    host.addLayer(5);
    host.addLayer(6).textureType = AEGP_WorldType_16;
    host.addLayer(7).renderError = A_Err_ALLOC;

    FrameScene scene;
    build(host, scene);
    ASSERT_EQ(scene.surfaces.size(), 3u);
    const SurfaceTexture& eight = scene.surfaces[0].frontTexture;
    ASSERT_NE(eight.world, nullptr);
    EXPECT_FALSE(eight.ownedWorld);
    EXPECT_TRUE(eight.alphaSource);
    EXPECT_EQ(eight.renderedContext, host.layerContextHandle(0));
    EXPECT_EQ(eight.worldType, AEGP_WorldType_8);
    EXPECT_EQ(eight.width, 100);
    EXPECT_EQ(eight.height, 50);
    EXPECT_EQ(eight.rowBytes, 100 * 4 + 24);
    EXPECT_EQ(eight.baseAddress, host.worlds[1].bytes.data());
    EXPECT_EQ(host.worlds[1].hints, AEGP_RenderHints_NONE);

    const SurfaceTexture& sixteen = scene.surfaces[1].frontTexture;
    EXPECT_EQ(sixteen.worldType, AEGP_WorldType_16);
    EXPECT_EQ(sixteen.rowBytes, 100 * 8 + 24);

    const SurfaceTexture& refused = scene.surfaces[2].frontTexture;
    EXPECT_EQ(refused.world, nullptr);
    EXPECT_FALSE(refused.hasPixels());
    EXPECT_EQ(scene.surfaces[2].mesh.triangles.size(), 48u);
    giveBack(host, scene);
}

TEST(LayerTextures, StrideShorterThanARowLeavesNoPixelAccess) {
    Host host;
    size_t index = host.addWorld(AEGP_WorldType_32, 10, 4);
    host.worlds[index].rowBytesOverride = 10 * 16 - 1;
    HostSuites suites(host.basicSuite());
    SurfaceTexture texture;
    texture.world = host.worldHandle(index);
    EXPECT_FALSE(readTexturePixelAccess(suites, texture));
    EXPECT_FALSE(texture.hasPixels());
    EXPECT_EQ(texture.world, host.worldHandle(index)) << "the world is still there to give back";

    host.worlds[index].rowBytesOverride = 10 * 16;
    EXPECT_TRUE(readTexturePixelAccess(suites, texture));
    EXPECT_EQ(texture.rowBytes, 160);

    host.worlds[index].baseAddressMissing = true;
    EXPECT_FALSE(readTexturePixelAccess(suites, texture));
    EXPECT_EQ(texture.baseAddress, nullptr);
}

TEST(LayerTextures, FrontLayerNamedByIdIsLookedUpAmongTheRenderedLayers) {
    Host host;
    host.addLayer(5);
    host.addLayer(9);
    HostSuites suites(host.basicSuite());
    BendControls controls = defaultBendControls(5);
    controls.frontLayerId = 9;

    SurfaceTexture other = renderFrontTexture(suites, host.renderContext(), host.layerHandle(0),
                                              host.layerContextHandle(0), 5, controls, true);
    ASSERT_NE(other.world, nullptr);
    EXPECT_EQ(other.renderedContext, host.layerContextHandle(1));
    EXPECT_EQ(host.worlds[1].renderedLayerId, 9);
    EXPECT_EQ(host.worlds[1].hints, AEGP_RenderHints_NONE) << "another layer renders with all its effects";
    disposeTexture(suites, host.renderContext(), other);

    // The layer itself, with its controls read from the bend effect, leaves its own effects out.
    SurfaceTexture own = renderFrontTexture(suites, host.renderContext(), host.layerHandle(0),
                                            host.layerContextHandle(0), 5, defaultBendControls(5), true);
    EXPECT_EQ(host.worlds[2].hints, AEGP_RenderHints_NO_EFFECTS);
    disposeTexture(suites, host.renderContext(), own);

    controls.frontLayerId = 42;
    EXPECT_EQ(renderFrontTexture(suites, host.renderContext(), host.layerHandle(0), host.layerContextHandle(0), 5,
                                 controls, false)
                  .world,
              nullptr);
    EXPECT_EQ(renderFrontTexture(suites, host.renderContext(), host.layerHandle(0), host.layerContextHandle(0), 0,
                                 defaultBendControls(0), false)
                  .world,
              nullptr);
    EXPECT_EQ(host.worldsLent(), 2);
    EXPECT_EQ(host.worldsReturned(), 2);
}

TEST(BuildSurfaces, LogsOneLinePerSurfaceAndTheLoopTimes) {
    LogCapture logs;
    Host host;
    host.addLayer(5);
    FrameScene scene;
    build(host, scene);
    std::vector<std::string> expected = {
        "RendererV2Mesh: layer=0 kind=0 verts=35 tris=48 casts=0 shadowOnly=0 visible=1 accepts=1 acceptsLights=1 "
        "shadowMode=1 shadowQuality=2 shadowSoftness=55 thickness=1"};
    EXPECT_EQ(logs.renderLines("RendererV2Mesh:"), expected);
    std::vector<std::string> times = logs.renderLines("RendererV2BuildSurfaces: surfaces=1 ms=(settings:");
    ASSERT_EQ(times.size(), 1u);
    EXPECT_NE(times[0].find(",texture:"), std::string::npos);
    EXPECT_NE(times[0].find(",store:"), std::string::npos);
    EXPECT_NE(times[0].find(",other:"), std::string::npos);
    EXPECT_EQ(times[0].back(), ')');
    giveBack(host, scene);
}

// A bend effect with four written points, a bend and thickness.
fakehost::Effect bendEffect() {
    fakehost::Effect effect;
    const double xs[4] = {-50, -17, 17, 50};
    for (int i = 0; i < 4; ++i) {
        effect.point(param::kFirstPoint + i, xs[i], i == 1 ? 20.0 : 0.0, 0.0);
        effect.point(param::kFirstRotation + i, 0.0, 0.0, 0.0);
    }
    effect.number(param::kThickness, 200).number(param::kSubdivisionX, 16).number(param::kSubdivisionY, 2);
    return effect;
}

TEST(BuildSurfaces, LayerWithTheActiveEffectIsABentSlabEvenWhenTwoD) {
    LogCapture logs;
    Host host;
    auto& bent = host.addLayer(5);
    bent.threeD = false;
    bent.effects.push_back(bendEffect());
    auto& off = host.addLayer(6);
    off.threeD = false;
    off.effects.push_back(bendEffect());
    off.effects.back().flags = AEGP_EffectFlags_NONE;

    FrameScene scene;
    build(host, scene);
    ASSERT_EQ(scene.surfaces.size(), 1u);
    const SceneSurface& surface = scene.surfaces[0];
    EXPECT_EQ(surface.kind, kSurfaceBent);
    EXPECT_EQ(surface.controls.thickness, 200.0);
    EXPECT_EQ(surface.mesh.vertices.size(), 2u * 17u * 3u);
    EXPECT_EQ(host.worlds[1].hints, AEGP_RenderHints_NO_EFFECTS) << "the effect's pass-through is not the texture";
    EXPECT_EQ(logs.renderLines("RendererV2Mesh: layer=0 kind=1 verts=102 tris=").size(), 1u);
    EXPECT_EQ(logs.renderLines("RendererV2Mesh: controls count=4 ").size(), 1u);
    EXPECT_TRUE(host.allEffectHandlesReturned());
    giveBack(host, scene);
}

TEST(BuildSurfaces, LayerWhoseMeshComesOutEmptyGivesItsTexturesBackAtOnce) {
    Host host;
    auto& bent = host.addLayer(5);
    // No motion slides none of the curve in: the slab has no cells, so the layer becomes no surface.
    bent.effects.push_back(bendEffect().number(param::kFreeMotion, 0).number(param::kAnimation, 0));

    FrameScene scene;
    build(host, scene);
    EXPECT_TRUE(scene.surfaces.empty());
    EXPECT_GE(host.worldsLent(), 1);
    EXPECT_EQ(host.worldsReturned(), host.worldsLent());
    EXPECT_EQ(host.badHandles, 0);
}

TEST(BuildSurfaces, BackLayerIsRenderedWithItsEffectsAndFitted) {
    LogCapture logs;
    Host host;
    host.addLayer(5).effects.push_back(bendEffect().layerId(param::kBackLayer, 8));
    auto& back = host.addLayer(8);
    back.threeD = false;
    back.sourceWidth = 40;
    back.sourceHeight = 20;
    FrameScene scene;
    build(host, scene);
    ASSERT_EQ(scene.surfaces.size(), 1u);
    const SurfaceTexture& texture = scene.surfaces[0].backTexture;
    ASSERT_TRUE(texture.hasPixels());
    EXPECT_EQ(host.events, (std::vector<std::string>{"render:5", "render:8"}));
    EXPECT_EQ(host.worlds[2].hints, AEGP_RenderHints_NONE);
    EXPECT_EQ(logs.renderLines("RendererV2BackFit:"),
              std::vector<std::string>{"RendererV2BackFit: layerPlus content=[0,0,39,19] texture=40x20"});
    giveBack(host, scene);
}

}  // namespace
}  // namespace zephrin
