#include "renderer/post/silhouette_fade.h"

#include <bit>

#include "renderer/raster/raster_band.h"
#include "renderer/runtime/worker_pool.h"

namespace zephrin {
namespace {

constexpr uint8_t kSevenSampleFlag = 0x80;
constexpr uint8_t kFullFourSampleMask = 0x0F;
constexpr uint8_t kFullSevenSampleMask = 0xFF;

}  // namespace

double coverageFraction(uint8_t mask) {
    bool sevenSamples = (mask & kSevenSampleFlag) != 0;
    unsigned sampleBits = sevenSamples ? 0x7Fu : 0x0Fu;
    double samples = sevenSamples ? 7.0 : 4.0;
    return std::popcount(static_cast<unsigned>(mask) & sampleBits) / samples;
}

void fadeSilhouettes(FrameBuffers& buffers) {
    const int64_t width = buffers.rasterWidth, height = buffers.rasterHeight;
    const size_t n = buffers.coverage.size();
    if (buffers.color.size() != 4 * n || n != buffers.pixelCount() || n == 0) return;
    auto uncovered = [&](int64_t x, int64_t y) {
        return x < 0 || y < 0 || x >= width || y >= height || buffers.coverage[static_cast<size_t>(y * width + x)] == 0;
    };
    // Rows only read the coverage, which no row changes, and scale their own alphas: they run in parallel.
    auto body = [&](uint32_t firstRow, uint32_t endRow) {
        for (int64_t y = firstRow; y < static_cast<int64_t>(endRow); ++y) {
            for (int64_t x = 0; x < width; ++x) {
                const size_t i = static_cast<size_t>(y * width + x);
                // Empty and fully covered pixels are the common cases and have nothing to fade.
                const uint8_t mask = buffers.coverage[i];
                if (mask == 0 || mask == kFullFourSampleMask || mask == kFullSevenSampleMask) continue;
                double k = coverageFraction(mask);
                if (!(k > 0.0 && k < 1.0)) continue;
                if (uncovered(x - 1, y) || uncovered(x + 1, y) || uncovered(x, y - 1) || uncovered(x, y + 1)) {
                    buffers.color[4 * i + 3] *= k;
                }
            }
        }
    };
    parallelFor(static_cast<uint32_t>(height), kRasterRowBlock, body);
}

}  // namespace zephrin
