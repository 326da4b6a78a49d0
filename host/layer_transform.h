// Where a layer sits in the world at a time: its transform chain, parenting, point-of-interest
// orientation and the camera zoom, as the host reports them to plug-ins.
#pragma once

#include <cstdint>

#include "common/matrix4.h"
#include "host/composition.h"

namespace zephrin::host {

// The layer with this id, or null; ids are unique, 0 is never one.
const Layer* findLayerById(const Composition& comp, int32_t id);

// The layer exists at this time: in point <= t < out point.
bool layerActiveAt(const Layer& layer, double seconds);

// Layer space to world space, row-vector convention, y down. A point p of the layer maps to
// p * M with M = T(-anchor) * S(scale/100) * Rx Ry Rz(orientation) * Rx * Ry * Rz * Look * T(position)
// * parent's M, where Look turns a camera's or light's +z toward its point of interest. Positive
// rotations follow the right-hand rule in this frame, so rotationZ 90 carries +x to +y (clockwise
// on screen). Cameras and lights have neither anchor point nor scale; a 2D layer keeps to its plane
// (no z offsets or scale, no orientation, no X or Y rotation). A parent cycle stops the chain at the
// first repeated layer.
Matrix4 layerToWorld(const Composition& comp, const Layer& layer, double seconds);

// A camera's zoom in composition pixels (the distance from the eye to the image plane); a zoom of 0
// stands for the host's default camera, a 50 mm lens on 36 mm wide film across the composition.
double cameraZoom(const Composition& comp, const Layer& camera, double seconds);

}  // namespace zephrin::host
