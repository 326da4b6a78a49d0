// Footage a composition places in layers: solids, images read with OpenImageIO, and OBJ models
// (kept by path only; the renderer reads those itself).
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/composition.h"

namespace zephrin::host {

// The host's largest layer side in pixels. Larger footage is refused before any pixel is allocated,
// so a corrupt or hostile header cannot ask for gigabytes.
inline constexpr int32_t kMaxFootageSide = 30000;

// Why an image could not be used; the message is the reason only, callers add which file.
struct FootageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A solid of one colour; the caller has checked 1 <= width, height <= kMaxFootageSide.
Footage makeSolidFootage(std::string key, const Color3& color, int32_t width, int32_t height);

// Reads the first image of a file (PNG, JPEG, TIFF, EXR, or anything else OpenImageIO reads) into
// straight RGBA floats over its display window. Grey sources spread to r, g and b; a source without
// alpha is opaque; premultiplied sources are divided back by alpha; non-finite samples become 0.
// bitsPerChannel is 8 or 16 for integer sources and 32 for half and float ones.
// Throws FootageError.
Footage loadImageFootage(std::string key, const std::filesystem::path& file);

// An OBJ model by path; its size is unknown to the host (0 x 0).
Footage makeObjFootage(std::string key, const std::filesystem::path& file);

// Straight RGBA floats, width * height * 4, top row first: an image's pixels, a solid filled with
// its colour, nothing for an OBJ model.
std::vector<float> footageRgba(const Footage& footage);

}  // namespace zephrin::host
