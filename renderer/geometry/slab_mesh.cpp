#include "renderer/geometry/slab_mesh.h"

#include <algorithm>

#include "renderer/geometry/alpha_contour_walls.h"
#include "renderer/geometry/mesh_storage.h"
#include "renderer/runtime/worker_pool.h"

namespace zephrin {

namespace {

// A slab too small to share out is built on the calling thread: below this many grid points a
// worker's share costs less than starting its thread.
constexpr size_t kMinGridPointsPerWorker = size_t{1} << 15;

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
    const SlabFace frontFace{grid, closedLoop, halfThickness};
    const SlabFace backFace{grid, closedLoop, -halfThickness};
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

// What every run of rows reads, and the arrays it writes into: the mesh's vertices (front face, then
// back face) and the triangles of its cells, row by row, both already sized.
struct SlabBuild {
    const SlabCentreGrid& grid;
    const SlabWalls& walls;
    const MeshPlacement& placement;
    double halfThickness;
    bool closedLoop;
    SurfaceVertex* vertices;
    SurfaceTriangle* cellTriangles;
};

// One face's points on the current and the next row, and its cells' normals on the row above and
// the row below the current one.
struct FaceRows {
    std::vector<Vec3> points, nextPoints;
    std::vector<Vec3> firstAbove, secondAbove, firstBelow, secondBelow;

    explicit FaceRows(size_t columns)
        : points(columns),
          nextPoints(columns),
          firstAbove(columns - 1),
          secondAbove(columns - 1),
          firstBelow(columns - 1),
          secondBelow(columns - 1) {}

