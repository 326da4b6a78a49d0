// Texture lookups of the rasterizer: bilinear, alpha-weighted sampling of host worlds and the face
// colour of a surface point (tiles, mirroring, closed-loop scrolling, flips, borrowed mattes).
#pragma once

#include <cstdint>

#include "renderer/scene/frame_scene.h"
#include "renderer/texture/clamps.h"
#include "renderer/texture/pixel_formats.h"
#include "renderer/texture/texture_lookup8.h"

namespace zephrin {

// A tiled texture coordinate this close to a whole number is the end of the previous tile, not the
// start of the next, so the last column of a tile shows the image's right edge.
constexpr double kTileBoundaryEpsilon = 1e-9;

// Straight colour unpacked from a PackedColor: channels 0..1, alpha already multiplied by opacity.
struct BaseColor {
    double red = 0.0, green = 0.0, blue = 0.0, alpha = 0.0;
};

inline BaseColor unpackBaseColor(PackedColor color, double opacity) {
    return BaseColor{kByteFractions[packedRed(color)], kByteFractions[packedGreen(color)],
                     kByteFractions[packedBlue(color)], clampUnit(kByteFractions[packedAlpha(color)] * opacity)};
}

// Bilinear and alpha weighted: colour channels are averaged by weight times texel alpha, so that
// transparent texels (whose colour is undefined) do not darken the edge of a matte. A texture without
// readable pixels returns the fallback; a fully transparent neighbourhood returns the fallback's red,
// green and blue with alpha 0.
PackedColor sampleTexture(const SurfaceTexture& texture, PackedColor fallback, double u, double v);

// sampleTexture for a texture that walkablePixels accepts, of 8-bit pixels and not uniform8: the wide
// path where the processor has AVX2, else the portable one. Both give the same result bit for bit;
// they are named here so that a test can run both on the same input.
PackedColor sampleTexture8(const SurfaceTexture& texture, PackedColor fallback, double u, double v);
PackedColor sampleTexture8Portable(const SurfaceTexture& texture, PackedColor fallback, double u, double v);
PackedColor sampleTexture8Wide(const SurfaceTexture& texture, PackedColor fallback, double u, double v);  // AVX2 only
bool wideTextureLookups();
// sampleTexture8Wide at four points at once (the raster's wide interior loop takes the same lookup
// inline): colors[k] is the colour at (u[k], v[k]), bit for bit. AVX2 only.
void sampleTexture8Lanes(const SurfaceTexture& texture, PackedColor fallback, const double (&u)[4],
                         const double (&v)[4], PackedColor (&colors)[4]);

// Sets texture.uniform8 (and uniformColor) when the texture is a readable 8-bit image whose texels
// are all the same; sampleTexture then answers from that texel. Reading stops at the first texel
// that differs, so a picture costs a few texels and only a solid is read through.
void noteUniformTexels(SurfaceTexture& texture);

// The horizontal texture coordinate after tiles, tile offset, mirroring and closed-loop scrolling.
double mapFaceU(const SceneSurface& surface, double u);

// The packed colour of a surface point with texture coordinates (u, v) on a face of the given code.
PackedColor faceColour(const SceneSurface& surface, int32_t faceCode, double u, double v);

// faceColour's decisions that depend only on the surface and the face code, taken once for the many
// points of a triangle. The common case, a front face whose u is only clamped on an ordinary 8-bit
// image, goes straight to the bilinear lookup; every other case asks faceColour.
struct FaceLookup {
    const SurfaceTexture* frontImage8 = nullptr;
    PackedColor fallback = 0;
    bool flipU = false;
};
FaceLookup faceLookup(const SceneSurface& surface, int32_t faceCode);

// faceColour(surface, faceCode, u, v), for the surface and face code the lookup was taken for.
inline PackedColor lookUpFaceColour(const FaceLookup& lookup, const SceneSurface& surface, int32_t faceCode, double u,
                                    double v) {
    if (lookup.frontImage8 == nullptr) return faceColour(surface, faceCode, u, v);
    const double mapped = clampUnit(u);
    return sampleTexture8(*lookup.frontImage8, lookup.fallback, lookup.flipU ? 1.0 - mapped : mapped, v);
}

}  // namespace zephrin
