#include "renderer/frame/soft_shadows.h"

#include <algorithm>
#include <cmath>

#include "renderer/frame/worker_pool.h"

namespace zephrin {
namespace {

// Diffusion below 1 % of the full 200 px range cannot move a shadow edge by a pixel.
constexpr double kMinDiffusionFraction = 0.01;
constexpr double kDiffusionRange = 200.0;
constexpr int32_t kFullRadius = 24;
constexpr int32_t kInteractiveRadiusCap = 10;
constexpr int32_t kQuickPreviewRadiusCap = 4;
// Visibility at or above this counts as lit.
constexpr double kLitVisibility = 0.995;
constexpr uint32_t kApplyBlockPixels = 32768;

bool hasPostBuffers(const FrameBuffers& buffers) {
    return keepsShadowPost(buffers) && buffers.color.size() == 4 * buffers.pixelCount();
}

bool anyMarkedPixelInShadow(const FrameBuffers& buffers) {
    for (size_t i = 0; i < buffers.shadowMark.size(); ++i) {
        if (buffers.shadowMark[i] != 0 && buffers.shadowVisibility[i] < kLitVisibility) return true;
    }
    return false;
}

double clampUnit(double x) { return std::clamp(x, 0.0, 1.0); }

}  // namespace

int32_t shadowBlurRadius(const std::vector<SceneLight>& lights, const RenderSettings& settings) {
    double x = 0.0;
    for (const SceneLight& light : lights) {
        if (!light.castsShadows) continue;
        x = std::max(x, clampUnit(std::max(light.shadowDiffusion, 0.0) / kDiffusionRange));
    }
    if (x <= kMinDiffusionFraction) return 0;
    int32_t cap = settings.quickPreview ? kQuickPreviewRadiusCap
                                        : (settings.interactive ? kInteractiveRadiusCap : kFullRadius);
    return std::clamp(static_cast<int32_t>(std::ceil(kFullRadius * x)), 1, cap);
}

void filterShadows(FrameBuffers& buffers, const SceneCamera& /*camera*/, const std::vector<SceneLight>& lights,
                   const RenderSettings& settings) {
    // Nothing to soften without post buffers, with hard shadows, or with no pixel in shadow.
    if (!hasPostBuffers(buffers) || shadowBlurRadius(lights, settings) < 1 || !anyMarkedPixelInShadow(buffers)) {
        return;
    }
}

void recomposeShadows(FrameBuffers& buffers) {
    if (!hasPostBuffers(buffers)) return;
    auto body = [&buffers](uint32_t begin, uint32_t end) {
        for (uint32_t i = begin; i < end; ++i) {
            if (buffers.shadowMark[i] == 0) continue;
            double change = clampUnit(buffers.filteredVisibility[i]) - clampUnit(buffers.shadowVisibility[i]);
            for (size_t c = 0; c < 3; ++c) {
                double& channel = buffers.color[4 * static_cast<size_t>(i) + c];
                channel = clampUnit(channel + buffers.slope[3 * static_cast<size_t>(i) + c] * change);
            }
        }
    };
    parallelFor(static_cast<uint32_t>(buffers.pixelCount()), kApplyBlockPixels, body);
}

}  // namespace zephrin
