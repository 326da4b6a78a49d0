// Reads images for end-to-end checks and compares them with a tolerance, saying where they differ.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace zephrin::test {

struct RgbaImage {
    int32_t width = 0, height = 0;
    std::vector<float> pixels;  // r, g, b, a per pixel, 0..1, as stored in the file

    const float* at(int32_t x, int32_t y) const { return pixels.data() + (static_cast<size_t>(y) * width + x) * 4; }
};

// Empty image (width 0) when the file cannot be read.
RgbaImage readImage(const std::filesystem::path& file);

// Empty string when every channel of every pixel differs by at most `tolerance`, except for at most
// `allowedOutliers` pixels; otherwise a description of the differences and the first place they occur.
std::string compareImages(const RgbaImage& actual, const RgbaImage& expected, float tolerance, size_t allowedOutliers);

}  // namespace zephrin::test
