// The effect's stored points, rotations and handles turned into the control points of the bend
// curve. Three stored conventions exist (percent of the layer, layer pixels from the top-left,
// pixels from the centre); each point is classified and normalised.
#pragma once

#include <cstdint>
#include <vector>

#include "common/effect_contract.h"
#include "common/stored_points.h"
#include "common/vec3.h"
#include "renderer/scene/bend_controls.h"

namespace zephrin {

// Coordinates and handle lengths are held within this many layer widths, so that no product
// downstream can overflow.
constexpr double kMaxCurveCoordinate = 1e6;

// One stored point with its rotation, and the position in the effect's list it came from.
struct StoredPoint {
    Vec3 point;
    Vec3 rotation;
    int32_t index = 0;
};

struct StoredControlPoints {
    int32_t count = 2;                // points asked for, 2..12
    std::vector<StoredPoint> points;  // those that could be read, in order
    std::vector<Vec3> handles;        // by point index; missing entries are the default handle
};

// Runs the whole conversion (startup defaults, classification, normalisation, handles, fallback
// points, closed-loop end) and writes its log lines.
std::vector<BendControlPoint> buildControlPoints(StoredControlPoints stored, const BendControls& controls, double width,
                                                 double height);

}  // namespace zephrin
