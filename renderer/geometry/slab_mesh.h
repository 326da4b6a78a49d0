// A slab laid on a grid of centre points, extruded along the grid normals and closed by walls: the
// shape every bent mode (Free Mode, Path Select, Scroll Mode) ends in.
#pragma once

#include <cstdint>
#include <vector>

#include "common/vec3.h"
#include "renderer/geometry/free_mode_mesh.h"
#include "renderer/geometry/mesh_building.h"
#include "renderer/scene/frame_scene.h"

namespace zephrin {

// Centre points row by row, with the texture u of every column.
struct SlabCentreGrid {
    int32_t columns = 0;  // vertex columns
    int32_t rows = 0;     // vertex rows
    std::vector<Vec3> points;
    std::vector<double> u;

    const Vec3& at(int32_t i, int32_t j) const { return points[static_cast<size_t>(i) * columns + j]; }
};

// Replaces surface.mesh with the slab: front and back vertices at +-halfThickness along the grid
// normals (central differences along rows and columns, indices clamped at the edges and wrapped
// across the seam of a closed loop, a degenerate neighbourhood facing the camera), front and back
// quads, walls along the first and last row and, unless the grid closes into a loop, the first and
// last column (rowWallsFine marks the row walls for fine coverage), the alpha-contour walls and the
// vertex normals. A grid without a cell leaves the mesh empty.
SlabGrid buildSlabOnGrid(SceneSurface& surface, const SlabCentreGrid& grid, double halfThickness, bool rowWallsFine,
                         bool closedLoop, const MeshPlacement& placement);

}  // namespace zephrin
