#include "renderer/collect/layer_readers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "../driver/fake_host.h"

namespace zephrin {
namespace {

using fakehost::Host;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(MaterialConversion, PercentagesBecomeFractionsWithinTheirCaps) {
    EXPECT_DOUBLE_EQ(materialCoefficient(100.0, 4.0), 1.0);
    EXPECT_DOUBLE_EQ(materialCoefficient(50.0, 4.0), 0.5);
    // Up to 1.5 the value is already a fraction.
    EXPECT_DOUBLE_EQ(materialCoefficient(1.5, 4.0), 1.5);
    EXPECT_DOUBLE_EQ(materialCoefficient(1.2, 4.0), 1.2);
    EXPECT_DOUBLE_EQ(materialCoefficient(1.51, 4.0), 0.0151);
    EXPECT_DOUBLE_EQ(materialCoefficient(500.0, 4.0), 4.0);
    EXPECT_DOUBLE_EQ(materialCoefficient(1000.0, 8.0), 8.0);
    EXPECT_DOUBLE_EQ(materialCoefficient(-30.0, 4.0), 0.0);
    EXPECT_DOUBLE_EQ(materialCoefficient(-0.5, 4.0), 0.0);
    EXPECT_DOUBLE_EQ(materialCoefficient(kNaN, 4.0), 0.0);
    EXPECT_DOUBLE_EQ(materialCoefficient(kInf, 4.0), 0.0);
    EXPECT_DOUBLE_EQ(materialCoefficient(-kInf, 8.0), 0.0);
}

TEST(MaterialConversion, ShininessStaysWithinOneTo128) {
    EXPECT_DOUBLE_EQ(materialShininess(5.0), 5.0);
    EXPECT_DOUBLE_EQ(materialShininess(0.5), 1.0);
    EXPECT_DOUBLE_EQ(materialShininess(-7.0), 1.0);
    EXPECT_DOUBLE_EQ(materialShininess(400.0), 128.0);
    EXPECT_DOUBLE_EQ(materialShininess(kInf), 128.0);
    EXPECT_DOUBLE_EQ(materialShininess(-kInf), 1.0);
    EXPECT_DOUBLE_EQ(materialShininess(kNaN), 24.0);
}

TEST(MaterialConversion, UnitFractionForLightTransmission) {
    EXPECT_DOUBLE_EQ(unitFraction(50.0), 0.5);
    EXPECT_DOUBLE_EQ(unitFraction(0.3), 0.3);
    EXPECT_DOUBLE_EQ(unitFraction(1.4), 1.0);
    EXPECT_DOUBLE_EQ(unitFraction(-100.0), 0.0);
    EXPECT_DOUBLE_EQ(unitFraction(kNaN), 0.0);
}

TEST(ReadLayerMaterial, ReadsHostPercentAndKeepsDefaultsForUnreadableStreams) {
    Host host;
    fakehost::Layer& layer = host.addLayer(4);
    layer.numbers = {{AEGP_LayerStream_AMBIENT_COEFF, 100.0},
                     {AEGP_LayerStream_DIFFUSE_COEFF, 50.0},
                     {AEGP_LayerStream_SPECULAR_SHININESS, 5.0}};
    HostSuites suites(host.basicSuite());
    LayerMaterial material = readLayerMaterial(suites, host.layerHandle(0), host.time);
    EXPECT_DOUBLE_EQ(material.ambient, 1.0);
    EXPECT_DOUBLE_EQ(material.diffuse, 0.5);
    EXPECT_DOUBLE_EQ(material.specular, 0.4);
    EXPECT_DOUBLE_EQ(material.shininess, 5.0);

    LayerMaterial unknown = readLayerMaterial(suites, nullptr, host.time);
    EXPECT_DOUBLE_EQ(unknown.ambient, 1.0);
    EXPECT_DOUBLE_EQ(unknown.diffuse, 0.75);
    EXPECT_DOUBLE_EQ(unknown.specular, 0.4);
    EXPECT_DOUBLE_EQ(unknown.shininess, 24.0);
}

TEST(LayerReaders, DefaultsOnErrorThresholdsAndFiniteVectors) {
    Host host;
    fakehost::Layer& layer = host.addLayer(4);
    layer.numbers = {{AEGP_LayerStream_ACCEPTS_SHADOWS, 0.5}, {AEGP_LayerStream_ACCEPTS_LIGHTS, 0.49}};
    layer.points = {{AEGP_LayerStream_POSITION, {1.0, 2.0, 3.0}}, {AEGP_LayerStream_ANCHORPOINT, {1.0, kNaN, 3.0}}};
    HostSuites suites(host.basicSuite());
    const AEGP_LayerH handle = host.layerHandle(0);

    EXPECT_TRUE(readLayerBool(suites, handle, AEGP_LayerStream_ACCEPTS_SHADOWS, host.time, false));
    EXPECT_FALSE(readLayerBool(suites, handle, AEGP_LayerStream_ACCEPTS_LIGHTS, host.time, true));
    EXPECT_TRUE(readLayerBool(suites, handle, AEGP_LayerStream_CASTS_SHADOWS, host.time, true));
    EXPECT_EQ(readLayerNumber(suites, handle, AEGP_LayerStream_LIGHT_TRANSMISSION, host.time, -7.0), -7.0);

    Vec3 out{9.0, 9.0, 9.0};
    EXPECT_TRUE(readLayerVector3(suites, handle, AEGP_LayerStream_POSITION, host.time, out));
    EXPECT_EQ(out.z, 3.0);
    Vec3 untouched{9.0, 9.0, 9.0};
    EXPECT_FALSE(readLayerVector3(suites, handle, AEGP_LayerStream_ANCHORPOINT, host.time, untouched));
    EXPECT_FALSE(readLayerVector3(suites, handle, AEGP_LayerStream_SCALE, host.time, untouched));
    EXPECT_EQ(untouched.y, 9.0);
}

}  // namespace
}  // namespace zephrin
