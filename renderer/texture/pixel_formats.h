// The host's pixel formats as the renderer reads them: four channels, alpha first, at 8 bits
// (0..255), 16 bits (0..32768) or as floats (0..1). One place says how large a pixel is, where a
// texel lies, when a texture's pixels may be walked at all, and what each 8-bit value is as a fraction.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "renderer/scene/frame_scene.h"
#include "sdk/AE_Effect.h"
#include "sdk/AE_GeneralPlug.h"

namespace zephrin {

// Bytes of one pixel of a world type; 0 for a type the renderer cannot read.
constexpr size_t pixelBytes(AEGP_WorldType type) {
    switch (type) {
        case AEGP_WorldType_8:
            return sizeof(PF_Pixel8);
        case AEGP_WorldType_16:
            return sizeof(PF_Pixel16);
        case AEGP_WorldType_32:
            return sizeof(PF_PixelFloat);
        default:
            return 0;
    }
}

// Pixel access that can be walked without leaving the image: a known format and rows at least as
// long as the pixels they hold.
inline bool walkablePixels(const SurfaceTexture& texture) {
    if (!texture.hasPixels()) return false;
    const size_t size = pixelBytes(texture.worldType);
    if (size == 0 || texture.rowBytes <= 0) return false;
    return static_cast<size_t>(texture.rowBytes) >= static_cast<size_t>(texture.width) * size;
}

// Texel (x, y) of a texture whose format is Pixel; the caller has checked the format and the bounds.
template <typename Pixel>
const Pixel& texelAt(const SurfaceTexture& texture, int32_t x, int32_t y) {
    const unsigned char* row =
        static_cast<const unsigned char*>(texture.baseAddress) + static_cast<size_t>(y) * texture.rowBytes;
    return reinterpret_cast<const Pixel*>(row)[x];
}

// k / 255 for every byte, the same doubles the division gives, without dividing per pixel.
inline constexpr std::array<double, 256> kByteFractions = [] {
    std::array<double, 256> fractions{};
    for (size_t k = 0; k < fractions.size(); ++k) fractions[k] = static_cast<double>(k) / 255.0;
    return fractions;
}();

}  // namespace zephrin
