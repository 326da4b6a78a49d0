#include "host/footage.h"

#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

namespace zephrin::host {

namespace {

constexpr int kRgba = 4;

// OpenImageIO messages may run over several lines; the first one says what went wrong.
std::string firstLine(const std::string& text, const char* fallback) {
    std::string line = text.substr(0, text.find('\n'));
    return line.empty() ? std::string(fallback) : line;
}

int32_t bitsOf(const OIIO::TypeDesc& format) {
    switch (format.basetype) {
        case OIIO::TypeDesc::UINT8:
        case OIIO::TypeDesc::INT8:
            return 8;
        case OIIO::TypeDesc::UINT16:
        case OIIO::TypeDesc::INT16:
            return 16;
        default:
            return 32;
    }
}

// Which source channels feed r, g, b and a (-1: none).
struct ChannelMap {
    int color[3] = {-1, -1, -1};
    int alpha = -1;
};

ChannelMap mapChannels(const OIIO::ImageSpec& spec) {
    ChannelMap map;
    map.alpha = spec.alpha_channel;
    const char* names[3] = {"R", "G", "B"};
    bool named = true;
    for (int c = 0; c < 3; ++c) {
        auto it = std::find(spec.channelnames.begin(), spec.channelnames.end(), names[c]);
        if (it == spec.channelnames.end()) {
            named = false;
            break;
        }
        map.color[c] = static_cast<int>(it - spec.channelnames.begin());
    }
    if (named) return map;

    std::vector<int> others;
    for (int c = 0; c < spec.nchannels; ++c)
        if (c != map.alpha) others.push_back(c);
    if (others.size() >= 3) {
        for (int c = 0; c < 3; ++c) map.color[c] = others[static_cast<std::size_t>(c)];
    } else if (!others.empty()) {
        // Grey (with or without alpha): one channel drives all three.
        for (int& c : map.color) c = others.front();
    }
    return map;
}

float finiteOrZero(float v) { return std::isfinite(v) ? v : 0.0f; }

std::string sizeText(int64_t width, int64_t height) { return std::to_string(width) + "x" + std::to_string(height); }

// Judged from the header alone, before any pixel is allocated: what the file will make the host
// allocate is its data window, and the frame it describes is a layer the host must be able to lend.
void refuseOversizedImage(const OIIO::ImageSpec& spec, int32_t frameWidth, int32_t frameHeight) {
    if (std::max({frameWidth, frameHeight, spec.width, spec.height}) > kMaxFootageSide) {
        const bool frameLarger = std::max(frameWidth, frameHeight) > std::max(spec.width, spec.height);
        throw FootageError(
            "the image is " + (frameLarger ? sizeText(frameWidth, frameHeight) : sizeText(spec.width, spec.height)) +
                ", larger than the host's " + std::to_string(kMaxFootageSide) + " pixel limit",
            true);
    }
    if (int64_t{spec.width} * spec.height > kMaxFootagePixels) {
        throw FootageError("the image holds " + sizeText(spec.width, spec.height) +
                               " pixels, more than the host reads from one file (" +
                               std::to_string(kMaxFootagePixels) + ")",
                           true);
    }
}

}  // namespace

Footage makeSolidFootage(std::string key, const Color3& color, int32_t width, int32_t height) {
    Footage f;
    f.key = std::move(key);
    f.kind = FootageKind::Solid;
    f.width = width;
    f.height = height;
    f.solidColor = color;
    return f;
}

Footage makeObjFootage(std::string key, const std::filesystem::path& file) {
    Footage f;
    f.key = std::move(key);
    f.kind = FootageKind::Obj;
    f.path = file;
    return f;
}

Footage loadImageFootage(std::string key, const std::filesystem::path& file) {
    OIIO::ImageSpec config;
    // PNG and some TIFFs store straight colour; keep it rather than letting the reader premultiply,
    // which would lose precision in the dark, transparent parts.
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto in = OIIO::ImageInput::open(file.string(), &config);
    if (!in) throw FootageError(firstLine(OIIO::geterror(), "not an image OpenImageIO can read"));
    const OIIO::ImageSpec spec = in->spec();
    if (spec.deep) throw FootageError("deep images are not footage");
    if (spec.depth > 1) throw FootageError("volume images are not footage");
    if (spec.width < 1 || spec.height < 1 || spec.nchannels < 1) throw FootageError("the image is empty");

    // The display window is the footage's frame; the data window may cover only part of it (EXR).
    bool hasDisplayWindow = spec.full_width > 0 && spec.full_height > 0;
    int32_t width = hasDisplayWindow ? spec.full_width : spec.width;
    int32_t height = hasDisplayWindow ? spec.full_height : spec.height;
    int32_t originX = hasDisplayWindow ? spec.full_x : spec.x;
    int32_t originY = hasDisplayWindow ? spec.full_y : spec.y;
    refuseOversizedImage(spec, width, height);

    const std::size_t channels = static_cast<std::size_t>(spec.nchannels);
    std::vector<float> source(static_cast<std::size_t>(spec.width) * static_cast<std::size_t>(spec.height) * channels);
    if (!in->read_image(0, 0, 0, spec.nchannels, OIIO::TypeDesc::FLOAT, source.data()))
        throw FootageError(firstLine(in->geterror(), "the pixels could not be read"));
    in->close();

    ChannelMap map = mapChannels(spec);
    bool premultiplied = map.alpha >= 0 && spec.get_int_attribute("oiio:UnassociatedAlpha", 0) == 0;

    Footage f;
    f.key = std::move(key);
    f.kind = FootageKind::Image;
    f.path = file;
    f.width = width;
    f.height = height;
    f.bitsPerChannel = bitsOf(spec.format);
    // The data window in frame coordinates, clipped to the frame.
    const int64_t dataLeft = int64_t{spec.x} - originX, dataTop = int64_t{spec.y} - originY;
    const int64_t left = std::clamp<int64_t>(dataLeft, 0, width), right = std::clamp<int64_t>(dataLeft + spec.width, 0, width);
    const int64_t top = std::clamp<int64_t>(dataTop, 0, height), bottom = std::clamp<int64_t>(dataTop + spec.height, 0, height);
    f.pixelsX = static_cast<int32_t>(left);
    f.pixelsY = static_cast<int32_t>(top);
    f.pixelsWidth = static_cast<int32_t>(right - left);
    f.pixelsHeight = static_cast<int32_t>(bottom - top);
    f.pixels.assign(static_cast<std::size_t>(f.pixelsWidth) * static_cast<std::size_t>(f.pixelsHeight) * kRgba, 0.0f);
    for (int64_t y = top; y < bottom; ++y) {
        const std::size_t sy = static_cast<std::size_t>(y - dataTop);
        for (int64_t x = left; x < right; ++x) {
            const std::size_t sx = static_cast<std::size_t>(x - dataLeft);
            const float* sample = &source[(sy * static_cast<std::size_t>(spec.width) + sx) * channels];
            float* out = &f.pixels[(static_cast<std::size_t>(y - top) * static_cast<std::size_t>(f.pixelsWidth) +
                                    static_cast<std::size_t>(x - left)) *
                                   kRgba];
            float alpha = map.alpha >= 0 ? finiteOrZero(sample[map.alpha]) : 1.0f;
            for (int c = 0; c < 3; ++c) {
                // A matte with no colour channels shows as white.
                float v = map.color[c] >= 0 ? finiteOrZero(sample[map.color[c]]) : 1.0f;
                if (premultiplied && alpha > 0.0f) v /= alpha;
                out[c] = v;
            }
            out[3] = alpha;
        }
    }
    return f;
}

std::optional<PixelRect> imagePixelRect(const Footage& footage) {
    const Footage& f = footage;
    PixelRect rect{f.pixelsX, f.pixelsY, f.pixelsWidth, f.pixelsHeight};
    if (rect.width == 0 && rect.height == 0 && !f.pixels.empty()) rect = PixelRect{0, 0, f.width, f.height};
    if (rect.x < 0 || rect.y < 0 || rect.width < 0 || rect.height < 0) return std::nullopt;
    if (int64_t{rect.x} + rect.width > f.width || int64_t{rect.y} + rect.height > f.height) return std::nullopt;
    if (f.pixels.size() != static_cast<std::size_t>(rect.width) * static_cast<std::size_t>(rect.height) * kRgba)
        return std::nullopt;
    return rect;
}

std::vector<float> footageRgba(const Footage& footage) {
    switch (footage.kind) {
        case FootageKind::Image: {
            const std::optional<PixelRect> rect = imagePixelRect(footage);
            if (!rect) return {};
            std::vector<float> frame(static_cast<std::size_t>(footage.width) *
                                     static_cast<std::size_t>(footage.height) * kRgba, 0.0f);
            const std::size_t rowFloats = static_cast<std::size_t>(rect->width) * kRgba;
            for (int32_t y = 0; y < rect->height; ++y) {
                const float* row = footage.pixels.data() + static_cast<std::size_t>(y) * rowFloats;
                const std::size_t at = (static_cast<std::size_t>(rect->y + y) * static_cast<std::size_t>(footage.width) +
                                        static_cast<std::size_t>(rect->x)) *
                                       kRgba;
                std::copy(row, row + rowFloats, frame.begin() + static_cast<std::ptrdiff_t>(at));
            }
            return frame;
        }
        case FootageKind::Solid: {
            std::vector<float> pixels(static_cast<std::size_t>(std::max(footage.width, 0)) *
                                      static_cast<std::size_t>(std::max(footage.height, 0)) * kRgba);
            for (std::size_t i = 0; i < pixels.size(); i += kRgba) {
                for (int c = 0; c < 3; ++c)
                    pixels[i + static_cast<std::size_t>(c)] =
                        static_cast<float>(footage.solidColor[static_cast<std::size_t>(c)]);
                pixels[i + 3] = 1.0f;
            }
            return pixels;
        }
        case FootageKind::Obj:
            break;
    }
    return {};
}

}  // namespace zephrin::host
