#include "fake_world_host.h"

#include <cstring>

namespace zephrin {
namespace {

FakeWorldHost gHost;
int gAcquires = 0;
int gReleases = 0;

FakeWorld& worldOf(AEGP_WorldH handle) { return *reinterpret_cast<FakeWorld*>(handle); }

A_Err fakeGetType(AEGP_WorldH world, AEGP_WorldType* type) {
    if (worldOf(world).failure == FakeWorldFailure::GetType) return A_Err_GENERIC;
    *type = worldOf(world).type;
    return A_Err_NONE;
}

A_Err fakeGetSize(AEGP_WorldH world, A_long* width, A_long* height) {
    if (worldOf(world).failure == FakeWorldFailure::GetSize) return A_Err_GENERIC;
    *width = worldOf(world).width;
    *height = worldOf(world).height;
    return A_Err_NONE;
}

A_Err fakeGetRowBytes(AEGP_WorldH world, A_u_long* rowBytes) {
    if (worldOf(world).failure == FakeWorldFailure::GetRowBytes) return A_Err_GENERIC;
    *rowBytes = worldOf(world).rowBytes;
    return A_Err_NONE;
}

// Hands out the base address only when the world really has the asked-for type.
template <typename Pixel>
A_Err fakeGetBaseAddr(AEGP_WorldH world, Pixel** base, AEGP_WorldType asked) {
    FakeWorld& w = worldOf(world);
    if (w.failure == FakeWorldFailure::GetBaseAddr) return A_Err_GENERIC;
    *base = (w.baseAddressMissing || w.type != asked) ? nullptr : reinterpret_cast<Pixel*>(w.bytes.data());
    return A_Err_NONE;
}

A_Err fakeGetBaseAddr8(AEGP_WorldH world, PF_Pixel8** base) {
    return fakeGetBaseAddr(world, base, AEGP_WorldType_8);
}
A_Err fakeGetBaseAddr16(AEGP_WorldH world, PF_Pixel16** base) {
    return fakeGetBaseAddr(world, base, AEGP_WorldType_16);
}
A_Err fakeGetBaseAddr32(AEGP_WorldH world, PF_PixelFloat** base) {
    return fakeGetBaseAddr(world, base, AEGP_WorldType_32);
}

AEGP_WorldSuite3 makeWorldSuite() {
    AEGP_WorldSuite3 suite{};
    suite.AEGP_GetType = fakeGetType;
    suite.AEGP_GetSize = fakeGetSize;
    suite.AEGP_GetRowBytes = fakeGetRowBytes;
    suite.AEGP_GetBaseAddr8 = fakeGetBaseAddr8;
    suite.AEGP_GetBaseAddr16 = fakeGetBaseAddr16;
    suite.AEGP_GetBaseAddr32 = fakeGetBaseAddr32;
    return suite;
}

const AEGP_WorldSuite3 gWorldSuite = makeWorldSuite();

SPErr fakeAcquire(const char* name, A_long version, const void** suite) {
    if (gHost.offerWorldSuite && std::strcmp(name, kAEGPWorldSuite) == 0 && version == kAEGPWorldSuiteVersion3) {
        *suite = &gWorldSuite;
        ++gAcquires;
        return kSPNoError;
    }
    *suite = nullptr;
    return kSPSuiteNotFoundError;
}

SPErr fakeRelease(const char* /*name*/, A_long /*version*/) {
    ++gReleases;
    return kSPNoError;
}

}  // namespace

size_t fakeWorldPixelBytes(AEGP_WorldType type) {
    switch (type) {
        case AEGP_WorldType_16:
            return sizeof(PF_Pixel16);
        case AEGP_WorldType_32:
            return sizeof(PF_PixelFloat);
        default:
            return sizeof(PF_Pixel8);
    }
}

FakeWorld makeFakeWorld(AEGP_WorldType type, A_long width, A_long height) {
    FakeWorld world;
    world.type = type;
    world.width = width;
    world.height = height;
    world.rowBytes = static_cast<A_u_long>(width) * fakeWorldPixelBytes(type) + kFakeWorldRowPadding;
    world.bytes.assign(static_cast<size_t>(world.rowBytes) * static_cast<size_t>(height), kFakeWorldFill);
    return world;
}

FakeWorldHost& resetFakeWorldHost() {
    gHost = FakeWorldHost{};
    gHost.basic.AcquireSuite = fakeAcquire;
    gHost.basic.ReleaseSuite = fakeRelease;
    gHost.inData.pica_basicP = &gHost.basic;
    gAcquires = 0;
    gReleases = 0;
    return gHost;
}

int fakeWorldSuiteAcquires() { return gAcquires; }
int fakeWorldSuiteReleases() { return gReleases; }

}  // namespace zephrin
