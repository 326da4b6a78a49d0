#include "renderer/raster/raster_coverage.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include <immintrin.h>

#include "renderer/raster/four_sample_lanes.h"

namespace zephrin {

namespace {

// Threshold search steps: the first guess lies within an ulp or two of the threshold.
constexpr int kThresholdSearchSteps = 64;
// Relative bound on the rounding error of an edge function against its exact value, with a wide
// margin (three roundings give about 3.3e-16).
constexpr double kEdgeRoundingBound = 1e-12;
// Columns added on each side of a candidate span, for the rounding of sample positions and of the
// span arithmetic itself.
constexpr double kSpanMarginPixels = 1.0;
constexpr double kSpanMarginRel = 1e-9;

struct SamplePattern {
    const double (*offsets)[2];
    int32_t count;
};

SamplePattern patternOf(const PreparedTriangle& triangle) {
    if (triangle.sevenSampleCoverage) return {kSevenSamplePattern, 7};
    return {kFourSamplePattern, 4};
}

template <size_t N>
PixelCoverage coverWithPattern(const PreparedTriangle& triangle, const CoverageRow& row, int32_t x,
                               const double (&pattern)[N][2]) {
    const ProjectedVertex& a = triangle.vertices[0];
    const ProjectedVertex& b = triangle.vertices[1];
    const ProjectedVertex& c = triangle.vertices[2];
    const double cyMinusAy = c.screenY - a.screenY;
    const double byMinusAy = b.screenY - a.screenY;
    const CoverageSetup& setup = triangle.coverage;
    const double o = setup.orientation;
    const double area = triangle.area;
    PixelCoverage coverage;
    double sumX = 0.0, sumY = 0.0;
    int covered = 0;
    for (size_t i = 0; i < N; ++i) {
        double sx = x + pattern[i][0];
        double sxMinusAx = sx - a.screenX;
        // The three edge functions of edgeWeights, before the division by the area.
        double e0 = row.bMinusY[i] * (c.screenX - sx) - row.cMinusY[i] * (b.screenX - sx);
        double e1 = row.edge1RowTerm[i] - cyMinusAy * sxMinusAx;
        double e2 = byMinusAy * sxMinusAx - row.edge2RowTerm[i];
        bool inside = setup.exact ? o * e0 >= setup.insideFrom && o * e1 >= setup.insideFrom &&
                                        o * e2 >= setup.insideFrom
                                  : e0 / area >= -kEdgeInsideEpsilon && e1 / area >= -kEdgeInsideEpsilon &&
                                        e2 / area >= -kEdgeInsideEpsilon;
        if (inside) {
            coverage.mask = static_cast<uint8_t>(coverage.mask | (1u << i));
            sumX += sx;
            sumY += row.sampleY[i];
            ++covered;
        }
    }
    if (covered > 0) {
        coverage.centroidX = sumX / covered;
        coverage.centroidY = sumY / covered;
    }
    return coverage;
}

// Column bounds of one sample of a row against one oriented edge function f, which is affine in the
// sample x up to rounding: f(sx) ~ f0 + slope (sx - sx0), every evaluation within `error` of it.
// Candidates: columns whose sample may satisfy f >= limit. Interior: columns whose sample surely does.
// Bounds that are not finite leave the candidates alone and empty the interior.
void boundByEdge(double f0, double slope, double sx0, double error, double limit, double ox, RowSpans& spans) {
    // The slack covers f0's error, f's error and the rounding of these sums.
    const double candidateReach = limit - f0 - 3.0 * error;
    const double interiorReach = limit - f0 + 3.0 * error;
    if (slope == 0.0) {
        if (candidateReach > 0.0) spans.last = spans.first - 1;
        if (interiorReach > 0.0) spans.interiorLast = spans.interiorFirst - 1;
        return;
    }
    const double candidateCrossing = sx0 + candidateReach / slope - ox;
    const double interiorCrossing = sx0 + interiorReach / slope - ox;
    if (!std::isfinite(interiorCrossing)) spans.interiorLast = spans.interiorFirst - 1;
    if (!std::isfinite(candidateCrossing) || !std::isfinite(interiorCrossing)) return;
    const double candidateMargin = kSpanMarginPixels + kSpanMarginRel * std::fabs(candidateCrossing);
    const double interiorMargin = kSpanMarginPixels + kSpanMarginRel * std::fabs(interiorCrossing);
    if (slope > 0.0) {
        spans.first = std::max(spans.first, std::floor(candidateCrossing - candidateMargin));
        spans.interiorFirst = std::max(spans.interiorFirst, std::ceil(interiorCrossing + interiorMargin));
    } else {
        spans.last = std::min(spans.last, std::ceil(candidateCrossing + candidateMargin));
        spans.interiorLast = std::min(spans.interiorLast, std::floor(interiorCrossing - interiorMargin));
    }
}

}  // namespace

namespace {

// Where the processor has AVX2, the four samples of a pixel are tested in one register, a sample per
// lane. Only AVX2 is enabled for that code, not FMA, so every edge value rounds as in the portable
// test and the masks and centroids are the same bit for bit.
const bool kWideCoverage = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}();

}  // namespace

