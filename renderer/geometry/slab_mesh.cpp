#include "renderer/geometry/slab_mesh.h"

#include <algorithm>

#include "renderer/geometry/alpha_contour_walls.h"
#include "renderer/geometry/mesh_storage.h"

namespace zephrin {

namespace {

// A wall quad between a front edge (f0, f1) and its back edge (k0, k1): its corners in the order
// addQuad takes them, wound to face outward, and the normals of its two triangles.
struct SlabWall {
    int32_t a = 0, b = 0, c = 0, d = 0;
    Vec3 firstNormal, secondNormal;
};

// One face of the slab: the grid pushed out along its normals by `offset` (+half for the front,
// -half for the back). Its cells are split into triangles wound so that the face points outward.
struct SlabFace {
    const SlabCentreGrid& grid;
    bool closedLoop;
    double offset;
    bool front;
};

// The grid's normal direction, not yet normalised, from the neighbours along the row and along the
// column.
inline Vec3 normalDirection(const Vec3& previous, const Vec3& next, const Vec3& above, const Vec3& below) {
    return cross(below - above, next - previous);
}

// The neighbours are clamped at the grid's edges. A closed loop's last column repeats its first: their
// neighbours wrap across the seam, so both get the same normal and the slab stays closed there.
Vec3 gridNormalDirection(const SlabCentreGrid& grid, int32_t i, int32_t j, bool closedLoop) {
    int32_t next = std::min(j + 1, grid.columns - 1), previous = std::max(j - 1, 0);
    if (closedLoop && grid.columns > 2) {
        if (j == 0) previous = grid.columns - 2;
        if (j == grid.columns - 1) next = 1;
    }
    return normalDirection(grid.at(i, previous), grid.at(i, next), grid.at(std::max(i - 1, 0), j),
                           grid.at(std::min(i + 1, grid.rows - 1), j));
}

Vec3 facePoint(const SlabFace& face, int32_t i, int32_t j) {
    return face.grid.at(i, j) +
           normalizeOr(gridNormalDirection(face.grid, i, j, face.closedLoop), kCameraFacingNormal) * face.offset;
}

// facePoint for a whole row. Each step has a loop of its own, so that the square roots and
// divisions of neighbouring points overlap instead of waiting on each other.
void facePointRow(const SlabFace& face, int32_t i, std::vector<Vec3>& directions, std::vector<Vec3>& points) {
    const SlabCentreGrid& grid = face.grid;
    const size_t columns = static_cast<size_t>(grid.columns);
    const Vec3* row = &grid.points[static_cast<size_t>(i) * columns];
    const Vec3* above = &grid.points[static_cast<size_t>(std::max(i - 1, 0)) * columns];
    const Vec3* below = &grid.points[static_cast<size_t>(std::min(i + 1, grid.rows - 1)) * columns];
    directions[0] = gridNormalDirection(grid, i, 0, face.closedLoop);
    for (size_t j = 1; j + 1 < columns; ++j)
        directions[j] = normalDirection(row[j - 1], row[j + 1], above[j], below[j]);
    directions[columns - 1] = gridNormalDirection(grid, i, grid.columns - 1, face.closedLoop);
    for (size_t j = 0; j < columns; ++j) directions[j] = normalizeOr(directions[j], kCameraFacingNormal);
    for (size_t j = 0; j < columns; ++j) points[j] = row[j] + directions[j] * face.offset;
}

SlabWall orientWall(int32_t f0, int32_t f1, int32_t k0, int32_t k1, const Vec3& pf0, const Vec3& pf1, const Vec3& pk0,
                    const Vec3& pk1, const Vec3& outward) {
    if (dot(triangleNormal(pf0, pf1, pk0), outward) >= 0.0) {
        return SlabWall{f0, f1, k0, k1, triangleNormal(pf0, pf1, pk0), triangleNormal(pk0, pf1, pk1)};
    }
    return SlabWall{f0, k0, f1, k1, triangleNormal(pf0, pk0, pf1), triangleNormal(pf1, pk0, pk1)};
}

// The walls along one edge of the grid, in the order they are emitted. Wall k joins the edge's grid
// points k and k + 1 (rows for a column edge, columns for a row edge).
struct WallRun {
    std::vector<SlabWall> walls;

