// One host command as the effect's handlers see it: the host's records, the command's parameter array
// and the suites acquired during the command (released when the command returns).
#pragma once

#include <optional>

#include "common/effect_contract.h"
#include "common/host_suites.h"
#include "sdk/AE_Effect.h"
#include "sdk/AE_GeneralPlug.h"

namespace zephrin {

struct EffectCall {
    PF_InData* in_data = nullptr;
    PF_OutData* out_data = nullptr;
    PF_ParamDef** params = nullptr;  // null when the command carries no parameters
    HostSuites& suites;
    std::optional<AEGP_PluginID> pluginId{};  // read from the global data on first use
};

// The AEGP plug-in id kept in the global data at global setup; 0 without global data.
AEGP_PluginID pluginIdOf(EffectCall& call);

bool isPremiere(const PF_InData* in_data);

// The command's current time; a time scale of 0 counts as 1.
A_Time commandTime(const PF_InData* in_data);

bool hasParams(const EffectCall& call);
PF_ParamDef& paramAt(const EffectCall& call, int position);

// Values of the command's parameter array, read the way every handler reads them.
int popupValue(const EffectCall& call, int position);
bool checkboxOn(const EffectCall& call, int position);
double floatValue(const EffectCall& call, int position);
double angleDegrees(const EffectCall& call, int position);

void markChanged(PF_ParamDef& def);

// "Language" as the parameter holds it: Chinese only for choice 1.
bool chineseSelected(const EffectCall& call);
int modeOf(const EffectCall& call);  // 1 Free Mode, 2 Path Select, 3 Scroll Mode; other values count as Free

// Sends a definition's UI to the host. A refusal is logged and does not fail the command.
void updateParamUI(EffectCall& call, int position, const PF_ParamDef& def);

// 16.16 fixed point of the host's angles.
constexpr double kFixedOne = 65536.0;

}  // namespace zephrin
