#include "host/host_world.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "host/footage.h"
#include "sdk/AE_Effect.h"

namespace zephrin::host {
namespace {

constexpr double kFull8 = PF_MAX_CHAN8;
constexpr double kFull16 = PF_MAX_CHAN16;

double clampUnit(double v) {
    if (!(v > 0.0)) return 0.0;  // NaN lands on 0 as well
    return v < 1.0 ? v : 1.0;
}

template <typename Channel>
Channel toChannel(double fraction, double fullValue) {
    return static_cast<Channel>(std::floor(clampUnit(fraction) * fullValue + 0.5));
}

uint8_t* pixelAddress(HostWorld& world, int32_t x, int32_t y) {
    return world.bytes.data() + static_cast<size_t>(y) * world.rowBytes + static_cast<size_t>(x) * pixelBytes(world.type);
}

const uint8_t* pixelAddress(const HostWorld& world, int32_t x, int32_t y) {
    return world.bytes.data() + static_cast<size_t>(y) * world.rowBytes + static_cast<size_t>(x) * pixelBytes(world.type);
}

bool inside(const HostWorld& world, int32_t x, int32_t y) {
    return pixelBytes(world.type) != 0 && x >= 0 && y >= 0 && x < world.width && y < world.height;
}

}  // namespace

size_t pixelBytes(AEGP_WorldType type) {
    switch (type) {
        case AEGP_WorldType_8: return sizeof(PF_Pixel8);
        case AEGP_WorldType_16: return sizeof(PF_Pixel16);
        case AEGP_WorldType_32: return sizeof(PF_PixelFloat);
        default: return 0;
    }
}

AEGP_WorldType worldTypeForBits(int32_t bitsPerChannel) {
    switch (bitsPerChannel) {
        case 8: return AEGP_WorldType_8;
        case 16: return AEGP_WorldType_16;
        case 32: return AEGP_WorldType_32;
        default: return AEGP_WorldType_NONE;
    }
}

HostWorld makeWorld(AEGP_WorldType type, int32_t width, int32_t height) {
    HostWorld world;
    size_t pixel = pixelBytes(type);
    if (pixel == 0 || width < 1 || height < 1 || width > kMaxWorldSide || height > kMaxWorldSide) return world;
    world.type = type;
    world.width = width;
    world.height = height;
    world.rowBytes = static_cast<size_t>(width) * pixel + kWorldRowPadding;
    world.bytes.assign(world.rowBytes * static_cast<size_t>(height), 0);
    return world;
}

void writePixel(HostWorld& world, int32_t x, int32_t y, const std::array<double, 4>& rgba) {
    if (!inside(world, x, y)) return;
    uint8_t* at = pixelAddress(world, x, y);
    switch (world.type) {
        case AEGP_WorldType_8: {
            PF_Pixel8 p{toChannel<A_u_char>(rgba[3], kFull8), toChannel<A_u_char>(rgba[0], kFull8),
                        toChannel<A_u_char>(rgba[1], kFull8), toChannel<A_u_char>(rgba[2], kFull8)};
            std::memcpy(at, &p, sizeof p);
            break;
        }
        case AEGP_WorldType_16: {
            PF_Pixel16 p{toChannel<A_u_short>(rgba[3], kFull16), toChannel<A_u_short>(rgba[0], kFull16),
                         toChannel<A_u_short>(rgba[1], kFull16), toChannel<A_u_short>(rgba[2], kFull16)};
            std::memcpy(at, &p, sizeof p);
            break;
        }
        case AEGP_WorldType_32: {
            PF_PixelFloat p{static_cast<float>(clampUnit(rgba[3])), static_cast<float>(clampUnit(rgba[0])),
                            static_cast<float>(clampUnit(rgba[1])), static_cast<float>(clampUnit(rgba[2]))};
            std::memcpy(at, &p, sizeof p);
            break;
        }
        default: break;
    }
}

void fillWorld(HostWorld& world, const std::array<double, 4>& rgba) {
    if (!inside(world, 0, 0)) return;
    // Convert once, then copy the pixel's bytes along every row; the padding stays as it was.
    writePixel(world, 0, 0, rgba);
    size_t pixel = pixelBytes(world.type);
    std::vector<uint8_t> first(pixelAddress(world, 0, 0), pixelAddress(world, 0, 0) + pixel);
    for (int32_t y = 0; y < world.height; ++y) {
        for (int32_t x = 0; x < world.width; ++x) std::memcpy(pixelAddress(world, x, y), first.data(), pixel);
    }
}

std::array<double, 4> readPixel(const HostWorld& world, int32_t x, int32_t y) {
    if (!inside(world, x, y)) return {0.0, 0.0, 0.0, 0.0};
    const uint8_t* at = pixelAddress(world, x, y);
    switch (world.type) {
        case AEGP_WorldType_8: {
            PF_Pixel8 p;
            std::memcpy(&p, at, sizeof p);
            double k = 1.0 / kFull8;
            return {p.red * k, p.green * k, p.blue * k, p.alpha * k};
        }
        case AEGP_WorldType_16: {
            PF_Pixel16 p;
            std::memcpy(&p, at, sizeof p);
            double k = 1.0 / kFull16;
            return {p.red * k, p.green * k, p.blue * k, p.alpha * k};
        }
        default: {
            PF_PixelFloat p;
            std::memcpy(&p, at, sizeof p);
            return {p.red, p.green, p.blue, p.alpha};
        }
    }
}

HostWorld footageWorld(const Footage& footage) {
    AEGP_WorldType type = AEGP_WorldType_8;
    switch (footage.kind) {
        case FootageKind::Solid: break;
        case FootageKind::Image:
            if (!imagePixelRect(footage)) return HostWorld{};
            type = worldTypeForBits(footage.bitsPerChannel);
            if (type == AEGP_WorldType_NONE) type = AEGP_WorldType_8;
            break;
        case FootageKind::Obj: return HostWorld{};
    }
    HostWorld world = makeWorld(type, footage.width, footage.height);
    if (world.type == AEGP_WorldType_NONE) return world;
    if (footage.kind == FootageKind::Solid) {
        // Straight from the colour: a float copy of a large solid would cost four times the world itself.
        // The colour passes through float as image samples do, so solids round exactly as they always have.
        std::array<double, 4> rgba{1.0, 1.0, 1.0, 1.0};
        for (std::size_t c = 0; c < 3; ++c) rgba[c] = static_cast<float>(footage.solidColor[c]);
        fillWorld(world, rgba);
        return world;
    }
    // The world starts transparent, which is what the frame shows outside the stored pixels.
    const PixelRect rect = *imagePixelRect(footage);
    const float* p = footage.pixels.data();
    for (int32_t y = 0; y < rect.height; ++y) {
        for (int32_t x = 0; x < rect.width; ++x, p += 4) writePixel(world, rect.x + x, rect.y + y, {p[0], p[1], p[2], p[3]});
    }
    return world;
}

}  // namespace zephrin::host
