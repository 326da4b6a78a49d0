// The four-sample coverage pieces that the coverage functions and the raster's wide pixel loops
// share: the centroid of a four-sample mask, and the AVX2 sample test of one pixel row with its
// row values held in registers. Internal to the raster; include it only from its .cpp files.
#pragma once

#include <array>
#include <cstdint>

#include <immintrin.h>

#include "renderer/raster/raster_coverage.h"

namespace zephrin {

// A four-sample mask's sample count and the sums of its samples' offsets. Quarter-pixel positions
// and all their partial sums are exact in a double (for any raster column or row), so
// (count x + offset sum) / count is bit for bit the centroid that summing sample by sample gives.
struct MaskSums {
    double count = 0.0, x = 0.0, y = 0.0;
};
inline constexpr std::array<MaskSums, 16> kFourSampleMaskSums = [] {
    std::array<MaskSums, 16> sums{};
    for (uint32_t mask = 0; mask < sums.size(); ++mask) {
        for (uint32_t i = 0; i < 4; ++i) {
            if ((mask >> i & 1u) == 0) continue;
            sums[mask].count += 1.0;
            sums[mask].x += kFourSamplePattern[i][0];
            sums[mask].y += kFourSamplePattern[i][1];
        }
    }
    return sums;
}();

// The coverage of pixel (x, y) whose four-sample mask is `mask` (no pattern bit); bits past the
// pattern's four count for nothing, as in a sample-by-sample walk.
inline PixelCoverage fourSampleCoverage(uint8_t mask, int32_t x, int32_t y) {
    PixelCoverage coverage;
    if ((mask & 0x0fu) == 0) return coverage;
    const MaskSums& sums = kFourSampleMaskSums[mask & 0x0fu];
    coverage.mask = mask;
    coverage.centroidX = (sums.count * x + sums.x) / sums.count;
    coverage.centroidY = (sums.count * y + sums.y) / sums.count;
    return coverage;
}

// coverWithPattern's four sample tests for the pixels of one row, lane i for sample i, with every
// value fixed for the row held in a register: lanes past the pixel's column are rounded as
// coverWithPattern rounds them, so the masks are the same bit for bit.
struct FourSampleRowTest {
    __m256d offsets, ax, bx, cx, bMinusY, cMinusY, edge1RowTerm, edge2RowTerm, cyMinusAy, byMinusAy;
    // The exact threshold test o e >= from, or the division e / area >= limit where set-up found none.
    __m256d scale, bound;
    bool exact;
};

__attribute__((target("avx2"), always_inline)) inline FourSampleRowTest fourSampleRowTest(
    const PreparedTriangle& triangle, const CoverageRow& row) {
    const ProjectedVertex& a = triangle.vertices[0];
    const ProjectedVertex& b = triangle.vertices[1];
    const ProjectedVertex& c = triangle.vertices[2];
    const CoverageSetup& setup = triangle.coverage;
    FourSampleRowTest test;
    test.offsets = _mm256_set_pd(kFourSamplePattern[3][0], kFourSamplePattern[2][0], kFourSamplePattern[1][0],
                                 kFourSamplePattern[0][0]);
    test.ax = _mm256_set1_pd(a.screenX);
    test.bx = _mm256_set1_pd(b.screenX);
    test.cx = _mm256_set1_pd(c.screenX);
    test.bMinusY = _mm256_loadu_pd(row.bMinusY);
    test.cMinusY = _mm256_loadu_pd(row.cMinusY);
    test.edge1RowTerm = _mm256_loadu_pd(row.edge1RowTerm);
    test.edge2RowTerm = _mm256_loadu_pd(row.edge2RowTerm);
    test.cyMinusAy = _mm256_set1_pd(c.screenY - a.screenY);
    test.byMinusAy = _mm256_set1_pd(b.screenY - a.screenY);
    test.exact = setup.exact;
    test.scale = _mm256_set1_pd(setup.exact ? setup.orientation : triangle.area);
    test.bound = _mm256_set1_pd(setup.exact ? setup.insideFrom : -kEdgeInsideEpsilon);
    return test;
}

// The four-sample mask of pixel x of the row (no pattern bit).
__attribute__((target("avx2"), always_inline)) inline uint8_t fourSampleMask(const FourSampleRowTest& test,
                                                                            int32_t x) {
    // Lane i holds sample i: x + its offset, then coverWithPattern's three edge functions.
    const __m256d sx = _mm256_add_pd(_mm256_set1_pd(static_cast<double>(x)), test.offsets);
    const __m256d sxMinusAx = _mm256_sub_pd(sx, test.ax);
    const __m256d e0 = _mm256_sub_pd(_mm256_mul_pd(test.bMinusY, _mm256_sub_pd(test.cx, sx)),
                                     _mm256_mul_pd(test.cMinusY, _mm256_sub_pd(test.bx, sx)));
    const __m256d e1 = _mm256_sub_pd(test.edge1RowTerm, _mm256_mul_pd(test.cyMinusAy, sxMinusAx));
    const __m256d e2 = _mm256_sub_pd(_mm256_mul_pd(test.byMinusAy, sxMinusAx), test.edge2RowTerm);
    __m256d inside;
    if (test.exact) {
        inside = _mm256_and_pd(_mm256_cmp_pd(_mm256_mul_pd(test.scale, e0), test.bound, _CMP_GE_OQ),
                               _mm256_and_pd(_mm256_cmp_pd(_mm256_mul_pd(test.scale, e1), test.bound, _CMP_GE_OQ),
                                             _mm256_cmp_pd(_mm256_mul_pd(test.scale, e2), test.bound, _CMP_GE_OQ)));
    } else {
        inside = _mm256_and_pd(_mm256_cmp_pd(_mm256_div_pd(e0, test.scale), test.bound, _CMP_GE_OQ),
                               _mm256_and_pd(_mm256_cmp_pd(_mm256_div_pd(e1, test.scale), test.bound, _CMP_GE_OQ),
                                             _mm256_cmp_pd(_mm256_div_pd(e2, test.scale), test.bound, _CMP_GE_OQ)));
    }
    return static_cast<uint8_t>(_mm256_movemask_pd(inside));
}

}  // namespace zephrin
