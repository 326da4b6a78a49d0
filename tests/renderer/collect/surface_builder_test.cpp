#include "renderer/collect/surface_builder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "common/effect_contract.h"
#include "common/host_suites.h"
#include "host/footage.h"
#include "host_fixture.h"
#include "render_log_capture.h"
#include "renderer/collect/camera.h"
#include "renderer/collect/layer_textures.h"
#include "renderer/driver/frame_driver.h"

namespace zephrin {
namespace {

using Host = testhost::TestHost;
using test::LogCapture;

// A composition of layers the tests add (3D solids of 100 x 50 unless they say otherwise) and one frame
// of it, begun once the layers are in place, with the host's renders and disposals recorded.
struct Frame {
    Host host;
    host::Composition comp;
    PR_RenderContextH rc = nullptr;

    host::Layer& add(int32_t id, host::LayerType type = host::LayerType::AV, int32_t width = 100,
                     int32_t height = 50) {
        host::Layer& layer = testhost::addLayer(comp, testhost::makeLayer(id, type, width, height));
        layer.threeD = true;
        return layer;
    }
    void begin() {
        rc = host.beginFrame(comp);
        host.recordWorldTraffic();
    }
    AEGP_LayerH layer(size_t position) { return host.layer(rc, position); }
    AEGP_RenderLayerContextH layerContext(size_t position) { return host.layerContext(rc, position); }
};

// Runs the layer loop over the frame's layers with the default camera of its composition.
void build(Frame& frame, FrameScene& scene, bool interactive = false) {
    scene.camera.compWidth = frame.comp.width;
    scene.camera.compHeight = frame.comp.height;
    setDefaultCamera(scene.camera);
    PR_InData inData = frame.host.inData();
    buildSurfaces(&inData, scene, frame.rc, frame.host.frame(frame.rc).time, interactive);
}

void giveBack(Frame& frame, FrameScene& scene) {
    HostSuites suites(frame.host.basic());
    disposeSceneTextures(suites, frame.rc, scene);
    const host::HandleAccounting counts = frame.host.accounting();
    EXPECT_EQ(counts.worldsReturned, counts.worldsLent);
    EXPECT_EQ(counts.badHandles, 0);
}

bool allEffectHandlesReturned(const host::HandleAccounting& counts) {
    return counts.effectsLent == counts.effectsReturned && counts.streamsLent == counts.streamsReturned &&
           counts.streamValuesLent == counts.streamValuesReturned;
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
    Frame frame;
    frame.add(1);
    frame.add(2).threeD = false;
    frame.add(3, host::LayerType::Null);
    frame.add(4).adjustment = true;
    frame.add(5).guide = true;
    frame.add(6, host::LayerType::Camera);
    frame.add(7).videoOn = false;
    frame.add(8);
    frame.add(9).transform.position.value = {0.0, 0.0, 400.0};
    frame.begin();
    frame.host.failLayerCall(8, Host::LayerCall::RenderLayerToWorld);
    frame.host.failLayerCall(8, Host::LayerCall::LayerToWorld);
    frame.host.failLayerCall(9, Host::LayerCall::RenderLayerToWorld);

    FrameScene scene;
    build(frame, scene);
    ASSERT_EQ(scene.surfaces.size(), 2u);
    EXPECT_EQ(scene.surfaces[0].layer, frame.layer(0));
    EXPECT_EQ(scene.surfaces[0].layerContext, frame.layerContext(0));
    EXPECT_EQ(scene.surfaces[1].layer, frame.layer(8));
    EXPECT_EQ(scene.surfaces[1].mesh.vertices[0].worldPosition.z, 400.0);
    std::vector<std::string> expected = {"render:1", "render:9"};
    EXPECT_EQ(frame.host.events, expected);
    for (const SceneSurface& s : scene.surfaces) {
        EXPECT_EQ(s.kind, kSurfaceFlat);
        EXPECT_EQ(s.controls.frontLayerId, frame.comp.layers[s.layer == frame.layer(0) ? 0 : 8].id);
    }
    giveBack(frame, scene);
    const host::HandleAccounting counts = frame.host.accounting();
    EXPECT_EQ(counts.suitesAcquired, counts.suitesReleased);
}

TEST(BuildSurfaces, LayerListedTwiceYieldsOneSurface) {
    LogCapture logs;
    Frame frame;
    frame.add(5);
    frame.begin();
    // A host that lists the same layer context twice.
    std::vector<uintptr_t>& listed = frame.host.frame(frame.rc).layerContexts;
    listed.push_back(listed[0]);
    FrameScene scene;
    build(frame, scene);
    EXPECT_EQ(scene.surfaces.size(), 1u);
    std::vector<std::string> expected = {"RendererV2Mesh: skipDuplicate layer=1 id=5"};
    EXPECT_EQ(logs.renderLines("RendererV2Mesh: skipDuplicate"), expected);
    giveBack(frame, scene);
}

TEST(BuildSurfaces, ReadsLayerOptionsOpacityAndMaterial) {
    Frame frame;
    host::Material& material = frame.add(5).material;
    material.castsShadows = host::CastsShadows::Only;
    material.acceptsShadows = false;
    material.acceptsLights = false;
    material.lightTransmission.value = 50.0;
    material.ambient.value = 80.0;
    material.specularIntensity.value = 900.0;
    frame.comp.layers[0].transform.opacity.value = 50.0;
    // An opacity the host cannot tell counts as fully opaque, whatever the layer holds.
    frame.add(6).transform.opacity.value = 30.0;
    frame.begin();
    frame.host.failLayerCall(6, Host::LayerCall::RenderOpacity);

    FrameScene scene;
    build(frame, scene);
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
    giveBack(frame, scene);
}

TEST(BuildSurfaces, LayerWithoutSourceUsesItsContentBoundsThenTheComposition) {
    Frame frame;
    frame.comp.width = 640;
    frame.comp.height = 360;
    frame.add(5, host::LayerType::AV, 0, 0);
    frame.add(6, host::LayerType::AV, 0, 0);
    frame.begin();
    frame.host.setMaskedBounds(5, A_FloatRect{10.0, 20.0, 110.0, 70.0});
    frame.host.setMaskedBounds(6, A_FloatRect{0.0, 0.0, 1.0, 500.0});

    FrameScene scene;
    build(frame, scene, true);
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
    giveBack(frame, scene);
}

TEST(BuildSurfaces, MeshSitsInCameraSpaceThroughTheView) {
    Frame frame;
    frame.add(5).transform.position.value = {960.0, 540.0, 0.0};
    frame.begin();
    FrameScene scene;
    build(frame, scene);
    ASSERT_EQ(scene.surfaces.size(), 1u);
    const SurfaceVertex& corner = scene.surfaces[0].mesh.vertices.front();
    EXPECT_NEAR(corner.cameraPosition.x, 0.0, 1e-9);
    EXPECT_NEAR(corner.cameraPosition.y, 0.0, 1e-9);
    EXPECT_NEAR(corner.cameraPosition.z, scene.camera.focal, 1e-9);
    EXPECT_NEAR(corner.cameraNormal.z, 1.0, 1e-12);
    giveBack(frame, scene);
}

// An image source of 16 bits per channel, so the host renders the layer into a 16-bit world.
std::shared_ptr<host::Footage> sixteenBitImage(int32_t width, int32_t height) {
    auto footage = std::make_shared<host::Footage>();
    footage->key = "deep";
    footage->kind = host::FootageKind::Image;
    footage->width = width;
    footage->height = height;
    footage->bitsPerChannel = 16;
    footage->pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 1.0f);
    return footage;
}

TEST(BuildSurfaces, FrontTextureIsTheLayerItselfWithPixelAccess) {
    Frame frame;
    frame.add(5);
    frame.add(6).source = sixteenBitImage(100, 50);
    frame.add(7);
    frame.begin();
    frame.host.failLayerCall(7, Host::LayerCall::RenderLayer, A_Err_ALLOC);

    FrameScene scene;
    build(frame, scene);
    ASSERT_EQ(scene.surfaces.size(), 3u);
    ASSERT_EQ(frame.host.renders.size(), 2u);
    const SurfaceTexture& eight = scene.surfaces[0].frontTexture;
    ASSERT_NE(eight.world, nullptr);
    EXPECT_FALSE(eight.ownedWorld);
    EXPECT_TRUE(eight.alphaSource);
    EXPECT_EQ(eight.renderedContext, frame.layerContext(0));
    EXPECT_EQ(eight.worldType, AEGP_WorldType_8);
    EXPECT_EQ(eight.width, 100);
    EXPECT_EQ(eight.height, 50);
    EXPECT_EQ(eight.rowBytes, 100 * 4 + static_cast<int32_t>(host::kWorldRowPadding));
    EXPECT_EQ(eight.baseAddress, frame.host.world(frame.host.renders[0].world).bytes.data());
    EXPECT_EQ(frame.host.renders[0].hints, AEGP_RenderHints_NONE);

    const SurfaceTexture& sixteen = scene.surfaces[1].frontTexture;
    EXPECT_EQ(sixteen.worldType, AEGP_WorldType_16);
    EXPECT_EQ(sixteen.rowBytes, 100 * 8 + static_cast<int32_t>(host::kWorldRowPadding));

    const SurfaceTexture& refused = scene.surfaces[2].frontTexture;
    EXPECT_EQ(refused.world, nullptr);
    EXPECT_FALSE(refused.hasPixels());
    EXPECT_EQ(scene.surfaces[2].mesh.triangles.size(), 48u);
    giveBack(frame, scene);
}

TEST(LayerTextures, StrideShorterThanARowLeavesNoPixelAccess) {
    Host host;
    const AEGP_WorldH world = host.addWorld(AEGP_WorldType_32, 10, 4);
    // A world whose stated stride is shorter than its rows, as a faulty host could report it.
    host.world(world).rowBytes = 10 * 16 - 1;
    HostSuites suites(host.basic());
    SurfaceTexture texture;
    texture.world = world;
    EXPECT_FALSE(readTexturePixelAccess(suites, texture));
    EXPECT_FALSE(texture.hasPixels());
    EXPECT_EQ(texture.world, world) << "the world is still there to give back";

    host.world(world).rowBytes = 10 * 16;
    EXPECT_TRUE(readTexturePixelAccess(suites, texture));
    EXPECT_EQ(texture.rowBytes, 160);

    // A host that answers without pixels.
    host.replaceSuite<AEGP_WorldSuite3>(kAEGPWorldSuite, kAEGPWorldSuiteVersion3).AEGP_GetBaseAddr32 =
        [](AEGP_WorldH, PF_PixelFloat** base) -> A_Err {
        *base = nullptr;
        return A_Err_NONE;
    };
    HostSuites later(host.basic());
    EXPECT_FALSE(readTexturePixelAccess(later, texture));
    EXPECT_EQ(texture.baseAddress, nullptr);
}

TEST(LayerTextures, FrontLayerNamedByIdIsLookedUpAmongTheRenderedLayers) {
    Frame frame;
    frame.add(5);
    frame.add(9);
    frame.begin();
    Host& host = frame.host;
    HostSuites suites(host.basic());
    BendControls controls = defaultBendControls(5);
    controls.frontLayerId = 9;

    SurfaceTexture other =
        renderFrontTexture(suites, frame.rc, frame.layer(0), frame.layerContext(0), 5, controls, true);
    ASSERT_NE(other.world, nullptr);
    EXPECT_EQ(other.renderedContext, frame.layerContext(1));
    ASSERT_EQ(host.renders.size(), 1u);
    EXPECT_EQ(host.renders[0].layerId, 9);
    EXPECT_EQ(host.renders[0].hints, AEGP_RenderHints_NONE) << "another layer renders with all its effects";
    disposeTexture(suites, frame.rc, other);

    // The layer itself, with its controls read from the bend effect, leaves its own effects out.
    SurfaceTexture own =
        renderFrontTexture(suites, frame.rc, frame.layer(0), frame.layerContext(0), 5, defaultBendControls(5), true);
    ASSERT_EQ(host.renders.size(), 2u);
    EXPECT_EQ(host.renders[1].hints, AEGP_RenderHints_NO_EFFECTS);
    disposeTexture(suites, frame.rc, own);

    controls.frontLayerId = 42;
    EXPECT_EQ(renderFrontTexture(suites, frame.rc, frame.layer(0), frame.layerContext(0), 5, controls, false).world,
              nullptr);
    EXPECT_EQ(renderFrontTexture(suites, frame.rc, frame.layer(0), frame.layerContext(0), 0, defaultBendControls(0),
                                 false)
                  .world,
              nullptr);
    const host::HandleAccounting counts = host.accounting();
    EXPECT_EQ(counts.worldsLent, 2);
    EXPECT_EQ(counts.worldsReturned, 2);
}

TEST(BuildSurfaces, LogsOneLinePerSurfaceAndTheLoopTimes) {
    LogCapture logs;
    Frame frame;
    frame.add(5);
    frame.begin();
    FrameScene scene;
    build(frame, scene);
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
    giveBack(frame, scene);
}

// The streams of a bend effect with four written points, a bend and thickness; the rest hold nothing
// readable, so the renderer keeps its defaults for them.
std::vector<host::EffectStream> bendEffect(int32_t backLayerId = 0) {
    std::vector<host::EffectStream> streams(param::kCount);
    const double xs[4] = {-50, -17, 17, 50};
    for (int i = 0; i < 4; ++i) {
        streams[param::kFirstPoint + i] = testhost::pointStream(xs[i], i == 1 ? 20.0 : 0.0, 0.0);
        streams[param::kFirstRotation + i] = testhost::pointStream(0.0, 0.0, 0.0);
    }
    streams[param::kThickness] = testhost::numberStream(200);
    streams[param::kSubdivisionX] = testhost::numberStream(16);
    streams[param::kSubdivisionY] = testhost::numberStream(2);
    if (backLayerId != 0) streams[param::kBackLayer] = testhost::layerIdStream(backLayerId);
    return streams;
}

TEST(BuildSurfaces, LayerWithTheActiveEffectIsABentSlabEvenWhenTwoD) {
    LogCapture logs;
    Frame frame;
    frame.add(5).threeD = false;
    frame.add(6).threeD = false;
    frame.begin();
    testhost::addEffect(frame.host.state, frame.comp, 0, kBendEffectMatchName, bendEffect());
    testhost::addEffect(frame.host.state, frame.comp, 1, kBendEffectMatchName, bendEffect()).active = false;

    FrameScene scene;
    build(frame, scene);
    ASSERT_EQ(scene.surfaces.size(), 1u);
    const SceneSurface& surface = scene.surfaces[0];
    EXPECT_EQ(surface.kind, kSurfaceBent);
    EXPECT_EQ(surface.controls.thickness, 200.0);
    EXPECT_EQ(surface.mesh.vertices.size(), 2u * 17u * 3u);
    ASSERT_EQ(frame.host.renders.size(), 1u);
    EXPECT_EQ(frame.host.renders[0].hints, AEGP_RenderHints_NO_EFFECTS) << "the effect's pass-through is not the texture";
    EXPECT_EQ(logs.renderLines("RendererV2Mesh: layer=0 kind=1 verts=102 tris=").size(), 1u);
    EXPECT_EQ(logs.renderLines("RendererV2Mesh: controls count=4 ").size(), 1u);
    EXPECT_TRUE(allEffectHandlesReturned(frame.host.accounting()));
    giveBack(frame, scene);
}

TEST(BuildSurfaces, LayerWhoseMeshComesOutEmptyGivesItsTexturesBackAtOnce) {
    Frame frame;
    frame.add(5);
    frame.begin();
    // No motion slides none of the curve in: the slab has no cells, so the layer becomes no surface.
    std::vector<host::EffectStream> streams = bendEffect();
    streams[param::kFreeMotion] = testhost::numberStream(0);
    streams[param::kAnimation] = testhost::numberStream(0);
    testhost::addEffect(frame.host.state, frame.comp, 0, kBendEffectMatchName, streams);

    FrameScene scene;
    build(frame, scene);
    EXPECT_TRUE(scene.surfaces.empty());
    const host::HandleAccounting counts = frame.host.accounting();
    EXPECT_GE(counts.worldsLent, 1);
    EXPECT_EQ(counts.worldsReturned, counts.worldsLent);
    EXPECT_EQ(counts.badHandles, 0);
}

TEST(BuildSurfaces, BackLayerIsRenderedWithItsEffectsAndFitted) {
    LogCapture logs;
    Frame frame;
    frame.add(5);
    frame.add(8, host::LayerType::AV, 40, 20).threeD = false;
    frame.begin();
    testhost::addEffect(frame.host.state, frame.comp, 0, kBendEffectMatchName, bendEffect(8));
    FrameScene scene;
    build(frame, scene);
    ASSERT_EQ(scene.surfaces.size(), 1u);
    const SurfaceTexture& texture = scene.surfaces[0].backTexture;
    ASSERT_TRUE(texture.hasPixels());
    EXPECT_EQ(frame.host.events, (std::vector<std::string>{"render:5", "render:8"}));
    ASSERT_EQ(frame.host.renders.size(), 2u);
    EXPECT_EQ(frame.host.renders[1].hints, AEGP_RenderHints_NONE);
    EXPECT_EQ(logs.renderLines("RendererV2BackFit:"),
              std::vector<std::string>{"RendererV2BackFit: layerPlus content=[0,0,39,19] texture=40x20"});
    giveBack(frame, scene);
}

}  // namespace
}  // namespace zephrin