PixelCoverage coverFourSamplesPortable(const PreparedTriangle& triangle, const CoverageRow& row, int32_t x) {
    return coverWithPattern(triangle, row, x, kFourSamplePattern);
}

__attribute__((target("avx2"))) PixelCoverage coverFourSamplesWide(const PreparedTriangle& triangle,
                                                                   const CoverageRow& row, int32_t x) {
    return fourSampleCoverage(fourSampleMask(fourSampleRowTest(triangle, row), x), x, row.y);
}

bool wideCoverage() { return kWideCoverage; }

PixelCoverage coverPixelInRow(const PreparedTriangle& triangle, const CoverageRow& row, int32_t x) {
    if (triangle.sevenSampleCoverage) {
        PixelCoverage coverage = coverWithPattern(triangle, row, x, kSevenSamplePattern);
        if (coverage.mask != 0) coverage.mask |= kSevenSampleMaskBit;
        return coverage;
    }
    return kWideCoverage ? coverFourSamplesWide(triangle, row, x) : coverWithPattern(triangle, row, x, kFourSamplePattern);
}

PixelCoverage coverageFromMask(int32_t x, int32_t y, uint8_t mask) {
    if ((mask & kSevenSampleMaskBit) == 0) return fourSampleCoverage(mask, x, y);
    PixelCoverage coverage;
    double sumX = 0.0, sumY = 0.0;
    int covered = 0;
    for (int32_t i = 0; i < 7; ++i) {
        if ((mask >> i & 1u) == 0) continue;
        sumX += x + kSevenSamplePattern[i][0];
        sumY += y + kSevenSamplePattern[i][1];
        ++covered;
    }
    if (covered > 0) {
        coverage.mask = mask;
        coverage.centroidX = sumX / covered;
        coverage.centroidY = sumY / covered;
    }
    return coverage;
}

PixelCoverage coverPixel(const PreparedTriangle& triangle, int32_t x, int32_t y) {
    return coverPixelInRow(triangle, coverageRow(triangle, y), x);
}

void setUpCoverage(PreparedTriangle& triangle) {
    CoverageSetup& setup = triangle.coverage;
    setup = CoverageSetup{};
    const double area = triangle.area;
    if (!std::isfinite(area) || area == 0.0) return;
    for (int i = 0; i < 3; ++i) setup.inverseZOverArea[i] = triangle.vertices[i].inverseZ / area;
    // e / area equals (o e) / |area| exactly, with o the sign of the area.
    setup.orientation = area > 0.0 ? 1.0 : -1.0;
    const double magnitude = std::fabs(area);
    auto inside = [magnitude](double e) { return e / magnitude >= -kEdgeInsideEpsilon; };
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    double threshold = -kEdgeInsideEpsilon * magnitude;
    for (int i = 0; i < kThresholdSearchSteps && inside(threshold); ++i) threshold = std::nextafter(threshold, -kInfinity);
    for (int i = 0; i < kThresholdSearchSteps && !inside(threshold); ++i) threshold = std::nextafter(threshold, kInfinity);
    setup.insideFrom = threshold;
    setup.exact = inside(threshold) && !inside(std::nextafter(threshold, -kInfinity));
}

CoverageRow coverageRow(const PreparedTriangle& triangle, int32_t y) {
    if (kWideCoverage && !triangle.sevenSampleCoverage) return coverageRowWide(triangle, y);
    return coverageRowPortable(triangle, y);
}

