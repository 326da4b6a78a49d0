// The renderer plug-in's entry: Artisan registration with the host, the Artisan callback table and
// the death hook. Every function the host calls is guarded so that no exception crosses into it.
#pragma once

#include <array>
#include <string_view>

#include "common/entry_guard.h"
#include "common/host_suites.h"
#include "sdk/AE_GeneralPlug.h"
#include "sdk/PR_Public.h"

namespace zephrin {

inline constexpr const char* kArtisanMatchName = "com.tavik.ZephrinRenderer";
inline constexpr const char* kArtisanDisplayName = "Zephrin Renderer";
// Earlier builds registered under this name; it is registered as well whenever it differs.
inline constexpr const char* kLegacyArtisanMatchName = "com.tavik.ZephrinRenderer";

// The host keeps Artisan names in 32-byte fields: 31 characters and the terminator.
constexpr size_t kArtisanNameCapacity = 32;
using ArtisanName = std::array<char, kArtisanNameCapacity>;
ArtisanName makeArtisanName(std::string_view name);

// Artisan interface version 1.0; this Artisan's own version 0x20001.
constexpr A_Version kArtisanApiVersion{1, 0};
constexpr A_Version kArtisanVersion{2, 1};

// What the renderer answers for a fault its entry caught.
inline constexpr EntryFaultCodes kRendererFaultCodes{A_Err_ALLOC, A_Err_GENERIC};

// Runs the body of the host-called function `entry` so that nothing it throws reaches the host: the
// fault goes to the entry channel and its code to the host.
template <typename Body>
A_Err guardedEntry(const char* entry, Body&& body) noexcept {
    return guardEntry(entry, kEntryLog, kRendererFaultCodes, body);
}

// The body of the exported EntryPointFunc.
A_Err rendererEntryPoint(SPBasicSuite* basic, A_long majorVersion, A_long minorVersion, AEGP_PluginID pluginId,
                         AEGP_GlobalRefcon* globalRefcon);

// The callback table handed to the host, in its slot order.
PR_ArtisanEntryPoints artisanEntryPoints();

A_Err Artie_DeathHook(AEGP_GlobalRefcon pluginRefcon, AEGP_DeathRefcon refcon);

// The plug-in id the host assigned at registration (0 before).
AEGP_PluginID registeredPluginId();

}  // namespace zephrin