    void nextRow() {
        points.swap(nextPoints);
        firstAbove.swap(firstBelow);
        secondAbove.swap(secondBelow);
    }
};

// Both faces' points on row i: the front and the back share the row's unit grid normals. Each step
// has a loop of its own, so that the square roots and divisions of neighbouring points overlap
// instead of waiting on each other.
void placeRow(const SlabBuild& build, int32_t i, std::vector<Vec3>& normals, std::vector<Vec3>& front,
              std::vector<Vec3>& back) {
    const SlabCentreGrid& grid = build.grid;
    const size_t columns = static_cast<size_t>(grid.columns);
    const Vec3* row = &grid.points[static_cast<size_t>(i) * columns];
    const Vec3* above = &grid.points[static_cast<size_t>(std::max(i - 1, 0)) * columns];
    const Vec3* below = &grid.points[static_cast<size_t>(std::min(i + 1, grid.rows - 1)) * columns];
    normals[0] = gridNormalDirection(grid, i, 0, build.closedLoop);
    for (size_t j = 1; j + 1 < columns; ++j) normals[j] = normalDirection(row[j - 1], row[j + 1], above[j], below[j]);
    normals[columns - 1] = gridNormalDirection(grid, i, grid.columns - 1, build.closedLoop);
    size_t j = 0;
    for (; j + 1 < columns; j += 2) {
        const Vec3 left = normals[j], right = normals[j + 1];
        normalizeBothOr(left, right, kCameraFacingNormal, normals[j], normals[j + 1]);
    }
    if (j < columns) normals[j] = normalizeOr(normals[j], kCameraFacingNormal);
    const double frontOffset = build.halfThickness, backOffset = -build.halfThickness;
    for (j = 0; j < columns; ++j) {
        front[j] = row[j] + normals[j] * frontOffset;
        back[j] = row[j] + normals[j] * backOffset;
    }
}

// The sum of the face normals around grid point (i, j) of one face, in the order the slab's
// triangles list them (cells row by row, then the column walls, then the row walls), so the result
// is the one computeNormals gives, without a pass over the whole mesh.
Vec3 faceNormalSum(const FaceRows& face, const SlabWalls& walls, int32_t i, int32_t j, int32_t cellColumns,
                   int32_t cellRows, bool front) {
    const size_t left = static_cast<size_t>(j - 1), right = static_cast<size_t>(j);
    Vec3 sum{};
    if (i > 0) {
        if (j > 0) sum += face.secondAbove[left];
        if (j < cellColumns) {
            sum += face.firstAbove[right];
            sum += face.secondAbove[right];
        }
    }
    if (i < cellRows) {
        if (j > 0) {
            sum += face.firstBelow[left];
            sum += face.secondBelow[left];
        }
        if (j < cellColumns) sum += face.firstBelow[right];
    }
    if (j == 0) walls.firstColumn.addTerms(sum, i, front);
    if (j == cellColumns) walls.lastColumn.addTerms(sum, i, front);
    if (i == 0) walls.firstRow.addTerms(sum, j, front);
    if (i == cellRows) walls.lastRow.addTerms(sum, j, front);
    return sum;
}

// faceNormalSum for every point of row i. Between the first and the last row, the points away from
// the ends have six cell terms and no wall: the same sum without its tests.
void faceNormalSumRow(const FaceRows& face, const SlabWalls& walls, int32_t i, int32_t cellColumns, int32_t cellRows,
                      bool front, std::vector<Vec3>& sums) {
    if (i == 0 || i == cellRows) {
        for (int32_t j = 0; j <= cellColumns; ++j) {
            sums[static_cast<size_t>(j)] = faceNormalSum(face, walls, i, j, cellColumns, cellRows, front);
        }
        return;
    }
    sums[0] = faceNormalSum(face, walls, i, 0, cellColumns, cellRows, front);
    const Vec3* firstAbove = face.firstAbove.data();
    const Vec3* secondAbove = face.secondAbove.data();
    const Vec3* firstBelow = face.firstBelow.data();
    const Vec3* secondBelow = face.secondBelow.data();
    for (size_t j = 1; j < static_cast<size_t>(cellColumns); ++j) {
        Vec3 sum{};
        sum += secondAbove[j - 1];
        sum += firstAbove[j];
        sum += secondAbove[j];
        sum += firstBelow[j - 1];
        sum += secondBelow[j - 1];
        sum += firstBelow[j];
        sums[j] = sum;
    }
    sums[static_cast<size_t>(cellColumns)] = faceNormalSum(face, walls, i, cellColumns, cellColumns, cellRows, front);
}

// The front and back vertices of rows firstRow .. endRow - 1 with their final normals, and the
// triangles of those rows' cells. A run needs only the grid and the walls, so runs can be built side
// by side; one that starts below the first row works out the cells above it again.
void buildSlabRows(const SlabBuild& build, int32_t firstRow, int32_t endRow) {
    const SlabCentreGrid& grid = build.grid;
    const PlacementPair placement = placementPair(build.placement.layerToCamera, build.placement.layerToWorld);
    const int32_t cellColumns = grid.columns - 1, cellRows = grid.rows - 1;
    const size_t columns = static_cast<size_t>(grid.columns);
    const size_t gridCount = columns * static_cast<size_t>(grid.rows);
    std::vector<Vec3> normals(columns), frontSums(columns), backSums(columns);
    FaceRows front(columns), back(columns);
    if (firstRow > 0) {
        placeRow(build, firstRow - 1, normals, front.nextPoints, back.nextPoints);
        placeRow(build, firstRow, normals, front.points, back.points);
        cellNormalRow(front.nextPoints, front.points, true, front.firstAbove, front.secondAbove);
        cellNormalRow(back.nextPoints, back.points, false, back.firstAbove, back.secondAbove);
    } else {
        placeRow(build, firstRow, normals, front.points, back.points);
    }
    for (int32_t i = firstRow; i < endRow; ++i) {
        if (i < cellRows) {
            placeRow(build, i + 1, normals, front.nextPoints, back.nextPoints);
            cellNormalRow(front.points, front.nextPoints, true, front.firstBelow, front.secondBelow);
            cellNormalRow(back.points, back.nextPoints, false, back.firstBelow, back.secondBelow);
        }
        faceNormalSumRow(front, build.walls, i, cellColumns, cellRows, true, frontSums);
        faceNormalSumRow(back, build.walls, i, cellColumns, cellRows, false, backSums);
        const double v = static_cast<double>(i) / cellRows;
        SurfaceVertex* frontRow = build.vertices + static_cast<size_t>(i) * columns;
        SurfaceVertex* backRow = frontRow + gridCount;
        for (size_t j = 0; j < columns; ++j) {
            // As setVertexNormals, with the two faces' square roots and divisions paired.
            Vec3 frontNormal, backNormal;
            normalizeBothOr(frontSums[j], backSums[j], kCameraFacingNormal, frontNormal, backNormal);
            writePlacedVertex(frontRow[j], placement, front.points[j], frontNormal, grid.u[j], v);
            writePlacedVertex(backRow[j], placement, back.points[j], backNormal, grid.u[j], v);
        }
        if (i < cellRows) {
            const int32_t top = i * grid.columns, bottom = top + grid.columns,
                          backTop = static_cast<int32_t>(gridCount) + top, backBottom = backTop + grid.columns;
            SurfaceTriangle* out = build.cellTriangles + static_cast<size_t>(i) * static_cast<size_t>(cellColumns) * 4;
            for (int32_t j = 0; j < cellColumns; ++j, out += 4) {
                const auto frontQuad = quadTriangles(top + j, bottom + j, top + j + 1, bottom + j + 1, kFaceFront, 0);
                const auto backQuad =
                    quadTriangles(backTop + j, backTop + j + 1, backBottom + j, backBottom + j + 1, kFaceBack, 0);
                out[0] = frontQuad[0];
                out[1] = frontQuad[1];
                out[2] = backQuad[0];
                out[3] = backQuad[1];
            }
        }
        front.nextRow();
        back.nextRow();
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
    const size_t cellTriangles = static_cast<size_t>(cellColumns) * cellRows * 4;
    // The cut-out outline needs only the grid's texture coordinates; its walls come after the slab's.
    const AlphaContour contour = traceAlphaContour(surface, grid.u, grid.rows, halfThickness);
    reserveMeshStorage(mesh, static_cast<size_t>(gridCount) * 2 + contour.wallVertexBound(),
                       cellTriangles + static_cast<size_t>(cellColumns + cellRows) * 4 + contour.wallTriangleBound());
    // Sized up front, every element left for its run of rows to write, so that the runs can fill the
    // arrays in place side by side and nothing writes an element twice.
    resizeUnwritten(mesh.vertices, static_cast<size_t>(gridCount) * 2);
    resizeUnwritten(mesh.triangles, cellTriangles);
    const SlabWalls walls = slabWalls(grid, halfThickness, closedLoop);
    const SlabBuild build{
        grid, walls, placement, halfThickness, closedLoop, mesh.vertices.data(), mesh.triangles.data()};
    const size_t rowsPerWorker = std::max<size_t>(1, kMinGridPointsPerWorker / static_cast<size_t>(grid.columns));
    auto rows = [&build](uint32_t begin, uint32_t end) {
        buildSlabRows(build, static_cast<int32_t>(begin), static_cast<int32_t>(end));
    };
    parallelFor(static_cast<uint32_t>(grid.rows), static_cast<uint32_t>(rowsPerWorker), rows);

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
    addAlphaContourWalls(surface, contour, gridCount);
    computeNormals(mesh, placement.layerToCamera, placement.layerToWorld, slabVertices, slabTriangles);
    // Back-facing front and back faces of a slab are always hidden behind its other side.
    surface.cullRangeBegin = gridCount;
    surface.cullRangeEnd = gridCount;
    return SlabGrid{grid.columns, grid.rows, gridCount, halfThickness};
}

}  // namespace zephrin
