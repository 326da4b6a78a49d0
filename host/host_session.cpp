#include "host/host_session.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <mutex>
#include <optional>

#include "host/basic_suite.h"
#include "host/composition_time.h"
#include "host/effect_plugin.h"
#include "host/effect_scene_params.h"
#include "host/footage_sequence.h"
#include "host/plugin_loader.h"
#include "host/render_context.h"
#include "host/scene_file.h"
#include "host/scene_file_json.h"
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
    std::unique_ptr<EffectPlugin> effect;
    std::vector<const Composition*> preparedCompositions;  // whose scene effects have instances
    std::string missingRenderer;  // why no renderer Artisan is set up, for a host opened without one
};

namespace {

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

// A renderer file that is there but cannot serve is not "missing": the message says what is wrong with it.
std::string missingRendererMessage(const PluginHost& host) {
    for (const LoadedLibrary& library : host.libraries) {
        if (library.path.filename() != kRendererLibraryName) continue;
        std::string reason = library.failure;
        if (library.kind == PluginKind::NotAPlugin) reason = "no EntryPointFunc";
        if (library.kind == PluginKind::Effect) reason = "it is an effect, not a general plug-in";
        if (reason.empty()) reason = std::string("it registered no Artisan ") + kRendererArtisanMatchName;
        return std::string(kRendererLibraryName) + " in " + host.folder.string() + " is not a usable plug-in: " + reason;
    }
    std::string message = "no renderer plug-in in " + host.folder.string() + ": expected " + kRendererLibraryName;
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
    if (!(comp.frameRate >= kMinFrameRate) || !(comp.frameRate <= kMaxFrameRate)) {
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

// Every instance's SEQUENCE_SETDOWN, then the effect's GLOBAL_SETDOWN; the instances and the
// compositions registered for them go.
void shutDownEffect(PluginHost& host) {
    if (host.effect != nullptr) {
        std::vector<EffectInstance*> instances;
        {
            std::lock_guard<std::mutex> lock(host.state.mutex);
            for (const auto& instance : host.state.effects) instances.push_back(instance.get());
        }
        if (host.effect->globalSetUp) {
            for (EffectInstance* instance : instances) {
                sendEffectCommand(host.state, *host.effect, instance, PF_Cmd_SEQUENCE_SETDOWN, 0.0);
            }
        }
        setDownEffectGlobals(host.state, *host.effect);
    }
    std::lock_guard<std::mutex> lock(host.state.mutex);
    for (const auto& [comp, handle] : host.state.effectCompositions) forgetComposition(host.state, handle);
    host.state.effectCompositions.clear();
    host.state.effects.clear();
    host.state.effectPlugin = nullptr;
}

// The first effect library found becomes the host's effect; one whose discovery or global setup fails
// keeps its reason for describePlugins.
void setUpEffect(PluginHost& host) {
    for (LoadedLibrary& library : host.libraries) {
        if (library.kind != PluginKind::Effect || host.effect != nullptr) continue;
        std::string failure;
        auto effect = std::make_unique<EffectPlugin>(discoverEffect(library.handle, library.path, failure));
        if (!failure.empty()) {
            library.failure = failure;
            continue;
        }
        host.effect = std::move(effect);
        {
            std::lock_guard<std::mutex> lock(host.state.mutex);
            host.state.effectPlugin = host.effect.get();
        }
        if (setUpEffectGlobals(host.state, *host.effect, failure) != PF_Err_NONE) {
            library.failure = failure;
            setDownEffectGlobals(host.state, *host.effect);
            std::lock_guard<std::mutex> lock(host.state.mutex);
            host.state.effectPlugin = nullptr;
            host.effect.reset();
        }
    }
}

// The failed command's report, recorded as the last plug-in message when the command failed.
std::string lastEffectFailure(const PluginHost& host) {
    std::lock_guard<std::mutex> lock(host.state.mutex);
    return host.state.messages.empty() ? "the effect's setup failed" : host.state.messages.back();
}

EffectPlugin& requireEffect(PluginHost& host) {
    if (host.effect == nullptr) throw HostError("no effect plug-in is loaded");
    return *host.effect;
}

bool isPrepared(const PluginHost& host, const Composition& comp) {
    return std::find(host.preparedCompositions.begin(), host.preparedCompositions.end(), &comp) !=
           host.preparedCompositions.end();
}

void shutDown(PluginHost& host) {
    shutDownEffect(host);
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

PluginHostPtr openPluginHost(const std::filesystem::path& pluginDir, const HostOptions& options) {
    PluginHostPtr host(new PluginHost);
    host->folder = pluginDir;
    host->state.languageTag = options.languageTag;
    host->state.applId = options.applId != 0 ? options.applId : kHostApplId;
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
    if (!renderer) {
        if (options.requireRenderer) throw HostError(missingRendererMessage(*host));
        host->missingRenderer = missingRendererMessage(*host);
        setUpEffect(*host);
        return host;
    }
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
    setUpEffect(*host);
    return host;
}

void closePluginHost(PluginHostPtr host) { host.reset(); }

FrameResult renderCompositionFrame(PluginHost& host, const Composition& comp, const FrameRequest& request) {
    checkRequest(comp, request);
    if (!host.missingRenderer.empty()) throw HostError(host.missingRenderer);
    if (!host.globalSetUp) throw HostError("the plug-in host is not set up");
    prepareSceneEffects(host, comp);
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

A_Version rendererArtisanVersion(const PluginHost& host) { return host.renderer.artisanVersion; }

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

EffectPlugin* loadedEffect(PluginHost& host) { return host.effect.get(); }

HostState& hostStateOf(PluginHost& host) { return host.state; }

void prepareSceneEffects(PluginHost& host, const Composition& comp) {
    if (isPrepared(host, comp)) return;
    struct Pending {
        size_t layer = 0, index = 0;
        const EffectEntry* entry = nullptr;
        std::vector<SceneParamValue> values;
    };
    // Everything is resolved before the first instance exists, so a bad file leaves no half-made instances.
    std::vector<Pending> pending;
    const std::string fileName = comp.sceneFile.filename().string();
    for (size_t i = 0; i < comp.layers.size(); ++i) {
        for (size_t j = 0; j < comp.layers[i].effects.size(); ++j) {
            const EffectEntry& entry = comp.layers[i].effects[j];
            std::string path = scenejson::elementPath(
                scenejson::memberPath(scenejson::elementPath("layers", i), "effects"), j);
            if (host.effect == nullptr || entry.matchName != host.effect->matchName) {
                std::string installed = host.effect != nullptr ? " (installed: " + host.effect->matchName + ")" : "";
                scenejson::fail(fileName, scenejson::memberPath(path, "matchName"),
                                "no installed effect \"" + entry.matchName + "\"" + installed);
            }
            pending.push_back(Pending{i, j, &entry,
                                      resolveSceneParams(registeredParams(*host.effect), comp, entry,
                                                         scenejson::memberPath(path, "params"))});
        }
    }
    host.preparedCompositions.push_back(&comp);
    for (const Pending& p : pending) {
        EffectInstance& instance =
            addEffectInstance(host.state, *host.effect, comp, p.layer, p.index, p.entry->savedBeforeParams);
        {
            std::lock_guard<std::mutex> lock(host.state.mutex);
            instance.active = p.entry->enabled;
            for (const SceneParamValue& v : p.values) {
                EffectStream& stream = instance.streams[static_cast<size_t>(v.position)];
                stream.value = v.value;
                stream.keyframes = v.keyframes;
            }
        }
        PF_Err err = setUpEffectInstance(host.state, *host.effect, instance, true);
        if (err != PF_Err_NONE) {
            throw HostError("layer \"" + comp.layers[p.layer].name + "\": " + lastEffectFailure(host));
        }
    }
}

void forgetSceneEffects(PluginHost& host, const Composition& comp) {
    std::vector<EffectInstance*> instances;
    {
        std::lock_guard<std::mutex> lock(host.state.mutex);
        for (const auto& instance : host.state.effects) {
            if (instance->comp == &comp) instances.push_back(instance.get());
        }
    }
    if (host.effect != nullptr && host.effect->globalSetUp) {
        for (EffectInstance* instance : instances) {
            sendEffectCommand(host.state, *host.effect, instance, PF_Cmd_SEQUENCE_SETDOWN, 0.0);
        }
    }
    std::lock_guard<std::mutex> lock(host.state.mutex);
    // Handles still lent on the instances would point at nothing once they go.
    std::erase_if(host.state.effectRefs, [&](const auto& entry) { return entry.second.instance->comp == &comp; });
    std::erase_if(host.state.effectStreams, [&](const auto& entry) { return entry.second.instance->comp == &comp; });
    auto& effects = host.state.effects;
    effects.erase(std::remove_if(effects.begin(), effects.end(), [&](const auto& i) { return i->comp == &comp; }),
                  effects.end());
    if (auto it = host.state.effectCompositions.find(&comp); it != host.state.effectCompositions.end()) {
        forgetComposition(host.state, it->second);
        host.state.effectCompositions.erase(it);
    }
    host.state.compDownsample.erase(&comp);
    auto& prepared = host.preparedCompositions;
    prepared.erase(std::remove(prepared.begin(), prepared.end(), &comp), prepared.end());
}

EffectInstance& applyEffect(PluginHost& host, const Composition& comp, size_t layerPosition) {
    EffectPlugin& effect = requireEffect(host);
    if (layerPosition >= comp.layers.size()) throw HostError("no layer at position " + std::to_string(layerPosition));
    size_t index = effectInstances(host, comp, layerPosition).size();
    EffectInstance& instance = addEffectInstance(host.state, effect, comp, layerPosition, index, false);
    PF_Err err = setUpEffectInstance(host.state, effect, instance, false);
    if (err != PF_Err_NONE) throw HostError("layer \"" + comp.layers[layerPosition].name + "\": " + lastEffectFailure(host));
    return instance;
}

std::vector<EffectInstance*> effectInstances(PluginHost& host, const Composition& comp, size_t layerPosition) {
    std::lock_guard<std::mutex> lock(host.state.mutex);
    return layerEffects(host.state, comp, layerPosition);
}

PF_Err changeEffectParam(PluginHost& host, EffectInstance& instance, int32_t position, const AEGP_StreamVal& value,
                         double seconds) {
    return changeEffectParam(host.state, requireEffect(host), instance, position, value, seconds);
}

PF_Err clickEffectControl(PluginHost& host, EffectInstance& instance, int32_t position, double seconds) {
    return clickEffectControl(host.state, requireEffect(host), instance, position, seconds);
}

AEGP_StreamVal effectStreamValue(PluginHost& host, const EffectInstance& instance, int32_t position, double seconds) {
    std::lock_guard<std::mutex> lock(host.state.mutex);
    if (position < 0 || static_cast<size_t>(position) >= instance.streams.size()) {
        throw HostError("no parameter at position " + std::to_string(position));
    }
    return streamValueAt(instance.streams[static_cast<size_t>(position)], seconds);
}

HostWorld renderLayerWithEffects(PluginHost& host, const Composition& comp, size_t layerPosition, int32_t frame,
                                 PF_Err& error) {
    error = PF_Err_NONE;
    if (layerPosition >= comp.layers.size() || comp.layers[layerPosition].source == nullptr) {
        throw HostError("no layer with a source at position " + std::to_string(layerPosition));
    }
    prepareSceneEffects(host, comp);
    double seconds = comp.frameRate > 0.0 ? frame / comp.frameRate : 0.0;
    const Layer& layer = comp.layers[layerPosition];
    HostWorld world = footageWorld(*footageAtTime(layer.source, seconds - layer.inPoint));
    if (host.effect == nullptr) return world;
    error = renderEffects(host.state, *host.effect, effectInstances(host, comp, layerPosition), world, seconds);
    return world;
}

}  // namespace zephrin::host
