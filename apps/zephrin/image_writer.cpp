#include "apps/zephrin/image_writer.h"

#include <OpenImageIO/imageio.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "sdk/AE_Effect.h"

namespace zephrin::app {
namespace {

namespace fs = std::filesystem;

// Host pixels are alpha, red, green, blue; image files want red, green, blue, alpha. The host world
// holds colour premultiplied by alpha, which is what OpenImageIO expects and un-premultiplies for
// formats that store straight colour (PNG).
template <typename Pixel, typename Out, typename Convert>
std::vector<Out> toRgba(const host::HostWorld& world, Convert convert) {
    std::vector<Out> rgba(static_cast<size_t>(world.width) * world.height * 4);
    for (int32_t y = 0; y < world.height; ++y) {
        const auto* row = reinterpret_cast<const Pixel*>(world.bytes.data() + y * world.rowBytes);
        Out* out = rgba.data() + static_cast<size_t>(y) * world.width * 4;
        for (int32_t x = 0; x < world.width; ++x) {
            out[4 * x + 0] = convert(row[x].red);
            out[4 * x + 1] = convert(row[x].green);
            out[4 * x + 2] = convert(row[x].blue);
            out[4 * x + 3] = convert(row[x].alpha);
        }
    }
    return rgba;
}

fs::path temporaryPathFor(const fs::path& target) {
    // Keep the extension last so the format stays recognisable to anyone looking at a leftover.
    fs::path name = "." + target.filename().string() + ".partial-" + std::to_string(::getpid()) +
                    target.extension().string();
    return target.parent_path() / name;
}

}  // namespace

void writeWorldImage(const host::HostWorld& world, const fs::path& target, const OutputFormat& format) {
    if (world.width <= 0 || world.height <= 0) throw std::runtime_error(target.string() + ": empty image");

    OIIO::TypeDesc type = OIIO::TypeDesc::UINT8;
    std::vector<uint8_t> bytes8;
    std::vector<uint16_t> bytes16;
    std::vector<float> floats;
    const void* pixels = nullptr;
    switch (world.type) {
        case AEGP_WorldType_8:
            bytes8 = toRgba<PF_Pixel8, uint8_t>(world, [](A_u_char v) { return v; });
            pixels = bytes8.data();
            break;
        case AEGP_WorldType_16:
            // Host 16-bit channels run 0..32768; files use the full 0..65535 range.
            bytes16 = toRgba<PF_Pixel16, uint16_t>(world, [](A_u_short v) {
                unsigned scaled = (static_cast<unsigned>(std::min<A_u_short>(v, 32768)) * 65535u + 16384u) / 32768u;
                return static_cast<uint16_t>(scaled);
            });
            type = OIIO::TypeDesc::UINT16;
            pixels = bytes16.data();
            break;
        case AEGP_WorldType_32:
            floats = toRgba<PF_PixelFloat, float>(world, [](float v) { return v; });
            type = OIIO::TypeDesc::FLOAT;
            pixels = floats.data();
            break;
        default:
            throw std::runtime_error(target.string() + ": the renderer returned an image of unknown depth");
    }

    OIIO::TypeDesc fileType = type;
    if (format.format == ImageFormat::Exr) fileType = OIIO::TypeDesc::FLOAT;
    if (format.format == ImageFormat::Jpeg) fileType = OIIO::TypeDesc::UINT8;
    OIIO::ImageSpec spec(world.width, world.height, format.format == ImageFormat::Jpeg ? 3 : 4, fileType);
    if (format.format != ImageFormat::Jpeg) spec.alpha_channel = 3;

    fs::path parent = target.parent_path();
    if (!parent.empty()) {
        std::error_code ec;
        fs::create_directories(parent, ec);
        if (ec) throw std::runtime_error(target.string() + ": cannot create folder " + parent.string() + ": " + ec.message());
    }
    fs::path temporary = temporaryPathFor(target);
    auto output = OIIO::ImageOutput::create(format.oiioFormatName);
    if (!output) throw std::runtime_error(target.string() + ": no image writer for " + format.oiioFormatName);
    if (!output->open(temporary.string(), spec)) {
        std::string why = output->geterror();
        throw std::runtime_error(target.string() + ": cannot write: " + why);
    }
    // JPEG has no alpha: write the first three channels of each pixel.
    OIIO::stride_t xstride = static_cast<OIIO::stride_t>(type.size() * 4);
    bool ok = output->write_image(type, pixels, xstride);
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
