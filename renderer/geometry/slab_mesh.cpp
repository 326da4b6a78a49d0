#include "renderer/geometry/slab_mesh.h"

#include <algorithm>

#include "renderer/geometry/alpha_contour_walls.h"

namespace zephrin {

namespace {

// Adds a wall quad between a front edge (f0, f1) and its back edge (k0, k1), wound to face `outward`.
void addWall(SurfaceMesh& mesh, int32_t f0, int32_t f1, int32_t k0, int32_t k1, const Vec3& outward, uint8_t fine) {
    const Vec3& a = mesh.vertices[static_cast<size_t>(f0)].objectPosition;
    const Vec3& b = mesh.vertices[static_cast<size_t>(f1)].objectPosition;
    const Vec3& c = mesh.vertices[static_cast<size_t>(k0)].objectPosition;
    if (dot(cross(b - a, c - a), outward) >= 0.0) {
        addQuad(mesh, f0, f1, k0, k1, kFaceSideFrontAlpha, fine);
    } else {
        addQuad(mesh, f0, k0, f1, k1, kFaceSideFrontAlpha, fine);
    }
}

}  // namespace

std::vector<Vec3> slabGridNormals(const SlabCentreGrid& grid, bool closedLoop) {
    std::vector<Vec3> normals(grid.points.size());
    for (int32_t i = 0; i < grid.rows; ++i) {
        for (int32_t j = 0; j < grid.columns; ++j) {
            // A closed loop's last column repeats its first: their neighbours wrap across the seam, so
            // both get the same normal and the slab stays closed there.
            int32_t next = std::min(j + 1, grid.columns - 1), previous = std::max(j - 1, 0);
            if (closedLoop && grid.columns > 2) {
                if (j == 0) previous = grid.columns - 2;
                if (j == grid.columns - 1) next = 1;
            }
            const Vec3 along = grid.at(i, next) - grid.at(i, previous);
            const Vec3 down = grid.at(std::min(i + 1, grid.rows - 1), j) - grid.at(std::max(i - 1, 0), j);
            normals[static_cast<size_t>(i) * grid.columns + j] = normalizeOr(cross(down, along), Vec3{0.0, 0.0, -1.0});
        }
    }
    return normals;
}

SlabGrid buildSlabOnGrid(SceneSurface& surface, const SlabCentreGrid& grid, double halfThickness, bool rowWallsFine,
                         bool closedLoop, const MeshPlacement& placement) {
    SurfaceMesh& mesh = surface.mesh;
    mesh.vertices.clear();
    mesh.triangles.clear();
    const int32_t cellColumns = grid.columns - 1, cellRows = grid.rows - 1;
    if (cellColumns < 1 || cellRows < 1) return SlabGrid{};

    const std::vector<Vec3> normals = slabGridNormals(grid, closedLoop);
    const int32_t gridCount = grid.columns * grid.rows;
    mesh.vertices.reserve(static_cast<size_t>(gridCount) * 2);
    mesh.triangles.reserve(static_cast<size_t>(cellColumns) * cellRows * 4 +
                           static_cast<size_t>(cellColumns + cellRows) * 4);
    for (double sign : {1.0, -1.0}) {
        for (int32_t i = 0; i < grid.rows; ++i) {
            const double v = static_cast<double>(i) / cellRows;
            for (int32_t j = 0; j < grid.columns; ++j) {
                const size_t n = static_cast<size_t>(i) * grid.columns + j;
                addVertex(mesh, grid.points[n] + normals[n] * (sign * halfThickness), grid.u[static_cast<size_t>(j)], v,
                          placement.layerToCamera, placement.layerToWorld);
            }
        }
    }

    const auto front = [&](int32_t i, int32_t j) { return i * grid.columns + j; };
    const auto back = [&](int32_t i, int32_t j) { return gridCount + i * grid.columns + j; };
    for (int32_t i = 0; i < cellRows; ++i) {
        for (int32_t j = 0; j < cellColumns; ++j) {
            addQuad(mesh, front(i, j), front(i + 1, j), front(i, j + 1), front(i + 1, j + 1), kFaceFront, 0);
            addQuad(mesh, back(i, j), back(i, j + 1), back(i + 1, j), back(i + 1, j + 1), kFaceBack, 0);
        }
    }
    for (int32_t i = 0; i < cellRows && !closedLoop; ++i) {
        const Vec3 outFirst = grid.at(i, 0) + grid.at(i + 1, 0) - grid.at(i, 1) - grid.at(i + 1, 1);
        addWall(mesh, front(i, 0), front(i + 1, 0), back(i, 0), back(i + 1, 0), outFirst, 0);
        const int32_t last = cellColumns;
        const Vec3 outLast = grid.at(i, last) + grid.at(i + 1, last) - grid.at(i, last - 1) - grid.at(i + 1, last - 1);
        addWall(mesh, front(i, last), front(i + 1, last), back(i, last), back(i + 1, last), outLast, 0);
    }
    const uint8_t rowFine = rowWallsFine ? 1 : 0;
    for (int32_t j = 0; j < cellColumns; ++j) {
        const Vec3 outTop = grid.at(0, j) + grid.at(0, j + 1) - grid.at(1, j) - grid.at(1, j + 1);
        addWall(mesh, front(0, j), front(0, j + 1), back(0, j), back(0, j + 1), outTop, rowFine);
        const int32_t last = cellRows;
        const Vec3 outBottom =
            grid.at(last, j) + grid.at(last, j + 1) - grid.at(last - 1, j) - grid.at(last - 1, j + 1);
        addWall(mesh, front(last, j), front(last, j + 1), back(last, j), back(last, j + 1), outBottom, rowFine);
    }

    buildAlphaContourWalls(surface, grid.columns, grid.rows, gridCount, halfThickness);
    computeNormals(mesh, placement.layerToCamera, placement.layerToWorld);
    // Back-facing front and back faces of a slab are always hidden behind its other side.
    surface.cullRangeBegin = gridCount;
    surface.cullRangeEnd = gridCount;
    return SlabGrid{grid.columns, grid.rows, gridCount, halfThickness};
}

}  // namespace zephrin
