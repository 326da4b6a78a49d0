#include "apps/zephrin/output_path.h"

#include <algorithm>
#include <cctype>
#include <vector>

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

namespace {

// The widest %0Nd honoured; wider padding is no file name anyone meant.
constexpr size_t kMaxPrintfWidth = 18;

struct Placeholder {
    size_t start = 0;
    size_t length = 0;
    size_t width = 0;  // digits to pad to
};

// A printf conversion at `start` ("%d", "%04d"), or nothing. "%4d" would pad with spaces, which no
// one wants in a file name, so it is not taken for a frame number.
std::optional<Placeholder> printfPlaceholder(const std::string& pattern, size_t start) {
    size_t at = start + 1;
    if (at < pattern.size() && std::isdigit(static_cast<unsigned char>(pattern[at])) && pattern[at] != '0') {
        return std::nullopt;
    }
    size_t width = 0;
    while (at < pattern.size() && std::isdigit(static_cast<unsigned char>(pattern[at]))) {
        width = width * 10 + static_cast<size_t>(pattern[at] - '0');
        if (width > kMaxPrintfWidth) return std::nullopt;
        ++at;
    }
    if (at >= pattern.size() || pattern[at] != 'd') return std::nullopt;
    return Placeholder{start, at + 1 - start, width};
}

std::vector<Placeholder> placeholders(const std::string& pattern) {
    std::vector<Placeholder> found;
    for (size_t at = 0; at < pattern.size();) {
        char c = pattern[at];
        if (c == '#' || c == '@') {
            size_t end = pattern.find_first_not_of(c, at);
            if (end == std::string::npos) end = pattern.size();
            found.push_back({at, end - at, end - at});
            at = end;
        } else if (std::optional<Placeholder> conversion = c == '%' ? printfPlaceholder(pattern, at) : std::nullopt) {
            found.push_back(*conversion);
            at += conversion->length;
        } else {
            ++at;
        }
    }
    return found;
}

}  // namespace

bool hasFramePattern(const std::string& pattern) { return !placeholders(pattern).empty(); }

std::string expandFramePattern(const std::string& pattern, int64_t frame) {
    std::string digits = std::to_string(frame < 0 ? -frame : frame);
    std::string expanded;
    size_t copied = 0;
    for (const Placeholder& p : placeholders(pattern)) {
        std::string number = digits;
        if (number.size() < p.width) number.insert(0, p.width - number.size(), '0');
        if (frame < 0) number.insert(0, 1, '-');
        expanded += pattern.substr(copied, p.start - copied) + number;
        copied = p.start + p.length;
    }
    return expanded + pattern.substr(copied);
}

}  // namespace zephrin::app
