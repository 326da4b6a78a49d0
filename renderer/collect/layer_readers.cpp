#include "renderer/collect/layer_readers.h"

#include <algorithm>
#include <cmath>

namespace zephrin {

namespace {

constexpr double kAmbientCap = 4.0;
constexpr double kDiffuseCap = 4.0;
constexpr double kSpecularCap = 8.0;
constexpr double kMinShininess = 1.0;
constexpr double kMaxShininess = 128.0;

bool readLayerStream(HostSuites& suites, AEGP_LayerH layer, AEGP_LayerStream stream, const A_Time& time,
                     AEGP_StreamVal& value) {
    const auto& streamSuite = suites.acquire<AEGP_StreamSuite7>(kAEGPStreamSuite, kAEGPStreamSuiteVersion7);
    AEGP_StreamType type = AEGP_StreamType_NO_DATA;
    value = AEGP_StreamVal{};
    return streamSuite.AEGP_GetLayerStreamValue(layer, stream, AEGP_LTimeMode_CompTime, &time, kLayerReadPreExpression,
                                                &value, &type) == A_Err_NONE;
}

}  // namespace

bool readLayerBool(HostSuites& suites, AEGP_LayerH layer, AEGP_LayerStream stream, const A_Time& time, bool fallback) {
    AEGP_StreamVal value;
    if (!readLayerStream(suites, layer, stream, time, value)) return fallback;
    return value.one_d >= 0.5;
}

double readLayerNumber(HostSuites& suites, AEGP_LayerH layer, AEGP_LayerStream stream, const A_Time& time,
                       double fallback) {
    AEGP_StreamVal value;
    if (!readLayerStream(suites, layer, stream, time, value)) return fallback;
    return value.one_d;
}

bool readLayerVector3(HostSuites& suites, AEGP_LayerH layer, AEGP_LayerStream stream, const A_Time& time, Vec3& out) {
    AEGP_StreamVal value;
    if (!readLayerStream(suites, layer, stream, time, value)) return false;
    Vec3 read{value.three_d.x, value.three_d.y, value.three_d.z};
    if (!isFinite(read)) return false;
    out = read;
    return true;
}

double materialCoefficient(double raw, double cap) {
    if (!std::isfinite(raw)) return 0.0;
    double v = std::fabs(raw) > kPercentThreshold ? raw * kPercentToFraction : raw;
    return std::clamp(v, 0.0, cap);
}

double materialShininess(double raw) {
    // A shininess the host cannot express keeps the default rather than poisoning the exponent.
    if (std::isnan(raw)) return LayerMaterial{}.shininess;
    return std::clamp(raw, kMinShininess, kMaxShininess);
}

double unitFraction(double raw) { return materialCoefficient(raw, 1.0); }

LayerMaterial readLayerMaterial(HostSuites& suites, AEGP_LayerH layer, const A_Time& time) {
    LayerMaterial material;
    material.ambient = materialCoefficient(
        readLayerNumber(suites, layer, AEGP_LayerStream_AMBIENT_COEFF, time, material.ambient), kAmbientCap);
    material.diffuse = materialCoefficient(
        readLayerNumber(suites, layer, AEGP_LayerStream_DIFFUSE_COEFF, time, material.diffuse), kDiffuseCap);
    material.specular = materialCoefficient(
        readLayerNumber(suites, layer, AEGP_LayerStream_SPECULAR_INTENSITY, time, material.specular), kSpecularCap);
    material.shininess = materialShininess(
        readLayerNumber(suites, layer, AEGP_LayerStream_SPECULAR_SHININESS, time, material.shininess));
    return material;
}

}  // namespace zephrin
