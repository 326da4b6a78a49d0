// The raster's fast coverage (thresholds instead of divisions, row terms, candidate and interior
// spans) must give exactly the masks and centroids of the plain per-sample test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "renderer/raster/raster_band.h"
#include "renderer/raster/raster_fragment.h"
#include "renderer/raster/raster_prepare.h"
#include "renderer/runtime/frame_buffers.h"

namespace zephrin {
namespace {

// The per-sample test as the rasterizer defines it: every edge function divided by the area term is
// at least -kEdgeInsideEpsilon; the centroid is the mean of the covered sample positions.
template <size_t N>
PixelCoverage referenceCoverage(const PreparedTriangle& t, int32_t x, int32_t y, const double (&pattern)[N][2]) {
    const ProjectedVertex& a = t.vertices[0];
    const ProjectedVertex& b = t.vertices[1];
    const ProjectedVertex& c = t.vertices[2];
    PixelCoverage coverage;
    double sumX = 0.0, sumY = 0.0;
    int covered = 0;
    for (size_t i = 0; i < N; ++i) {
        double px = x + pattern[i][0];
        double py = y + pattern[i][1];
        double w0 = ((b.screenY - py) * (c.screenX - px) - (c.screenY - py) * (b.screenX - px)) / t.area;
        double w1 = ((py - a.screenY) * (c.screenX - a.screenX) - (c.screenY - a.screenY) * (px - a.screenX)) / t.area;
        double w2 = ((b.screenY - a.screenY) * (px - a.screenX) - (py - a.screenY) * (b.screenX - a.screenX)) / t.area;
        if (w0 >= -kEdgeInsideEpsilon && w1 >= -kEdgeInsideEpsilon && w2 >= -kEdgeInsideEpsilon) {
            coverage.mask = static_cast<uint8_t>(coverage.mask | (1u << i));
            sumX += px;
            sumY += py;
            ++covered;
        }
    }
    if (covered > 0) {
        coverage.centroidX = sumX / covered;
        coverage.centroidY = sumY / covered;
    }
    if (t.sevenSampleCoverage && coverage.mask != 0) coverage.mask |= kSevenSampleMaskBit;
    return coverage;
}

PixelCoverage referenceCoverage(const PreparedTriangle& t, int32_t x, int32_t y) {
    return t.sevenSampleCoverage ? referenceCoverage(t, x, y, kSevenSamplePattern)
                                 : referenceCoverage(t, x, y, kFourSamplePattern);
}

// A prepared triangle straight from screen positions, set up as preparation sets it up.
PreparedTriangle screenTriangle(const double (&corners)[3][2], bool sevenSamples, int32_t size) {
    PreparedTriangle t;
    for (int i = 0; i < 3; ++i) {
        t.vertices[i].screenX = corners[i][0];
        t.vertices[i].screenY = corners[i][1];
        t.vertices[i].inverseZ = 1.0;
    }
    const ProjectedVertex& v0 = t.vertices[0];
    const ProjectedVertex& v1 = t.vertices[1];
    const ProjectedVertex& v2 = t.vertices[2];
    t.area = (v1.screenY - v0.screenY) * (v2.screenX - v0.screenX) - (v2.screenY - v0.screenY) * (v1.screenX - v0.screenX);
    t.sevenSampleCoverage = sevenSamples;
    auto pixel = [size](double v) { return static_cast<int32_t>(std::fmin(std::fmax(v, 0.0), size - 1.0)); };
    t.minX = pixel(std::floor(std::fmin(v0.screenX, std::fmin(v1.screenX, v2.screenX))));
    t.maxX = pixel(std::ceil(std::fmax(v0.screenX, std::fmax(v1.screenX, v2.screenX))));
    t.minY = pixel(std::floor(std::fmin(v0.screenY, std::fmin(v1.screenY, v2.screenY))));
    t.maxY = pixel(std::ceil(std::fmax(v0.screenY, std::fmax(v1.screenY, v2.screenY))));
    setUpCoverage(t);
    return t;
}

TEST(FastCoverage, ThresholdDecidesExactlyAsTheDivision) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> logArea(-6.0, 9.0);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    for (int trial = 0; trial < 2000; ++trial) {
        PreparedTriangle t;
        t.area = std::pow(10.0, logArea(rng)) * (trial % 2 == 0 ? 1.0 : -1.0);
        setUpCoverage(t);
        ASSERT_TRUE(t.coverage.exact) << "area " << t.area;
        // Edge values around the boundary, a few ulps either side, and far from it.
        double boundary = -kEdgeInsideEpsilon * t.area;
        double e = boundary;
        for (int step = 0; step < 8; ++step) e = std::nextafter(e, -INFINITY);
        for (int step = 0; step < 16; ++step, e = std::nextafter(e, INFINITY)) {
            bool divided = e / t.area >= -kEdgeInsideEpsilon;
            bool compared = t.coverage.orientation * e >= t.coverage.insideFrom;
            ASSERT_EQ(divided, compared) << "area " << t.area << " edge " << e;
        }
        double far = boundary * (1.0 + 0.5 * unit(rng));
        EXPECT_EQ(far / t.area >= -kEdgeInsideEpsilon, t.coverage.orientation * far >= t.coverage.insideFrom);
    }
}

TEST(FastCoverage, SpansSkipNoCoveredPixelAndMasksAndKeptMasksMatchThePerSampleTest) {
    constexpr int32_t kSize = 48;
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> onRaster(-8.0, kSize + 8.0);
    std::uniform_real_distribution<double> jitter(-1e-7, 1e-7);
    std::uniform_real_distribution<double> far(-1e6, 1e6);
    size_t coveredPixels = 0, interiorPixels = 0;
    for (int trial = 0; trial < 600; ++trial) {
        double corners[3][2];
        for (auto& corner : corners) {
            corner[0] = onRaster(rng);
            corner[1] = onRaster(rng);
        }
        // Slivers, corners on sample rows and columns, and corners far off the raster.
        if (trial % 5 == 1) corners[2][1] = corners[0][1] + jitter(rng);
        if (trial % 5 == 2) {
            corners[1][0] = std::floor(corners[1][0]) + 0.25;
            corners[2][1] = std::floor(corners[2][1]) + 0.75;
        }
        if (trial % 5 == 3) corners[2][0] = far(rng);
        // An edge along a row: its edge function does not change along the row.
        if (trial % 5 == 4) corners[1][1] = corners[0][1];
        const bool seven = trial % 3 == 0;
        PreparedTriangle t = screenTriangle(corners, seven, kSize);
        if (!(std::fabs(t.area) >= kMinScreenArea)) continue;

        for (int32_t y = t.minY; y <= t.maxY; ++y) {
            const CoverageRow row = coverageRow(t, y);
            const RowSpans spans = rowSpans(t, row);
            if (!seven && wideCoverage()) {
                // The portable and the AVX2 row terms, then spans, on the same row.
                const CoverageRow portableRow = coverageRowPortable(t, y), wideRow = coverageRowWide(t, y);
                ASSERT_EQ(wideRow.y, portableRow.y);
                for (const auto field : {&CoverageRow::sampleY, &CoverageRow::bMinusY, &CoverageRow::cMinusY,
                                         &CoverageRow::edge1RowTerm, &CoverageRow::edge2RowTerm}) {
                    ASSERT_EQ(std::memcmp(wideRow.*field, portableRow.*field, sizeof(portableRow.*field)), 0)
                        << "trial " << trial << " row " << y;
                }
                const RowSpans portable = rowSpansPortable(t, row), wide = rowSpansWide(t, row);
                ASSERT_EQ(wide.first, portable.first) << "trial " << trial << " row " << y;
                ASSERT_EQ(wide.last, portable.last) << "trial " << trial << " row " << y;
                ASSERT_EQ(wide.interiorFirst, portable.interiorFirst) << "trial " << trial << " row " << y;
                ASSERT_EQ(wide.interiorLast, portable.interiorLast) << "trial " << trial << " row " << y;
            }
            for (int32_t x = t.minX; x <= t.maxX; ++x) {
                const PixelCoverage expected = referenceCoverage(t, x, y);
                const bool candidate = x >= spans.first && x <= spans.last;
                const bool interior = x >= spans.interiorFirst && x <= spans.interiorLast;
                ASSERT_TRUE(candidate || expected.mask == 0) << "trial " << trial << " skipped covered pixel " << x
                                                             << ", " << y;
                const PixelCoverage fast = interior ? coverInteriorPixel(t, row, x) : coverPixelInRow(t, row, x);
                ASSERT_EQ(fast.mask, expected.mask) << "trial " << trial << " pixel " << x << ", " << y;
                if (!seven) {
                    // The portable and the AVX2 four-sample tests on the same pixel, whichever this
                    // processor takes.
                    std::vector<PixelCoverage> ways{coverFourSamplesPortable(t, row, x)};
                    if (wideCoverage()) ways.push_back(coverFourSamplesWide(t, row, x));
                    for (const PixelCoverage& way : ways) {
                        ASSERT_EQ(way.mask, expected.mask) << "trial " << trial << " pixel " << x << ", " << y;
                        if (expected.mask == 0) continue;
                        ASSERT_EQ(way.centroidX, expected.centroidX);
                        ASSERT_EQ(way.centroidY, expected.centroidY);
                    }
                }
                if (expected.mask == 0) continue;
                ++coveredPixels;
                interiorPixels += interior ? 1 : 0;
                ASSERT_EQ(fast.centroidX, expected.centroidX);
                ASSERT_EQ(fast.centroidY, expected.centroidY);
                // Deferred shading rebuilds the winner's centroid from the mask the raster kept.
                const PixelCoverage fromMask = coverageFromMask(x, y, fast.mask);
                ASSERT_EQ(fromMask.mask, expected.mask);
                ASSERT_EQ(fromMask.centroidX, expected.centroidX);
                ASSERT_EQ(fromMask.centroidY, expected.centroidY);
            }
        }
    }
    // The shortcut must actually be taken for most covered pixels of these triangles.
    EXPECT_GT(interiorPixels, coveredPixels / 2);
}

TEST(FastCoverage, KeptMasksGiveTheSampleBySampleCentroidAtAnyPixel) {
    // Every mask of both patterns, far from the origin too, against summing the covered samples one by
    // one; bits beyond the four-sample pattern count for nothing.
    for (const int32_t at : {0, 1, 7, 1919, 4095, (1 << 20) + 3, (1 << 30) + 1}) {
        const int32_t x = at, y = at / 2 + 1;
        for (uint32_t bits = 0; bits < 256; ++bits) {
            const auto mask = static_cast<uint8_t>(bits);
            const bool seven = (mask & kSevenSampleMaskBit) != 0;
            const double(*pattern)[2] = seven ? kSevenSamplePattern : kFourSamplePattern;
            double sumX = 0.0, sumY = 0.0;
            int covered = 0;
            for (int i = 0; i < (seven ? 7 : 4); ++i) {
                if ((mask >> i & 1u) == 0) continue;
                sumX += x + pattern[i][0];
                sumY += y + pattern[i][1];
                ++covered;
            }
            const PixelCoverage fromMask = coverageFromMask(x, y, mask);
            if (covered == 0) {
                ASSERT_EQ(fromMask.mask, 0) << int(mask);
                continue;
            }
            ASSERT_EQ(fromMask.mask, mask);
            ASSERT_EQ(fromMask.centroidX, sumX / covered) << int(mask) << " at " << x;
            ASSERT_EQ(fromMask.centroidY, sumY / covered) << int(mask) << " at " << y;
        }
    }
}

}  // namespace
}  // namespace zephrin

