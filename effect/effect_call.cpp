#include "effect/effect_call.h"

#include "common/diagnostic_log.h"
#include "effect/global_data.h"
#include "sdk/AE_EffectSuites.h"

namespace zephrin {

AEGP_PluginID pluginIdOf(EffectCall& call) {
    if (!call.pluginId) {
        call.pluginId = call.in_data != nullptr ? readPluginId(call.suites, call.in_data->global_data) : 0;
    }
    return *call.pluginId;
}

bool isPremiere(const PF_InData* in_data) { return in_data != nullptr && in_data->appl_id == PF_APPL_ID_PREMIERE; }

A_Time commandTime(const PF_InData* in_data) {
    return A_Time{in_data->current_time, in_data->time_scale == 0 ? 1u : in_data->time_scale};
}

bool hasParams(const EffectCall& call) { return call.params != nullptr; }

PF_ParamDef& paramAt(const EffectCall& call, int position) { return *call.params[position]; }

int popupValue(const EffectCall& call, int position) { return paramAt(call, position).u.pd.value; }

bool checkboxOn(const EffectCall& call, int position) { return paramAt(call, position).u.bd.value != 0; }

double floatValue(const EffectCall& call, int position) { return paramAt(call, position).u.fs_d.value; }

double angleDegrees(const EffectCall& call, int position) { return paramAt(call, position).u.ad.value / kFixedOne; }

void markChanged(PF_ParamDef& def) { def.uu.change_flags |= PF_ChangeFlag_CHANGED_VALUE; }

bool chineseSelected(const EffectCall& call) {
    return hasParams(call) && popupValue(call, param::kLanguage) == param::kLanguageChinese;
}

int modeOf(const EffectCall& call) {
    const int mode = popupValue(call, param::kMode);
    return (mode == param::kModePathSelect || mode == param::kModeScroll) ? mode : param::kModeFree;
}

void updateParamUI(EffectCall& call, int position, const PF_ParamDef& def) {
    const auto& paramUtils = call.suites.acquire<PF_ParamUtilsSuite3>(kPFParamUtilsSuite, kPFParamUtilsSuiteVersion3);
    const PF_Err err = paramUtils.PF_UpdateParamUI(call.in_data->effect_ref, position, &def);
    if (err != PF_Err_NONE) {
        if (effectLogEnabled()) {
            logEffect("PF_UpdateParamUI ignored err=" + std::to_string(err) + " index=" + std::to_string(position));
        }
    }
}

}  // namespace zephrin
