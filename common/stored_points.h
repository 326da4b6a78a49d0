// How the effect's stored control points are read, written once for both plug-ins: the editor shows
// exactly the curve the renderer bends. Three stored conventions exist (percent of the layer, layer
// pixels from the top-left, pixels from the centre); each point is classified and normalised.
#pragma once

#include <cstdint>
#include <vector>

#include "common/vec3.h"

namespace zephrin {

enum class PointConvention { legacy, layerDefault, center };

// Default fraction along the layer of point i of n.
double defaultPointFraction(int32_t i, int32_t n);

// Whether every point of a list is stored in percent (legacy), or every point sits at its layer-pixel
// default. `indices` gives each point's position in the effect's list.
struct ListConventions {
    bool allLegacy = false;
    bool allLayerDefault = false;
};
ListConventions listConventions(const std::vector<Vec3>& points, const std::vector<int32_t>& indices, int32_t n,
                                double width, double height);

PointConvention classifyPoint(const Vec3& p, int32_t i, int32_t n, bool first, bool last, bool allLegacy,
                              bool allLayerDefault, double width, double height);

// A stored position in the curve's frame: x along the layer (0..1), y from the centre line (-1..1).
struct NormalisedPosition {
    double nx = 0.0, yCentered = 0.0;
};
NormalisedPosition normalisePosition(const Vec3& p, PointConvention convention, double width, double height);

// A stored slope ("Point n Rotation".x, "Curve Handle".z) as a slope, held within the slope limit.
double slopeFromStored(double stored);
// The in-slope a handle's z stores: the explicit-zero marker gives 0, an unset (or non-finite) z the
// point's own slope.
double inSlopeFromHandle(double z, double slope);

}  // namespace zephrin