namespace zephrin {
namespace {

TEST(FastCoverage, PixelWalkVisitsExactlyTheCoveredPixelsOfNarrowAndWideTriangles) {
    constexpr int32_t kSize = 64;
    std::mt19937_64 rng(23);
    std::uniform_real_distribution<double> onRaster(-4.0, kSize + 4.0), narrow(0.0, 9.0);
    int narrowTriangles = 0;
    for (int trial = 0; trial < 400; ++trial) {
        double corners[3][2];
        for (auto& corner : corners) {
            corner[0] = onRaster(rng);
            corner[1] = onRaster(rng);
        }
        // Every other triangle a few columns wide: the walk then skips the span bounds.
        if (trial % 2 == 0) {
            corners[1][0] = corners[0][0] + narrow(rng);
            corners[2][0] = corners[0][0] + narrow(rng);
        }
        PreparedTriangle t = screenTriangle(corners, trial % 3 == 0, kSize);
        if (!(std::fabs(t.area) >= kMinScreenArea)) continue;
        narrowTriangles += t.maxX - t.minX < kNarrowTriangleColumns ? 1 : 0;
        const int32_t firstRow = trial % 4 == 1 ? kSize / 3 : 0, endRow = trial % 4 == 1 ? kSize / 2 : kSize;
        std::vector<uint8_t> visited(static_cast<size_t>(kSize * kSize), 0);
        forEachCoveredPixelInRows(t, firstRow, endRow, [&](int32_t x, int32_t y, const PixelCoverage& coverage) {
            ASSERT_EQ(coverage.mask, referenceCoverage(t, x, y).mask) << "trial " << trial;
            visited[static_cast<size_t>(y * kSize + x)] = 1;
        });
        for (int32_t y = 0; y < kSize; ++y) {
            for (int32_t x = 0; x < kSize; ++x) {
                const bool inRows = y >= firstRow && y < endRow && y >= t.minY && y <= t.maxY && x >= t.minX &&
                                    x <= t.maxX;
                const bool covered = inRows && referenceCoverage(t, x, y).mask != 0;
                ASSERT_EQ(visited[static_cast<size_t>(y * kSize + x)] != 0, covered)
                    << "trial " << trial << " pixel " << x << ", " << y;
            }
        }
    }
    EXPECT_GT(narrowTriangles, 100);
}

// A sample closer than this (in raster pixels) to a shared edge or to the mesh's outline may go
// either way: the fill convention counts a sample on an edge, within the edge slack, in both
// triangles. The slack is 1e-5 of a triangle's area term, far below this for the meshes below.
constexpr double kOnEdgeDistance = 1e-3;
constexpr int32_t kMeshRaster = 64;
constexpr double kMeshFocal = 100.0;

// A mesh on screen: corners in raster pixels (each with its own depth, so the mesh is bent, not
// flat) shared by index between the triangles, and the convex outline it fills.
struct ScreenMesh {
    std::vector<double> x, y, z;
    std::vector<SurfaceTriangle> triangles;
    std::vector<std::pair<double, double>> outline;  // convex, in order
};

double distanceToLine(double px, double py, double ax, double ay, double bx, double by) {
    const double dx = bx - ax, dy = by - ay;
    return std::fabs((px - ax) * dy - (py - ay) * dx) / std::hypot(dx, dy);
}

// Signed distance from the outline: positive inside.
double insideOutline(const ScreenMesh& mesh, double px, double py) {
    double inside = INFINITY;
    const size_t n = mesh.outline.size();
    double orientation = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const auto& a = mesh.outline[i];
        const auto& b = mesh.outline[(i + 1) % n];
        const auto& c = mesh.outline[(i + 2) % n];
        orientation += (b.first - a.first) * (c.second - a.second) - (b.second - a.second) * (c.first - a.first);
    }
    for (size_t i = 0; i < n; ++i) {
        const auto& a = mesh.outline[i];
        const auto& b = mesh.outline[(i + 1) % n];
        const double cross = (b.first - a.first) * (py - a.second) - (b.second - a.second) * (px - a.first);
        const double d = distanceToLine(px, py, a.first, a.second, b.first, b.second);
        inside = std::min(inside, (cross * orientation >= 0.0) ? d : -d);
    }
    return inside;
}

// Corners snapped to the sample lattice put many samples exactly on edges.
double maybeSnap(double v, bool snap) { return snap ? std::round(v * 4.0) / 4.0 : v; }

// A grid of cells over a rectangle, each cell split along a random diagonal with a random winding.
// Inner corners move by up to a fifth of a cell, which keeps every cell convex; border corners move
// only along the border, so the outline stays the rectangle.
ScreenMesh jitteredGrid(std::mt19937_64& rng) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::uniform_int_distribution<int> cellCount(2, 9);
    const bool snap = unit(rng) < 0.4;
    const double x0 = maybeSnap(2.0 + 10.0 * unit(rng), snap), x1 = maybeSnap(kMeshRaster - 2.0 - 10.0 * unit(rng), snap);
    const double y0 = maybeSnap(2.0 + 10.0 * unit(rng), snap), y1 = maybeSnap(kMeshRaster - 2.0 - 10.0 * unit(rng), snap);
    const int columns = cellCount(rng), rows = cellCount(rng);
    const double cellW = (x1 - x0) / columns, cellH = (y1 - y0) / rows;
    ScreenMesh mesh;
    for (int j = 0; j <= rows; ++j) {
        for (int i = 0; i <= columns; ++i) {
            double x = i == columns ? x1 : x0 + i * cellW;
            double y = j == rows ? y1 : y0 + j * cellH;
            if (i > 0 && i < columns) x = maybeSnap(x + (unit(rng) - 0.5) * 0.4 * cellW, snap);
            if (j > 0 && j < rows) y = maybeSnap(y + (unit(rng) - 0.5) * 0.4 * cellH, snap);
            mesh.x.push_back(x);
            mesh.y.push_back(y);
            mesh.z.push_back(200.0 + 100.0 * unit(rng));
        }
    }
    auto corner = [columns](int i, int j) { return j * (columns + 1) + i; };
    auto add = [&](int a, int b, int c) {
        if (unit(rng) < 0.5) std::swap(b, c);
        mesh.triangles.push_back(SurfaceTriangle{a, b, c, kFaceFront, 0});
    };
    for (int j = 0; j < rows; ++j) {
        for (int i = 0; i < columns; ++i) {
            const int a = corner(i, j), b = corner(i + 1, j), c = corner(i + 1, j + 1), d = corner(i, j + 1);
            if (unit(rng) < 0.5) {
                add(a, b, c);
                add(a, c, d);
            } else {
                add(a, b, d);
                add(b, c, d);
            }
        }
    }
    mesh.outline = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
    return mesh;
}