    // Adds wall k's share to the normal sum of the edge's point k, in emission order. addQuad's
    // triangles are (a, b, c) and (c, b, d): the front corner f0 is only in the first, the back
    // corner k1 only in the second, f1 and k0 in both, whichever way the wall is wound.
    void addTerms(Vec3& sum, int32_t k, bool front) const {
        if (walls.empty()) return;
        if (k > 0) {
            const SlabWall& w = walls[static_cast<size_t>(k - 1)];
            if (front) sum += w.firstNormal;
            sum += w.secondNormal;
        }
        if (static_cast<size_t>(k) < walls.size()) {
            const SlabWall& w = walls[static_cast<size_t>(k)];
            sum += w.firstNormal;
            if (!front) sum += w.secondNormal;
        }
    }
};

struct SlabWalls {
    WallRun firstColumn, lastColumn;  // empty for a closed loop
    WallRun firstRow, lastRow;
};

SlabWalls slabWalls(const SlabCentreGrid& grid, double halfThickness, bool closedLoop) {
    const SlabFace frontFace{grid, closedLoop, halfThickness, true};
    const SlabFace backFace{grid, closedLoop, -halfThickness, false};
    const int32_t gridCount = grid.columns * grid.rows;
    const int32_t cellColumns = grid.columns - 1, cellRows = grid.rows - 1;
    const auto wallAt = [&](int32_t i0, int32_t j0, int32_t i1, int32_t j1, const Vec3& outward) {
        const int32_t f0 = i0 * grid.columns + j0, f1 = i1 * grid.columns + j1;
        return orientWall(f0, f1, gridCount + f0, gridCount + f1, facePoint(frontFace, i0, j0),
                          facePoint(frontFace, i1, j1), facePoint(backFace, i0, j0), facePoint(backFace, i1, j1),
                          outward);
    };
    SlabWalls walls;
    for (int32_t i = 0; i < cellRows && !closedLoop; ++i) {
        const int32_t last = cellColumns;
        const Vec3 outFirst = grid.at(i, 0) + grid.at(i + 1, 0) - grid.at(i, 1) - grid.at(i + 1, 1);
        walls.firstColumn.walls.push_back(wallAt(i, 0, i + 1, 0, outFirst));
        const Vec3 outLast = grid.at(i, last) + grid.at(i + 1, last) - grid.at(i, last - 1) - grid.at(i + 1, last - 1);
        walls.lastColumn.walls.push_back(wallAt(i, last, i + 1, last, outLast));
    }
    for (int32_t j = 0; j < cellColumns; ++j) {
        const int32_t last = cellRows;
        const Vec3 outTop = grid.at(0, j) + grid.at(0, j + 1) - grid.at(1, j) - grid.at(1, j + 1);
        walls.firstRow.walls.push_back(wallAt(0, j, 0, j + 1, outTop));
        const Vec3 outBottom =
            grid.at(last, j) + grid.at(last, j + 1) - grid.at(last - 1, j) - grid.at(last - 1, j + 1);
        walls.lastRow.walls.push_back(wallAt(last, j, last, j + 1, outBottom));
    }
    return walls;
}

// The normals of the two triangles of every cell of one grid row, given the face's points on that
// row and the next. Front cells are (top-left, bottom-left, top-right, bottom-right) in addQuad's
// order, back cells (top-left, top-right, bottom-left, bottom-right), so both faces point outward.
void cellNormalRow(const std::vector<Vec3>& top, const std::vector<Vec3>& bottom, bool front, std::vector<Vec3>& first,
                   std::vector<Vec3>& second) {
    const size_t cells = top.size() - 1;
    for (size_t j = 0; j < cells; ++j) {
        const Vec3& a = top[j];
        const Vec3& b = front ? bottom[j] : top[j + 1];
        const Vec3& c = front ? top[j + 1] : bottom[j];
        const Vec3& d = bottom[j + 1];
        first[j] = triangleNormal(a, b, c);
        second[j] = triangleNormal(c, b, d);
    }
}

// Appends the face's vertices row by row with their final normals. Every vertex's face normals are
// summed in the order the slab's triangles list them (cells row by row, then the column walls, then
// the row walls), so the result is the one computeNormals gives, without a pass over the whole mesh.
void appendFaceVertices(SurfaceMesh& mesh, const SlabFace& face, const SlabWalls& walls,
                        const MeshPlacement& placement) {
    const SlabCentreGrid& grid = face.grid;
    const int32_t cellColumns = grid.columns - 1, cellRows = grid.rows - 1;
    const size_t columns = static_cast<size_t>(grid.columns);
    std::vector<Vec3> points(columns), nextPoints(columns), directions(columns);
    std::vector<Vec3> normals(columns), cameraNormals(columns), worldNormals(columns);
    std::vector<Vec3> firstAbove(columns - 1), secondAbove(columns - 1), firstBelow(columns - 1),
        secondBelow(columns - 1);
    facePointRow(face, 0, directions, points);
    for (int32_t i = 0; i < grid.rows; ++i) {
        if (i < cellRows) {
            facePointRow(face, i + 1, directions, nextPoints);
            cellNormalRow(points, nextPoints, face.front, firstBelow, secondBelow);
        }
        for (int32_t j = 0; j < grid.columns; ++j) {
            const size_t left = static_cast<size_t>(j - 1), right = static_cast<size_t>(j);
            Vec3 sum{};
            if (i > 0) {
                if (j > 0) sum += secondAbove[left];
                if (j < cellColumns) {
                    sum += firstAbove[right];
                    sum += secondAbove[right];
                }
            }
            if (i < cellRows) {
                if (j > 0) {
                    sum += firstBelow[left];
                    sum += secondBelow[left];
                }
                if (j < cellColumns) sum += firstBelow[right];
            }
            if (j == 0) walls.firstColumn.addTerms(sum, i, face.front);
            if (j == cellColumns) walls.lastColumn.addTerms(sum, i, face.front);
            if (i == 0) walls.firstRow.addTerms(sum, j, face.front);
            if (i == cellRows) walls.lastRow.addTerms(sum, j, face.front);
            normals[right] = sum;
        }
        // As setVertexNormals, a step per loop for the same reason as in facePointRow.
        for (size_t j = 0; j < columns; ++j) normals[j] = vertexNormalFromSum(normals[j]);
        for (size_t j = 0; j < columns; ++j) cameraNormals[j] = carryNormal(placement.layerToCamera, normals[j]);
        for (size_t j = 0; j < columns; ++j) worldNormals[j] = carryNormal(placement.layerToWorld, normals[j]);
        const double v = static_cast<double>(i) / cellRows;
        for (size_t j = 0; j < columns; ++j) {
            mesh.vertices.push_back(placedVertex(points[j], grid.u[j], v, placement.layerToCamera,
                                                 placement.layerToWorld, cameraNormals[j], worldNormals[j]));
        }
        points.swap(nextPoints);
        firstAbove.swap(firstBelow);
        secondAbove.swap(secondBelow);
    }
}

}  // namespace

SlabGrid buildSlabOnGrid(SceneSurface& surface, const SlabCentreGrid& grid, double halfThickness, bool rowWallsFine,
                         bool closedLoop, const MeshPlacement& placement) {
    SurfaceMesh& mesh = surface.mesh;
    mesh.vertices.clear();
    mesh.triangles.clear();
    const int32_t cellColumns = grid.columns - 1, cellRows = grid.rows - 1;
    if (cellColumns < 1 || cellRows < 1) return SlabGrid{};

    const int32_t gridCount = grid.columns * grid.rows;
    const SlabWalls walls = slabWalls(grid, halfThickness, closedLoop);
    reserveMeshStorage(mesh, static_cast<size_t>(gridCount) * 2,
                       static_cast<size_t>(cellColumns) * cellRows * 4 + static_cast<size_t>(cellColumns + cellRows) * 4);
    appendFaceVertices(mesh, SlabFace{grid, closedLoop, halfThickness, true}, walls, placement);
    appendFaceVertices(mesh, SlabFace{grid, closedLoop, -halfThickness, false}, walls, placement);

    const auto front = [&](int32_t i, int32_t j) { return i * grid.columns + j; };
    const auto back = [&](int32_t i, int32_t j) { return gridCount + i * grid.columns + j; };
    // A row of cells at a time, copied in at once: millions of single appends each pay for a
    // capacity check.
    std::vector<SurfaceTriangle> cellRow(static_cast<size_t>(cellColumns) * 4);
    for (int32_t i = 0; i < cellRows; ++i) {
        for (int32_t j = 0; j < cellColumns; ++j) {
            const auto frontQuad =
                quadTriangles(front(i, j), front(i + 1, j), front(i, j + 1), front(i + 1, j + 1), kFaceFront, 0);
            const auto backQuad =
                quadTriangles(back(i, j), back(i, j + 1), back(i + 1, j), back(i + 1, j + 1), kFaceBack, 0);
            std::copy(frontQuad.begin(), frontQuad.end(), cellRow.begin() + j * 4);
            std::copy(backQuad.begin(), backQuad.end(), cellRow.begin() + j * 4 + 2);
        }
        mesh.triangles.insert(mesh.triangles.end(), cellRow.begin(), cellRow.end());
    }
    const auto addWall = [&](const SlabWall& w, uint8_t fine) {
        addQuad(mesh, w.a, w.b, w.c, w.d, kFaceSideFrontAlpha, fine);
    };
    for (size_t i = 0; i < walls.firstColumn.walls.size(); ++i) {
        addWall(walls.firstColumn.walls[i], 0);
        addWall(walls.lastColumn.walls[i], 0);
    }
    const uint8_t rowFine = rowWallsFine ? 1 : 0;
    for (size_t j = 0; j < walls.firstRow.walls.size(); ++j) {
        addWall(walls.firstRow.walls[j], rowFine);
        addWall(walls.lastRow.walls[j], rowFine);
    }

    // The contour walls have vertices of their own, so only theirs still need normals.
    const size_t slabVertices = mesh.vertices.size(), slabTriangles = mesh.triangles.size();
    buildAlphaContourWalls(surface, grid.columns, grid.rows, gridCount, halfThickness);
    computeNormals(mesh, placement.layerToCamera, placement.layerToWorld, slabVertices, slabTriangles);
    // Back-facing front and back faces of a slab are always hidden behind its other side.
    surface.cullRangeBegin = gridCount;
    surface.cullRangeEnd = gridCount;
    return SlabGrid{grid.columns, grid.rows, gridCount, halfThickness};
}

}  // namespace zephrin
