// The raster's fast coverage (thresholds instead of divisions, row terms, candidate and interior
// spans) must give exactly the masks and centroids of the plain per-sample test.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>

#include "renderer/raster/raster_fragment.h"
#include "renderer/raster/raster_prepare.h"

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
        const bool seven = trial % 3 == 0;
        PreparedTriangle t = screenTriangle(corners, seven, kSize);
        if (!(std::fabs(t.area) >= kMinScreenArea)) continue;

        for (int32_t y = t.minY; y <= t.maxY; ++y) {
            const CoverageRow row = coverageRow(t, y);
            const RowSpans spans = rowSpans(t, row);
            for (int32_t x = t.minX; x <= t.maxX; ++x) {
                const PixelCoverage expected = referenceCoverage(t, x, y);
                const bool candidate = x >= spans.first && x <= spans.last;
                const bool interior = x >= spans.interiorFirst && x <= spans.interiorLast;
                ASSERT_TRUE(candidate || expected.mask == 0) << "trial " << trial << " skipped covered pixel " << x
                                                             << ", " << y;
                const PixelCoverage fast = interior ? coverInteriorPixel(t, row, x) : coverPixelInRow(t, row, x);
                ASSERT_EQ(fast.mask, expected.mask) << "trial " << trial << " pixel " << x << ", " << y;
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

}  // namespace
}  // namespace zephrin
