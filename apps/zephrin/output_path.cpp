#include "apps/zephrin/output_path.h"

#include <algorithm>
#include <cctype>

namespace zephrin::app {

std::optional<OutputFormat> outputFormatFor(const std::filesystem::path& file) {
    std::string ext = file.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    if (ext == ".png") return OutputFormat{ImageFormat::Png, "png", 8};
    if (ext == ".exr") return OutputFormat{ImageFormat::Exr, "openexr", 32};
    if (ext == ".tif" || ext == ".tiff") return OutputFormat{ImageFormat::Tiff, "tiff", 8};
    if (ext == ".jpg" || ext == ".jpeg") return OutputFormat{ImageFormat::Jpeg, "jpeg", 8};
    return std::nullopt;
}

std::string depthProblem(const OutputFormat& format, int32_t bitsPerChannel) {
    if (bitsPerChannel != 8 && bitsPerChannel != 16 && bitsPerChannel != 32) return "bits per channel must be 8, 16 or 32";
    if (format.format == ImageFormat::Png && bitsPerChannel == 32) return "PNG holds 8 or 16 bits; use .exr for 32-bit float";
    if (format.format == ImageFormat::Jpeg && bitsPerChannel != 8) return "JPEG holds 8 bits only";
    return {};
}

bool hasFramePattern(const std::string& pattern) { return pattern.find('#') != std::string::npos; }

std::string expandFramePattern(const std::string& pattern, int32_t frame) {
    size_t start = pattern.find('#');
    if (start == std::string::npos) return pattern;
    size_t end = pattern.find_first_not_of('#', start);
    if (end == std::string::npos) end = pattern.size();
    std::string number = std::to_string(frame < 0 ? -frame : frame);
    size_t width = end - start;
    if (number.size() < width) number.insert(0, width - number.size(), '0');
    if (frame < 0) number.insert(0, 1, '-');
    return pattern.substr(0, start) + number + pattern.substr(end);
}

}  // namespace zephrin::app
