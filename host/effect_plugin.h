// The effect plug-in as the host drives it: discovery through its plug-in data entry, the global
// commands, the parameter list it registers, and the commands sent to each instance on a layer
// (sequence setup, user changes, UI refresh, render). Instances and their streams live in the host
// state (host/effect_instance.h) so that the suites answer from them.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "host/effect_instance.h"
#include "host/host_world.h"
#include "sdk/AE_Effect.h"

namespace zephrin::host {

struct HostState;

// What the plug-in data entry told the host, and what the effect's global setup answered.
struct EffectPlugin {
    std::filesystem::path path;
    void* library = nullptr;  // dlopen handle, owned by the loader
    bool registeredThroughEntry2 = false;
    std::string name, matchName, category, entryPointName, supportUrl;
    A_long kind = 0, apiMajor = 0, apiMinor = 0, reserved = 0;
    PF_EffectMainFunc main = nullptr;

    A_u_long version = 0;
    PF_OutFlags outFlags = 0;
    PF_OutFlags2 outFlags2 = 0;
    PF_Handle globalData = nullptr;
    bool globalSetUp = false;
    uintptr_t globalRef = 0;  // the effect reference of commands that concern no instance

    std::vector<PF_ParamDef> params;     // as registered; position 0 is the input layer
    std::deque<std::string> paramTexts;  // copies of the choices and button texts the definitions point to
    std::vector<PF_CustomUIInfo> customUi;
    std::vector<PF_Cmd> commands;  // every command sent, in order
};

// The effect's parameters as they are registered, with their choices, for listings.
struct RegisteredParam {
    int32_t position = 0;
    PF_ParamDef def{};
    std::string choices;  // popups: "|"-separated; buttons: the button text
    int32_t groupDepth = 0;  // how many groups enclose it
    std::string groupPath;   // the labels of the enclosing groups, "/"-separated
};

// Calls PluginDataEntryFunction2 (or, without it, PluginDataEntryFunction) of a loaded library and
// resolves the entry point it names. Empty `failure` on success.
EffectPlugin discoverEffect(void* library, const std::filesystem::path& path, std::string& failure);

// One command to the effect. `instance` is null for the global commands. Parameters (none for
// PF_Cmd_SEQUENCE_SETDOWN) are taken from the instance's streams at `seconds` and the values the effect marks PF_ChangeFlag_CHANGED_VALUE are written
// back to them afterwards. The state must be active and not locked by the caller.
struct EffectCommandResult {
    PF_Err err = PF_Err_NONE;
    PF_OutFlags outFlags = 0;
    PF_OutFlags2 outFlags2 = 0;
    std::string returnMessage;
    PF_Handle globalData = nullptr;  // out_data's global data
    A_u_long myVersion = 0;          // out_data's version word (global setup)
};
EffectCommandResult sendEffectCommand(HostState& state, EffectPlugin& effect, EffectInstance* instance, PF_Cmd cmd,
                                      double seconds, void* extra = nullptr, PF_LayerDef* output = nullptr,
                                      PF_LayerDef* input = nullptr);

// "the effect's command 13 returned error 516": how the host reports a failed command (a failed command
// is also recorded among the plug-in messages).
std::string commandFailure(PF_Cmd cmd, PF_Err err);

// GLOBAL_SETUP then PARAMS_SETUP; keeps the global data the effect hands back. Errors name the command.
PF_Err setUpEffectGlobals(HostState& state, EffectPlugin& effect, std::string& failure);
// GLOBAL_SETDOWN when the globals were set up.
void setDownEffectGlobals(HostState& state, EffectPlugin& effect);

std::vector<RegisteredParam> registeredParams(const EffectPlugin& effect);

// A new instance of the effect on a layer, every stream at the registered default (`dephault`, or
// `value` for parameters flagged PF_ParamFlag_USE_VALUE_FOR_OLD_PROJECTS when `savedBeforeParams`).
// The caller fills in values and then calls setUpEffectInstance.
EffectInstance& addEffectInstance(HostState& state, const EffectPlugin& effect, const Composition& comp,
                                  size_t layerPosition, size_t effectIndex, bool savedBeforeParams);
// SEQUENCE_RESETUP for an instance from a saved project (values kept), SEQUENCE_SETUP for a fresh one,
// then the first UPDATE_PARAMS_UI.
PF_Err setUpEffectInstance(HostState& state, EffectPlugin& effect, EffectInstance& instance, bool fromSavedProject);

// A user's change of one parameter: the value is written to the stream (a keyframe at `seconds` when
// the stream has keyframes), then, for a supervised parameter, PF_Cmd_USER_CHANGED_PARAM with its
// position and PF_Cmd_UPDATE_PARAMS_UI follow, as the host sends them.
PF_Err changeEffectParam(HostState& state, EffectPlugin& effect, EffectInstance& instance, int32_t position,
                         const AEGP_StreamVal& value, double seconds);

// A click on a custom-drawn control (PF_Cmd_EVENT, PF_Event_DO_CLICK at the parameter's position). A
// command that asks for a UI refresh gets PF_Cmd_UPDATE_PARAMS_UI after it, as the host sends it.
PF_Err clickEffectControl(HostState& state, EffectPlugin& effect, EffectInstance& instance, int32_t position,
                          double seconds);

// PF_Cmd_RENDER of every active effect of the instance list over `world`, in order: each output becomes
// the next input. The world keeps its size and depth.
PF_Err renderEffects(HostState& state, EffectPlugin& effect, const std::vector<EffectInstance*>& instances,
                     HostWorld& world, double seconds);

}  // namespace zephrin::host