// coverageRowPortable's values with the four samples side by side, each lane rounded as the portable
// loop rounds its sample (only AVX2 is enabled here, not FMA). Every row of every triangle starts
// here, and most triangles of a finely cut mesh are only a few pixels wide.
__attribute__((target("avx2"))) CoverageRow coverageRowWide(const PreparedTriangle& triangle, int32_t y) {
    const ProjectedVertex& a = triangle.vertices[0];
    const ProjectedVertex& b = triangle.vertices[1];
    const ProjectedVertex& c = triangle.vertices[2];
    CoverageRow row;
    row.y = y;
    const __m256d sy = _mm256_add_pd(
        _mm256_set1_pd(static_cast<double>(y)),
        _mm256_set_pd(kFourSamplePattern[3][1], kFourSamplePattern[2][1], kFourSamplePattern[1][1],
                      kFourSamplePattern[0][1]));
    const __m256d syMinusAy = _mm256_sub_pd(sy, _mm256_set1_pd(a.screenY));
    _mm256_storeu_pd(row.sampleY, sy);
    _mm256_storeu_pd(row.bMinusY, _mm256_sub_pd(_mm256_set1_pd(b.screenY), sy));
    _mm256_storeu_pd(row.cMinusY, _mm256_sub_pd(_mm256_set1_pd(c.screenY), sy));
    _mm256_storeu_pd(row.edge1RowTerm, _mm256_mul_pd(syMinusAy, _mm256_set1_pd(c.screenX - a.screenX)));
    _mm256_storeu_pd(row.edge2RowTerm, _mm256_mul_pd(syMinusAy, _mm256_set1_pd(b.screenX - a.screenX)));
    return row;
}

CoverageRow coverageRowPortable(const PreparedTriangle& triangle, int32_t y) {
    const ProjectedVertex& a = triangle.vertices[0];
    const ProjectedVertex& b = triangle.vertices[1];
    const ProjectedVertex& c = triangle.vertices[2];
    const SamplePattern pattern = patternOf(triangle);
    CoverageRow row;
    row.y = y;
    for (int32_t i = 0; i < pattern.count; ++i) {
        double sy = y + pattern.offsets[i][1];
        row.sampleY[i] = sy;
        row.bMinusY[i] = b.screenY - sy;
        row.cMinusY[i] = c.screenY - sy;
        row.edge1RowTerm[i] = (sy - a.screenY) * (c.screenX - a.screenX);
        row.edge2RowTerm[i] = (sy - a.screenY) * (b.screenX - a.screenX);
    }
    return row;
}

namespace {

// The edge value from which a sample counts as inside. Without an exact threshold the division
// decides; -eps |area| is its limit up to rounding.
double spanEdgeLimit(const PreparedTriangle& triangle) {
    return triangle.coverage.exact ? triangle.coverage.insideFrom
                                   : -kEdgeInsideEpsilon * std::fabs(triangle.area) * (1.0 + kSpanMarginRel);
}

// A row's spans from the samples' union [first, last] and intersection [interiorFirst, interiorLast],
// kept within the triangle's columns. The division path is not bounded, so it never takes the
// interior shortcut.
RowSpans clampedRowSpans(const PreparedTriangle& triangle, double first, double last, double interiorFirst,
                         double interiorLast) {
    RowSpans spans;
    if (first <= last) {
        spans.first = std::max(first, static_cast<double>(triangle.minX));
        spans.last = std::min(last, static_cast<double>(triangle.maxX));
    }
    if (triangle.coverage.exact && interiorFirst <= interiorLast) {
        spans.interiorFirst = std::max(interiorFirst, spans.first);
        spans.interiorLast = std::min(interiorLast, spans.last);
    }
    return spans;
}

}  // namespace

