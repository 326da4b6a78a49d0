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
    if (std::max({width, height, spec.width, spec.height}) > kMaxFootageSide) {
        throw FootageError("the image is " + std::to_string(spec.width) + "x" + std::to_string(spec.height) +
                           ", larger than the host's " + std::to_string(kMaxFootageSide) + " pixel limit");
    }

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
    // Outside the data window the frame is transparent.
    f.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * kRgba, 0.0f);
    for (int sy = 0; sy < spec.height; ++sy) {
        int64_t y = int64_t{spec.y} + sy - originY;
        if (y < 0 || y >= height) continue;
        for (int sx = 0; sx < spec.width; ++sx) {
            int64_t x = int64_t{spec.x} + sx - originX;
            if (x < 0 || x >= width) continue;
            const float* sample = &source[(static_cast<std::size_t>(sy) * static_cast<std::size_t>(spec.width) +
                                           static_cast<std::size_t>(sx)) *
                                          channels];
            float* out = &f.pixels[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                                    static_cast<std::size_t>(x)) *
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

std::vector<float> footageRgba(const Footage& footage) {
    switch (footage.kind) {
        case FootageKind::Image:
            return footage.pixels;
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
