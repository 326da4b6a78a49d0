// PNG files of drawn custom controls (8-bit RGBA, straight alpha), in memory for the studio page and on
// disk for `zephrin editor`.
#pragma once

#include <filesystem>
#include <string>

#include "host/custom_ui/drawbot_canvas.h"

namespace zephrin::host {

// The PNG bytes. Throws std::runtime_error when Cairo cannot encode the image.
std::string encodePng(const DrawnImage& image);

// Writes the PNG through a temporary file beside the target; throws std::runtime_error naming the file.
void writePng(const DrawnImage& image, const std::filesystem::path& file);

}  // namespace zephrin::host
