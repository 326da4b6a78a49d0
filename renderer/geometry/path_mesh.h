// Path Select: the slab laid along another layer's motion path instead of the bend curve.
#pragma once

#include "renderer/geometry/mesh_building.h"
#include "renderer/geometry/path_samples.h"
#include "renderer/scene/frame_scene.h"

namespace zephrin {

// "Layer Scale" along the path, in percent.
constexpr double kMinPathLayerScale = 1.0;
constexpr double kMaxPathLayerScale = 500.0;
// "Motion" above 100 % drives the layer past the path's end, up to twice its length.
constexpr double kMaxPathMotion = 2.0;
// A side direction shorter than this is perpendicular to nothing.
constexpr double kMinSideLength = 1e-8;
// A covered fraction this small means the layer has not entered the path.
constexpr double kMinCoveredFraction = 1e-9;

// The sheet is held upright against this direction as it follows the path.
inline constexpr Vec3 kPathUpReference{0.0, 1.0, 0.0};

// Where a layer lies along a path: its length on the path, the share of the layer on it and where
// each column sits.
struct PathLayout {
    double pathLength = 0.0;   // L
    double usedLength = 1.0;   // Lu
    double sheetHeight = 1.0;  // Lh
    double mainMotion = 1.0;   // motion up to 100 %, as a fraction
    double extraMotion = 0.0;  // motion beyond 100 %, as a fraction
    int32_t tiles = 0;
    double span = 1.0;      // (2 tiles + 1) Lu
    double covered = 0.0;   // f
    int32_t direction = 1;  // 1 "->", 2 "<-"
};

PathLayout layoutOnPath(const BendControls& controls, double width, double height, double pathLength);

// The arc position of a column with parameter q, and its tile (0 without tiles).
double pathArcPosition(const PathLayout& layout, double q);
int32_t pathColumnTile(const PathLayout& layout, double q);

// Builds surface.mesh along the samples from surface.controls. False, with an empty mesh, when the
// layer is not on the path at all.
bool buildPathMesh(SceneSurface& surface, const PathSamples& samples, const MeshPlacement& placement);

}  // namespace zephrin
