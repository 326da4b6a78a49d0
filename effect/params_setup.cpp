#include "effect/params_setup.h"

#include <cstring>
#include <string>

#include "common/diagnostic_log.h"
#include "effect/localization.h"
#include "effect/param_table.h"
#include "effect/ui_visibility.h"

namespace zephrin {
namespace {

constexpr PF_ParamIndex kAppend = -1;

}  // namespace

PF_ParamDef makeParamDef(int position, int language) {
    const ParamSpec& spec = paramSpec(position);
    PF_ParamDef def;
    std::memset(&def, 0, sizeof(def));
    def.param_type = spec.type;
    def.uu.id = spec.diskId;
    def.ui_flags = spec.uiFlags;
    def.ui_width = spec.uiWidth;
    def.ui_height = spec.uiHeight;
    def.flags = spec.flags;
    relabel(def, position, language == param::kLanguageChinese);

    switch (spec.type) {
        case PF_Param_FLOAT_SLIDER:
            def.u.fs_d.value = spec.value;
            def.u.fs_d.dephault = static_cast<PF_FpShort>(spec.dephault);
            def.u.fs_d.valid_min = spec.validMin;
            def.u.fs_d.valid_max = spec.validMax;
            def.u.fs_d.slider_min = spec.sliderMin;
            def.u.fs_d.slider_max = spec.sliderMax;
            def.u.fs_d.precision = spec.precision;
            def.u.fs_d.curve_tolerance = spec.curveTolerance;
            break;
        case PF_Param_POPUP:
            def.u.pd.value = static_cast<PF_ParamValue>(spec.value);
            def.u.pd.dephault = static_cast<A_short>(spec.dephault);
            def.u.pd.num_choices = spec.numChoices;
            break;
        case PF_Param_CHECKBOX:
            def.u.bd.value = static_cast<PF_ParamValue>(spec.value);
            def.u.bd.dephault = static_cast<PF_Boolean>(spec.dephault);
            def.u.bd.u.nameptr = localize(TextId::Empty, false);
            break;
        case PF_Param_COLOR:
            def.u.cd.value = PF_Pixel{PF_MAX_CHAN8, spec.red, spec.green, spec.blue};
            def.u.cd.dephault = def.u.cd.value;
            break;
        case PF_Param_POINT_3D:
            def.u.point3d_d.x_value = def.u.point3d_d.x_dephault = spec.x;
            def.u.point3d_d.y_value = def.u.point3d_d.y_dephault = spec.y;
            def.u.point3d_d.z_value = def.u.point3d_d.z_dephault = spec.z;
            break;
        case PF_Param_LAYER:
            def.u.ld.dephault = spec.layerDefault;
            break;
        default:
            // Angles register 0 for value and default, which the cleared definition already holds.
            break;
    }

    if (position == param::kLanguage) {
        def.u.pd.value = language;
        def.u.pd.dephault = static_cast<A_short>(language);
    }
    if (position == param::kTopView) {
        const ControlSize size = topViewControlSize();
        def.ui_width = size.width;
        def.ui_height = size.height;
    }
    return def;
}

PF_Err paramsSetup(HostSuites& suites, PF_InData* in_data, PF_OutData* out_data) {
    // Without the host's add-parameter callback nothing can be registered.
    if (in_data->inter.add_param == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    const int language = detectLanguage(suites);
    for (int position = 1; position < param::kCount; ++position) {
        PF_ParamDef def = makeParamDef(position, language);
        const PF_Err err = PF_ADD_PARAM(in_data, kAppend, &def);
        if (err != PF_Err_NONE) return err;
    }
    out_data->num_params = param::kCount;

    if (in_data->inter.register_ui == nullptr) {
        logEffect("ParamsSetup: effect custom UI registration skipped");
        return PF_Err_NONE;
    }
    PF_CustomUIInfo info;
    std::memset(&info, 0, sizeof(info));
    info.events = PF_CustomEFlag_EFFECT;
    const PF_Err err = in_data->inter.register_ui(in_data->effect_ref, &info);
    if (err != PF_Err_NONE) {
        if (effectLogEnabled()) {
            logEffect("ParamsSetup: effect custom UI registration ignored err=" + std::to_string(err));
        }
    } else {
        logEffect("ParamsSetup: effect custom UI registered for ECW parameter controls");
    }
    return PF_Err_NONE;
}

}  // namespace zephrin
