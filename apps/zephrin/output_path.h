// Output file naming: `####` frame patterns and the image format an extension implies.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace zephrin::app {

enum class ImageFormat { Png, Exr, Tiff, Jpeg };

struct OutputFormat {
    ImageFormat format = ImageFormat::Png;
    std::string oiioFormatName;  // "png", "openexr", "tiff", "jpeg"
    int32_t defaultBitsPerChannel = 8;
};

// The format for a file name's extension (case-insensitive), or nothing for an unknown extension.
std::optional<OutputFormat> outputFormatFor(const std::filesystem::path& file);

// Why a depth cannot be written in a format (empty when it can).
std::string depthProblem(const OutputFormat& format, int32_t bitsPerChannel);

// True when the name holds a run of '#' to be replaced by the frame number.
bool hasFramePattern(const std::string& pattern);

// Replaces the first run of '#' with the frame number zero-padded to the run's length.
std::string expandFramePattern(const std::string& pattern, int32_t frame);

}  // namespace zephrin::app
