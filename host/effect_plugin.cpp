#include "host/effect_plugin.h"

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iostream>
#include <mutex>

#include "host/basic_suite.h"
#include "host/suites/host_state.h"

namespace zephrin::host {
namespace {

// What the host tells the effect about itself at discovery.
constexpr const char* kHostName = "Zephrin stand-in host";
constexpr const char* kHostVersion = "13.28";
constexpr A_short kHostMajorVersion = 13;
constexpr A_short kHostMinorVersion = 28;

// Host time of an instant: a millisecond-per-frame scale as for composition frames, so frame n is exact.
constexpr double kTimeUnitsPerFrame = 1000.0;

std::string textOf(const A_u_char* text) { return text != nullptr ? reinterpret_cast<const char*>(text) : ""; }

PF_Err recordRegistration(EffectPlugin& plugin, const A_u_char* name, const A_u_char* matchName,
                          const A_u_char* category, const A_u_char* entryPoint, A_long kind, A_long major,
                          A_long minor, A_long reserved) {
    plugin.name = textOf(name);
    plugin.matchName = textOf(matchName);
    plugin.category = textOf(category);
    plugin.entryPointName = textOf(entryPoint);
    plugin.kind = kind;
    plugin.apiMajor = major;
    plugin.apiMinor = minor;
    plugin.reserved = reserved;
    return PF_Err_NONE;
}

PF_Err pluginDataCallback2(PF_PluginDataPtr inPtr, const A_u_char* name, const A_u_char* matchName,
                           const A_u_char* category, const A_u_char* entryPoint, A_long kind, A_long major,
                           A_long minor, A_long reserved, const A_u_char* supportUrl) {
    if (inPtr == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    auto& plugin = *static_cast<EffectPlugin*>(inPtr);
    plugin.registeredThroughEntry2 = true;
    plugin.supportUrl = textOf(supportUrl);
    return recordRegistration(plugin, name, matchName, category, entryPoint, kind, major, minor, reserved);
}

PF_Err pluginDataCallback(PF_PluginDataPtr inPtr, const A_u_char* name, const A_u_char* matchName,
                          const A_u_char* category, const A_u_char* entryPoint, A_long kind, A_long major,
                          A_long minor, A_long reserved) {
    if (inPtr == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    return recordRegistration(*static_cast<EffectPlugin*>(inPtr), name, matchName, category, entryPoint, kind,
                              major, minor, reserved);
}

// ---- Interaction callbacks: they find the effect through the active state. ----

template <typename Body>
PF_Err withEffect(Body&& body) noexcept {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        if (state.effectPlugin == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
        return body(state, *state.effectPlugin);
    });
}

PF_Err addParam(PF_ProgPtr /*effectRef*/, PF_ParamIndex /*index*/, PF_ParamDefPtr def) {
    return withEffect([&](HostState&, EffectPlugin& effect) -> PF_Err {
        if (def == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
        if (!effect.commands.empty() && effect.commands.back() != PF_Cmd_PARAMS_SETUP) {
            return PF_Err_INTERNAL_STRUCT_DAMAGED;
        }
        PF_ParamDef copy = *def;
        copy.name[PF_MAX_EFFECT_PARAM_NAME_LEN] = '\0';
        // The effect's texts may be temporaries; the host keeps its own copies.
        if (copy.param_type == PF_Param_POPUP && copy.u.pd.u.namesptr != nullptr) {
            copy.u.pd.u.namesptr = effect.paramTexts.emplace_back(copy.u.pd.u.namesptr).c_str();
        }
        if (copy.param_type == PF_Param_BUTTON && copy.u.button_d.u.namesptr != nullptr) {
            copy.u.button_d.u.namesptr = effect.paramTexts.emplace_back(copy.u.button_d.u.namesptr).c_str();
        }
        if (copy.param_type == PF_Param_CHECKBOX && copy.u.bd.u.nameptr != nullptr) {
            copy.u.bd.u.nameptr = effect.paramTexts.emplace_back(copy.u.bd.u.nameptr).c_str();
        }
        effect.params.push_back(copy);
        return PF_Err_NONE;
    });
}

EffectInstance* instanceOf(HostState& state, PF_ProgPtr effectRef) { return findEffectByProgPtr(state, effectRef); }

PF_Err checkoutParam(PF_ProgPtr effectRef, PF_ParamIndex index, A_long whatTime, A_long /*timeStep*/,
                     A_u_long timeScale, PF_ParamDef* param) {
    return withEffect([&](HostState& state, EffectPlugin& effect) -> PF_Err {
        EffectInstance* instance = instanceOf(state, effectRef);
        if (instance == nullptr || param == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
        instance->checkouts.push_back(index);
        if (index < 0 || static_cast<size_t>(index) >= effect.params.size()) return PF_Err_INVALID_INDEX;
        double seconds = timeScale != 0 ? static_cast<double>(whatTime) / static_cast<double>(timeScale) : 0.0;
        auto i = static_cast<size_t>(index);
        *param = paramAt(effect.params[i], instance->streams[i], seconds);
        ++instance->checkedOut;
        return PF_Err_NONE;
    });
}

PF_Err checkinParam(PF_ProgPtr effectRef, PF_ParamDef* param) {
    return withEffect([&](HostState& state, EffectPlugin&) -> PF_Err {
        EffectInstance* instance = instanceOf(state, effectRef);
        if (instance == nullptr || param == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
        if (instance->checkedOut == 0) {
            ++state.accounting.badHandles;
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        --instance->checkedOut;
        return PF_Err_NONE;
    });
}

PF_Err registerUi(PF_ProgPtr /*effectRef*/, PF_CustomUIInfo* info) {
    return withEffect([&](HostState&, EffectPlugin& effect) -> PF_Err {
        if (info == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
        effect.customUi.push_back(*info);
        return PF_Err_NONE;
    });
}

PF_Err abortCheck(PF_ProgPtr) { return PF_Err_NONE; }
PF_Err progress(PF_ProgPtr, A_long, A_long) { return PF_Err_NONE; }

// Whole worlds only: the effect passes null rectangles. Both worlds are the host's, laid out alike, so
// rows copy as bytes whatever the depth.
PF_Err copyWorld(PF_ProgPtr effectRef, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect* srcRect,
                 PF_Rect* dstRect) {
    return withEffect([&](HostState& state, EffectPlugin&) -> PF_Err {
        EffectInstance* instance = instanceOf(state, effectRef);
        if (instance == nullptr || src == nullptr || dst == nullptr || srcRect != nullptr || dstRect != nullptr) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        if (src->data == nullptr || dst->data == nullptr || src->width != dst->width || src->height != dst->height ||
            src->rowbytes != dst->rowbytes || src->rowbytes <= 0) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        for (A_long y = 0; y < src->height; ++y) {
            std::memcpy(static_cast<uint8_t*>(dst->data) + static_cast<size_t>(y) * static_cast<size_t>(dst->rowbytes),
                        static_cast<const uint8_t*>(src->data) +
                            static_cast<size_t>(y) * static_cast<size_t>(src->rowbytes),
                        static_cast<size_t>(src->rowbytes));
        }
        ++instance->copies;
        return PF_Err_NONE;
    });
}

PF_UtilCallbacks gUtilCallbacks{copyWorld};

PF_LayerDef layerDefOf(HostWorld& world) {
    PF_LayerDef def{};
    def.world_flags = PF_WorldFlag_WRITEABLE | (world.type == AEGP_WorldType_16 ? PF_WorldFlag_DEEP : 0);
    def.data = world.bytes.empty() ? nullptr : world.bytes.data();
    def.rowbytes = static_cast<A_long>(world.rowBytes);
    def.width = world.width;
    def.height = world.height;
    def.extent_hint = PF_Rect{0, 0, world.width, world.height};
    def.pix_aspect_ratio = PF_RationalScale{1, 1};
    return def;
}

}  // namespace

std::string commandFailure(PF_Cmd cmd, PF_Err err) {
    return "the effect's command " + std::to_string(cmd) + " returned error " + std::to_string(err);
}

EffectPlugin discoverEffect(void* library, const std::filesystem::path& path, std::string& failure) {
    EffectPlugin plugin;
    plugin.path = path;
    plugin.library = library;
    failure.clear();
    PF_Err err = PF_Err_NONE;
    auto* basic = const_cast<SPBasicSuite*>(basicSuite());
    if (void* entry2 = dlsym(library, "PluginDataEntryFunction2")) {
        err = reinterpret_cast<PF_PluginDataEntryFunc2>(entry2)(&plugin, pluginDataCallback2, basic, kHostName,
                                                                kHostVersion);
    } else if (void* entry = dlsym(library, "PluginDataEntryFunction")) {
        err = reinterpret_cast<PF_PluginDataEntryFunc>(entry)(&plugin, pluginDataCallback, basic, kHostName,
                                                              kHostVersion);
    } else {
        failure = "no PluginDataEntryFunction2 or PluginDataEntryFunction";
        return plugin;
    }
    if (err != PF_Err_NONE) {
        failure = "the plug-in data entry returned error " + std::to_string(err);
    } else if (plugin.kind != PF_PLUGIN_KIND_EFFECT) {
        failure = "the plug-in data entry did not announce an effect";
    } else if (plugin.entryPointName.empty() ||
               (plugin.main = reinterpret_cast<PF_EffectMainFunc>(dlsym(library, plugin.entryPointName.c_str()))) ==
                   nullptr) {
        failure = "entry point \"" + plugin.entryPointName + "\" not found";
    }
    return plugin;
}

EffectCommandResult sendEffectCommand(HostState& state, EffectPlugin& effect, EffectInstance* instance, PF_Cmd cmd,
                                      double seconds, void* extra, PF_LayerDef* output, PF_LayerDef* input) {
    PF_InData in{};
    in.inter = PF_InteractCallbacks{checkoutParam, checkinParam, addParam, abortCheck, progress, registerUi};
    in.utils = &gUtilCallbacks;
    in.quality = 1;
    in.version = A_Version{kHostMajorVersion, kHostMinorVersion};
    in.pica_basicP = basicSuite();
    in.downsample_x = in.downsample_y = in.pixel_aspect_ratio = PF_RationalScale{1, 1};
    in.time_step = static_cast<A_long>(kTimeUnitsPerFrame);
    in.local_time_step = in.time_step;
    PF_OutData out{};
    std::vector<PF_ParamDef> values;
    std::vector<PF_ParamDef*> pointers;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        effect.commands.push_back(cmd);
        in.appl_id = state.applId;
        in.global_data = effect.globalData;
        in.effect_ref = toHandle<PF_ProgPtr>(instance != nullptr ? instance->effectRef : effect.globalRef);
        in.num_params = static_cast<A_long>(effect.params.size());
        // A sequence setdown may come after the composition is gone: it carries no parameters and never
        // touches the composition.
        if (instance != nullptr && cmd != PF_Cmd_SEQUENCE_SETDOWN) {
            const Composition& comp = *instance->comp;
            const Layer& layer = comp.layers[instance->layerPosition];
            in.time_scale = static_cast<A_u_long>(std::lround(comp.frameRate * kTimeUnitsPerFrame));
            in.current_time = static_cast<A_long>(std::lround(seconds * static_cast<double>(in.time_scale)));
            in.total_time = static_cast<A_long>(std::lround(comp.duration * static_cast<double>(in.time_scale)));
            if (layer.source != nullptr) {
                in.width = layer.source->width;
                in.height = layer.source->height;
            }
            in.extent_hint = PF_Rect{0, 0, in.width, in.height};
            values.resize(effect.params.size());
            for (size_t i = 1; i < values.size(); ++i) {
                values[i] = paramAt(effect.params[i], instance->streams[i], seconds);
            }
            values[0] = effect.params[0];
            if (input != nullptr) values[0].u.ld = *input;
            for (PF_ParamDef& value : values) pointers.push_back(&value);
        }
    }
    PF_Err err = effect.main(cmd, &in, &out, pointers.empty() ? nullptr : pointers.data(), output, extra);
    EffectCommandResult result{err, out.out_flags, out.out_flags2,
                               std::string(out.return_msg, strnlen(out.return_msg, sizeof(out.return_msg))),
                               out.global_data, out.my_version};
    std::lock_guard<std::mutex> lock(state.mutex);
    if (instance != nullptr) {
        for (size_t i = 1; i < values.size(); ++i) {
            if ((values[i].uu.change_flags & PF_ChangeFlag_CHANGED_VALUE) == 0) continue;
            EffectStream& stream = instance->streams[i];
            if (stream.type != AEGP_StreamType_NO_DATA) setStreamValueAt(stream, seconds, streamValueOfParam(values[i]));
        }
        if ((out.out_flags & PF_OutFlag_REFRESH_UI) != 0) ++instance->refreshRequests;
        if ((out.out_flags & PF_OutFlag_FORCE_RERENDER) != 0) ++instance->rerenderRequests;
    }
    if ((out.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE) != 0 && !result.returnMessage.empty()) {
        state.messages.push_back(result.returnMessage);
    }
    if (err != PF_Err_NONE) {
        std::string line = commandFailure(cmd, err);
        if (state.echoMessages) std::cerr << "zephrin host: " << line << "\n";
        state.messages.push_back(std::move(line));
    }
    return result;
}

PF_Err setUpEffectGlobals(HostState& state, EffectPlugin& effect, std::string& failure) {
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        effect.globalRef = newHandle(state);
        state.installedEffectMatchName = effect.matchName;
    }
    EffectCommandResult setup = sendEffectCommand(state, effect, nullptr, PF_Cmd_GLOBAL_SETUP, 0.0);
    if (setup.err != PF_Err_NONE) {
        failure = commandFailure(PF_Cmd_GLOBAL_SETUP, setup.err);
        return setup.err;
    }
    // The effect hands its global data back in out_data; every later command carries it in in_data.
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        effect.globalSetUp = true;
        effect.globalData = setup.globalData;
        effect.outFlags = setup.outFlags;
        effect.outFlags2 = setup.outFlags2;
        effect.version = setup.myVersion;
        effect.params.clear();
        // Position 0 is the layer the effect is applied to; the effect registers from position 1.
        PF_ParamDef input{};
        input.param_type = PF_Param_LAYER;
        input.u.ld.dephault = PF_LayerDefault_MYSELF;
        effect.params.push_back(input);
    }
    EffectCommandResult params = sendEffectCommand(state, effect, nullptr, PF_Cmd_PARAMS_SETUP, 0.0);
    if (params.err != PF_Err_NONE) {
        failure = commandFailure(PF_Cmd_PARAMS_SETUP, params.err);
        return params.err;
    }
    return PF_Err_NONE;
}

void setDownEffectGlobals(HostState& state, EffectPlugin& effect) {
    if (!effect.globalSetUp) return;
    sendEffectCommand(state, effect, nullptr, PF_Cmd_GLOBAL_SETDOWN, 0.0);
    std::lock_guard<std::mutex> lock(state.mutex);
    effect.globalSetUp = false;
    effect.globalData = nullptr;
}

std::vector<RegisteredParam> registeredParams(const EffectPlugin& effect) {
    std::vector<RegisteredParam> list;
    std::vector<std::string> groups;
    for (size_t i = 1; i < effect.params.size(); ++i) {
        const PF_ParamDef& def = effect.params[i];
        if (def.param_type == PF_Param_GROUP_END && !groups.empty()) groups.pop_back();
        RegisteredParam p;
        p.position = static_cast<int32_t>(i);
        p.def = def;
        if (def.param_type == PF_Param_POPUP && def.u.pd.u.namesptr != nullptr) p.choices = def.u.pd.u.namesptr;
        if (def.param_type == PF_Param_BUTTON && def.u.button_d.u.namesptr != nullptr) {
            p.choices = def.u.button_d.u.namesptr;
        }
        p.groupDepth = static_cast<int32_t>(groups.size());
        for (const std::string& group : groups) p.groupPath += (p.groupPath.empty() ? "" : "/") + group;
        list.push_back(std::move(p));
        if (def.param_type == PF_Param_GROUP_START) groups.emplace_back(def.name);
    }
    return list;
}

EffectInstance& addEffectInstance(HostState& state, const EffectPlugin& effect, const Composition& comp,
                                  size_t layerPosition, size_t effectIndex, bool savedBeforeParams) {
    std::lock_guard<std::mutex> lock(state.mutex);
    auto instance = std::make_unique<EffectInstance>();
    instance->comp = &comp;
    instance->layerPosition = layerPosition;
    instance->effectIndex = effectIndex;
    instance->installedKey = 1;
    instance->matchName = effect.matchName;
    instance->effectRef = newHandle(state);
    for (const PF_ParamDef& def : effect.params) {
        bool useValue = savedBeforeParams && (def.flags & PF_ParamFlag_USE_VALUE_FOR_OLD_PROJECTS) != 0;
        instance->streams.push_back(streamForParam(def, useValue));
    }
    // A parameter registered invisible has its stream hidden from the timeline, as in the host.
    for (size_t i = 0; i < effect.params.size(); ++i) {
        if ((effect.params[i].ui_flags & PF_PUI_INVISIBLE) != 0) {
            instance->streams[i].dynamicFlags |= AEGP_DynStreamFlag_HIDDEN;
        }
    }
    // A layer parameter that defaults to "myself" names the layer the effect is applied to.
    for (size_t i = 0; i < effect.params.size(); ++i) {
        const PF_ParamDef& def = effect.params[i];
        if (def.param_type == PF_Param_LAYER && def.u.ld.dephault == PF_LayerDefault_MYSELF) {
            instance->streams[i].value.layer_id = comp.layers[layerPosition].id;
        }
    }
    instance->ui.resize(effect.params.size());
    if (state.effectCompositions.count(&comp) == 0) {
        state.effectCompositions[&comp] = registerComposition(state, comp).compHandle;
    }
    state.effects.push_back(std::move(instance));
    return *state.effects.back();
}

PF_Err setUpEffectInstance(HostState& state, EffectPlugin& effect, EffectInstance& instance, bool fromSavedProject) {
    PF_Cmd setup = fromSavedProject ? PF_Cmd_SEQUENCE_RESETUP : PF_Cmd_SEQUENCE_SETUP;
    PF_Err err = sendEffectCommand(state, effect, &instance, setup, 0.0).err;
    if (err != PF_Err_NONE) return err;
    return sendEffectCommand(state, effect, &instance, PF_Cmd_UPDATE_PARAMS_UI, 0.0).err;
}

PF_Err changeEffectParam(HostState& state, EffectPlugin& effect, EffectInstance& instance, int32_t position,
                         const AEGP_StreamVal& value, double seconds) {
    bool supervised = false;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        if (position < 1 || static_cast<size_t>(position) >= instance.streams.size()) return PF_Err_INVALID_INDEX;
        EffectStream& stream = instance.streams[static_cast<size_t>(position)];
        if (stream.type != AEGP_StreamType_NO_DATA) setStreamValueAt(stream, seconds, value);
        supervised = (effect.params[static_cast<size_t>(position)].flags & PF_ParamFlag_SUPERVISE) != 0;
    }
    if (!supervised) return PF_Err_NONE;
    PF_UserChangedParamExtra extra{position};
    PF_Err err = sendEffectCommand(state, effect, &instance, PF_Cmd_USER_CHANGED_PARAM, seconds, &extra).err;
    if (err != PF_Err_NONE) return err;
    if ((effect.outFlags & PF_OutFlag_SEND_UPDATE_PARAMS_UI) == 0) return PF_Err_NONE;
    return sendEffectCommand(state, effect, &instance, PF_Cmd_UPDATE_PARAMS_UI, seconds).err;
}

PF_Err clickEffectControl(HostState& state, EffectPlugin& effect, EffectInstance& instance, int32_t position,
                          double seconds) {
    PF_EventExtra event{};
    event.e_type = PF_Event_DO_CLICK;
    event.effect_win.index = position;
    event.u.do_click.num_clicks = 1;
    EffectCommandResult result = sendEffectCommand(state, effect, &instance, PF_Cmd_EVENT, seconds, &event);
    if (result.err != PF_Err_NONE || (result.outFlags & PF_OutFlag_REFRESH_UI) == 0) return result.err;
    return sendEffectCommand(state, effect, &instance, PF_Cmd_UPDATE_PARAMS_UI, seconds).err;
}

PF_Err renderEffects(HostState& state, EffectPlugin& effect, const std::vector<EffectInstance*>& instances,
                     HostWorld& world, double seconds) {
    for (EffectInstance* instance : instances) {
        if (instance == nullptr || !instance->active) continue;
        HostWorld output = makeWorld(world.type, world.width, world.height);
        PF_LayerDef in = layerDefOf(world);
        PF_LayerDef out = layerDefOf(output);
        PF_Err err = sendEffectCommand(state, effect, instance, PF_Cmd_RENDER, seconds, nullptr, &out, &in).err;
        if (err != PF_Err_NONE) return err;
        world = std::move(output);
    }
    return PF_Err_NONE;
}

}  // namespace zephrin::host