// A fan about an off-centre point inside a convex polygon of 3 to 24 corners.
ScreenMesh jitteredFan(std::mt19937_64& rng) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const bool snap = unit(rng) < 0.4;
    const int corners = 3 + static_cast<int>(unit(rng) * 22.0);
    const double cx = kMeshRaster * 0.5 + 4.0 * (unit(rng) - 0.5), cy = kMeshRaster * 0.5 + 4.0 * (unit(rng) - 0.5);
    const double radius = 12.0 + 16.0 * unit(rng), turn = 6.283185307179586 * unit(rng);
    ScreenMesh mesh;
    // The hub stays within a quarter of the inradius of the centre, so every fan triangle keeps its winding.
    const double hubReach = 0.25 * radius * std::cos(3.141592653589793 / corners);
    mesh.x.push_back(maybeSnap(cx + hubReach * (unit(rng) - 0.5), snap));
    mesh.y.push_back(maybeSnap(cy + hubReach * (unit(rng) - 0.5), snap));
    mesh.z.push_back(150.0);
    for (int k = 0; k < corners; ++k) {
        const double angle = turn + 6.283185307179586 * k / corners;
        mesh.x.push_back(maybeSnap(cx + radius * std::cos(angle), snap));
        mesh.y.push_back(maybeSnap(cy + radius * std::sin(angle), snap));
        mesh.z.push_back(150.0 + 80.0 * unit(rng));
        mesh.outline.emplace_back(mesh.x.back(), mesh.y.back());
    }
    for (int k = 0; k < corners; ++k) {
        mesh.triangles.push_back(SurfaceTriangle{0, 1 + k, 1 + (k + 1) % corners, kFaceFront, 0});
    }
    return mesh;
}

