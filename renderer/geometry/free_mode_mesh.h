// The Free Mode slab: a grid laid along the bend curve, twisted, tiled and animated, extruded to the
// requested thickness and closed by side walls.
#pragma once

#include <cstdint>
#include <vector>

#include "renderer/geometry/mesh_building.h"
#include "renderer/scene/frame_scene.h"

namespace zephrin {

// Subdivision caps of final renders; interactive renders halve the upper ones.
constexpr int32_t kMinSubdivisionX = 8;
constexpr int32_t kMaxSubdivisionX = 640;
constexpr int32_t kMinSubdivisionY = 1;
constexpr int32_t kMaxSubdivisionY = 64;

// The slab's cell columns and rows from "Subdivision X/Y", within the caps of the render's kind.
struct SubdivisionCells {
    int32_t columns = 0;
    int32_t rows = 0;
};
SubdivisionCells subdivisionCells(const BendControls& controls, bool interactive);
constexpr int32_t kMaxTiles = 10;
// Thickness 500 makes a slab 9.8 % of the layer's larger side; the curve 1.35 keeps small values fine.
constexpr double kMaxThickness = 500.0;
constexpr double kThicknessExponent = 1.35;
constexpr double kThicknessToLayerSize = 0.098;
// The curve's sideways reach: along y 45 % of the layer height, along z 15/101 of its width.
constexpr double kBendReachY = 0.45;
constexpr double kBendReachZ = 15.0 / 101.0;
// Closed Square and Round Square loops measure their length with y squeezed to this.
constexpr double kAspectYScale = 30.0 / 101.0;

// The slab's vertex grid: front vertices first, row by row, then the back vertices in the same order.
struct SlabGrid {
    int32_t columns = 0;  // vertex columns
    int32_t rows = 0;     // vertex rows
    int32_t frontVertexCount = 0;
    double halfThickness = 0.0;
};

// Half the slab's thickness for a "Thickness" value on a width x height layer.
double slabHalfThickness(double thickness, double width, double height);

// Builds surface.mesh from surface.controls and the control points, adds the alpha-contour walls of
// surface.frontTexture and the normals, and sets the surface's cull range. A grid without cells
// leaves the mesh without triangles.
SlabGrid buildFreeModeMesh(SceneSurface& surface, const std::vector<BendControlPoint>& points,
                           const MeshPlacement& placement);

}  // namespace zephrin
