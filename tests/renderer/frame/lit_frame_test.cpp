// Whole frames with lights through paint: both raster paths, shadows, bad lights.
#include <gtest/gtest.h>

#include "render_log_capture.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <string>
#include <utility>

#include "host_fixture.h"
#include "renderer/frame/frame_renderer.h"

namespace zephrin {
namespace {
using test::RenderLog;
using host::HostWorld;
using testhost::pixelAt;

constexpr int32_t kSize = 48;
constexpr double kDepth = 100.0;

// A square of `half` pixels around the view axis at depth z (world = camera space), two triangles
// whose winding and normals face the camera, or face away from it.
SceneSurface square(double half, double z, int32_t kind, bool facesCamera = true) {
    SceneSurface s;
    s.kind = kind;
    s.controls.frontColor = packColor(255, 200, 180, 160);
    const double corners[4][2] = {{-half, -half}, {half, -half}, {half, half}, {-half, half}};
    for (const auto& c : corners) {
        SurfaceVertex v;
        v.cameraPosition = v.worldPosition = v.objectPosition = Vec3{c[0], c[1], z};
        v.cameraNormal = v.worldNormal = Vec3{0.0, 0.0, facesCamera ? -1.0 : 1.0};
        v.u = c[0] > 0 ? 1.0 : 0.0;
        v.v = c[1] > 0 ? 1.0 : 0.0;
        s.mesh.vertices.push_back(v);
    }
    if (facesCamera) {
        s.mesh.triangles.push_back(SurfaceTriangle{0, 2, 1, kFaceFront, 0});
        s.mesh.triangles.push_back(SurfaceTriangle{0, 3, 2, kFaceFront, 0});
    } else {
        s.mesh.triangles.push_back(SurfaceTriangle{0, 1, 2, kFaceFront, 0});
        s.mesh.triangles.push_back(SurfaceTriangle{0, 2, 3, kFaceFront, 0});
    }
    return s;
}

FrameScene sceneWithCamera() {
    FrameScene scene;
    scene.camera.compWidth = scene.camera.destWidth = kSize;
    scene.camera.compHeight = scene.camera.destHeight = kSize;
    scene.camera.focal = kDepth;
    scene.camera.view = translationMatrix(Vec3{kSize * -0.5, kSize * -0.5, 0.0});
    return scene;
}

// A floor square at depth 100 and a smaller caster in front of it, lit from the camera side by a spot
// light that casts soft shadows; a point light fills in.
FrameScene shadowScene() {
    FrameScene scene = sceneWithCamera();
    scene.camera.view = identityMatrix();
    scene.surfaces.push_back(square(40.0, kDepth, kSurfaceFlat));
    scene.surfaces.push_back(square(8.0, 80.0, kSurfaceBent));
    scene.surfaces[1].castsShadows = true;
    SceneLight spot;
    spot.type = kLightSpot;
    spot.positionWorld = spot.positionCamera = Vec3{10.0, -6.0, 0.0};
    spot.directionWorld = spot.directionCamera = normalizeOr(Vec3{-10.0, 6.0, 100.0}, Vec3{});
    spot.intensity = 0.02;
    spot.coneAngle = 120.0;
    spot.coneFeather = 40.0;
    spot.castsShadows = true;
    spot.shadowDiffusion = 30.0;
    scene.lights.push_back(spot);
    SceneLight fill;
    fill.type = kLightPoint;
    fill.intensity = 0.01;
    fill.positionWorld = fill.positionCamera = Vec3{-30.0, 0.0, 20.0};
    scene.lights.push_back(fill);
    return scene;
}

HostWorld paintScene(const FrameScene& scene, AEGP_WorldType type = AEGP_WorldType_32) {
    testhost::TestHost host;
    AEGP_WorldH world = host.addWorld(type, kSize, kSize);
    const PR_InData in = host.inData();
    EXPECT_TRUE(paint(&in, world, scene));
    return host.world(world);
}


TEST(LitFrame, BothRasterPathsGiveTheSameShadowedColours) {
    FrameScene scene = shadowScene();
    // Only deferred shading feeds the soft-shadow post; compare the hard shadows both paths shade.
    scene.lights[0].shadowDiffusion = 0.0;
    HostWorld tile = paintScene(scene);
    scene.settings.downsampleX = 1;
    scene.settings.downsampleY = 2;  // the per-row path
    HostWorld perRow = paintScene(scene);
    EXPECT_EQ(tile.bytes, perRow.bytes);

    // The caster's shadow darkens the floor behind it, away from the light.
    const PF_PixelFloat& shadowed = pixelAt<PF_PixelFloat>(tile, 13, 33);
    const PF_PixelFloat& lit = pixelAt<PF_PixelFloat>(tile, 36, 14);
    EXPECT_LT(shadowed.red, lit.red);
}

TEST(LitFrame, PlainLayersAreLitOnBothSidesAndBentSurfacesAreNot) {
    auto centreRed = [](int32_t kind, bool facesCamera) {
        FrameScene scene = sceneWithCamera();
        scene.camera.view = identityMatrix();
        scene.surfaces.push_back(square(40.0, kDepth, kind, facesCamera));
        scene.surfaces[0].material.specular = 0.0;
        SceneLight light;
        light.type = kLightPoint;
        light.intensity = 0.02;
        light.positionWorld = light.positionCamera = Vec3{0.0, 0.0, 0.0};
        scene.lights.push_back(light);
        HostWorld world = paintScene(scene);
        return pixelAt<PF_PixelFloat>(world, kSize / 2, kSize / 2).red;
    };
    const float front = centreRed(kSurfaceFlat, true);
    EXPECT_GT(front, 0.22f * 200.0f / 255.0f + 0.01f);  // more than the ambient floor
    EXPECT_EQ(centreRed(kSurfaceFlat, false), front);
    EXPECT_EQ(centreRed(kSurfaceBent, true), front);
    EXPECT_NEAR(centreRed(kSurfaceBent, false), 0.22f * 200.0f / 255.0f, 1e-6f);
}

TEST(LitFrame, BadLightsGiveNoNaNInAnyDepth) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    FrameScene scene = shadowScene();
    scene.lights.clear();
    // What collection could hand over from bad streams, and worse.
    for (int32_t type : {kLightParallel, kLightSpot, kLightPoint, kLightAmbient}) {
        for (double intensity : {0.0, -1.0, 16.0, 1e300}) {
            SceneLight light;
            light.type = type;
            light.intensity = intensity;
            light.coneAngle = type == kLightSpot ? 500.0 : -20.0;
            light.coneFeather = -30.0;
            light.falloffType = 2;
            light.falloffDistance = 0.0;
            light.castsShadows = true;
            light.shadowDiffusion = 1e9;
            light.shadowDarkness = 5.0;
            light.positionWorld = light.positionCamera = Vec3{0.0, 0.0, kDepth};  // inside the floor
            light.directionWorld = light.directionCamera = Vec3{0.0, 0.0, 0.0};
            scene.lights.push_back(light);
        }
    }
    SceneLight broken;
    broken.positionWorld = Vec3{nan, inf, -inf};
    broken.directionWorld = Vec3{nan, nan, nan};
    broken.color = Vec3{nan, -inf, 1e300};
    broken.castsShadows = true;
    scene.lights.push_back(broken);
    for (SceneSurface& s : scene.surfaces) s.controls.shadowMode = ShadowMode::Hybrid;  // maps too