RowSpans rowSpansPortable(const PreparedTriangle& triangle, const CoverageRow& row) {
    const ProjectedVertex& a = triangle.vertices[0];
    const ProjectedVertex& b = triangle.vertices[1];
    const ProjectedVertex& c = triangle.vertices[2];
    const SamplePattern pattern = patternOf(triangle);
    const double o = triangle.coverage.orientation;
    const double limit = spanEdgeLimit(triangle);
    const double cyMinusAy = c.screenY - a.screenY;
    const double byMinusAy = b.screenY - a.screenY;
    auto largest = [](double p, double q) { return std::max(std::fabs(p), std::fabs(q)); };

    // Candidates: the union over the samples; interior: the intersection.
    double first = std::numeric_limits<double>::infinity();
    double last = -std::numeric_limits<double>::infinity();
    double interiorFirst = triangle.minX, interiorLast = triangle.maxX;
    for (int32_t i = 0; i < pattern.count; ++i) {
        const double ox = pattern.offsets[i][0];
        // Sample x runs from sxLeft to sxRight over the triangle's columns.
        const double sxLeft = triangle.minX + ox;
        const double sxRight = triangle.maxX + ox;
        RowSpans sample{static_cast<double>(triangle.minX), static_cast<double>(triangle.maxX), interiorFirst,
                        interiorLast};

        const double by = row.bMinusY[i], cy = row.cMinusY[i];
        const double e0 = by * (c.screenX - sxLeft) - cy * (b.screenX - sxLeft);
        const double size0 = std::fabs(by) * largest(c.screenX - sxLeft, c.screenX - sxRight) +
                             std::fabs(cy) * largest(b.screenX - sxLeft, b.screenX - sxRight);
        boundByEdge(o * e0, o * (cy - by), sxLeft, kEdgeRoundingBound * size0, limit, ox, sample);

        const double axSpan = largest(sxLeft - a.screenX, sxRight - a.screenX);
        const double e1 = row.edge1RowTerm[i] - cyMinusAy * (sxLeft - a.screenX);
        const double size1 = std::fabs(row.edge1RowTerm[i]) + std::fabs(cyMinusAy) * axSpan;
        boundByEdge(o * e1, -o * cyMinusAy, sxLeft, kEdgeRoundingBound * size1, limit, ox, sample);

        const double e2 = byMinusAy * (sxLeft - a.screenX) - row.edge2RowTerm[i];
        const double size2 = std::fabs(row.edge2RowTerm[i]) + std::fabs(byMinusAy) * axSpan;
        boundByEdge(o * e2, o * byMinusAy, sxLeft, kEdgeRoundingBound * size2, limit, ox, sample);

        if (sample.first <= sample.last) {
            first = std::min(first, sample.first);
            last = std::max(last, sample.last);
        }
        interiorFirst = sample.interiorFirst;
        interiorLast = sample.interiorLast;
    }
    return clampedRowSpans(triangle, first, last, interiorFirst, interiorLast);
}

