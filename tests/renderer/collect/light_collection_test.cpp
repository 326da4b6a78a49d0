#include "renderer/collect/light_collection.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace zephrin {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(LightConversion, IntensityIsPercentOrFractionClampedToSixteen) {
    EXPECT_DOUBLE_EQ(lightIntensity(100.0), 1.0);
    EXPECT_DOUBLE_EQ(lightIntensity(250.0), 2.5);
    EXPECT_DOUBLE_EQ(lightIntensity(2000.0), 16.0);
    EXPECT_DOUBLE_EQ(lightIntensity(-50.0), 0.0);
    EXPECT_DOUBLE_EQ(lightIntensity(1.5), 1.5);
    EXPECT_DOUBLE_EQ(lightIntensity(1.2), 1.2);
    EXPECT_DOUBLE_EQ(lightIntensity(kNaN), 0.0);
    EXPECT_DOUBLE_EQ(lightIntensity(kInf), 0.0);
    EXPECT_DOUBLE_EQ(lightShadowDarkness(100.0), 1.0);
    EXPECT_DOUBLE_EQ(lightShadowDarkness(50.0), 0.5);
    EXPECT_DOUBLE_EQ(lightShadowDarkness(0.3), 0.3);
    EXPECT_DOUBLE_EQ(lightShadowDarkness(400.0), 1.0);
    EXPECT_DOUBLE_EQ(lightShadowDarkness(-kInf), 0.0);
}

TEST(LightConversion, FalloffAndShadowValuesAreRoundedAndFloored) {
    LightReadings r;
    r.falloffType = 1.6;
    r.falloffDistance = 0.5;
    r.shadowDiffusion = -3.0;
    SceneLight light = convertLight(r, identityMatrix()).light;
    EXPECT_EQ(light.falloffType, 2);
    EXPECT_DOUBLE_EQ(light.falloffDistance, 1.0);
    EXPECT_DOUBLE_EQ(light.shadowDiffusion, 0.0);
    // Defaults of a light whose streams the host did not deliver.
    SceneLight plain = convertLight(LightReadings{}, identityMatrix()).light;
    EXPECT_EQ(plain.type, kLightPoint);
    EXPECT_DOUBLE_EQ(plain.intensity, 1.0);
    EXPECT_DOUBLE_EQ(plain.coneFeather, 0.0);
    EXPECT_DOUBLE_EQ(plain.falloffRadius, 0.0);
    EXPECT_DOUBLE_EQ(plain.falloffDistance, 500.0);
    EXPECT_FALSE(plain.castsShadows);
    EXPECT_DOUBLE_EQ(plain.shadowDarkness, 1.0);
}

TEST(LightConversion, NonFiniteReadingsKeepTheirDefaults) {
    LightReadings r;
    r.color = Vec3{kNaN, 0.5, kInf};
    r.coneAngle = kNaN;
    r.coneFeather = kInf;
    r.falloffType = kNaN;
    r.falloffRadius = -kInf;
    r.falloffDistance = kNaN;
    SceneLight light = convertLight(r, identityMatrix()).light;
    EXPECT_EQ(light.color.x, 1.0);
    EXPECT_EQ(light.color.y, 0.5);
    EXPECT_EQ(light.color.z, 1.0);
    EXPECT_EQ(light.coneAngle, 90.0);
    EXPECT_EQ(light.coneFeather, 0.0);
    EXPECT_EQ(light.falloffType, 0);
    EXPECT_EQ(light.falloffRadius, 0.0);
    EXPECT_EQ(light.falloffDistance, 1.0);
}

TEST(LightConversion, TransformGivesPositionsAndDirectionsInBothSpaces) {
    LightReadings r;
    r.layerToWorld = translationMatrix(Vec3{10.0, 20.0, 30.0});
    r.layerToWorld.m[2][2] = 4.0;  // a scaled z axis is normalised
    const Matrix4 view = translationMatrix(Vec3{-100.0, 0.0, 50.0});
    SceneLight light = convertLight(r, view).light;
    EXPECT_DOUBLE_EQ(light.positionWorld.x, 10.0);
    EXPECT_DOUBLE_EQ(light.positionCamera.x, -90.0);
    EXPECT_DOUBLE_EQ(light.positionCamera.z, 80.0);
    EXPECT_DOUBLE_EQ(light.directionWorld.z, 1.0);
    EXPECT_DOUBLE_EQ(light.directionCamera.z, 1.0);

    r.layerToWorld.m[2][2] = 0.0;  // a collapsed z axis leaves the default direction
    EXPECT_DOUBLE_EQ(convertLight(r, view).light.directionWorld.z, 1.0);
}

TEST(LightConversion, SpotAndParallelLightsAimAtTheirPointOfInterest) {
    LightReadings r;
    r.type = kLightSpot;
    r.layerToWorld = translationMatrix(Vec3{0.0, 0.0, -100.0});
    r.hasPointOfInterest = true;
    r.pointOfInterest = Vec3{300.0, 0.0, 300.0};  // from the transform's origin (0, 0, -100)
    // Camera space turns x into -x.
    Matrix4 view = identityMatrix();
    view.m[0][0] = -1.0;
    ConvertedLight spot = convertLight(r, view);
    EXPECT_TRUE(spot.directionFromPointOfInterest);
    EXPECT_NEAR(spot.light.directionWorld.x, 0.6, 1e-12);
    EXPECT_NEAR(spot.light.directionWorld.z, 0.8, 1e-12);
    EXPECT_NEAR(spot.light.directionCamera.x, -0.6, 1e-12);

    // The position stream, when read, is the origin of the aim.
    r.hasPosition = true;
    r.position = Vec3{300.0, 0.0, 0.0};
    EXPECT_NEAR(convertLight(r, view).light.directionWorld.z, 1.0, 1e-12);

    // A point of interest on the light keeps the transform's direction.
    r.pointOfInterest = r.position;
    ConvertedLight coincident = convertLight(r, view);
    EXPECT_FALSE(coincident.directionFromPointOfInterest);
    EXPECT_DOUBLE_EQ(coincident.light.directionWorld.z, 1.0);

    // Point lights never consult the point of interest.
    r.type = kLightPoint;
    r.pointOfInterest = Vec3{0.0, 500.0, 0.0};
    EXPECT_FALSE(convertLight(r, view).directionFromPointOfInterest);
}

TEST(LightConversion, LogLineCarriesTheModelGains) {
    LightReadings r;
    r.type = kLightSpot;
    r.rawIntensity = 250.0;
    r.castsShadows = true;
    r.rawShadowDarkness = 50.0;
    r.shadowDiffusion = 12.5;
    r.layerToWorld = translationMatrix(Vec3{1.0, -2.0, 3.5});
    ConvertedLight converted = convertLight(r, identityMatrix());
    EXPECT_EQ(formatLightLine(converted, r.rawIntensity),
              "RendererV2Light: type=1 rawIntensity=250 intensity=2.5 "
              "gains=(ambBase:0.15,ambLight:1.85,direct:1.62,point:8.4,spot:12,fill:0.22,shadowDark:1.28) "
              "casts=1 shadowDarkness=0.5 shadowDiffusion=12.5 dirSource=xform posW=(1,-2,3.5) dirW=(0,0,1)");
}

}  // namespace
}  // namespace zephrin
