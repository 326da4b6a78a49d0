#include "apps/zephrin/image_writer.h"

#include <OpenImageIO/imageio.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "apps/zephrin/interrupt_cleanup.h"
#include "sdk/AE_Effect.h"

namespace zephrin::app {
namespace {

namespace fs = std::filesystem;

// Host pixels are alpha, red, green, blue with colour premultiplied by alpha; image files want red,
// green, blue, alpha as fractions.
template <typename Pixel, typename Convert>
std::vector<float> toRgba(const host::HostWorld& world, Convert convert) {
    std::vector<float> rgba(static_cast<size_t>(world.width) * world.height * 4);
    for (int32_t y = 0; y < world.height; ++y) {
        const auto* row = reinterpret_cast<const Pixel*>(world.bytes.data() + y * world.rowBytes);
        float* out = rgba.data() + static_cast<size_t>(y) * world.width * 4;
        for (int32_t x = 0; x < world.width; ++x) {
            out[4 * x + 0] = convert(row[x].red);
            out[4 * x + 1] = convert(row[x].green);
            out[4 * x + 2] = convert(row[x].blue);
            out[4 * x + 3] = convert(row[x].alpha);
        }
    }
    return rgba;
}

// PNG stores straight colour: divide the premultiplied colour by alpha.
void unpremultiply(std::vector<float>& rgba) {
    for (size_t i = 0; i + 3 < rgba.size(); i += 4) {
        float alpha = rgba[i + 3];
        if (alpha <= 0.0f) continue;
        for (int c = 0; c < 3; ++c) rgba[i + c] = std::min(rgba[i + c] / alpha, 1.0f);
    }
}

fs::path temporaryPathFor(const fs::path& target) {
    // Keep the extension last so the format stays recognisable to anyone looking at a leftover.
    fs::path name = "." + target.filename().string() + ".partial-" + std::to_string(::getpid()) +
                    target.extension().string();
    return target.parent_path() / name;
}

// sRGB and Rec.709 primaries with the D65 white point: red, green, blue, white as CIE x, y.
constexpr float kRec709Chromaticities[8] = {0.64f, 0.33f, 0.30f, 0.60f, 0.15f, 0.06f, 0.3127f, 0.3290f};

void describeFrame(OIIO::ImageSpec& spec, const OutputFormat& format, const FrameMetadata& metadata) {
    // An empty DateTime keeps the writers from stamping the current time, which would make two
    // renders of one frame differ.
    spec.attribute("DateTime", "");
    spec.attribute("Software", metadata.software);
    spec.attribute("ImageDescription", metadata.sceneName + " frame " + std::to_string(metadata.frame));
    spec.attribute("zephrin:scene", metadata.sceneName);
    spec.attribute("zephrin:frame", static_cast<int>(metadata.frame));
    if (format.format == ImageFormat::Exr) {
        // EXR readers assume linear light unless told otherwise, but these floats carry the composition's
        // sRGB-encoded values, the same numbers the PNG holds. Say so, rather than convert and change the
        // picture.
        spec.attribute("chromaticities", OIIO::TypeDesc(OIIO::TypeDesc::FLOAT, 8), kRec709Chromaticities);
        spec.attribute("colorInteropID", "srgb_rec709_scene");
        spec.attribute("oiio:ColorSpace", "sRGB");
    }
}

}  // namespace

void writeWorldImage(const host::HostWorld& world, const fs::path& target, const OutputFormat& format,
                     const FrameMetadata& metadata) {
    if (world.width <= 0 || world.height <= 0) throw std::runtime_error(target.string() + ": empty image");

    std::vector<float> pixels;
    OIIO::TypeDesc fileType = OIIO::TypeDesc::UINT8;
    switch (world.type) {
        case AEGP_WorldType_8:
            pixels = toRgba<PF_Pixel8>(world, [](A_u_char v) { return v / 255.0f; });
            break;
        case AEGP_WorldType_16:
            pixels = toRgba<PF_Pixel16>(world, [](A_u_short v) { return std::min(v / 32768.0f, 1.0f); });
            fileType = OIIO::TypeDesc::UINT16;
            break;
        case AEGP_WorldType_32:
            pixels = toRgba<PF_PixelFloat>(world, [](float v) { return v; });
            fileType = OIIO::TypeDesc::FLOAT;
            break;
        default:
            throw std::runtime_error(target.string() + ": the renderer returned an image of unknown depth");
    }
    if (format.format == ImageFormat::Png) unpremultiply(pixels);

    if (format.format == ImageFormat::Exr) fileType = OIIO::TypeDesc::FLOAT;
    if (format.format == ImageFormat::Jpeg) fileType = OIIO::TypeDesc::UINT8;
    OIIO::ImageSpec spec(world.width, world.height, format.format == ImageFormat::Jpeg ? 3 : 4, fileType);
    if (format.format != ImageFormat::Jpeg) spec.alpha_channel = 3;
    if (format.format == ImageFormat::Png) spec.attribute("oiio:UnassociatedAlpha", 1);
    describeFrame(spec, format, metadata);

    fs::path parent = target.parent_path();
    if (!parent.empty()) {
        std::error_code ec;
        fs::create_directories(parent, ec);
        if (ec) throw std::runtime_error(target.string() + ": cannot create folder " + parent.string() + ": " + ec.message());
    }
    fs::path temporary = temporaryPathFor(target);
    PendingTemporaryFile pending(temporary);
    auto output = OIIO::ImageOutput::create(format.oiioFormatName);
    if (!output) throw std::runtime_error(target.string() + ": no image writer for " + format.oiioFormatName);
    if (!output->open(temporary.string(), spec)) {
        std::string why = output->geterror();
        throw std::runtime_error(target.string() + ": cannot write: " + why);
    }
    // JPEG has no alpha: write the first three channels of each pixel.
    OIIO::stride_t xstride = static_cast<OIIO::stride_t>(sizeof(float) * 4);
    bool ok = output->write_image(OIIO::TypeDesc::FLOAT, pixels.data(), xstride);
    std::string why = ok ? std::string() : output->geterror();
    ok = output->close() && ok;
    if (!ok) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw std::runtime_error(target.string() + ": cannot write: " + (why.empty() ? output->geterror() : why));
    }
    std::error_code ec;
    fs::rename(temporary, target, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw std::runtime_error(target.string() + ": cannot replace file: " + ec.message());
    }
}

}  // namespace zephrin::app
