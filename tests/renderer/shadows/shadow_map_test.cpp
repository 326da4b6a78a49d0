#include "renderer/shadows/shadow_map.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace zephrin {
namespace {

// A caster covering x in [-100, 0], y in [-100, 100] at z = 0, and a receiver plane at z = 100 that
// does not cast; lights shine along +z.
struct MapScene {
    std::vector<SceneSurface> surfaces;
    ShadowBvh bvh;
    SceneLight light;

    explicit MapScene(int32_t lightType) {
        SceneSurface caster;
        caster.castsShadows = true;
        const double corners[4][2] = {{-100, -100}, {0, -100}, {0, 100}, {-100, 100}};
        for (const auto& c : corners) {
            SurfaceVertex v;
            v.worldPosition = Vec3{c[0], c[1], 0.0};
            caster.mesh.vertices.push_back(v);
        }
        caster.mesh.triangles.push_back(SurfaceTriangle{0, 1, 2, kFaceFront, 0});
        caster.mesh.triangles.push_back(SurfaceTriangle{0, 2, 3, kFaceFront, 0});
        surfaces.push_back(std::move(caster));
        light.type = lightType;
        light.castsShadows = true;
        light.coneAngle = 90.0;
        light.positionWorld = Vec3{0.0, 0.0, -20.0};
        light.directionWorld = Vec3{0.0, 0.0, 1.0};
        bvh = buildShadowBvh(surfaces, {light});
    }
};

TEST(ShadowMap, SizeFollowsQualityAndDivisor) {
    EXPECT_EQ(shadowMapSize(1, 1), 256);
    EXPECT_EQ(shadowMapSize(2, 1), 512);
    EXPECT_EQ(shadowMapSize(3, 1), 1024);
    EXPECT_EQ(shadowMapSize(4, 1), 1024);
    EXPECT_EQ(shadowMapSize(2, 4), 128);
    EXPECT_EQ(shadowMapSize(1, 8), 64);
    EXPECT_EQ(shadowMapSize(1, 0), 256);

    MapScene scene(kLightSpot);
    ShadowMap map = buildShadowMap(scene.bvh, scene.light, 1, 4);
    EXPECT_TRUE(map.valid);
    EXPECT_EQ(map.width, 64);
    EXPECT_EQ(map.height, 64);
    ASSERT_EQ(map.depth.size(), 64u * 64u);
    // Texels the caster does not cover keep the far depth 1; covered ones hold less.
    EXPECT_LT(*std::min_element(map.depth.begin(), map.depth.end()), 1.0f);
    EXPECT_EQ(*std::max_element(map.depth.begin(), map.depth.end()), 1.0f);

    scene.light.castsShadows = false;
    EXPECT_FALSE(buildShadowMap(scene.bvh, scene.light, 1, 1).valid);
    EXPECT_FALSE(buildShadowMap(ShadowBvh{}, SceneLight{}, 1, 1).valid);
}

TEST(ShadowMap, SingleTapIsHardAndOutsideTheVolumeIsLit) {
    for (int32_t type : {kLightSpot, kLightPoint, kLightParallel}) {
        MapScene scene(type);
        ShadowMap map = buildShadowMap(scene.bvh, scene.light, 2, 1);
        ASSERT_TRUE(map.valid) << type;
        EXPECT_EQ(sampleShadowMap(map, Vec3{-40.0, 10.0, 30.0}, 0.0, 2), 0.0) << type;
        EXPECT_EQ(sampleShadowMap(map, Vec3{40.0, 10.0, 30.0}, 0.0, 2), 1.0) << type;
        // Softness of 2 % or less is still a single tap; a negative one too.
        EXPECT_EQ(sampleShadowMap(map, Vec3{-40.0, 10.0, 30.0}, 2.0, 2), 0.0) << type;
        EXPECT_EQ(sampleShadowMap(map, Vec3{-40.0, 10.0, 30.0}, -50.0, 2), 0.0) << type;
        // Behind the light, or far beyond the far plane: outside the view volume.
        EXPECT_EQ(sampleShadowMap(map, Vec3{-40.0, 10.0, -5000.0}, 0.0, 2), 1.0) << type;
        EXPECT_EQ(sampleShadowMap(map, Vec3{-40.0, 10.0, 50000.0}, 0.0, 2), 1.0) << type;
    }
    EXPECT_EQ(sampleShadowMap(ShadowMap{}, Vec3{}, 0.0, 1), 1.0);
}

// Regression: the far plane stopped at four scene sizes from the light, so a spot or point light
// standing farther off than that from small casters saw them beyond its view volume, and every
// receiver read as lit in Map Fast while ray tracing showed the shadow.
TEST(ShadowMap, FarLightStillSeesSmallCasters) {
    for (int32_t type : {kLightSpot, kLightPoint}) {
        MapScene scene(type);
        // The caster is 200 units across; the light stands 3000 back (15 scene sizes). At that distance a
        // texel spans some 28 units, so the receiver sits well beyond the comparison bias.
        scene.light.positionWorld = Vec3{-50.0, 0.0, -3000.0};
        scene.bvh = buildShadowBvh(scene.surfaces, {scene.light});
        const ShadowMap far = buildShadowMap(scene.bvh, scene.light, 2, 1);
        ASSERT_TRUE(far.valid) << type;
        EXPECT_EQ(sampleShadowMap(far, Vec3{-50.0, 10.0, 300.0}, 0.0, 2), 0.0) << type;
        EXPECT_EQ(sampleShadowMap(far, Vec3{60.0, 10.0, 300.0}, 0.0, 2), 1.0) << type;
        EXPECT_GE(far.farPlane, 6000.0) << type;

        // A light close by keeps the four-scene-size volume, so its map is the one it always was.
        MapScene near(type);
        EXPECT_EQ(buildShadowMap(near.bvh, near.light, 2, 1).farPlane, 4.0 * 200.0) << type;
    }
}

// Regression: comparing perspective depth with a fixed bias lit every receiver a few hundred pixels
// from a spot or point light, however far behind its caster it lay.
TEST(ShadowMap, DistantCastersStillShadowInPerspectiveMaps) {
    for (int32_t type : {kLightSpot, kLightPoint}) {
        MapScene scene(type);
        // 500 pixels from the caster, the receiver 150 pixels behind it; the map reaches 800 pixels.
        scene.light.positionWorld = Vec3{0.0, 0.0, -500.0};
        ShadowMap map = buildShadowMap(scene.bvh, scene.light, 3, 1);
        ASSERT_TRUE(map.valid) << type;
        EXPECT_EQ(sampleShadowMap(map, Vec3{-40.0, 10.0, 150.0}, 0.0, 3), 0.0) << type;
        EXPECT_EQ(sampleShadowMap(map, Vec3{60.0, 10.0, 150.0}, 0.0, 3), 1.0) << type;
        // The caster's own surface is not in its shadow (no acne).
        EXPECT_EQ(sampleShadowMap(map, Vec3{-40.0, 10.0, 0.0}, 0.0, 3), 1.0) << type;
    }
}

TEST(ShadowMap, KernelGrowsWithQualityAndSoftensTheEdge) {
    MapScene scene(kLightParallel);
    const Vec3 onEdge{0.0, 0.0, 30.0};
    struct Case {
        int32_t quality;
        int32_t taps;  // (2k + 1)^2
    };
    for (Case c : {Case{1, 49}, Case{2, 121}, Case{3, 225}, Case{4, 225}}) {
        ShadowMap map = buildShadowMap(scene.bvh, scene.light, c.quality, 1);
        double lit = sampleShadowMap(map, onEdge, 100.0, c.quality);
        EXPECT_GT(lit, 0.2) << c.quality;
        EXPECT_LT(lit, 0.8) << c.quality;
        // The lit fraction counts whole taps of a (2k + 1)^2 kernel.
        EXPECT_NEAR(lit * c.taps, std::round(lit * c.taps), 1e-9) << c.quality;
        // Deep inside the shadow every tap is shadowed.
        EXPECT_EQ(sampleShadowMap(map, Vec3{-60.0, 0.0, 30.0}, 100.0, c.quality), 0.0) << c.quality;
    }
}

}  // namespace
}  // namespace zephrin
