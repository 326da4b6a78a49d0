#include "renderer/post/blend.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <vector>

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

template <typename Pixel>
void blendRows(const FrameBuffers& buffers, const ColumnSpans& columns, Pixel* base, int64_t firstRow, int64_t endRow) {
    const int64_t rasterWidth = buffers.rasterWidth, rasterHeight = buffers.rasterHeight;
    const int64_t destHeight = buffers.destHeight;
    auto* bytes = reinterpret_cast<unsigned char*>(base);
    if (rasterWidth == buffers.destWidth && rasterHeight == destHeight) {
        // Raster and destination the same size: every block is the one pixel under the raster pixel.
        for (int64_t y = firstRow; y < endRow; ++y) {
            auto* row = reinterpret_cast<Pixel*>(bytes + static_cast<ptrdiff_t>(y * buffers.rowBytes));
            const double* c = &buffers.color[4 * static_cast<size_t>(y * rasterWidth)];
            for (int64_t x = 0; x < rasterWidth; ++x, c += 4) {
                if (!(c[3] > kBlendMinAlpha)) continue;
                compositePixel(row[x], RasterColor{c[0], c[1], c[2], c[3]});
            }
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