    for (AEGP_WorldType type : {AEGP_WorldType_8, AEGP_WorldType_16, AEGP_WorldType_32}) {
        HostWorld world = paintScene(scene, type);
        for (int32_t y = 0; y < kSize; ++y) {
            for (int32_t x = 0; x < kSize; ++x) {
                if (type == AEGP_WorldType_32) {
                    const PF_PixelFloat& p = pixelAt<PF_PixelFloat>(world, x, y);
                    for (float c : {p.alpha, p.red, p.green, p.blue}) {
                        ASSERT_TRUE(c >= 0.0f && c <= 1.0f) << x << "," << y;
                    }
                } else if (type == AEGP_WorldType_16) {
                    const PF_Pixel16& p = pixelAt<PF_Pixel16>(world, x, y);
                    for (int c : {p.alpha, p.red, p.green, p.blue}) ASSERT_LE(c, 32768) << x << "," << y;
                }
            }
        }
    }
}

TEST(LitFrame, AHundredLightsRender) {
    // 98 dim lights that cast no shadows, half copies of the spot and half of the fill. Light adds up,
    // so the frame must match the same scene with each half folded into one light of the summed
    // intensity: a light dropped anywhere in the hundred shows as a darker colour.
    constexpr int kExtraLights = 98;
    constexpr double kExtraIntensity = 0.001;
    FrameScene scene = shadowScene();
    FrameScene summed = shadowScene();
    for (int i = 0; i < 2; ++i) {
        SceneLight folded = summed.lights[static_cast<size_t>(i)];
        folded.castsShadows = false;
        folded.intensity = kExtraIntensity * (kExtraLights / 2);
        summed.lights.push_back(folded);
    }
    for (int i = 0; i < kExtraLights; ++i) {
        SceneLight light = scene.lights[static_cast<size_t>(i % 2)];
        light.castsShadows = false;
        light.intensity = kExtraIntensity;
        scene.lights.push_back(light);
    }
    const FrameScene base = shadowScene();
    HostWorld world = paintScene(scene);
    HostWorld reference = paintScene(summed);
    HostWorld twoLights = paintScene(base);
    const PF_PixelFloat& centre = pixelAt<PF_PixelFloat>(world, kSize / 2, kSize / 2);
    EXPECT_GT(centre.alpha, 0.99f);
    for (auto [x, y] : {std::pair{kSize / 2, kSize / 2}, std::pair{13, 33}, std::pair{36, 14}}) {
        const PF_PixelFloat& p = pixelAt<PF_PixelFloat>(world, x, y);
        const PF_PixelFloat& r = pixelAt<PF_PixelFloat>(reference, x, y);
        const PF_PixelFloat& dim = pixelAt<PF_PixelFloat>(twoLights, x, y);
        EXPECT_NEAR(p.red, r.red, 2e-5f) << x << "," << y;
        EXPECT_NEAR(p.green, r.green, 2e-5f) << x << "," << y;
        EXPECT_NEAR(p.blue, r.blue, 2e-5f) << x << "," << y;
        EXPECT_GT(p.red, dim.red + 0.01f) << x << "," << y;
    }
}

TEST(LitFrame, ShadowStageLinesAreExact) {
    RenderLog log;
    FrameScene scene = shadowScene();
    scene.surfaces[0].controls.shadowMode = ShadowMode::MapFast;
    scene.surfaces[0].controls.shadowQuality = 3;
    paintScene(scene);
    scene.lights[0].castsShadows = false;
    paintScene(scene);
    const std::string text = log.text();
    EXPECT_NE(text.find("RendererV2Shadow: triangles=2 nodes=1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("RendererV2ShadowMap: light=0 type=1 size=1024x1024 valid=1\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("RendererV2ShadowMap: light=1"), std::string::npos) << text;
    EXPECT_NE(text.find("RendererV2Shadow: skipped reason=noShadowLight surfaces=2 lights=2\n"), std::string::npos)
        << text;
}

}  // namespace
}  // namespace zephrin