SceneSurface meshSurface(const ScreenMesh& mesh, bool sevenSamples) {
    SceneSurface surface;
    for (size_t i = 0; i < mesh.x.size(); ++i) {
        SurfaceVertex v;
        const double z = mesh.z[i];
        v.cameraPosition = v.worldPosition = Vec3{(mesh.x[i] - kMeshRaster * 0.5) * z / kMeshFocal,
                                                  (mesh.y[i] - kMeshRaster * 0.5) * z / kMeshFocal, z};
        v.cameraNormal = v.worldNormal = Vec3{0.0, 0.0, -1.0};
        surface.mesh.vertices.push_back(v);
    }
    surface.mesh.triangles.assign(mesh.triangles.begin(), mesh.triangles.end());
    if (sevenSamples) surface.mesh.triangles[0].fineCoverage = 1;
    return surface;
}

double distanceToNearestEdge(const PreparedTriangle& t, double px, double py) {
    double nearest = INFINITY;
    for (int k = 0; k < 3; ++k) {
        const ProjectedVertex& a = t.vertices[k];
        const ProjectedVertex& b = t.vertices[(k + 1) % 3];
        nearest = std::min(nearest, distanceToLine(px, py, a.screenX, a.screenY, b.screenX, b.screenY));
    }
    return nearest;
}

