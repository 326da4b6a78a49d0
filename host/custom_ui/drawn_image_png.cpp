#include "host/custom_ui/drawn_image_png.h"

#include <cairo.h>

#include <fstream>
#include <memory>
#include <stdexcept>

namespace zephrin::host {
namespace {

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

uint32_t premultiplied(uint32_t channel, uint32_t alpha) { return (channel * alpha + 127) / 255; }

}  // namespace

std::string encodePng(const DrawnImage& image) {
    if (image.width <= 0 || image.height <= 0 ||
        image.rgba.size() != static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 4) {
        throw std::runtime_error("an empty or inconsistent image cannot be encoded");
    }
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, image.width, image.height), cairo_surface_destroy);
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) throw std::runtime_error("Cairo cannot make the image");
    cairo_surface_flush(surface.get());
    unsigned char* data = cairo_image_surface_get_data(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    for (int32_t y = 0; y < image.height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
        const uint8_t* in = image.rgba.data() + static_cast<size_t>(y) * static_cast<size_t>(image.width) * 4;
        for (int32_t x = 0; x < image.width; ++x) {
            const uint32_t a = in[4 * x + 3];
            row[x] = (a << 24) | (premultiplied(in[4 * x], a) << 16) | (premultiplied(in[4 * x + 1], a) << 8) |
                     premultiplied(in[4 * x + 2], a);
        }
    }
    cairo_surface_mark_dirty(surface.get());
    std::string bytes;
    if (cairo_surface_write_to_png_stream(surface.get(), appendBytes, &bytes) != CAIRO_STATUS_SUCCESS) {
        throw std::runtime_error("Cairo cannot encode the image as PNG");
    }
    return bytes;
}

void writePng(const DrawnImage& image, const std::filesystem::path& file) {
    const std::string bytes = encodePng(image);
    std::filesystem::path temporary = file;
    temporary += ".writing";
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    std::error_code ec;
    if (out) std::filesystem::rename(temporary, file, ec);
    if (!out || ec) {
        std::filesystem::remove(temporary, ec);
        throw std::runtime_error(file.string() + ": cannot be written");
    }
}

}  // namespace zephrin::host
