#include "renderer/geometry/alpha_contour_walls.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <utility>
#include <vector>

#include "common/diagnostic_log.h"
#include "renderer/texture/pixel_formats.h"
#include "renderer/texture/texture_sampling.h"
#include "renderer/geometry/mesh_building.h"
#include "renderer/runtime/worker_pool.h"
#include "sdk/AE_Effect.h"

namespace zephrin {

namespace {

// Alpha thresholds below which a texel counts as transparent, per channel format.
constexpr uint8_t kOpaqueAlpha8 = 2;        // above
constexpr uint16_t kOpaqueAlpha16 = 328;    // at least
constexpr float kOpaqueAlphaFloat = 0.01f;  // above
// Sampling or tracing is shared out when each worker gets at least this many field samples or cells:
// a sample costs about a texture lookup, so fewer are done sooner than a thread starts.
constexpr int64_t kMinContourCellsPerWorker = 8192;
// Edge values closer than this cross the level at the edge's middle.
constexpr double kFlatEdge = 1e-12;

SurfaceVertex lerpVertex(const SurfaceVertex& a, const SurfaceVertex& b, double t) {
    const auto mix = [t](const Vec3& p, const Vec3& q) { return p + (q - p) * t; };
    SurfaceVertex v;
    v.objectPosition = mix(a.objectPosition, b.objectPosition);
    v.cameraPosition = mix(a.cameraPosition, b.cameraPosition);
    v.worldPosition = mix(a.worldPosition, b.worldPosition);
    v.cameraNormal = mix(a.cameraNormal, b.cameraNormal);
    v.worldNormal = mix(a.worldNormal, b.worldNormal);
    v.u = a.u + (b.u - a.u) * t;
    v.v = a.v + (b.v - a.v) * t;
    return v;
}

// A point of a slab grid of columns x rows vertices, at grid coordinates (gx, gy): the cell that holds
// it (clamped to the grid) and the point's place inside that cell.
struct GridCell {
    int32_t i = 0, j = 0;
    double fx = 0.0, fy = 0.0;
};

GridCell gridCell(int32_t columns, int32_t rows, double gx, double gy) {
    gx = std::clamp(gx, 0.0, static_cast<double>(columns - 1));
    gy = std::clamp(gy, 0.0, static_cast<double>(rows - 1));
    GridCell c;
    c.j = std::min(static_cast<int32_t>(gx), columns - 2);
    c.i = std::min(static_cast<int32_t>(gy), rows - 2);
    c.fx = gx - c.j;
    c.fy = gy - c.i;
    return c;
}

// Bilinear texture coordinates over the slab grid, from its columns' u and its rows' v: the values
// its vertices are given, so the field is the one the finished slab's vertices would give.
struct GridUv {
    const std::vector<double>& columnU;
    int32_t columns;
    int32_t rows;

    double rowV(int32_t i) const { return static_cast<double>(i) / (rows - 1); }
    void uvAt(double gx, double gy, double& u, double& v) const {
        const GridCell c = gridCell(columns, rows, gx, gy);
        const double ua = columnU[static_cast<size_t>(c.j)], ub = columnU[static_cast<size_t>(c.j) + 1];
        const double va = rowV(c.i), vd = rowV(c.i + 1);
        const double wa = (1.0 - c.fx) * (1.0 - c.fy), wb = c.fx * (1.0 - c.fy), wd = (1.0 - c.fx) * c.fy,
                     we = c.fx * c.fy;
        // Corners a, b (top row) and d, e (bottom row), summed in that order.
        u = wa * ua + wb * ub + wd * ua + we * ub;
        v = wa * va + wb * va + wd * vd + we * vd;
    }
};

// Bilinear lookups into one face of the built slab at grid coordinates (gx, gy).
struct GridView {
    const SurfaceMesh& mesh;
    int32_t columns;
    int32_t rows;
    int32_t base;  // index of the face's first vertex

