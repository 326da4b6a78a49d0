// Which samples of a pixel a prepared triangle covers, and where their centroid lies: the usual
// multisample scheme, a fixed pattern of sample points per pixel, each tested against the triangle's
// edge functions. Attributes are then interpolated at the centroid of the covered samples (centroid
// sampling), so that edge pixels never extrapolate outside the triangle. Rows and spans let the
// raster take a triangle's pixels row by row with the row's terms computed once.
#pragma once

#include <cstddef>
#include <cstdint>

#include "renderer/raster/raster_prepare.h"

namespace zephrin {

// Edge-function slack, in units of the triangle's area: samples on a shared edge land in both
// triangles, so adjacent triangles of a mesh leave no cracks.
constexpr double kEdgeInsideEpsilon = 1e-5;
// Marks a coverage mask taken with the seven-sample pattern.
constexpr uint8_t kSevenSampleMaskBit = 0x80;

// Sample offsets from the pixel corner.
constexpr double kFourSamplePattern[4][2] = {{0.25, 0.25}, {0.75, 0.25}, {0.25, 0.75}, {0.75, 0.75}};
constexpr double kSevenSamplePattern[7][2] = {{0.5, 0.5}, {0.2, 0.2}, {0.5, 0.15}, {0.8, 0.2},
                                              {0.2, 0.8}, {0.5, 0.85}, {0.8, 0.8}};

// Which samples of pixel (x, y) the triangle covers (0: none) and where their centroid lies.
struct PixelCoverage {
    uint8_t mask = 0;
    double centroidX = 0.0, centroidY = 0.0;
};
PixelCoverage coverPixel(const PreparedTriangle& triangle, int32_t x, int32_t y);

// Fills triangle.coverage from its area term. Division rounds monotonically, so "edge / area >= -eps"
// holds exactly for the edge values at or above one threshold, found here once per triangle. Also
// fills the interpolation scale of interpolateAt, so every triangle must pass through here.
void setUpCoverage(PreparedTriangle& triangle);

// The parts of the edge functions that depend only on the sample row, for one pixel row of a
// triangle. Each part is computed exactly as the whole expression computes it, so that coverage
// taken through a row is bit for bit the coverage of coverPixel.
constexpr int32_t kMaxPatternSamples = 7;
struct CoverageRow {
    int32_t y = 0;
    double sampleY[kMaxPatternSamples] = {};
    double bMinusY[kMaxPatternSamples] = {};     // b.y - sample y (edge 0)
    double cMinusY[kMaxPatternSamples] = {};     // c.y - sample y (edge 0)
    double edge1RowTerm[kMaxPatternSamples] = {};  // (sample y - a.y)(c.x - a.x)
    double edge2RowTerm[kMaxPatternSamples] = {};  // (sample y - a.y)(b.x - a.x)
};
CoverageRow coverageRow(const PreparedTriangle& triangle, int32_t y);
// coverageRow's two ways, the portable one (any pattern) and the wide one (AVX2, taken for the
// four-sample pattern where the processor has it); the same row bit for bit, named here so that a
// test can run both on the same input.
CoverageRow coverageRowPortable(const PreparedTriangle& triangle, int32_t y);
CoverageRow coverageRowWide(const PreparedTriangle& triangle, int32_t y);  // AVX2, four samples only
PixelCoverage coverPixelInRow(const PreparedTriangle& triangle, const CoverageRow& row, int32_t x);
// coverPixelInRow's two ways with the four-sample pattern, the wide one (AVX2, taken where the
// processor has it) and the portable one; named here so that a test can run both on the same input.
PixelCoverage coverFourSamplesPortable(const PreparedTriangle& triangle, const CoverageRow& row, int32_t x);
PixelCoverage coverFourSamplesWide(const PreparedTriangle& triangle, const CoverageRow& row, int32_t x);  // AVX2 only
bool wideCoverage();

// Inclusive pixel columns of one row of a triangle, as doubles (they come from span arithmetic).
// Candidates: the columns of its bounds that may hold a covered sample. Interior: columns whose every
// sample is surely covered. Both are found from the edge functions' slopes with margins far above
// their rounding error, so that skipping the other columns never skips a covered pixel and an
// interior pixel is always fully covered. Empty when first > last.
struct RowSpans {
    double first = 0.0, last = -1.0;
    double interiorFirst = 0.0, interiorLast = -1.0;
};
RowSpans rowSpans(const PreparedTriangle& triangle, const CoverageRow& row);
// rowSpans's two ways, the portable one (any pattern) and the wide one (AVX2, taken for the
// four-sample pattern where the processor has it); the same spans bit for bit, named here so that a
// test can run both on the same input.
RowSpans rowSpansPortable(const PreparedTriangle& triangle, const CoverageRow& row);
RowSpans rowSpansWide(const PreparedTriangle& triangle, const CoverageRow& row);  // AVX2, four samples only

// rowSpans as whole columns for a loop over the row: empty when first > last; without an interior
// the interior starts past the last column.
struct RowColumns {
    int32_t first = 0, last = -1;
    int32_t interiorFirst = 0, interiorLast = -1;
};
inline RowColumns rowColumns(const PreparedTriangle& triangle, const CoverageRow& row) {
    const RowSpans spans = rowSpans(triangle, row);
    RowColumns columns;
    if (!(spans.first <= spans.last)) return columns;
    columns.first = static_cast<int32_t>(spans.first);
    columns.last = static_cast<int32_t>(spans.last);
    columns.interiorFirst = columns.last + 1;
    columns.interiorLast = columns.last;
    if (spans.interiorFirst <= spans.interiorLast) {
        columns.interiorFirst = static_cast<int32_t>(spans.interiorFirst);
        columns.interiorLast = static_cast<int32_t>(spans.interiorLast);
    }
    return columns;
}
// coverPixelInRow for a pixel of the interior span.
// The coverage coverPixelInRow gives at (x, y) when its mask is `mask` (bit 7: the seven-sample
// pattern), summed in the same order: the winner's own mask, which the raster keeps, stands for its
// sample tests.
PixelCoverage coverageFromMask(int32_t x, int32_t y, uint8_t mask);

// The coverage coverPixelInRow gives a pixel whose every sample is inside, summed in the same order.
// Inline, like interpolateAt below: every covered pixel of the frame passes through both.
template <size_t N>
inline PixelCoverage coverAllSamples(const CoverageRow& row, int32_t x, const double (&pattern)[N][2]) {
    PixelCoverage coverage;
    double sumX = 0.0, sumY = 0.0;
    for (size_t i = 0; i < N; ++i) {
        sumX += x + pattern[i][0];
        sumY += row.sampleY[i];
    }
    constexpr int covered = static_cast<int>(N);
    coverage.mask = static_cast<uint8_t>((1u << N) - 1u);
    coverage.centroidX = sumX / covered;
    coverage.centroidY = sumY / covered;
    return coverage;
}

inline PixelCoverage coverInteriorPixel(const PreparedTriangle& triangle, const CoverageRow& row, int32_t x) {
    if (triangle.sevenSampleCoverage) {
        PixelCoverage coverage = coverAllSamples(row, x, kSevenSamplePattern);
        coverage.mask |= kSevenSampleMaskBit;
        return coverage;
    }
    return coverAllSamples(row, x, kFourSamplePattern);
}

}  // namespace zephrin
