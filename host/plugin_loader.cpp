#include "host/plugin_loader.h"

#include <dlfcn.h>

#include <algorithm>
#include <system_error>

#include "host/basic_suite.h"
#include "host/effect_plugin.h"
#include "host/host_session.h"
#include "host/plugin_file.h"

namespace zephrin::host {
namespace {

AEGP_PluginID nextPluginId(HostState& state) {
    AEGP_PluginID id = 1;
    for (AEGP_PluginID known : state.pluginIds) id = std::max(id, known + 1);
    state.pluginIds.push_back(id);
    return id;
}

std::string lastDlError() {
    const char* text = dlerror();
    return text != nullptr ? text : "unknown error";
}

void loadLibrary(HostState& state, LoadedLibrary& library) {
    // Checked first: dlopen maps a truncated file as if it were whole and the process dies on first touch.
    library.failure = pluginFileProblem(library.path);
    if (!library.failure.empty()) {
        library.kind = PluginKind::LoadFailed;
        return;
    }
    dlerror();
    library.handle = dlopen(library.path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library.handle == nullptr) {
        library.kind = PluginKind::LoadFailed;
        library.failure = lastDlError();
        return;
    }
    if (void* entry = dlsym(library.handle, "EntryPointFunc")) {
        library.kind = PluginKind::General;
        library.pluginId = nextPluginId(state);
        auto init = reinterpret_cast<AEGP_PluginInitFuncPrototype>(entry);
        // The plug-in reaches back into the host through the basic suite, which takes the state's lock:
        // the entry must run without it.
        library.entryError = init(const_cast<SPBasicSuite*>(basicSuite()), kHostApiMajorVersion,
                                  kHostApiMinorVersion, library.pluginId, &library.globalRefcon);
        if (library.entryError != A_Err_NONE) {
            library.failure = "EntryPointFunc returned error " + std::to_string(library.entryError);
        }
        return;
    }
    if (dlsym(library.handle, "PluginDataEntryFunction2") != nullptr ||
        dlsym(library.handle, "PluginDataEntryFunction") != nullptr) {
        library.kind = PluginKind::Effect;
        return;
    }
    library.kind = PluginKind::NotAPlugin;
    dlclose(library.handle);
    library.handle = nullptr;
}

std::string describeEffectLibrary(const HostState& state, const LoadedLibrary& library) {
    std::string line = library.path.filename().string() + ": effect plug-in";
    const EffectPlugin* effect = state.effectPlugin;
    if (effect != nullptr && effect->path == library.path) {
        line += " \"" + effect->name + "\" (" + effect->matchName + "), category \"" + effect->category + "\", " +
                std::to_string(effect->params.size() > 0 ? effect->params.size() - 1 : 0) + " parameters";
    }
    if (!library.failure.empty()) line += ", " + library.failure;
    return line;
}

}  // namespace

std::vector<LoadedLibrary> loadPluginFolder(HostState& state, const std::filesystem::path& folder) {
    std::error_code error;
    std::vector<std::filesystem::path> candidates;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        // Whatever the entry is (even a folder), a file of an expected name is reported, never skipped silently.
        if (name == kRendererLibraryName || name == kEffectLibraryName) candidates.push_back(it->path());
    }
    if (error) throw HostError("cannot read plug-in folder " + folder.string() + ": " + error.message());
    std::sort(candidates.begin(), candidates.end());
    std::vector<LoadedLibrary> libraries;
    libraries.reserve(candidates.size());
    for (const std::filesystem::path& path : candidates) {
        LoadedLibrary library;
        library.path = path;
        loadLibrary(state, library);
        libraries.push_back(std::move(library));
    }
    return libraries;
}

void callDeathHooks(HostState& state, const std::vector<LoadedLibrary>& libraries) {
    std::vector<DeathHookRegistration> hooks;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        hooks = state.deathHooks;
    }
    for (const DeathHookRegistration& hook : hooks) {
        AEGP_GlobalRefcon refcon = nullptr;
        for (const LoadedLibrary& library : libraries) {
            if (library.pluginId == hook.pluginId) refcon = library.globalRefcon;
        }
        hook.hook(refcon, hook.refcon);
    }
}

void unloadLibraries(std::vector<LoadedLibrary>& libraries) {
    for (auto it = libraries.rbegin(); it != libraries.rend(); ++it) {
        if (it->handle != nullptr) dlclose(it->handle);
        it->handle = nullptr;
    }
}

std::string describeLibrary(const HostState& state, const LoadedLibrary& library) {
    std::string line = library.path.filename().string() + ": ";
    switch (library.kind) {
        case PluginKind::LoadFailed: return line + "not a usable plug-in: " + library.failure;
        case PluginKind::NotAPlugin:
            return line + "not a usable plug-in: no EntryPointFunc or PluginDataEntryFunction2";
        case PluginKind::Effect: return describeEffectLibrary(state, library);
        case PluginKind::General: break;
    }
    line += "general plug-in (id " + std::to_string(library.pluginId) + ")";
    if (!library.failure.empty()) line += ", " + library.failure;
    for (const ArtisanRegistration& artisan : state.artisans) {
        if (artisan.pluginId == library.pluginId) {
            line += ", Artisan \"" + artisan.displayName + "\" (" + artisan.matchName + ")";
        }
    }
    for (const DeathHookRegistration& hook : state.deathHooks) {
        if (hook.pluginId == library.pluginId) line += ", death hook";
    }
    return line;
}

}  // namespace zephrin::host
