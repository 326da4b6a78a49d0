// Side walls along the outline of the front image's opaque area, so that a cut-out layer with
// thickness is walled along its real edge rather than along its rectangle.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "renderer/scene/frame_scene.h"

namespace zephrin {

// The field is sampled at most this finely per texel axis, and at most this often in all.
constexpr double kContourSamplesPerAxis = 512.0;
constexpr int64_t kMaxContourSamples = 262144;
// The outline is the level where the sampled alpha crosses one half.
constexpr double kContourLevel = 0.5;

// Raw alpha test of one texel: 8-bit above 2, 16-bit at least 328, float above 0.01.
bool texelIsOpaque(const SurfaceTexture& texture, int32_t x, int32_t y);
// Whether any texel fails the opaque test; false without pixel access.
bool textureHasTransparency(const SurfaceTexture& texture);

// A point on the outline, in alpha-field coordinates.
struct ContourCrossing {
    double x = 0.0, y = 0.0;
    bool exit = false;  // walking from an opaque corner to a transparent one
};

// The outline of the front image's opaque area over a slab grid, traced from the grid's texture
// coordinates alone: before the slab's vertices exist, so that the mesh arrays are sized for its
// walls from the start rather than copied into larger ones when the walls come.
struct AlphaContour {
    bool traced = false;            // false: the slab gets no contour walls
    int32_t columns = 0, rows = 0;  // the grid's vertex columns and rows
    int64_t samples = 0;
    double xScale = 0.0, yScale = 0.0;  // grid steps per field step
    std::vector<std::pair<ContourCrossing, ContourCrossing>> segments;

    // At most this many vertices and triangles are added for the contour's walls.
    size_t wallVertexBound() const { return 4 * segments.size(); }
    size_t wallTriangleBound() const { return 2 * segments.size(); }
};

// Traces the outline over a slab grid of columnU.size() x rows vertices whose column j has the
// texture u columnU[j] and whose row i has v = i / (rows - 1), as the slab builders lay them out.
// Not traced when the slab is flat, the grid too small, or the front image has no transparency.
AlphaContour traceAlphaContour(const SceneSurface& surface, const std::vector<double>& columnU, int32_t rows,
                               double halfThickness);

// Adds the contour's walls (face code 4) on the slab whose front vertices are the first
// frontVertexCount of surface.mesh (the contour's grid, row by row) followed by the back vertices in
// the same order. Returns the number of walls: 0 for a contour not traced.
int32_t addAlphaContourWalls(SceneSurface& surface, const AlphaContour& contour, int32_t frontVertexCount);

}  // namespace zephrin