    const SurfaceVertex& vertex(int32_t i, int32_t j) const {
        return mesh.vertices[static_cast<size_t>(base + i * columns + j)];
    }
    SurfaceVertex interpolate(double gx, double gy) const {
        const GridCell c = gridCell(columns, rows, gx, gy);
        const SurfaceVertex top = lerpVertex(vertex(c.i, c.j), vertex(c.i, c.j + 1), c.fx);
        const SurfaceVertex bottom = lerpVertex(vertex(c.i + 1, c.j), vertex(c.i + 1, c.j + 1), c.fx);
        return lerpVertex(top, bottom, c.fy);
    }
    // Object-space direction of a step (dx, dy) in grid coordinates at (gx, gy).
    Vec3 direction(double gx, double gy, double dx, double dy) const {
        const GridCell c = gridCell(columns, rows, gx, gy);
        const Vec3& origin = vertex(c.i, c.j).objectPosition;
        return (vertex(c.i, c.j + 1).objectPosition - origin) * dx +
               (vertex(c.i + 1, c.j).objectPosition - origin) * dy;
    }
};

using Crossing = ContourCrossing;

// Sample counts of the alpha field along the grid's columns (x) and rows (y).
struct FieldSize {
    int64_t nx = 0, ny = 0;
};

// About one sample per texel (at most 512 per axis of the image), more where tiles repeat the image,
// never fewer than the grid's cells, and no more than kMaxContourSamples in all.
FieldSize contourSampleCounts(const SurfaceTexture& texture, const std::vector<double>& columnU, int32_t columns,
                              int32_t rows) {
    const UvRect& rect = texture.uvRect;
    const double ex = std::max((texture.width - 1) * std::fabs(rect.uMax - rect.uMin), 1.0);
    const double ey = std::max((texture.height - 1) * std::fabs(rect.vMax - rect.vMin), 1.0);
    const double r = std::min(kContourSamplesPerAxis / std::max(ex, ey), 1.0);
    double uLow = columnU[0], uHigh = columnU[0];
    for (const double u : columnU) {
        uLow = std::min(uLow, u);
        uHigh = std::max(uHigh, u);
    }
    const double du = std::isfinite(uHigh - uLow) ? std::max(uHigh - uLow, 1.0) : 1.0;
    int64_t nx = std::max<int64_t>(static_cast<int64_t>(std::ceil(r * ex * du)), columns - 1);
    int64_t ny = std::max<int64_t>(static_cast<int64_t>(std::ceil(r * ey)), rows - 1);
    if (nx * ny > kMaxContourSamples) {
        const double scale = std::sqrt(static_cast<double>(kMaxContourSamples) / static_cast<double>(nx * ny));
        nx = std::max<int64_t>(static_cast<int64_t>(std::floor(nx * scale)), columns - 1);
        ny = std::max<int64_t>(static_cast<int64_t>(std::floor(ny * scale)), rows - 1);
    }
    return FieldSize{nx, ny};
}

// The front texture's alpha over the grid, with a transparent border one sample wide so that every
// outline closes. Field sample (j + 1, i + 1) lies at grid point (j * xScale, i * yScale).
struct AlphaField {
    std::vector<float> values;
    int64_t width = 0, height = 0;
    double xScale = 0.0, yScale = 0.0;  // grid steps per field step
};

AlphaField sampleAlphaField(const SceneSurface& surface, const GridUv& front, FieldSize size) {
    AlphaField field;
    field.width = size.nx + 3;
    field.height = size.ny + 3;
    field.values.assign(static_cast<size_t>(field.width * field.height), 0.0f);
    field.xScale = static_cast<double>(front.columns - 1) / static_cast<double>(size.nx);
    field.yScale = static_cast<double>(front.rows - 1) / static_cast<double>(size.ny);
    // Rows of samples are independent: runs of them are sampled side by side.
    auto rows = [&](uint32_t begin, uint32_t end) {
        for (int64_t i = begin; i < static_cast<int64_t>(end); ++i) {
            for (int64_t j = 0; j <= size.nx; ++j) {
                double u = 0.0, v = 0.0;
                front.uvAt(static_cast<double>(j) * field.xScale, static_cast<double>(i) * field.yScale, u, v);
                const PackedColor c = faceColour(surface, kFaceFront, u, v);
                field.values[static_cast<size_t>((i + 1) * field.width + j + 1)] =
                    static_cast<float>(packedAlpha(c) / 255.0);
            }
        }
    };
    const int64_t rowsPerWorker = std::max<int64_t>(1, kMinContourCellsPerWorker / (size.nx + 1));
    parallelFor(static_cast<uint32_t>(size.ny + 1), static_cast<uint32_t>(rowsPerWorker), rows);
    return field;
}

using ContourSegment = std::pair<Crossing, Crossing>;

// Marching squares at the level one half. Corners run clockwise on screen (top-left, top-right,
// bottom-right, bottom-left); each segment runs from the edge where the walk leaves the opaque area
// to the edge where it re-enters, which keeps the transparent side on the segment's right. This walks
// the field's cell rows firstRow .. endRow - 1.
void traceContourRows(const AlphaField& field, int64_t firstRow, int64_t endRow, std::vector<ContourSegment>& walls) {
    const auto emitWall = [&walls](const Crossing& from, const Crossing& to) { walls.emplace_back(from, to); };
    const int64_t fieldWidth = field.width;
    for (int64_t fi = firstRow; fi < endRow; ++fi) {
        for (int64_t fj = 0; fj + 1 < fieldWidth; ++fj) {
            const double xs[4] = {static_cast<double>(fj), static_cast<double>(fj + 1), static_cast<double>(fj + 1),
                                  static_cast<double>(fj)};
            const double ys[4] = {static_cast<double>(fi), static_cast<double>(fi), static_cast<double>(fi + 1),
                                  static_cast<double>(fi + 1)};
            double values[4];
            int caseBits = 0;
            for (int k = 0; k < 4; ++k) {
                values[k] = field.values[static_cast<size_t>(static_cast<int64_t>(ys[k]) * fieldWidth +
                                                             static_cast<int64_t>(xs[k]))];
                if (values[k] >= kContourLevel) caseBits |= 1 << k;
            }
            if (caseBits == 0 || caseBits == 15) continue;

            Crossing crossings[4];
            int count = 0;
            for (int k = 0; k < 4; ++k) {
                const int next = (k + 1) % 4;
                const bool high = values[k] >= kContourLevel, nextHigh = values[next] >= kContourLevel;
                if (high == nextHigh) continue;
                const double delta = values[next] - values[k];
                const double t =
                    std::fabs(delta) < kFlatEdge ? 0.5 : std::clamp((kContourLevel - values[k]) / delta, 0.0, 1.0);
                crossings[count++] = Crossing{xs[k] + (xs[next] - xs[k]) * t, ys[k] + (ys[next] - ys[k]) * t, high};
            }
            if (count == 2) {
                emitWall(crossings[0].exit ? crossings[0] : crossings[1],
                         crossings[0].exit ? crossings[1] : crossings[0]);
                continue;
            }
            // A saddle: opaque corners are joined when the cell's average is opaque, so each exit
            // pairs with the entry after it; otherwise with the entry before it.
            const bool joinHigh = (values[0] + values[1] + values[2] + values[3]) * 0.25 >= kContourLevel;
            for (int k = 0; k < 4; ++k) {
                if (!crossings[k].exit) continue;
                const Crossing& entry = crossings[joinHigh ? (k + 1) % 4 : (k + 3) % 4];
                emitWall(crossings[k], entry);
            }
        }
    }
}

// Runs of cell rows are traced side by side, each into a list of its own; joined in row order, the
// lists are the one walk over the whole field.
std::vector<ContourSegment> traceContour(const AlphaField& field) {
    const int64_t cellRows = std::max<int64_t>(field.height - 1, 0);
    const int64_t rowsPerRun = std::max<int64_t>(1, kMinContourCellsPerWorker / std::max<int64_t>(field.width, 1));
    const int64_t runCount = (cellRows + rowsPerRun - 1) / rowsPerRun;
    std::vector<std::vector<ContourSegment>> runs(static_cast<size_t>(runCount));
    auto trace = [&](uint32_t begin, uint32_t end) {
        for (uint32_t run = begin; run < end; ++run) {
            const int64_t first = static_cast<int64_t>(run) * rowsPerRun;
            traceContourRows(field, first, std::min(first + rowsPerRun, cellRows), runs[run]);
        }
    };
    parallelFor(static_cast<uint32_t>(runCount), 1, trace);
    size_t total = 0;
    for (const auto& run : runs) total += run.size();
    std::vector<ContourSegment> walls;
    walls.reserve(total);
    for (const auto& run : runs) walls.insert(walls.end(), run.begin(), run.end());
    return walls;
}

// One wall quad per segment from the front face to the back face, wound to face the transparent side.
// Segments that clamp to a single grid point are dropped. Returns the number of walls added.
int32_t appendWalls(SurfaceMesh& mesh, const GridView& front, const GridView& backFace, const AlphaContour& contour) {
    const int32_t columns = front.columns, rows = front.rows;
    const auto gridX = [&contour](double fx) { return (fx - 1.0) * contour.xScale; };
    const auto gridY = [&contour](double fy) { return (fy - 1.0) * contour.yScale; };
    // The slab's arrays were sized for these walls already (at most four vertices and two triangles
    // each); this only guards a caller that did not.
    mesh.vertices.reserve(mesh.vertices.size() + contour.wallVertexBound());
    mesh.triangles.reserve(mesh.triangles.size() + contour.wallTriangleBound());
    int32_t segments = 0;
    for (const auto& [from, to] : contour.segments) {
        const double gx0 = gridX(from.x), gy0 = gridY(from.y), gx1 = gridX(to.x), gy1 = gridY(to.y);
        const double cx0 = std::clamp(gx0, 0.0, columns - 1.0), cy0 = std::clamp(gy0, 0.0, rows - 1.0);
        const double cx1 = std::clamp(gx1, 0.0, columns - 1.0), cy1 = std::clamp(gy1, 0.0, rows - 1.0);
        if (cx0 == cx1 && cy0 == cy1) continue;
        const int32_t f0 = static_cast<int32_t>(mesh.vertices.size());
        mesh.vertices.push_back(front.interpolate(gx0, gy0));
        mesh.vertices.push_back(backFace.interpolate(gx0, gy0));
        mesh.vertices.push_back(front.interpolate(gx1, gy1));
        mesh.vertices.push_back(backFace.interpolate(gx1, gy1));
        const int32_t k0 = f0 + 1, f1 = f0 + 2, k1 = f0 + 3;
        // Transparent side: the segment direction turned a quarter towards the right, in grid steps.
        const double dx = (to.x - from.x) * contour.xScale, dy = (to.y - from.y) * contour.yScale;
        const Vec3 outward = front.direction((cx0 + cx1) * 0.5, (cy0 + cy1) * 0.5, dy, -dx);
        const Vec3& a = mesh.vertices[static_cast<size_t>(f0)].objectPosition;
        const Vec3& b = mesh.vertices[static_cast<size_t>(f1)].objectPosition;
        const Vec3& c = mesh.vertices[static_cast<size_t>(k0)].objectPosition;
        if (dot(cross(b - a, c - a), outward) >= 0.0) {
            addQuad(mesh, f0, f1, k0, k1, kFaceSideThickness, 0);
        } else {
            addQuad(mesh, f0, k0, f1, k1, kFaceSideThickness, 0);
        }
        ++segments;
    }
    return segments;
}

}  // namespace

bool texelIsOpaque(const SurfaceTexture& texture, int32_t x, int32_t y) {
    switch (texture.worldType) {
        case AEGP_WorldType_8:
            return texelAt<PF_Pixel8>(texture, x, y).alpha > kOpaqueAlpha8;
        case AEGP_WorldType_16:
            return texelAt<PF_Pixel16>(texture, x, y).alpha >= kOpaqueAlpha16;
        case AEGP_WorldType_32:
            return texelAt<PF_PixelFloat>(texture, x, y).alpha > kOpaqueAlphaFloat;
        default:
            return false;
    }
}

bool textureHasTransparency(const SurfaceTexture& texture) {
    if (!texture.hasPixels()) return false;
    for (int32_t y = 0; y < texture.height; ++y) {
        for (int32_t x = 0; x < texture.width; ++x) {
            if (!texelIsOpaque(texture, x, y)) return true;
        }
    }
    return false;
}

AlphaContour traceAlphaContour(const SceneSurface& surface, const std::vector<double>& columnU, int32_t rows,
                               double halfThickness) {
    AlphaContour contour;
    const int32_t columns = static_cast<int32_t>(columnU.size());
    if (columns < 2 || rows < 2 || !(halfThickness > 0.0) || !textureHasTransparency(surface.frontTexture)) {
        return contour;
    }
    const FieldSize size = contourSampleCounts(surface.frontTexture, columnU, columns, rows);
    const AlphaField field = sampleAlphaField(surface, GridUv{columnU, columns, rows}, size);
    contour.traced = true;
    contour.columns = columns;
    contour.rows = rows;
    contour.samples = size.nx * size.ny;
    contour.xScale = field.xScale;
    contour.yScale = field.yScale;
    contour.segments = traceContour(field);
    return contour;
}

int32_t addAlphaContourWalls(SceneSurface& surface, const AlphaContour& contour, int32_t frontVertexCount) {
    SurfaceMesh& mesh = surface.mesh;
    const int32_t columns = contour.columns, rows = contour.rows;
    if (!contour.traced || frontVertexCount < 0 || static_cast<int64_t>(columns) * rows > frontVertexCount ||
        static_cast<size_t>(frontVertexCount) * 2 > mesh.vertices.size()) {
        return 0;
    }
    const GridView front{mesh, columns, rows, 0};
    const GridView backFace{mesh, columns, rows, frontVertexCount};
    const int32_t segments = appendWalls(mesh, front, backFace, contour);

    if (renderLogEnabled()) {
        std::ostringstream line;
        line << "RendererV2AlphaContour: samples=" << contour.samples << " segments=" << segments;
        logRender(line.str());
    }
    return segments;
}

}  // namespace zephrin
