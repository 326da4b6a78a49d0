#include "host/suites/world_suite.h"

#include "host/suites/host_state.h"

namespace zephrin::host {
namespace {

A_Err newWorld(AEGP_PluginID pluginId, AEGP_WorldType type, A_long width, A_long height, AEGP_WorldH* worldPH) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        if (worldPH == nullptr) return A_Err_PARAMETER;
        *worldPH = nullptr;
        if (!isKnownPlugin(state, pluginId)) return A_Err_PARAMETER;
        HostWorld world = makeWorld(type, width, height);
        if (world.type == AEGP_WorldType_NONE) return A_Err_PARAMETER;
        *worldPH = toHandle<AEGP_WorldH>(addWorld(state, std::move(world), WorldOrigin::PluginNew));
        return A_Err_NONE;
    });
}

// Only worlds the plug-in created come back this way; a texture goes back through the Canvas suite and
// the host's own buffers never do.
A_Err disposeWorld(AEGP_WorldH worldH) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        WorldRecord* world = findWorld(state, worldH);
        if (world == nullptr) return A_Err_PARAMETER;
        if (world->origin != WorldOrigin::PluginNew) {
            ++state.accounting.badHandles;
            return A_Err_PARAMETER;
        }
        returnWorld(state, handleValue(worldH));
        return A_Err_NONE;
    });
}

A_Err getType(AEGP_WorldH worldH, AEGP_WorldType* typeP) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        WorldRecord* world = findWorld(state, worldH);
        if (world == nullptr || typeP == nullptr) return A_Err_PARAMETER;
        *typeP = world->world.type;
        return A_Err_NONE;
    });
}

A_Err getSize(AEGP_WorldH worldH, A_long* widthPL, A_long* heightPL) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        WorldRecord* world = findWorld(state, worldH);
        if (world == nullptr || widthPL == nullptr || heightPL == nullptr) return A_Err_PARAMETER;
        *widthPL = world->world.width;
        *heightPL = world->world.height;
        return A_Err_NONE;
    });
}

A_Err getRowBytes(AEGP_WorldH worldH, A_u_long* rowBytesPL) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        WorldRecord* world = findWorld(state, worldH);
        if (world == nullptr || rowBytesPL == nullptr) return A_Err_PARAMETER;
        *rowBytesPL = static_cast<A_u_long>(world->world.rowBytes);
        return A_Err_NONE;
    });
}

// The base address only for the world's own pixel type: a plug-in that asks for the wrong depth gets an
// error rather than pixels it would misread.
template <typename Pixel>
A_Err getBaseAddr(AEGP_WorldH worldH, AEGP_WorldType expected, Pixel** baseP) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        if (baseP != nullptr) *baseP = nullptr;
        WorldRecord* world = findWorld(state, worldH);
        if (world == nullptr || baseP == nullptr || world->world.type != expected) return A_Err_PARAMETER;
        *baseP = reinterpret_cast<Pixel*>(world->world.bytes.data());
        return A_Err_NONE;
    });
}

A_Err getBaseAddr8(AEGP_WorldH worldH, PF_Pixel8** baseP) { return getBaseAddr(worldH, AEGP_WorldType_8, baseP); }
A_Err getBaseAddr16(AEGP_WorldH worldH, PF_Pixel16** baseP) { return getBaseAddr(worldH, AEGP_WorldType_16, baseP); }
A_Err getBaseAddr32(AEGP_WorldH worldH, PF_PixelFloat** baseP) {
    return getBaseAddr(worldH, AEGP_WorldType_32, baseP);
}

AEGP_WorldSuite3 makeWorldSuite() {
    AEGP_WorldSuite3 suite{};
    suite.AEGP_New = newWorld;
    suite.AEGP_Dispose = disposeWorld;
    suite.AEGP_GetType = getType;
    suite.AEGP_GetSize = getSize;
    suite.AEGP_GetRowBytes = getRowBytes;
    suite.AEGP_GetBaseAddr8 = getBaseAddr8;
    suite.AEGP_GetBaseAddr16 = getBaseAddr16;
    suite.AEGP_GetBaseAddr32 = getBaseAddr32;
    return suite;
}

}  // namespace

const AEGP_WorldSuite3& worldSuite() {
    static const AEGP_WorldSuite3 suite = makeWorldSuite();
    return suite;
}

}  // namespace zephrin::host
