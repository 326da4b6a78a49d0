// A small in-process host for the effect's unit tests: it answers the effect's callbacks and suites
// the way the real host does, keeps one instance's parameters and streams, and records what the
// effect did (stream writes, keyframes, UI updates, checkouts). One host is current at a time.
#pragma once

#include <array>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/effect_contract.h"
#include "sdk/AE_Effect.h"
#include "sdk/AE_EffectSuites.h"
#include "sdk/AE_GeneralPlugEffect.h"

namespace zephrin::test {

struct FakeStream {
    AEGP_StreamType type = AEGP_StreamType_NO_DATA;
    AEGP_StreamVal value{};
    std::map<double, AEGP_StreamVal> keyframes;  // by time in seconds
    AEGP_DynStreamFlags dynamicFlags = 0;
    bool canVary = true;
    std::u16string expression = u"wiggle(1, 1)";
    bool expressionOn = true;
};

struct StreamWrite {
    int position = 0;
    bool keyframe = false;
    double time = 0;
    AEGP_StreamVal value{};
};

struct UiUpdate {
    int position = 0;
    PF_ParamDef def{};
    std::string name;
    std::string choices;  // popups only
};

struct DynamicFlagChange {
    int position = 0;
    AEGP_DynStreamFlags flag = 0;
    bool set = false;
};

struct FakeEffectHost {
    FakeEffectHost();
    ~FakeEffectHost();
    FakeEffectHost(const FakeEffectHost&) = delete;
    FakeEffectHost& operator=(const FakeEffectHost&) = delete;

    // Commands, as the host sends them; change flags are cleared and out flags reset before each.
    PF_Err run(PF_Cmd cmd, void* extra = nullptr, PF_LayerDef* output = nullptr);
    PF_Err userChanged(int position);
    PF_Err click(int position);  // PF_Event_DO_CLICK on a custom control
    // GLOBAL_SETUP, PARAMS_SETUP, the parameter array and streams from the registered defaults.
    void applyEffect();

    FakeStream& stream(int position) { return streams[static_cast<std::size_t>(position)]; }
    PF_ParamDef& param(int position) { return values[static_cast<std::size_t>(position)]; }
    const UiUpdate* lastUi(int position) const;
    std::vector<StreamWrite> writesAt(int position) const;

    // Host records handed to the effect.
    PF_InData in{};
    PF_OutData out{};
    PF_UtilCallbacks utils{};
    SPBasicSuite basic{};
    PF_EventExtra lastEvent{};

    // What the host knows of the instance.
    std::vector<PF_ParamDef> registered;
    std::vector<std::string> registeredChoices;  // copied when added
    std::array<PF_ParamDef, param::kCount> values{};
    std::array<PF_ParamDef*, param::kCount> params{};
    std::array<FakeStream, param::kCount> streams{};

    // Behaviour switches.
    std::set<std::string> missingSuites;
    std::string languageTag = "en_US";
    PF_Err languageErr = PF_Err_NONE;
    AEGP_PluginID pluginIdToGrant = 77;
    bool registrationRefused = false;
    bool newHandleFails = false;
    bool lockFails = false;
    int addParamFailsAt = 0;  // position whose PF_ADD_PARAM fails, 0 for none
    bool offerRegisterUi = true;
    PF_Err registerUiErr = PF_Err_NONE;
    PF_Err updateParamUiErr = PF_Err_NONE;
    bool offerCheckout = true;
    PF_Err checkoutErr = PF_Err_NONE;
    bool hiddenRefusesValues = true;  // a hidden stream takes no value until it is shown
    bool refuseValues = false;        // every value and keyframe value is refused
    int currentComp = 1;              // the effect's layer's composition
    std::map<int, AEGP_DownsampleFactor> compFactors{{1, {1, 1}}, {2, {1, 1}}};

    // Records.
    std::vector<StreamWrite> writes;
    std::vector<UiUpdate> uiUpdates;
    std::vector<DynamicFlagChange> dynamicFlagChanges;
    std::vector<PF_CustomUIInfo> customUi;
    std::vector<PF_ParamIndex> checkouts;
    int checkins = 0;
    int copies = 0;
    int touches = 0;
    std::string registeredAegpName;
    int openEffects = 0;
    int openStreams = 0;
    int openValues = 0;
    int liveHandles = 0;

    FakeEffectHost* previous = nullptr;  // the host that was current before this one
};

FakeEffectHost& currentHost();

// Plain values from a stream, as the renderer reads them.
double oneD(const FakeStream& stream);
A_FloatPoint3 point(const FakeStream& stream);

}  // namespace zephrin::test

namespace zephrin::test {

// Switches the effect's main and raw log channels on into fresh files for the scope.
struct EffectLogCapture {
    EffectLogCapture();
    ~EffectLogCapture();
    EffectLogCapture(const EffectLogCapture&) = delete;
    EffectLogCapture& operator=(const EffectLogCapture&) = delete;

    std::vector<std::string> lines() const;     // main channel
    std::vector<std::string> rawLines() const;  // raw channel, without the "\r"
    bool contains(const std::string& line) const;
    void clear();

    std::string mainPath;
    std::string rawPath;
};

}  // namespace zephrin::test
