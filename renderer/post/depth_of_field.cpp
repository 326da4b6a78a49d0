// Depth of field as a separable, variable-radius box blur (horizontal, then vertical) over running
// sums, so that every pixel costs the same whatever its radius. Colours are averaged weighted by
// alpha, so that the transparent background around a blurred edge takes the edge's colour rather than
// darkening it.
#include "renderer/post/depth_of_field.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "common/diagnostic_log.h"
#include "renderer/runtime/scratch_arrays.h"
#include "renderer/runtime/worker_pool.h"
#include "renderer/texture/clamps.h"

namespace zephrin {
namespace {

// The largest radius is 15 % of the shorter raster side, kept within 1 .. 64 pixels.
constexpr double kRadiusLimitShare = 0.15;
constexpr double kMinRadiusLimit = 1.0;
constexpr double kMaxRadiusLimit = 64.0;
constexpr double kMaxBlurScale = 4.0;
// A depth interpolated across a card at the focus distance lands a hair off it (1000 ± 1e-13), and
// ceil would turn that into a one-pixel blur; defocus this far below a pixel boundary counts as none.
constexpr double kRadiusRoundingTolerance = 1e-6;
constexpr double kMinAlphaSum = 1e-9;
constexpr uint32_t kDofLineBlock = 64;
// Columns blurred side by side: 16 pixels of 4 doubles span eight cache lines of a row.
constexpr uint32_t kDofColumnGroup = 16;

// Blurs `lines` neighbouring lines of `count` pixels from `in` into `out`: pixel i of line l is
// first + l * lineStride + i * pixelStride. Neighbouring lines are walked together, so that a column
// pass reads whole cache lines. `sums` holds (count + 1) x lines running sums of (r a, g a, b a, a).
void blurLines(const std::vector<double>& in, std::vector<double>& out, const std::vector<int32_t>& radii, size_t first,
               size_t lineStride, size_t pixelStride, int32_t count, size_t lines, std::vector<double>& sums) {
    sums.assign(4 * lines * (static_cast<size_t>(count) + 1), 0.0);
    for (int32_t i = 0; i < count; ++i) {
        const size_t row = static_cast<size_t>(i) * pixelStride;
        for (size_t l = 0; l < lines; ++l) {
            const double* c = &in[4 * (first + l * lineStride + row)];
            const double a = c[3];
            const double* prev = &sums[4 * (static_cast<size_t>(i) * lines + l)];
            double* next = &sums[4 * ((static_cast<size_t>(i) + 1) * lines + l)];
            next[0] = prev[0] + c[0] * a;
            next[1] = prev[1] + c[1] * a;
            next[2] = prev[2] + c[2] * a;
            next[3] = prev[3] + a;
        }
    }
    for (int32_t i = 0; i < count; ++i) {
        for (size_t l = 0; l < lines; ++l) {
            const size_t pixel = first + l * lineStride + static_cast<size_t>(i) * pixelStride;
            double* o = &out[4 * pixel];
            const int32_t r = radii[pixel];
            if (r < 1) {
                std::copy_n(&in[4 * pixel], 4, o);
                continue;
            }
            const int32_t lo = std::max(i - r, 0);
            const int32_t hi = std::min(i + r, count - 1);
            const double n = hi - lo + 1;
            const double* a = &sums[4 * (static_cast<size_t>(lo) * lines + l)];
            const double* b = &sums[4 * ((static_cast<size_t>(hi) + 1) * lines + l)];
            const double alphaSum = b[3] - a[3];
            o[3] = clampUnit(alphaSum / n);
            for (int c = 0; c < 3; ++c) o[c] = alphaSum > kMinAlphaSum ? clampUnit((b[c] - a[c]) / alphaSum) : 0.0;
        }
    }
}

}  // namespace

int32_t depthOfFieldRadius(const SceneCamera& camera, double z) {
    if (!camera.dofEnabled || !std::isfinite(z) || z < kNearPlaneZ || !(camera.focusDistance > 0.0) ||
        !(camera.aperture > 0.0) || !(camera.blurLevel > 0.0)) {
        return 0;
    }
    const double defocus = std::fabs(z - camera.focusDistance) / std::max(z, 1.0);
    const double scale =
        (camera.destWidth / std::max(camera.compWidth, 1.0) + camera.destHeight / std::max(camera.compHeight, 1.0)) *
        0.5;
    const double blurScale = std::clamp(camera.blurLevel / 100.0, 0.0, kMaxBlurScale);
    const double limit =
        std::clamp(std::min(camera.destWidth, camera.destHeight) * kRadiusLimitShare, kMinRadiusLimit, kMaxRadiusLimit);
    const double r = std::clamp(camera.aperture * 0.5 * defocus * blurScale * scale, 0.0, limit);
    return std::isfinite(r) ? static_cast<int32_t>(std::ceil(std::max(r - kRadiusRoundingTolerance, 0.0))) : 0;
}

std::vector<int32_t> spreadDepthOfFieldRadii(const std::vector<int32_t>& radii, const std::vector<double>& depth,
                                             int32_t width, int32_t height) {
    std::vector<int32_t> s = radii;
    auto at = [width](int32_t x, int32_t y) {
        return static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x);
    };
    auto pull = [&s](size_t self, size_t neighbour) { s[self] = std::max({s[self], s[neighbour] - 1, 0}); };
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 1; x < width; ++x) pull(at(x, y), at(x - 1, y));
        for (int32_t x = width - 2; x >= 0; --x) pull(at(x, y), at(x + 1, y));
    }
    for (int32_t x = 0; x < width; ++x) {
        for (int32_t y = 1; y < height; ++y) pull(at(x, y), at(x, y - 1));
        for (int32_t y = height - 2; y >= 0; --y) pull(at(x, y), at(x, y + 1));
    }
    // Only empty pixels keep a spread radius: a surface pixel blurs by its own distance from focus.
    for (size_t i = 0; i < s.size(); ++i) {
        if (std::isfinite(depth[i])) s[i] = radii[i];
    }
    return s;
}

