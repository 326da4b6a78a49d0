#include "renderer/post/blend.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <type_traits>
#include <vector>

#include <immintrin.h>

#include "renderer/raster/raster_band.h"
#include "renderer/runtime/worker_pool.h"
#include "renderer/texture/clamps.h"
#include "renderer/texture/pixel_formats.h"
#include "sdk/AE_GeneralPlug.h"

namespace zephrin {
namespace {

// 16-bit host channels run 0..32768; 1 / 32768 exactly.
constexpr double kInverseMax16 = 3.0517578125e-5;

struct RasterColor {
    double red, green, blue, alpha;
};

double over(double destination, double source, double alpha) { return destination * (1.0 - alpha) + source * alpha; }

// The clamped value plus one half is positive, where truncation is floor; NaN lands on 0, so that no
// non-finite value reaches the integer conversion.
void compositePixel(PF_Pixel8& p, const RasterColor& s) {
    constexpr double kMax = PF_MAX_CHAN8;
    auto store = [](double x) { return static_cast<A_u_char>(clampRange(x * kMax, 0.0, kMax) + 0.5); };
    p.alpha = store(over(kByteFractions[p.alpha], 1.0, s.alpha));
    p.red = store(over(kByteFractions[p.red], s.red, s.alpha));
    p.green = store(over(kByteFractions[p.green], s.green, s.alpha));
    p.blue = store(over(kByteFractions[p.blue], s.blue, s.alpha));
}

void compositePixel(PF_Pixel16& p, const RasterColor& s) {
    constexpr double kMax = PF_MAX_CHAN16;
    auto store = [](double x) { return static_cast<A_u_short>(clampRange(x * kMax, 0.0, kMax) + 0.5); };
    p.alpha = store(over(p.alpha * kInverseMax16, 1.0, s.alpha));
    p.red = store(over(p.red * kInverseMax16, s.red, s.alpha));
    p.green = store(over(p.green * kInverseMax16, s.green, s.alpha));
    p.blue = store(over(p.blue * kInverseMax16, s.blue, s.alpha));
}

void compositePixel(PF_PixelFloat& p, const RasterColor& s) {
    auto store = [](double x) { return static_cast<PF_FpShort>(clampUnit(x)); };
    p.alpha = store(over(p.alpha, 1.0, s.alpha));
    p.red = store(over(p.red, s.red, s.alpha));
    p.green = store(over(p.green, s.green, s.alpha));
    p.blue = store(over(p.blue, s.blue, s.alpha));
}

// Where the processor has AVX2, an 8-bit pixel is composited in one register, a channel per lane.
// Only AVX2 is enabled for that code, not FMA, so every channel rounds as compositePixel rounds it.
const bool kWideBlend = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}();

// [begin, end) of the destination rows (or columns) that raster row (or column) r covers, clipped
// to the destination.
void blockSpan(int64_t r, int64_t rasterSize, int64_t destSize, int64_t& begin, int64_t& end) {
    begin = r * destSize / rasterSize;
    end = std::max(begin + 1, (r + 1) * destSize / rasterSize);
    end = std::min(end, destSize);
}

// Destination columns [x0, x1) of every raster column, worked out once instead of per pixel.
struct ColumnSpans {
    std::vector<int64_t> x0, x1;
};

ColumnSpans columnSpans(int64_t rasterWidth, int64_t destWidth) {
    ColumnSpans columns;
    columns.x0.resize(static_cast<size_t>(rasterWidth));
    columns.x1.resize(static_cast<size_t>(rasterWidth));
    for (int64_t rx = 0; rx < rasterWidth; ++rx) {
        blockSpan(rx, rasterWidth, destWidth, columns.x0[static_cast<size_t>(rx)], columns.x1[static_cast<size_t>(rx)]);
    }
    return columns;
}

// A row of a raster of the destination's size over its destination row.
template <typename Pixel>
void blendRowPortable(Pixel* row, const double* colour, int64_t width) {
    const double* c = colour;
    for (int64_t x = 0; x < width; ++x, c += 4) {
        // Written as a negation so that a NaN alpha is skipped too.
        if (!(c[3] > kBlendMinAlpha)) continue;
        compositePixel(row[x], RasterColor{c[0], c[1], c[2], c[3]});
    }
}

}  // namespace

void blendRow8Portable(PF_Pixel8* row, const double* colour, int64_t width) { blendRowPortable(row, colour, width); }