TEST(MeshCoverage, EverySampleInsideASharedEdgeMeshIsCoveredExactlyOnce) {
    constexpr int kMeshes = 160;
    SceneCamera camera;
    camera.compWidth = camera.destWidth = kMeshRaster;
    camera.compHeight = camera.destHeight = kMeshRaster;
    camera.focal = kMeshFocal;
    size_t samplesChecked = 0, samplesOnSharedEdges = 0;
    for (uint64_t seed = 1; seed <= kMeshes; ++seed) {
        std::mt19937_64 rng(seed);
        const ScreenMesh mesh = seed % 2 == 0 ? jitteredGrid(rng) : jitteredFan(rng);
        const bool seven = seed % 3 == 0;
        std::vector<SceneSurface> surfaces;
        surfaces.push_back(meshSurface(mesh, seven));
        const std::vector<PreparedTriangle> prepared = prepareRaster(camera, surfaces, kMeshRaster, kMeshRaster);
        ASSERT_EQ(prepared.size(), mesh.triangles.size()) << "seed " << seed;

        // Which prepared triangles cover each sample, through the raster's own pixel walk.
        const int sampleCount = seven ? 7 : 4;
        const auto& pattern = seven ? kSevenSamplePattern : kFourSamplePattern;
        std::vector<std::vector<int32_t>> coveredBy(static_cast<size_t>(kMeshRaster * kMeshRaster * sampleCount));
        for (size_t p = 0; p < prepared.size(); ++p) {
            forEachCoveredPixelInRows(prepared[p], 0, kMeshRaster, [&](int32_t x, int32_t y, const PixelCoverage& c) {
                for (int s = 0; s < sampleCount; ++s) {
                    if ((c.mask >> s) & 1u)
                        coveredBy[static_cast<size_t>((y * kMeshRaster + x) * sampleCount + s)].push_back(
                            static_cast<int32_t>(p));
                }
            });
        }
        // The band pass over the same triangles, in two bands so that a band edge crosses the mesh.
        FrameBuffers buffers;
        buffers.rasterWidth = buffers.rasterHeight = kMeshRaster;
        allocateFrameBuffers(buffers, FrameBufferSet{true, true, false, false});
        const RasterBands bands = binRasterBands(prepared, kMeshRaster, 2);
        for (int32_t b = 0; b < 2; ++b) {
            rasterBand(surfaces, prepared, bands.bands[static_cast<size_t>(b)], rasterBandFirstRow(b, kMeshRaster, 2),
                       rasterBandFirstRow(b + 1, kMeshRaster, 2), buffers);
        }

        for (int32_t y = 0; y < kMeshRaster; ++y) {
            for (int32_t x = 0; x < kMeshRaster; ++x) {
                uint8_t expectedMask = 0;
                for (int s = 0; s < sampleCount; ++s) {
                    const double px = x + pattern[s][0], py = y + pattern[s][1];
                    const std::vector<int32_t>& by = coveredBy[static_cast<size_t>((y * kMeshRaster + x) * sampleCount + s)];
                    const std::string where = "seed " + std::to_string(seed) + " pixel " + std::to_string(x) + ", " +
                                              std::to_string(y) + " sample " + std::to_string(s);
                    if (!by.empty()) expectedMask = static_cast<uint8_t>(expectedMask | (1u << s));
                    const double inside = insideOutline(mesh, px, py);
                    if (inside < -kOnEdgeDistance) {
                        ASSERT_TRUE(by.empty()) << where << ": covered outside the mesh";
                        continue;
                    }
                    if (inside <= kOnEdgeDistance) continue;
                    ++samplesChecked;
                    ASSERT_FALSE(by.empty()) << where << ": missed inside the mesh";
                    if (by.size() == 1) continue;
                    // Covered more than once only where it lies on the edges it is counted on both sides of.
                    ++samplesOnSharedEdges;
                    for (int32_t p : by) {
                        ASSERT_LE(distanceToNearestEdge(prepared[static_cast<size_t>(p)], px, py), kOnEdgeDistance)
                            << where << ": covered twice, by prepared triangle " << p << " and others";
                    }
                }
                if (seven && expectedMask != 0) expectedMask |= kSevenSampleMaskBit;
                ASSERT_EQ(buffers.coverage[static_cast<size_t>(y * kMeshRaster + x)], expectedMask)
                    << "seed " << seed << " pixel " << x << ", " << y << ": the band pass lost or added samples";
            }
        }
    }
    EXPECT_GT(samplesChecked, 100000u);
    // Snapped corners put samples exactly on shared edges; those must have been exercised.
    EXPECT_GT(samplesOnSharedEdges, 100u);
}

}  // namespace
}  // namespace zephrin
