// The stand-in host driving the effect in process: the host's effect record runs the effect's entry
// from its static library, and every command goes through the host's own effect calls (global setup,
// instances on a layer, parameter changes, clicks, render), so the suites the effect uses are the
// host's. Around that sits a thin test layer, and nothing else:
// - the effect's entry is wrapped: it receives a copy of the host's PF_InData with the fault layer's
//   basic suite (tests/host_fixture.h) and, where a test asks for it, one interaction callback failing;
//   what the effect answered (out data, its parameter array, the event) is kept per command;
// - a few suite slots pass through to the host and record what the host's state cannot tell afterwards
//   (which streams were written, every UI update with its values, the registered AEGP name), or fail
//   where a test needs a failure.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "channel_log_capture.h"
#include "common/effect_contract.h"
#include "effect/effect_call.h"
#include "host/composition.h"
#include "host/effect_instance.h"
#include "host/effect_plugin.h"
#include "host_fixture.h"
#include "sdk/AE_Effect.h"
#include "sdk/AE_GeneralPlug.h"

namespace zephrin::test {

// The effect's main and raw log channels in fresh files for the scope.
struct EffectLog {
    std::vector<std::string> lines() const { return main.lines(); }
    std::vector<std::string> rawLines() const { return raw.lines(); }
    bool contains(const std::string& line) const;
    void clear();

    ChannelLogFile main{"SSR_EFFECT_LOG"};
    ChannelLogFile raw{"SSR_EFFECT_RAW_LOG"};
};

// What the effect's entry receives; a test may change it before the entry runs.
struct EffectArgs {
    PF_Cmd cmd = 0;
    PF_InData in{};
    PF_OutData* out = nullptr;
    PF_ParamDef** params = nullptr;
    PF_LayerDef* output = nullptr;
    void* extra = nullptr;
};

// One command as the effect answered it.
struct EffectCommand {
    PF_Cmd cmd = 0;
    PF_Err err = PF_Err_NONE;
    PF_OutData out{};
    std::vector<PF_ParamDef> params;  // the array as the effect left it; empty when the command had none
    PF_EventExtra event{};            // PF_Cmd_EVENT only
    const PF_ParamDef& param(int position) const { return params.at(static_cast<size_t>(position)); }
};

struct ParamUiUpdate {
    int position = 0;
    PF_ParamDef def{};
};

struct EffectStreamWrite {
    int position = 0;
    bool keyframe = false;
};

struct EffectTestHost {
    EffectTestHost();  // a composition with "Paper" (1000 x 500, the effect's layer) and "Path"
    ~EffectTestHost();
    EffectTestHost(const EffectTestHost&) = delete;
    EffectTestHost& operator=(const EffectTestHost&) = delete;

    // ---- The host's effect calls ----
    PF_Err setUpGlobals();  // GLOBAL_SETUP and PARAMS_SETUP
    // A new instance on the layer, every stream at its registered default; no command is sent.
    host::EffectInstance& addInstance(const host::Composition& on, size_t layerPosition = 0);
    // Globals, a new instance on "Paper", then SEQUENCE_SETUP and UPDATE_PARAMS_UI as the host applies an effect.
    PF_Err applyEffect();
    PF_Err send(PF_Cmd cmd, void* extra = nullptr, double seconds = 0.0);  // to `instance`
    PF_Err sendGlobal(PF_Cmd cmd, void* extra = nullptr);                 // concerning no instance
    PF_Err setDownGlobals();                                              // GLOBAL_SETDOWN
    // PF_Cmd_USER_CHANGED_PARAM for the position, with the streams as they stand.
    PF_Err userChanged(int position, host::EffectInstance* on = nullptr);
    PF_Err click(int position);  // the host's click on a custom control (and its UI refresh)
    // PF_Cmd_RENDER over a world of the layer's size.
    PF_Err render();
    // Runs `body` in place of the entry inside a command on the instance (PF_Cmd_EVENT at `seconds`), with
    // the input data, out data and parameter array the host hands the effect; `adjust` may change the
    // input data first. The host takes the changed parameters back afterwards as for any command.
    void runInCommand(const std::function<void(EffectCall&)>& body, double seconds = 0.0,
                      const std::function<void(PF_InData&)>& adjust = {});

    // ---- The instance's streams ----
    host::EffectStream& stream(int position, host::EffectInstance* on = nullptr);
    void set(int position, double value);  // sliders, popup choices, checkboxes 0/1, angles in degrees
    void setPoint(int position, double x, double y, double z = 0.0);
    double value(int position, double seconds = 0.0);
    A_FloatPoint3 point(int position);
    const host::ParamUiState& ui(int position);

    // ---- What the effect answered ----
    const EffectCommand& last(PF_Cmd cmd) const;  // the latest command of that kind
    const ParamUiUpdate* lastUi(int position) const;
    std::vector<EffectStreamWrite> writesAt(int position) const;
    int64_t liveHandles();  // PF handles the effect holds
    void clearRecords();    // commands, UI updates, writes and flag changes so far

    // ---- Faults and test changes ----
    std::function<void(EffectArgs&)> beforeMain;
    std::function<PF_Err(EffectArgs&)> insteadOfMain;  // runs with the host's inputs in place of the entry
    int addParamFailsAt = 0;  // the position whose PF_ADD_PARAM fails; 0 for none
    bool offerRegisterUi = true;
    PF_Err registerUiErr = PF_Err_NONE;  // answered after the host took the registration
    PF_Err checkoutErr = PF_Err_NONE;    // answered in place of the host's checkout
    bool newHandleFails = false;
    bool lockFails = false;
    bool registrationRefused = false;
    PF_Err languageErr = PF_Err_NONE;  // answered after the host filled in the tag
    PF_Err updateParamUiErr = PF_Err_NONE;
    bool refuseValues = false;  // every stream value and keyframe value

    // ---- Records ----
    std::vector<EffectCommand> commands;
    std::vector<ParamUiUpdate> uiUpdates;
    std::vector<EffectStreamWrite> writes;
    std::vector<int> refusedWrites;  // positions whose value refuseValues turned away, in order
    int dynamicFlagChanges = 0;
    std::string registeredAegpName;

    testhost::TestHost test;
    host::HostState& state = test.state;
    host::Composition comp;
    host::Composition otherComp;  // a second composition with one layer, for edits made elsewhere
    host::EffectPlugin effect;
    host::EffectInstance* instance = nullptr;  // the first instance added
};

}  // namespace zephrin::test