namespace {

// boundByEdge for the four samples of a row at once, a sample per lane, each lane computed exactly as
// boundByEdge computes it: max(v, s) and min(v, s) keep s unless v is beyond it, as std::max(s, v) and
// std::min(s, v) do, and the crossings are finite wherever they are used.
struct SpanLanes {
    __m256d first, last, interiorFirst, interiorLast;
};

__attribute__((target("avx2"), always_inline)) inline __m256d finiteLanes(__m256d x) {
    const __m256d magnitude = _mm256_andnot_pd(_mm256_set1_pd(-0.0), x);
    return _mm256_cmp_pd(magnitude, _mm256_set1_pd(std::numeric_limits<double>::infinity()), _CMP_LT_OQ);
}

__attribute__((target("avx2"), always_inline)) inline void boundByEdgeLanes(__m256d f0, __m256d slope, __m256d sx0,
                                                                           __m256d error, __m256d limit, __m256d ox,
                                                                           SpanLanes& spans) {
    const __m256d zero = _mm256_setzero_pd(), one = _mm256_set1_pd(1.0), three = _mm256_set1_pd(3.0);
    const __m256d reach = _mm256_sub_pd(limit, f0);
    const __m256d candidateReach = _mm256_sub_pd(reach, _mm256_mul_pd(three, error));
    const __m256d interiorReach = _mm256_add_pd(reach, _mm256_mul_pd(three, error));
    const __m256d flat = _mm256_cmp_pd(slope, zero, _CMP_EQ_OQ);
    const __m256d rising = _mm256_cmp_pd(slope, zero, _CMP_GT_OQ);
    // Lanes along the edge: the whole row is in or out.
    const __m256d flatLast = _mm256_blendv_pd(spans.last, _mm256_sub_pd(spans.first, one),
                                              _mm256_cmp_pd(candidateReach, zero, _CMP_GT_OQ));
    const __m256d flatInteriorLast = _mm256_blendv_pd(spans.interiorLast, _mm256_sub_pd(spans.interiorFirst, one),
                                                      _mm256_cmp_pd(interiorReach, zero, _CMP_GT_OQ));
    // Other lanes (their quotients are not used in the flat lanes).
    const __m256d candidateCrossing = _mm256_sub_pd(_mm256_add_pd(sx0, _mm256_div_pd(candidateReach, slope)), ox);
    const __m256d interiorCrossing = _mm256_sub_pd(_mm256_add_pd(sx0, _mm256_div_pd(interiorReach, slope)), ox);
    const __m256d interiorFinite = finiteLanes(interiorCrossing);
    const __m256d bounded = _mm256_and_pd(finiteLanes(candidateCrossing), interiorFinite);
    const __m256d marginRel = _mm256_set1_pd(kSpanMarginRel), marginPixels = _mm256_set1_pd(kSpanMarginPixels);
    const __m256d signBit = _mm256_set1_pd(-0.0);
    const __m256d candidateMargin =
        _mm256_add_pd(marginPixels, _mm256_mul_pd(marginRel, _mm256_andnot_pd(signBit, candidateCrossing)));
    const __m256d interiorMargin =
        _mm256_add_pd(marginPixels, _mm256_mul_pd(marginRel, _mm256_andnot_pd(signBit, interiorCrossing)));
    const __m256d first =
        _mm256_max_pd(_mm256_floor_pd(_mm256_sub_pd(candidateCrossing, candidateMargin)), spans.first);
    const __m256d interiorFirst =
        _mm256_max_pd(_mm256_ceil_pd(_mm256_add_pd(interiorCrossing, interiorMargin)), spans.interiorFirst);
    const __m256d last = _mm256_min_pd(_mm256_ceil_pd(_mm256_add_pd(candidateCrossing, candidateMargin)), spans.last);
    const __m256d interiorLast =
        _mm256_min_pd(_mm256_floor_pd(_mm256_sub_pd(interiorCrossing, interiorMargin)), spans.interiorLast);
    const __m256d raise = _mm256_and_pd(bounded, rising);
    const __m256d lower = _mm256_andnot_pd(rising, bounded);
    __m256d newInteriorLast =
        _mm256_blendv_pd(_mm256_sub_pd(spans.interiorFirst, one), spans.interiorLast, interiorFinite);
    newInteriorLast = _mm256_blendv_pd(newInteriorLast, interiorLast, lower);
    __m256d newLast = _mm256_blendv_pd(spans.last, last, lower);
    spans.first = _mm256_blendv_pd(spans.first, first, _mm256_andnot_pd(flat, raise));
    spans.interiorFirst = _mm256_blendv_pd(spans.interiorFirst, interiorFirst, _mm256_andnot_pd(flat, raise));
    spans.last = _mm256_blendv_pd(newLast, flatLast, flat);
    spans.interiorLast = _mm256_blendv_pd(newInteriorLast, flatInteriorLast, flat);
}

// The lowest and the highest of four lanes.
__attribute__((target("avx2"), always_inline)) inline double lowestLane(__m256d x) {
    const __m128d half = _mm_min_pd(_mm256_castpd256_pd128(x), _mm256_extractf128_pd(x, 1));
    return _mm_cvtsd_f64(_mm_min_sd(half, _mm_unpackhi_pd(half, half)));
}
__attribute__((target("avx2"), always_inline)) inline double highestLane(__m256d x) {
    const __m128d half = _mm_max_pd(_mm256_castpd256_pd128(x), _mm256_extractf128_pd(x, 1));
    return _mm_cvtsd_f64(_mm_max_sd(half, _mm_unpackhi_pd(half, half)));
}

}  // namespace