// compositePixel with the pixel's channels in memory order (alpha, red, green, blue) as lanes: the
// source is (1, red, green, blue), so that the alpha lane takes over(d, 1, a) as compositePixel does.
__attribute__((target("avx2"))) void blendRow8Wide(PF_Pixel8* row, const double* colour, int64_t width) {
    const __m256d one = _mm256_set1_pd(1.0), zero = _mm256_setzero_pd();
    const __m256d full = _mm256_set1_pd(static_cast<double>(PF_MAX_CHAN8)), half = _mm256_set1_pd(0.5);
    const double* c = colour;
    for (int64_t x = 0; x < width; ++x, c += 4) {
        if (!(c[3] > kBlendMinAlpha)) continue;
        const __m256d rgba = _mm256_loadu_pd(c);
        const __m256d alpha = _mm256_permute4x64_pd(rgba, _MM_SHUFFLE(3, 3, 3, 3));
        const __m256d source = _mm256_blend_pd(_mm256_permute4x64_pd(rgba, _MM_SHUFFLE(2, 1, 0, 3)), one, 0x1);
        __m256d blended = source;
        // An opaque source needs no destination: over(d, s, 1) is d * 0 + s * 1, which is s for every
        // byte fraction d (a zero s, whatever its sign, stores 0 either way).
        if (c[3] != 1.0) {
            const PF_Pixel8& p = row[x];
            const __m256d destination = _mm256_set_pd(kByteFractions[p.blue], kByteFractions[p.green],
                                                      kByteFractions[p.red], kByteFractions[p.alpha]);
            blended = _mm256_add_pd(_mm256_mul_pd(destination, _mm256_sub_pd(one, alpha)), _mm256_mul_pd(source, alpha));
        }
        // clampRange as max then min: max(x, 0) is x > 0 ? x : 0 (NaN gives 0), min(y, 255) is y < 255 ? y : 255.
        const __m256d clamped = _mm256_min_pd(_mm256_max_pd(_mm256_mul_pd(blended, full), zero), full);
        const __m128i whole = _mm256_cvttpd_epi32(_mm256_add_pd(clamped, half));
        const __m128i packed = _mm_packus_epi16(_mm_packus_epi32(whole, whole), _mm_setzero_si128());
        const int32_t bytes = _mm_cvtsi128_si32(packed);  // alpha, red, green, blue in memory order
        std::memcpy(&row[x], &bytes, sizeof bytes);
    }
}

bool wideBlend() { return kWideBlend; }

namespace {

template <typename Pixel>
void blendRowInPlace(Pixel* row, const double* colour, int64_t width) {
    if constexpr (std::is_same_v<Pixel, PF_Pixel8>) {
        if (kWideBlend) {
            blendRow8Wide(row, colour, width);
            return;
        }
    }
    blendRowPortable(row, colour, width);
}

template <typename Pixel>
void blendRows(const FrameBuffers& buffers, const ColumnSpans& columns, Pixel* base, int64_t firstRow, int64_t endRow) {
    const int64_t rasterWidth = buffers.rasterWidth, rasterHeight = buffers.rasterHeight;
    const int64_t destHeight = buffers.destHeight;
    auto* bytes = reinterpret_cast<unsigned char*>(base);
    if (rasterWidth == buffers.destWidth && rasterHeight == destHeight) {
        // Raster and destination the same size: every block is the one pixel under the raster pixel.
        for (int64_t y = firstRow; y < endRow; ++y) {
            auto* row = reinterpret_cast<Pixel*>(bytes + static_cast<ptrdiff_t>(y * buffers.rowBytes));
            blendRowInPlace(row, &buffers.color[4 * static_cast<size_t>(y * rasterWidth)], rasterWidth);
        }
        return;
    }
    for (int64_t ry = firstRow; ry < endRow; ++ry) {
        int64_t y0 = 0, y1 = 0;
        blockSpan(ry, rasterHeight, destHeight, y0, y1);
        for (int64_t rx = 0; rx < rasterWidth; ++rx) {
            const double* c = &buffers.color[4 * static_cast<size_t>(ry * rasterWidth + rx)];
            RasterColor source{c[0], c[1], c[2], c[3]};
            // Written as a negation so that a NaN alpha is skipped too.
            if (!(source.alpha > kBlendMinAlpha)) continue;
            const int64_t x0 = columns.x0[static_cast<size_t>(rx)], x1 = columns.x1[static_cast<size_t>(rx)];
            for (int64_t y = y0; y < y1; ++y) {
                auto* row = reinterpret_cast<Pixel*>(bytes + static_cast<ptrdiff_t>(y * buffers.rowBytes));
                for (int64_t x = x0; x < x1; ++x) compositePixel(row[x], source);
            }
        }
    }
}

template <typename Pixel>
void blendInto(const FrameBuffers& buffers, Pixel* base) {
    const int64_t rasterWidth = buffers.rasterWidth, rasterHeight = buffers.rasterHeight;
    const int64_t destWidth = buffers.destWidth, destHeight = buffers.destHeight;
    if (base == nullptr || rasterWidth < 1 || rasterHeight < 1 || destWidth < 1 || destHeight < 1) return;
    if (buffers.color.size() < 4 * buffers.pixelCount()) return;
    // A raster taller than the destination sends several raster rows into one destination row, where
    // the order of compositing matters; only otherwise do row blocks write disjoint destination rows.
    const ColumnSpans columns = columnSpans(rasterWidth, destWidth);
    if (rasterHeight > destHeight) {
        blendRows(buffers, columns, base, 0, rasterHeight);
        return;
    }
    auto body = [&](uint32_t begin, uint32_t end) { blendRows(buffers, columns, base, begin, end); };
    parallelFor(static_cast<uint32_t>(rasterHeight), kRasterRowBlock, body);
}

}  // namespace

void blendIntoDestination(const FrameBuffers& buffers) {
    switch (buffers.worldType) {
        case AEGP_WorldType_8:
            blendInto(buffers, buffers.base8);
            break;
        case AEGP_WorldType_16:
            blendInto(buffers, buffers.base16);
            break;
        case AEGP_WorldType_32:
            blendInto(buffers, buffers.base32);
            break;
        default:
            break;
    }
}

}  // namespace zephrin
