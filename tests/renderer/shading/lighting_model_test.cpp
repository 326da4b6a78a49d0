#include "renderer/shading/lighting_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "renderer/shading/shade_point.h"
#include "renderer/shadows/shadow_bvh.h"

namespace zephrin {
namespace {

constexpr double kTolerance = 1e-9;
constexpr double kPi = 3.14159265358979323846;

// A grey receiving point at the origin facing the camera side (-z), seen from (0, 0, -100).
struct LitPoint {
    FrameScene scene;
    SceneSurface surface;
    ShadingPoint point;
    ShadingFrame frame;

    LitPoint() {
        surface.material = LayerMaterial{1.0, 1.0, 0.0, 10.0};
        surface.controls.specular = 100.0;
        point.worldPosition = Vec3{0.0, 0.0, 0.0};
        point.cameraPosition = Vec3{0.0, 0.0, 100.0};
        point.worldNormal = point.cameraNormal = Vec3{0.0, 0.0, -1.0};
        point.baseColor = packColor(255, 102, 102, 102);  // 0.4 grey
        point.surfaceIndex = 0;
        point.triangleIndex = 0;
        frame.scene = &scene;
    }
    ShadingResult shade() { return shadePoint(point, surface, frame); }
};

SceneLight parallelLight(const Vec3& direction) {
    SceneLight light;
    light.type = kLightParallel;
    light.directionWorld = light.directionCamera = direction;
    return light;
}

SceneLight ambientLight(double intensity) {
    SceneLight light;
    light.type = kLightAmbient;
    light.intensity = intensity;
    return light;
}

TEST(LightingModel, AmbientOnlySceneHasNoFloor) {
    LitPoint p;
    p.surface.material.ambient = 0.5;
    p.scene.lights.push_back(ambientLight(0.1));
    ShadingResult r = p.shade();
    // 0.15 * ka * base + ka * intensity * 1.85 * base.
    const double expected = 0.15 * 0.5 * 0.4 + 0.5 * 0.1 * 1.85 * 0.4;
    EXPECT_NEAR(r.red, expected, kTolerance);
    EXPECT_FALSE(r.lightTested);
    EXPECT_EQ(r.minimumVisibility, 1.0);
}

TEST(LightingModel, DirectLightsRaiseTheAmbientToTheFloor) {
    LitPoint p;
    p.surface.material.ambient = 0.5;
    // Lights from behind the surface: only the ambient term remains, floored at 0.22 of the base.
    p.scene.lights.push_back(parallelLight(Vec3{0.0, 0.0, -1.0}));
    EXPECT_NEAR(p.shade().red, 0.22 * 0.4, kTolerance);
    p.surface.material.ambient = 4.0;
    EXPECT_NEAR(p.shade().red, 0.15 * 4.0 * 0.4, kTolerance);
}

TEST(LightingModel, ParallelLightAddsDiffuseAndUntintedSpecular) {
    LitPoint p;
    p.scene.lights.push_back(parallelLight(Vec3{0.0, 0.0, 1.0}));
    p.scene.lights[0].intensity = 0.1;
    ShadingResult r = p.shade();
    const double k = 0.1 * 1.62 * 1.35;
    EXPECT_NEAR(r.red, 0.22 * 0.4 + k * 0.4, kTolerance);

    // Looking straight down the normal with the light behind the eye, the half vector is the normal:
    // the specular lobe is 1 whatever the shininess and it is not tinted by the (black) base.
    p.point.baseColor = packColor(255, 0, 0, 0);
    p.surface.material.specular = 0.5;
    r = p.shade();
    EXPECT_NEAR(r.red, k * 0.5, kTolerance);
    EXPECT_NEAR(r.blue, k * 0.5, kTolerance);
}

TEST(LightingModel, SpecularLobeFollowsThePowerOfTheHalfVectorForWholeAndFractionalShininess) {
    // Light 50 degrees off the normal, eye on it: the half vector lies 25 degrees off.
    const double a = 50.0 * kPi / 180.0;
    for (double shininess : {1.0, 2.0, 24.0, 7.5, 128.0}) {
        LitPoint p;
        p.scene.lights.push_back(parallelLight(Vec3{std::sin(a), 0.0, std::cos(a)}));
        p.scene.lights[0].intensity = 0.1;
        p.point.baseColor = packColor(255, 0, 0, 0);  // black: only the untinted specular remains
        p.surface.material.ambient = 0.0;
        p.surface.material.specular = 0.5;
        p.surface.material.shininess = shininess;
        const double expected = 0.1 * 1.62 * 1.35 * 0.5 * std::pow(std::cos(a / 2.0), shininess);
        EXPECT_NEAR(p.shade().red, expected, 1e-12) << "shininess " << shininess;
    }
}

TEST(LightingModel, SpotConeHasAHardEdgeWithoutFeatherAndASmoothOneWithFullFeather) {
    SceneLight spot;
    spot.type = kLightSpot;
    spot.directionWorld = Vec3{0.0, 0.0, 1.0};
    spot.coneAngle = 60.0;  // half angle 30 degrees
    spot.coneFeather = 0.0;
    auto at = [](double degrees) {
        double a = degrees * kPi / 180.0;
        return Vec3{std::sin(a), 0.0, std::cos(a)};
    };
    EXPECT_EQ(spotCone(spot, at(29.9)), 1.0);
    EXPECT_EQ(spotCone(spot, at(30.1)), 0.0);

    spot.coneFeather = 100.0;
    EXPECT_EQ(spotCone(spot, at(0.0)), 1.0);
    EXPECT_EQ(spotCone(spot, at(30.1)), 0.0);
    double previous = 1.0;
    for (double degrees = 1.0; degrees < 30.0; degrees += 1.0) {
        double f = spotCone(spot, at(degrees));
        EXPECT_GT(f, 0.0) << degrees;
        EXPECT_LT(f, 1.0) << degrees;
        EXPECT_LE(f, previous) << degrees;
        previous = f;
    }
    // Cone angles beyond 1..179 are taken at the limits; a NaN direction lights nothing.
    spot.coneAngle = 400.0;
    spot.coneFeather = 0.0;
    EXPECT_EQ(spotCone(spot, at(89.0)), 1.0);
    spot.coneAngle = -5.0;
    EXPECT_EQ(spotCone(spot, at(1.0)), 0.0);
    EXPECT_EQ(spotCone(spot, Vec3{std::nan(""), 0.0, 1.0}), 0.0);
}

TEST(LightingModel, FalloffTypes) {
    SceneLight light;
    light.type = kLightPoint;
    light.falloffRadius = 100.0;
    light.falloffDistance = 500.0;
    light.falloffType = 0;
    EXPECT_EQ(lightFalloff(light, 5000.0), 1.0);

    light.falloffType = 1;  // smooth: 1 up to the radius, 1/8 at the falloff distance
    EXPECT_EQ(lightFalloff(light, 50.0), 1.0);
    EXPECT_NEAR(lightFalloff(light, 300.0), 1.0 / (1.0 + 7.0 * 0.25), kTolerance);
    EXPECT_NEAR(lightFalloff(light, 500.0), 0.125, kTolerance);
    EXPECT_NEAR(lightFalloff(light, 9000.0), 0.125, kTolerance);

    light.falloffType = 2;  // inverse square clamped: 1 inside the falloff distance
    EXPECT_EQ(lightFalloff(light, 499.0), 1.0);
    EXPECT_NEAR(lightFalloff(light, 1000.0), 0.25, kTolerance);
    EXPECT_NEAR(lightFalloff(light, 1500.0), 1.0 / 9.0, kTolerance);

    light.type = kLightParallel;
    EXPECT_EQ(lightFalloff(light, 1500.0), 1.0);
}

// A caster square at z = -50 between a light from the camera side and the point at the origin.
SceneSurface casterSquare(double z = -50.0) {
    SceneSurface caster;
    caster.castsShadows = true;
    caster.acceptsShadows = false;
    const double corners[4][2] = {{-40, -40}, {40, -40}, {40, 40}, {-40, 40}};
    for (const auto& c : corners) {
        SurfaceVertex v;
        v.worldPosition = v.cameraPosition = Vec3{c[0], c[1], z};
        caster.mesh.vertices.push_back(v);
    }
    caster.mesh.triangles.push_back(SurfaceTriangle{0, 1, 2, kFaceFront, 0});
    caster.mesh.triangles.push_back(SurfaceTriangle{0, 2, 3, kFaceFront, 0});
    return caster;
}

// The receiving plane of LitPoint: a square through the origin that accepts shadows.
SceneSurface receiverSquare() {
    SceneSurface receiver = casterSquare(0.0);
    receiver.castsShadows = false;
    receiver.acceptsShadows = true;
    return receiver;
}

TEST(LightingModel, FullShadowKeepsFortyTwoPercentOfTheAmbient) {
    LitPoint p;
    p.scene.surfaces.push_back(receiverSquare());  // surface 0
    p.scene.surfaces.push_back(casterSquare());
    SceneLight light = parallelLight(Vec3{0.0, 0.0, 1.0});
    light.castsShadows = true;
    light.shadowDarkness = 1.0;
    p.scene.lights.push_back(light);
    ShadowBvh bvh = buildShadowBvh(p.scene.surfaces, p.scene.lights);
    p.frame.shadowBvh = &bvh;

    ShadingResult r = p.shade();
    EXPECT_TRUE(r.lightTested);
    EXPECT_EQ(r.minimumVisibility, 0.0);
    EXPECT_NEAR(r.red, 0.42 * 0.22 * 0.4, kTolerance);
    // The slope spans fully lit (ambient + direct) to fully shadowed (42 % ambient).
    const double direct = 1.62 * 1.35 * 0.4;
    EXPECT_NEAR(r.slope.red, std::min(0.22 * 0.4 + direct, 1.0) - 0.42 * 0.22 * 0.4, kTolerance);

    // Half darkness: 1 - 0.5 * 1.28 of the light remains.
    p.scene.lights[0].shadowDarkness = 0.5;
    r = p.shade();
    const double v = 1.0 - 0.64;
    EXPECT_NEAR(r.minimumVisibility, v, kTolerance);
    EXPECT_NEAR(r.red, (0.42 + 0.58 * v) * 0.22 * 0.4 + v * direct, kTolerance);

    // A surface that does not accept shadows is lit through the caster.
    p.surface.acceptsShadows = false;
    r = p.shade();
    EXPECT_FALSE(r.lightTested);
    EXPECT_NEAR(r.red, std::min(0.22 * 0.4 + direct, 1.0), kTolerance);
}

TEST(LightingModel, FacingAwayFromAShadowCasterIsItsShadow) {
    LitPoint p;
    SceneLight light = parallelLight(Vec3{0.0, 0.0, -1.0});  // from behind the surface
    light.castsShadows = true;
    light.shadowDarkness = 0.5;
    p.scene.lights.push_back(light);
    ShadingResult r = p.shade();
    EXPECT_TRUE(r.lightTested);
    EXPECT_NEAR(r.minimumVisibility, 0.36, kTolerance);
    EXPECT_EQ(r.blockerHint, 0.0);
    EXPECT_NEAR(r.red, (0.42 + 0.58 * 0.36) * 0.22 * 0.4, kTolerance);
}

TEST(LightingModel, BadLightsNeverGiveNaN) {
    const double nan = std::nan("");
    const double inf = std::numeric_limits<double>::infinity();
    LitPoint p;
    p.scene.surfaces.push_back(receiverSquare());
    p.scene.surfaces.push_back(casterSquare());
    for (int32_t type : {kLightParallel, kLightSpot, kLightPoint, kLightAmbient}) {
        SceneLight light;
        light.type = type;
        light.intensity = 16.0;
        light.positionWorld = light.positionCamera = Vec3{0.0, 0.0, 0.0};  // inside the surface
        light.directionWorld = light.directionCamera = Vec3{nan, 0.0, 0.0};
        light.coneAngle = 500.0;
        light.falloffType = 1;
        light.falloffDistance = inf;
        light.falloffRadius = inf;
        light.castsShadows = true;
        light.shadowDiffusion = inf;
        p.scene.lights.push_back(light);
    }
    ShadowBvh bvh = buildShadowBvh(p.scene.surfaces, p.scene.lights);
    p.frame.shadowBvh = &bvh;
    p.point.cameraPosition = Vec3{};  // the eye on the point too
    ShadingResult r = p.shade();
    for (double c : {r.red, r.green, r.blue, r.alpha, r.minimumVisibility, r.blockerHint, r.slope.red}) {
        EXPECT_TRUE(std::isfinite(c));
        EXPECT_GE(c, -1.0);
        EXPECT_LE(c, 1.0);
    }
}

}  // namespace
}  // namespace zephrin
