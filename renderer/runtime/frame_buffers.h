// The frame renderer's per-pixel working state and the destination world's access data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "renderer/runtime/visible_pixel.h"
#include "sdk/AE_Effect.h"

namespace zephrin {

struct FrameBuffers {
    int32_t worldType = 0;  // 1 = 8 bits per channel, 2 = 16 bits, 3 = 32-bit float
    PF_Pixel8* base8 = nullptr;
    PF_Pixel16* base16 = nullptr;
    PF_PixelFloat* base32 = nullptr;
    int32_t rowBytes = 0;
    int32_t destWidth = 0, destHeight = 0;
    int32_t rasterWidth = 1, rasterHeight = 1;

    // Row-major over the raster. Which arrays exist depends on the frame (see allocation).
    std::vector<double> depth;               // +infinity when empty
    std::vector<uint8_t> coverage;           // bit 7 set: seven-sample mask
    std::vector<double> shadowVisibility;    // initially 1
    std::vector<double> filteredVisibility;  // initially 1
    std::vector<double> radiusField;         // initially 0
    std::vector<double> color;               // r, g, b, a per pixel; straight (not premultiplied)
    std::vector<float> slope;                // r, g, b per pixel
    std::vector<uint8_t> shadowMark;
    std::vector<int32_t> surfaceIndex;   // -1 when empty
    std::vector<int32_t> triangleIndex;  // -1 when empty
    std::vector<int32_t> clipTriangle;   // -1 when empty
    std::vector<int32_t> preparedIndex;  // -1 when empty
    // The winner's packed texture colour, kept with preparedIndex, so that deferred shading after the
    // CPU raster does not sample the texture a second time. Meaningful only where preparedIndex is set.
    std::vector<uint32_t> packedColor;
    // The winner's own coverage mask, kept with packedColor: the coverage array merges the masks of
    // one surface's triangles, and deferred shading needs the winner's own samples for its centroid.
    // 0 where no fragment of this raster won.
    std::vector<uint8_t> winnerMask;
    std::vector<VisiblePixel> visiblePixels;

    size_t pixelCount() const { return static_cast<size_t>(rasterWidth) * static_cast<size_t>(rasterHeight); }
};

// Which of the optional arrays a frame keeps; depth, coverage, color and surfaceIndex always exist.
struct FrameBufferSet {
    bool triangleIds = false;    // triangleIndex and clipTriangle
    bool preparedIds = false;    // preparedIndex, packedColor and winnerMask
    bool visiblePixels = false;  // deferred-shading records
    bool shadowPost = false;     // shadowVisibility, filteredVisibility, radiusField, slope, shadowMark
};

// Sizes every array of the set to the raster (rasterWidth x rasterHeight) with its start value and
// empties the arrays outside the set.
void allocateFrameBuffers(FrameBuffers& buffers, const FrameBufferSet& set);

// Hands the frame's arrays to the process-wide spare set, leaving `buffers` empty, so that the next
// frame of a similar size writes into pages that already exist instead of faulting in fresh ones
// (at 1080p that is a quarter of a gigabyte of first touches). Only one set is kept; a frame that
// finds the spare set taken frees its own arrays.
void recycleFrameBuffers(FrameBuffers& buffers) noexcept;

// Frees the spare set (at plug-in shutdown, or when memory must be given back).
void releaseRecycledFrameBuffers() noexcept;

// Returns the frame's arrays to the spare set when the paint call ends, whichever way it ends.
struct RecycleFrameBuffersOnExit {
    FrameBuffers& buffers;
    ~RecycleFrameBuffersOnExit() { recycleFrameBuffers(buffers); }
};

// Puts every existing per-pixel array back to its start value, as before a raster.
void resetFrameBuffers(FrameBuffers& buffers);

// True when the shadow-post arrays exist.
bool keepsShadowPost(const FrameBuffers& buffers);

}  // namespace zephrin
