// Host worlds: pixel buffers the host allocates and lends (destination, layer textures, plug-in worlds).
// Pixels are alpha, red, green, blue; 8-bit channels run 0..255, 16-bit 0..32768, float 0..1.
// Rows are padded so that a plug-in that assumes width x pixel size for the stride walks off its row
// into visible garbage instead of silently reading the right pixels.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/composition.h"
#include "sdk/AE_GeneralPlug.h"

namespace zephrin::host {

struct HostWorld {
    AEGP_WorldType type = AEGP_WorldType_NONE;
    int32_t width = 0, height = 0;
    size_t rowBytes = 0;
    std::vector<uint8_t> bytes;
};

// Bytes between the end of a row's pixels and the start of the next row.
constexpr size_t kWorldRowPadding = 64;

// The largest world side the host allocates, as the host's own limit.
constexpr int32_t kMaxWorldSide = 30000;

// 4, 8 or 16; 0 for a type that is not a pixel format.
size_t pixelBytes(AEGP_WorldType type);

// AEGP_WorldType_8/16/32 for 8/16/32 bits per channel, AEGP_WorldType_NONE otherwise.
AEGP_WorldType worldTypeForBits(int32_t bitsPerChannel);

// A zeroed (transparent black) world. Sides must lie in 1..kMaxWorldSide and the type be a pixel format;
// otherwise the world comes back with type NONE and no bytes.
HostWorld makeWorld(AEGP_WorldType type, int32_t width, int32_t height);

// Straight colour r, g, b, a 0..1 (clamped) stored as the world's channels, rounded to nearest.
void writePixel(HostWorld& world, int32_t x, int32_t y, const std::array<double, 4>& rgba);
void fillWorld(HostWorld& world, const std::array<double, 4>& rgba);

// The pixel as straight r, g, b, a fractions of the channel's full value.
std::array<double, 4> readPixel(const HostWorld& world, int32_t x, int32_t y);

// A layer source rendered at its own size, straight colour with its alpha: 8 bits per channel for solids
// and 8-bit images, 16 for 16-bit images, float for float images. Type NONE for footage without pixels
// (an OBJ model) or without a usable size.
HostWorld footageWorld(const Footage& footage);

}  // namespace zephrin::host
