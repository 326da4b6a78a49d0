// Footage a composition places in layers: solids, images read with OpenImageIO, and OBJ models
// (kept by path only; the renderer reads those itself).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/composition.h"

namespace zephrin::host {

// The host's largest layer side in pixels. Larger footage is refused before any pixel is allocated.
inline constexpr int32_t kMaxFootageSide = 30000;

// The most pixels the host reads from one image file. Footage is held as float RGBA (16 bytes a pixel)
// beside the file's own samples while it is read, so this keeps one image under about 2 GB however
// large its header claims it is: a few hundred bytes of compressed PNG or EXR can describe gigapixels.
// 8192 x 8192 takes 8K footage whole.
inline constexpr int64_t kMaxFootagePixels = int64_t{8192} * 8192;

// Why an image could not be used; the message is the reason only, callers add which file. tooLarge
// marks an image refused for its size alone (from its header, before any pixel is read).
struct FootageError : std::runtime_error {
    explicit FootageError(const std::string& reason, bool isTooLarge = false)
        : std::runtime_error(reason), tooLarge(isTooLarge) {}
    bool tooLarge = false;
};

// A solid of one colour; the caller has checked 1 <= width, height <= kMaxFootageSide.
Footage makeSolidFootage(std::string key, const Color3& color, int32_t width, int32_t height);

// Reads the first image of a file (PNG, JPEG, TIFF, EXR, or anything else OpenImageIO reads) into
// straight RGBA floats: the footage's frame is the display window, its stored pixels the data window
// (clipped to the frame). Refused as too large when either window's side passes kMaxFootageSide or the
// data window holds more than kMaxFootagePixels. Grey sources spread to r, g and b; a source without
// alpha is opaque; premultiplied sources are divided back by alpha; non-finite samples become 0.
// bitsPerChannel is 8 or 16 for integer sources and 32 for half and float ones.
// Throws FootageError.
Footage loadImageFootage(std::string key, const std::filesystem::path& file);

// An OBJ model by path; its size is unknown to the host (0 x 0).
Footage makeObjFootage(std::string key, const std::filesystem::path& file);

// Straight RGBA floats, width * height * 4, top row first: an image's pixels placed in its frame, a
// solid filled with its colour, nothing for an OBJ model (or an image whose stored pixels do not match
// their rectangle).
std::vector<float> footageRgba(const Footage& footage);

// Where an image's stored pixels lie in its frame. A record that names no rectangle (pixelsWidth and
// pixelsHeight 0) but holds pixels stores its whole frame. Empty when the buffer does not hold exactly
// the rectangle or the rectangle leaves the frame: such pixels are never read.
struct PixelRect {
    int32_t x = 0, y = 0, width = 0, height = 0;
};
std::optional<PixelRect> imagePixelRect(const Footage& footage);

}  // namespace zephrin::host
