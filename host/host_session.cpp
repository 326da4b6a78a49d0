#include "host/host_session.h"

#include <cmath>
#include <iostream>
#include <limits>
#include <mutex>
#include <optional>

#include "host/basic_suite.h"
#include "host/plugin_loader.h"
#include "host/render_context.h"
#include "host/suites/host_state.h"

namespace zephrin::host {

// An Artisan instance: one per composition the host has rendered, set up on its first frame.
struct ArtisanInstance {
    const Composition* comp = nullptr;  // identity only, never dereferenced after the frame
    uintptr_t context = 0;
    PR_InstanceDataH data = nullptr;
};

struct PluginHost {
    HostState state;
    std::filesystem::path folder;
    std::vector<LoadedLibrary> libraries;
    ArtisanRegistration renderer;
    uintptr_t globalContext = 0;
    PR_GlobalDataH globalData = nullptr;
    bool globalSetUp = false;
    std::vector<ArtisanInstance> instances;
};

namespace {

// The largest |frame| whose host time value (frame * 1000) fits the time record.
constexpr int32_t kMaxFrameMagnitude = std::numeric_limits<A_long>::max() / 1000;
// The largest frame rate whose time scale (rate * 1000) fits the time record.
constexpr double kMaxFrameRate = 1.0e6;

PR_InData inDataFor(const ArtisanRegistration& artisan) {
    return PR_InData{hostMessageFunction, basicSuite(), artisan.pluginId, artisan.refcon};
}

uintptr_t lockedNewHandle(HostState& state) {
    std::lock_guard<std::mutex> lock(state.mutex);
    return newHandle(state);
}

HandleAccounting snapshot(const HostState& state) {
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.accounting;
}

std::string missingRendererMessage(const PluginHost& host) {
    std::string message = "no renderer plug-in in " + host.folder.string() + ": expected ZephrinRenderer.so";
    for (const LoadedLibrary& library : host.libraries) {
        if (!library.failure.empty()) message += " (" + describeLibrary(host.state, library) + ")";
    }
    return message;
}

void checkRequest(const Composition& comp, const FrameRequest& request) {
    if (request.downsampleX < 1 || request.downsampleY < 1) {
        throw HostError("downsample factor must be at least 1, got " + std::to_string(request.downsampleX) + "x" +
                        std::to_string(request.downsampleY));
    }
    if (worldTypeForBits(request.bitsPerChannel) == AEGP_WorldType_NONE) {
        throw HostError("bits per channel must be 8, 16 or 32, got " + std::to_string(request.bitsPerChannel));
    }
    if (comp.width < 1 || comp.height < 1 || comp.width > kMaxWorldSide || comp.height > kMaxWorldSide) {
        throw HostError("composition \"" + comp.name + "\" has an unusable size " + std::to_string(comp.width) + "x" +
                        std::to_string(comp.height));
    }
    if (!(comp.frameRate > 0.0) || !(comp.frameRate <= kMaxFrameRate)) {
        throw HostError("composition \"" + comp.name + "\" has an unusable frame rate");
    }
    if (request.frame > kMaxFrameMagnitude || request.frame < -kMaxFrameMagnitude) {
        throw HostError("frame " + std::to_string(request.frame) + " is out of the host's time range");
    }
}

// The instance for this composition, set up on first use. Null when the Artisan's setup failed.
ArtisanInstance* instanceFor(PluginHost& host, const Composition& comp, const PR_InData& inData, A_Err& err) {
    for (ArtisanInstance& instance : host.instances) {
        if (instance.comp == &comp) return &instance;
    }
    ArtisanInstance instance;
    instance.comp = &comp;
    instance.context = lockedNewHandle(host.state);
    if (PR_InstanceSetupFunc setup = host.renderer.entries.setup_instance_func0) {
        err = setup(&inData, toHandle<PR_GlobalContextH>(host.globalContext),
                    toHandle<PR_InstanceContextH>(instance.context), host.globalData, PR_InstanceFlags_NONE, nullptr,
                    &instance.data);
        if (err != A_Err_NONE) return nullptr;
    }
    host.instances.push_back(instance);
    return &host.instances.back();
}

A_Err runArtisanFrame(PluginHost& host, const Composition& comp, uintptr_t renderContext) {
    const PR_ArtisanEntryPoints& entries = host.renderer.entries;
    PR_InData inData = inDataFor(host.renderer);
    A_Err err = A_Err_NONE;
    ArtisanInstance* instance = instanceFor(host, comp, inData, err);
    if (instance == nullptr) return err;
    auto global = toHandle<PR_GlobalContextH>(host.globalContext);
    auto instanceContext = toHandle<PR_InstanceContextH>(instance->context);
    auto rc = toHandle<PR_RenderContextH>(renderContext);
    if (entries.frame_setup_func0 != nullptr) {
        err = entries.frame_setup_func0(&inData, global, instanceContext, rc, host.globalData, instance->data);
        if (err != A_Err_NONE) return err;
    }
    err = entries.render_func(&inData, global, instanceContext, rc, host.globalData, instance->data);
    if (entries.frame_setdown_func0 != nullptr) {
        A_Err setdown = entries.frame_setdown_func0(&inData, global, instanceContext, rc, host.globalData,
                                                    instance->data);
        if (err == A_Err_NONE) err = setdown;
    }
    return err;
}

void shutDown(PluginHost& host) {
    if (host.globalSetUp) {
        PR_InData inData = inDataFor(host.renderer);
        auto global = toHandle<PR_GlobalContextH>(host.globalContext);
        for (const ArtisanInstance& instance : host.instances) {
            if (host.renderer.entries.setdown_instance_func0 != nullptr) {
                host.renderer.entries.setdown_instance_func0(&inData, global,
                                                             toHandle<PR_InstanceContextH>(instance.context),
                                                             host.globalData, instance.data);
            }
        }
        host.instances.clear();
        if (host.renderer.entries.global_setdown_func0 != nullptr) {
            host.renderer.entries.global_setdown_func0(&inData, global, host.globalData);
        }
        host.globalSetUp = false;
    }
    callDeathHooks(host.state, host.libraries);
    unloadLibraries(host.libraries);
    deactivateHostState(host.state);
}

}  // namespace

void PluginHostCloser::operator()(PluginHost* host) const noexcept {
    if (host == nullptr) return;
    try {
        shutDown(*host);
    } catch (const std::exception& error) {
        std::cerr << "zephrin host: closing the plug-ins failed: " << error.what() << "\n";
    } catch (...) {
        std::cerr << "zephrin host: closing the plug-ins failed\n";
    }
    deactivateHostState(host->state);
    delete host;
}

PluginHostPtr openPluginHost(const std::filesystem::path& pluginDir) {
    PluginHostPtr host(new PluginHost);
    host->folder = pluginDir;
    if (!activateHostState(host->state)) {
        // Not ours to shut down: only the state pointer of the host already open is active.
        delete host.release();
        throw HostError("another plug-in host is already open in this process");
    }
    host->libraries = loadPluginFolder(host->state, pluginDir);
    std::optional<ArtisanRegistration> renderer;
    {
        std::lock_guard<std::mutex> lock(host->state.mutex);
        for (const ArtisanRegistration& artisan : host->state.artisans) {
            if (artisan.matchName == kRendererArtisanMatchName) renderer = artisan;
        }
    }
    if (!renderer) throw HostError(missingRendererMessage(*host));
    host->renderer = *renderer;
    host->globalContext = lockedNewHandle(host->state);
    if (PR_GlobalSetupFunc setup = host->renderer.entries.global_setup_func0) {
        PR_InData inData = inDataFor(host->renderer);
        A_Err err = setup(&inData, toHandle<PR_GlobalContextH>(host->globalContext), &host->globalData);
        if (err != A_Err_NONE) {
            throw HostError("the renderer Artisan's global setup returned error " + std::to_string(err));
        }
    }
    host->globalSetUp = true;
    return host;
}

void closePluginHost(PluginHostPtr host) { host.reset(); }

FrameResult renderCompositionFrame(PluginHost& host, const Composition& comp, const FrameRequest& request) {
    checkRequest(comp, request);
    if (!host.globalSetUp) throw HostError("the plug-in host is not set up");
    HandleAccounting before = snapshot(host.state);
    RenderContext& rc = beginRenderContext(host.state, comp, request);
    uintptr_t renderContext = rc.handle;
    FrameResult result;
    result.error = runArtisanFrame(host, comp, renderContext);
    result.image = endRenderContext(host.state, renderContext);
    result.accounting = accountingSince(before, snapshot(host.state));
    return result;
}

std::vector<std::string> describePlugins(const PluginHost& host) {
    std::lock_guard<std::mutex> lock(host.state.mutex);
    std::vector<std::string> lines;
    for (const LoadedLibrary& library : host.libraries) lines.push_back(describeLibrary(host.state, library));
    return lines;
}

std::vector<std::string> pluginMessages(const PluginHost& host) {
    std::lock_guard<std::mutex> lock(host.state.mutex);
    return host.state.messages;
}

void setSuiteAvailable(PluginHost& host, const std::string& suiteName, bool available) {
    std::lock_guard<std::mutex> lock(host.state.mutex);
    if (available) {
        host.state.withheldSuites.erase(suiteName);
    } else {
        host.state.withheldSuites.insert(suiteName);
    }
}

HandleAccounting totalAccounting(const PluginHost& host) { return snapshot(host.state); }

}  // namespace zephrin::host