// rowSpansPortable for the four-sample pattern with the samples side by side. Each sample's own
// bounds are bit for bit the portable ones; the candidates are then their union and the interior
// their intersection, which is what the portable loop's running minimum and maximum come to (an
// empty sample interior empties the whole interior either way).
__attribute__((target("avx2"))) RowSpans rowSpansWide(const PreparedTriangle& triangle, const CoverageRow& row) {
    const ProjectedVertex& a = triangle.vertices[0];
    const ProjectedVertex& b = triangle.vertices[1];
    const ProjectedVertex& c = triangle.vertices[2];
    const double o = triangle.coverage.orientation;
    const double limit = spanEdgeLimit(triangle);
    const double cyMinusAy = c.screenY - a.screenY;
    const double byMinusAy = b.screenY - a.screenY;
    const __m256d signBit = _mm256_set1_pd(-0.0);
    auto magnitude = [signBit](__m256d x) __attribute__((target("avx2"))) { return _mm256_andnot_pd(signBit, x); };
    auto largest = [magnitude](__m256d p, __m256d q)
                       __attribute__((target("avx2"))) { return _mm256_max_pd(magnitude(q), magnitude(p)); };

    const __m256d ox = _mm256_set_pd(kFourSamplePattern[3][0], kFourSamplePattern[2][0], kFourSamplePattern[1][0],
                                     kFourSamplePattern[0][0]);
    const __m256d minX = _mm256_set1_pd(static_cast<double>(triangle.minX));
    const __m256d maxX = _mm256_set1_pd(static_cast<double>(triangle.maxX));
    const __m256d sxLeft = _mm256_add_pd(minX, ox), sxRight = _mm256_add_pd(maxX, ox);
    SpanLanes sample{minX, maxX, minX, maxX};
    const __m256d orientation = _mm256_set1_pd(o), limits = _mm256_set1_pd(limit);
    const __m256d bound = _mm256_set1_pd(kEdgeRoundingBound);

    const __m256d by = _mm256_loadu_pd(row.bMinusY), cy = _mm256_loadu_pd(row.cMinusY);
    const __m256d cx = _mm256_set1_pd(c.screenX), bx = _mm256_set1_pd(b.screenX), ax = _mm256_set1_pd(a.screenX);
    const __m256d e0 = _mm256_sub_pd(_mm256_mul_pd(by, _mm256_sub_pd(cx, sxLeft)),
                                     _mm256_mul_pd(cy, _mm256_sub_pd(bx, sxLeft)));
    const __m256d size0 =
        _mm256_add_pd(_mm256_mul_pd(magnitude(by), largest(_mm256_sub_pd(cx, sxLeft), _mm256_sub_pd(cx, sxRight))),
                      _mm256_mul_pd(magnitude(cy), largest(_mm256_sub_pd(bx, sxLeft), _mm256_sub_pd(bx, sxRight))));
    boundByEdgeLanes(_mm256_mul_pd(orientation, e0), _mm256_mul_pd(orientation, _mm256_sub_pd(cy, by)), sxLeft,
                     _mm256_mul_pd(bound, size0), limits, ox, sample);

    const __m256d sxMinusAx = _mm256_sub_pd(sxLeft, ax);
    const __m256d axSpan = largest(sxMinusAx, _mm256_sub_pd(sxRight, ax));
    const __m256d edge1 = _mm256_loadu_pd(row.edge1RowTerm), edge2 = _mm256_loadu_pd(row.edge2RowTerm);
    const __m256d e1 = _mm256_sub_pd(edge1, _mm256_mul_pd(_mm256_set1_pd(cyMinusAy), sxMinusAx));
    const __m256d size1 = _mm256_add_pd(magnitude(edge1), _mm256_mul_pd(_mm256_set1_pd(std::fabs(cyMinusAy)), axSpan));
    boundByEdgeLanes(_mm256_mul_pd(orientation, e1), _mm256_set1_pd(-o * cyMinusAy), sxLeft, _mm256_mul_pd(bound, size1), limits, ox,
                     sample);

    const __m256d e2 = _mm256_sub_pd(_mm256_mul_pd(_mm256_set1_pd(byMinusAy), sxMinusAx), edge2);
    const __m256d size2 = _mm256_add_pd(magnitude(edge2), _mm256_mul_pd(_mm256_set1_pd(std::fabs(byMinusAy)), axSpan));
    boundByEdgeLanes(_mm256_mul_pd(orientation, e2), _mm256_set1_pd(o * byMinusAy), sxLeft, _mm256_mul_pd(bound, size2), limits, ox,
                     sample);

    const __m256d infinity = _mm256_set1_pd(std::numeric_limits<double>::infinity());
    const __m256d nonEmpty = _mm256_cmp_pd(sample.first, sample.last, _CMP_LE_OQ);
    const double first = lowestLane(_mm256_blendv_pd(infinity, sample.first, nonEmpty));
    const double last = highestLane(_mm256_blendv_pd(_mm256_sub_pd(_mm256_setzero_pd(), infinity), sample.last, nonEmpty));
    const double interiorFirst = highestLane(sample.interiorFirst);
    const double interiorLast = lowestLane(sample.interiorLast);
    return clampedRowSpans(triangle, first, last, interiorFirst, interiorLast);
}

RowSpans rowSpans(const PreparedTriangle& triangle, const CoverageRow& row) {
    if (kWideCoverage && !triangle.sevenSampleCoverage) return rowSpansWide(triangle, row);
    return rowSpansPortable(triangle, row);
}

}  // namespace zephrin