void applyDepthOfField(FrameBuffers& buffers, const SceneCamera& frameCamera) {
    bool sameShape = buffers.color.size() == 4 * buffers.depth.size();
    const int32_t width = buffers.rasterWidth, height = buffers.rasterHeight;
    if (!frameCamera.dofEnabled || !sameShape || width < 1 || height < 1 ||
        buffers.depth.size() != buffers.pixelCount()) {
        return;
    }
    ScratchArray<int32_t> radiusScratch(buffers.depth.size(), 0);
    std::vector<int32_t>& radii = radiusScratch.values;
    auto radiusRows = [&](uint32_t begin, uint32_t end) {
        for (size_t i = begin * static_cast<size_t>(width); i < end * static_cast<size_t>(width); ++i) {
            radii[i] = depthOfFieldRadius(frameCamera, buffers.depth[i]);
        }
    };
    parallelFor(static_cast<uint32_t>(height), kDofLineBlock, radiusRows);
    const int32_t maxRadius = *std::max_element(radii.begin(), radii.end());
    if (maxRadius == 0) return;
    const std::vector<int32_t> spread = spreadDepthOfFieldRadii(radii, buffers.depth, width, height);

    const auto w = static_cast<size_t>(width);
    ScratchArray<double> horizontalScratch(buffers.color.size(), 0.0);
    std::vector<double>& horizontal = horizontalScratch.values;
    auto rows = [&](uint32_t begin, uint32_t end) {
        std::vector<double> sums;
        for (uint32_t y = begin; y < end; ++y)
            blurLines(buffers.color, horizontal, spread, y * w, 0, 1, width, 1, sums);
    };
    parallelFor(static_cast<uint32_t>(height), kDofLineBlock, rows);
    auto columns = [&](uint32_t begin, uint32_t end) {
        std::vector<double> sums;
        for (uint32_t x = begin; x < end; x += kDofColumnGroup) {
            const size_t lines = std::min<size_t>(kDofColumnGroup, end - x);
            blurLines(horizontal, buffers.color, spread, x, 1, w, height, lines, sums);
        }
    };
    parallelFor(static_cast<uint32_t>(width), kDofLineBlock, columns);

    if (renderLogEnabled()) {
        std::ostringstream line;
        line << "RendererV2DOF: focus=" << frameCamera.focusDistance << " aperture=" << frameCamera.aperture
             << " blur=" << frameCamera.blurLevel << " maxRadius=" << maxRadius;
        logRender(line.str());
    }
}

}  // namespace zephrin
