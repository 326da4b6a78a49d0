// Loading plug-in libraries from a folder, as the host does at start-up. A library that exports
// EntryPointFunc is a general (AEGP) plug-in: it is called at once with the basic suite and registers
// what it offers (Artisans, death hooks) through the Register suite. A library that exports
// PluginDataEntryFunction2 (or the older PluginDataEntryFunction) is an effect plug-in; it is kept loaded
// for the session to discover.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "host/suites/host_state.h"
#include "sdk/AE_GeneralPlug.h"

namespace zephrin::host {

enum class PluginKind {
    General,       // exports EntryPointFunc
    Effect,        // exports PluginDataEntryFunction2 or PluginDataEntryFunction
    NotAPlugin,    // a shared library with neither entry point; unloaded again
    LoadFailed,    // not a complete shared library, or dlopen refused it
};

// The plug-in files the host looks for in its folder. Anything else there (the platform library the
// effect links, stray copies) is not the host's to open.
inline constexpr const char* kRendererLibraryName = "ZephrinRenderer.so";
inline constexpr const char* kEffectLibraryName = "Zephrin.so";

struct LoadedLibrary {
    std::filesystem::path path;
    PluginKind kind = PluginKind::NotAPlugin;
    void* handle = nullptr;  // dlopen handle while loaded
    AEGP_PluginID pluginId = 0;
    AEGP_GlobalRefcon globalRefcon = nullptr;  // what EntryPointFunc handed back
    A_Err entryError = A_Err_NONE;             // what EntryPointFunc returned
    std::string failure;                       // why it is not usable
};

// The AEGP API version the host reports to EntryPointFunc.
constexpr A_long kHostApiMajorVersion = 13;
constexpr A_long kHostApiMinorVersion = 28;

// Loads the plug-in files the host expects that are present in the folder, in name order, calling each
// general plug-in's entry with `state` active. A file that is not a complete shared library is not
// opened (LoadFailed, with the reason). Throws HostError when the folder cannot be listed.
std::vector<LoadedLibrary> loadPluginFolder(HostState& state, const std::filesystem::path& folder);

// Calls every registered death hook (in registration order), with the state active.
void callDeathHooks(HostState& state, const std::vector<LoadedLibrary>& libraries);

// dlcloses every library, last loaded first.
void unloadLibraries(std::vector<LoadedLibrary>& libraries);

// "ZephrinRenderer.so: general plug-in (id 1), Artisan "Zephrin Renderer" (com.tavik.ZephrinRenderer)".
std::string describeLibrary(const HostState& state, const LoadedLibrary& library);

}  // namespace zephrin::host
