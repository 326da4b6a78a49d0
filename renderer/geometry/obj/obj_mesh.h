// A layer drawn as an OBJ model: the cached file's polygons, scaled so that the model's largest size
// is 500 layer pixels at 100 %, fanned into triangles within a budget.
#pragma once

#include <cstdint>
#include <string>

#include "renderer/geometry/mesh_building.h"
#include "renderer/scene/bend_controls.h"
#include "renderer/scene/frame_scene.h"

namespace zephrin {

// Triangles one model layer may emit: a final render, and an interactive one.
constexpr int32_t kObjTriangleBudget = 60000;
constexpr int32_t kObjTriangleBudgetInteractive = 12000;

// The model's largest size in layer pixels at an OBJ scale of 100 %.
constexpr double kObjModelSizePixels = 500.0;

// Appends the model's mesh and logs it; false (mesh untouched) when the file cannot be loaded.
bool buildObjMesh(const std::wstring& path, const BendControls& controls, SurfaceMesh& mesh,
                  const LayerTransform& layerToCamera, const LayerTransform& layerToWorld, bool interactive);

}  // namespace zephrin
