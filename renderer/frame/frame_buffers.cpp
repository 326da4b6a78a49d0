#include "renderer/frame/frame_buffers.h"

#include <algorithm>
#include <limits>

namespace zephrin {
namespace {

template <typename T>
void assignIfKept(std::vector<T>& array, bool kept, size_t count, const T& value) {
    if (kept) {
        array.assign(count, value);
    } else {
        array.clear();
        array.shrink_to_fit();
    }
}

template <typename T>
void refill(std::vector<T>& array, const T& value) {
    std::fill(array.begin(), array.end(), value);
}

}  // namespace

void allocateFrameBuffers(FrameBuffers& buffers, const FrameBufferSet& set) {
    const size_t n = buffers.pixelCount();
    buffers.depth.assign(n, std::numeric_limits<double>::infinity());
    buffers.coverage.assign(n, 0);
    buffers.color.assign(4 * n, 0.0);
    buffers.surfaceIndex.assign(n, -1);
    assignIfKept<int32_t>(buffers.triangleIndex, set.triangleIds, n, -1);
    assignIfKept<int32_t>(buffers.clipTriangle, set.triangleIds, n, -1);
    assignIfKept<int32_t>(buffers.preparedIndex, set.preparedIds, n, -1);
    assignIfKept<VisiblePixel>(buffers.visiblePixels, set.visiblePixels, n, VisiblePixel{});
    assignIfKept<double>(buffers.shadowVisibility, set.shadowPost, n, 1.0);
    assignIfKept<double>(buffers.filteredVisibility, set.shadowPost, n, 1.0);
    assignIfKept<double>(buffers.radiusField, set.shadowPost, n, 0.0);
    assignIfKept<float>(buffers.slope, set.shadowPost, 3 * n, 0.0f);
    assignIfKept<uint8_t>(buffers.shadowMark, set.shadowPost, n, 0);
}

void resetFrameBuffers(FrameBuffers& buffers) {
    refill(buffers.depth, std::numeric_limits<double>::infinity());
    refill<uint8_t>(buffers.coverage, 0);
    refill(buffers.color, 0.0);
    refill(buffers.surfaceIndex, -1);
    refill(buffers.triangleIndex, -1);
    refill(buffers.clipTriangle, -1);
    refill(buffers.preparedIndex, -1);
    refill(buffers.visiblePixels, VisiblePixel{});
    refill(buffers.shadowVisibility, 1.0);
    refill(buffers.filteredVisibility, 1.0);
    refill(buffers.radiusField, 0.0);
    refill(buffers.slope, 0.0f);
    refill<uint8_t>(buffers.shadowMark, 0);
}

bool keepsShadowPost(const FrameBuffers& buffers) {
    const size_t n = buffers.pixelCount();
    return n > 0 && buffers.shadowVisibility.size() == n && buffers.filteredVisibility.size() == n &&
           buffers.radiusField.size() == n && buffers.slope.size() == 3 * n && buffers.shadowMark.size() == n;
}

}  // namespace zephrin
