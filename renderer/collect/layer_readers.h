// Readers of a layer's own host properties (material options, switches, points) at the frame's
// composition time. A value the host cannot deliver is the caller's default; reading never fails a frame.
#pragma once

#include "common/host_suites.h"
#include "common/vec3.h"
#include "renderer/scene/frame_scene.h"
#include "sdk/AE_GeneralPlug.h"

namespace zephrin {

// Layer option streams are read before expressions are applied.
constexpr A_Boolean kLayerReadPreExpression = 1;

// Material coefficients above this magnitude are host percentages rather than fractions.
constexpr double kPercentThreshold = 1.5;
constexpr double kPercentToFraction = 0.01;

bool readLayerBool(HostSuites& suites, AEGP_LayerH layer, AEGP_LayerStream stream, const A_Time& time, bool fallback);
double readLayerNumber(HostSuites& suites, AEGP_LayerH layer, AEGP_LayerStream stream, const A_Time& time,
                       double fallback);
// True only when all three components arrived finite; `out` is untouched otherwise.
bool readLayerVector3(HostSuites& suites, AEGP_LayerH layer, AEGP_LayerStream stream, const A_Time& time, Vec3& out);

LayerMaterial readLayerMaterial(HostSuites& suites, AEGP_LayerH layer, const A_Time& time);

// Host percent or fraction to a coefficient in 0..cap; a non-finite value gives 0.
double materialCoefficient(double raw, double cap);
// Shininess exponent within 1..128.
double materialShininess(double raw);
// A host percent-or-fraction to 0..1; a non-finite value gives 0.
double unitFraction(double raw);

}  // namespace zephrin
