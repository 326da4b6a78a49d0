// Output file naming: frame-number patterns and the image format an extension implies.
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

// The frame-number placeholders farm tools write, each zero-padded to its width: a run of '#' or of
// '@' (one digit per character: shot.####.png, shot.@@@@.png) and printf's %d or %0Nd (shot.%04d.png).
// A '%' that starts nothing of that form is kept as written.
bool hasFramePattern(const std::string& pattern);

// Replaces every placeholder with the frame number; a name without one comes back unchanged.
std::string expandFramePattern(const std::string& pattern, int64_t frame);

}  // namespace zephrin::app
