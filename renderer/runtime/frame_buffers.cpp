#include "renderer/runtime/frame_buffers.h"

#include <algorithm>
#include <limits>
#include <mutex>

#include "renderer/runtime/worker_pool.h"

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

// Groups of arrays filled together by allocateFrameBuffers.
constexpr uint32_t kBufferGroups = 4;
// Below this many pixels the arrays are filled on the calling thread.
constexpr size_t kParallelFillPixels = 32768;

// Calls visit(array of a, same array of b, elements per pixel) for every per-pixel array.
template <typename Visit>
void forEachArrayPair(FrameBuffers& a, FrameBuffers& b, Visit&& visit) {
    visit(a.depth, b.depth, 1);
    visit(a.coverage, b.coverage, 1);
    visit(a.shadowVisibility, b.shadowVisibility, 1);
    visit(a.filteredVisibility, b.filteredVisibility, 1);
    visit(a.radiusField, b.radiusField, 1);
    visit(a.color, b.color, 4);
    visit(a.slope, b.slope, 3);
    visit(a.shadowMark, b.shadowMark, 1);
    visit(a.surfaceIndex, b.surfaceIndex, 1);
    visit(a.triangleIndex, b.triangleIndex, 1);
    visit(a.clipTriangle, b.clipTriangle, 1);
    visit(a.preparedIndex, b.preparedIndex, 1);
    visit(a.packedColor, b.packedColor, 1);
    visit(a.winnerMask, b.winnerMask, 1);
    visit(a.visiblePixels, b.visiblePixels, 1);
}

struct SpareArrays {
    std::mutex mutex;
    FrameBuffers arrays;  // only the per-pixel arrays are meaningful
    bool held = false;
};

SpareArrays& spareArrays() {
    static SpareArrays spare;
    return spare;
}

// Moves the spare arrays into `buffers` where their storage suits a raster of n pixels: large enough
// to need no new pages, and not so large that a small frame keeps a big one's memory alive.
void adoptSpareArrays(FrameBuffers& buffers, size_t n) {
    FrameBuffers spare;
    {
        SpareArrays& stash = spareArrays();
        std::lock_guard<std::mutex> lock(stash.mutex);
        if (!stash.held) return;
        forEachArrayPair(spare, stash.arrays, [](auto& to, auto& from, size_t) { to.swap(from); });
        stash.held = false;
    }
    forEachArrayPair(buffers, spare, [n](auto& to, auto& from, size_t perPixel) {
        const size_t wanted = n * perPixel;
        if (to.empty() && from.capacity() >= wanted && from.capacity() <= 2 * wanted) to.swap(from);
    });
}

}  // namespace

void recycleFrameBuffers(FrameBuffers& buffers) noexcept {
    FrameBuffers unwanted;
    SpareArrays& stash = spareArrays();
    {
        std::lock_guard<std::mutex> lock(stash.mutex);
        if (!stash.held) {
            forEachArrayPair(stash.arrays, buffers, [](auto& to, auto& from, size_t) { to.swap(from); });
            stash.held = true;
        }
    }
    // Whatever the stash did not take is freed here, outside the lock.
    forEachArrayPair(unwanted, buffers, [](auto& to, auto& from, size_t) { to.swap(from); });
}

void releaseRecycledFrameBuffers() noexcept {
    FrameBuffers released;
    SpareArrays& stash = spareArrays();
    std::lock_guard<std::mutex> lock(stash.mutex);
    forEachArrayPair(released, stash.arrays, [](auto& to, auto& from, size_t) { to.swap(from); });
    stash.held = false;
}

void allocateFrameBuffers(FrameBuffers& buffers, const FrameBufferSet& set) {
    const size_t n = buffers.pixelCount();
    adoptSpareArrays(buffers, n);
    // Filling a fresh array is mostly the first touch of its pages, which costs about as much as the
    // writes; the arrays are filled on several threads at once, in groups of similar size, the colour
    // array (the largest) alone.
    auto colour = [&] { buffers.color.assign(4 * n, 0.0); };
    auto records = [&] { assignIfKept<VisiblePixel>(buffers.visiblePixels, set.visiblePixels, n, VisiblePixel{}); };
    auto rasterIds = [&] {
        buffers.depth.assign(n, std::numeric_limits<double>::infinity());
        buffers.coverage.assign(n, 0);
        buffers.surfaceIndex.assign(n, -1);
        assignIfKept<int32_t>(buffers.triangleIndex, set.triangleIds, n, -1);
        assignIfKept<int32_t>(buffers.clipTriangle, set.triangleIds, n, -1);
        assignIfKept<int32_t>(buffers.preparedIndex, set.preparedIds, n, -1);
        assignIfKept<uint32_t>(buffers.packedColor, set.preparedIds, n, 0);
        assignIfKept<uint8_t>(buffers.winnerMask, set.preparedIds, n, 0);
    };
    auto shadowPost = [&] {
        assignIfKept<double>(buffers.shadowVisibility, set.shadowPost, n, 1.0);
        assignIfKept<double>(buffers.filteredVisibility, set.shadowPost, n, 1.0);
        assignIfKept<double>(buffers.radiusField, set.shadowPost, n, 0.0);
        assignIfKept<float>(buffers.slope, set.shadowPost, 3 * n, 0.0f);
        assignIfKept<uint8_t>(buffers.shadowMark, set.shadowPost, n, 0);
    };
    // Ordered so that two threads, each taking half of the list, get similar sizes. A failed
    // allocation reaches the caller through parallelFor once every group's thread has been joined.
    auto body = [&](uint32_t begin, uint32_t end) {
        for (uint32_t group = begin; group < end; ++group) {
            switch (group) {
                case 0:
                    colour();
                    break;
                case 1:
                    records();
                    break;
                case 2:
                    rasterIds();
                    break;
                default:
                    shadowPost();
                    break;
            }
        }
    };
    // A block of all groups keeps small rasters on the calling thread.
    parallelFor(kBufferGroups, n >= kParallelFillPixels ? 1 : kBufferGroups, body);
}

void resetFrameBuffers(FrameBuffers& buffers) {
    refill(buffers.depth, std::numeric_limits<double>::infinity());
    refill<uint8_t>(buffers.coverage, 0);
    refill(buffers.color, 0.0);
    refill(buffers.surfaceIndex, -1);
    refill(buffers.triangleIndex, -1);
    refill(buffers.clipTriangle, -1);
    refill(buffers.preparedIndex, -1);
    refill<uint32_t>(buffers.packedColor, 0);
    refill<uint8_t>(buffers.winnerMask, 0);
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
