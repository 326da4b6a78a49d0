#include "renderer/collect/layer_readers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "common/host_suites.h"
#include "host_fixture.h"

namespace zephrin {
namespace {

using Host = testhost::TestHost;

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

// A frame over one 3D solid, id 4, whose streams the readers read at the frame's time.
struct OneLayerFrame {
    Host host;
    host::Composition comp;
    PR_RenderContextH rc = nullptr;
    A_Time time{0, 1};
    host::Layer& layer() { return comp.layers[0]; }
    AEGP_LayerH handle() { return host.layer(rc, 0); }

    OneLayerFrame() {
        testhost::addLayer(comp, testhost::makeLayer(4)).threeD = true;
        rc = host.beginFrame(comp);
        time = host.frame(rc).time;
    }
};

TEST(ReadLayerMaterial, ReadsHostPercentAndKeepsDefaultsForUnreadableStreams) {
    OneLayerFrame frame;
    frame.layer().material.ambient.value = 100.0;
    frame.layer().material.diffuse.value = 50.0;
    frame.layer().material.specularShininess.value = 5.0;
    frame.host.failLayerStream(4, AEGP_LayerStream_SPECULAR_INTENSITY);
    HostSuites suites(frame.host.basic());
    LayerMaterial material = readLayerMaterial(suites, frame.handle(), frame.time);
    EXPECT_DOUBLE_EQ(material.ambient, 1.0);
    EXPECT_DOUBLE_EQ(material.diffuse, 0.5);
    EXPECT_DOUBLE_EQ(material.specular, 0.4);
    EXPECT_DOUBLE_EQ(material.shininess, 5.0);

    LayerMaterial unknown = readLayerMaterial(suites, nullptr, frame.time);
    EXPECT_DOUBLE_EQ(unknown.ambient, 1.0);
    EXPECT_DOUBLE_EQ(unknown.diffuse, 0.75);
    EXPECT_DOUBLE_EQ(unknown.specular, 0.4);
    EXPECT_DOUBLE_EQ(unknown.shininess, 24.0);
}

TEST(LayerReaders, DefaultsOnErrorThresholdsAndFiniteVectors) {
    OneLayerFrame frame;
    frame.host.failLayerStream(4, AEGP_LayerStream_CASTS_SHADOWS);
    frame.host.failLayerStream(4, AEGP_LayerStream_LIGHT_TRANSMISSION);
    frame.host.failLayerStream(4, AEGP_LayerStream_SCALE);
    frame.layer().transform.position.value = {1.0, 2.0, 3.0};
    frame.layer().transform.anchorPoint.value = {1.0, kNaN, 3.0};
    frame.layer().material.acceptsShadows = true;
    frame.layer().material.acceptsLights = false;
    // Numbers on either side of the half-way mark a flag is read against.
    frame.layer().material.ambient.value = 0.5;
    frame.layer().material.diffuse.value = 0.49;
    HostSuites suites(frame.host.basic());
    const AEGP_LayerH handle = frame.handle();
    const A_Time time = frame.time;

    EXPECT_TRUE(readLayerBool(suites, handle, AEGP_LayerStream_ACCEPTS_SHADOWS, time, false));
    EXPECT_FALSE(readLayerBool(suites, handle, AEGP_LayerStream_ACCEPTS_LIGHTS, time, true));
    EXPECT_TRUE(readLayerBool(suites, handle, AEGP_LayerStream_AMBIENT_COEFF, time, false));
    EXPECT_FALSE(readLayerBool(suites, handle, AEGP_LayerStream_DIFFUSE_COEFF, time, true));
    EXPECT_TRUE(readLayerBool(suites, handle, AEGP_LayerStream_CASTS_SHADOWS, time, true));
    EXPECT_EQ(readLayerNumber(suites, handle, AEGP_LayerStream_LIGHT_TRANSMISSION, time, -7.0), -7.0);

    Vec3 out{9.0, 9.0, 9.0};
    EXPECT_TRUE(readLayerVector3(suites, handle, AEGP_LayerStream_POSITION, time, out));
    EXPECT_EQ(out.z, 3.0);
    Vec3 untouched{9.0, 9.0, 9.0};
    EXPECT_FALSE(readLayerVector3(suites, handle, AEGP_LayerStream_ANCHORPOINT, time, untouched));
    EXPECT_FALSE(readLayerVector3(suites, handle, AEGP_LayerStream_SCALE, time, untouched));
    EXPECT_EQ(untouched.y, 9.0);
}

}  // namespace
}  // namespace zephrin
