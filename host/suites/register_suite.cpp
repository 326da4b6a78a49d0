#include "host/suites/register_suite.h"

#include <cstring>
#include <string>

#include "host/suites/host_state.h"

namespace zephrin::host {
namespace {

std::string boundedName(const A_char* name) { return std::string(name, strnlen(name, kMaxArtisanNameChars)); }

A_Err registerDeathHook(AEGP_PluginID pluginId, AEGP_DeathHook hook, AEGP_DeathRefcon refcon) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        if (hook == nullptr || !isKnownPlugin(state, pluginId)) return A_Err_PARAMETER;
        state.deathHooks.push_back(DeathHookRegistration{pluginId, hook, refcon});
        return A_Err_NONE;
    });
}

A_Err registerArtisan(A_Version apiVersion, A_Version artisanVersion, AEGP_PluginID pluginId, void* refcon,
                      const A_char* matchName, const A_char* artisanName, PR_ArtisanEntryPoints* entries) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        if (matchName == nullptr || artisanName == nullptr || entries == nullptr) return A_Err_PARAMETER;
        if (!isKnownPlugin(state, pluginId) || entries->render_func == nullptr) return A_Err_PARAMETER;
        ArtisanRegistration artisan;
        artisan.pluginId = pluginId;
        artisan.matchName = boundedName(matchName);
        artisan.displayName = boundedName(artisanName);
        if (artisan.matchName.empty()) return A_Err_PARAMETER;
        // A second Artisan under a taken match name would shadow the first one for every composition.
        for (const ArtisanRegistration& known : state.artisans) {
            if (known.matchName == artisan.matchName) return A_Err_PARAMETER;
        }
        artisan.entries = *entries;
        artisan.refcon = refcon;
        artisan.apiVersion = apiVersion;
        artisan.artisanVersion = artisanVersion;
        state.artisans.push_back(std::move(artisan));
        return A_Err_NONE;
    });
}

AEGP_RegisterSuite6 makeRegisterSuite6() {
    AEGP_RegisterSuite6 suite{};
    suite.AEGP_RegisterDeathHook = registerDeathHook;
    suite.AEGP_RegisterArtisan = registerArtisan;
    return suite;
}

}  // namespace

const AEGP_RegisterSuite6& registerSuite6() {
    static const AEGP_RegisterSuite6 suite = makeRegisterSuite6();
    return suite;
}

}  // namespace zephrin::host
