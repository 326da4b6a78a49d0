#include "effect/pass_through_render.h"

#include <cstring>

#include "effect/control_points.h"

namespace zephrin {

PF_Err passThroughRender(EffectCall& call, PF_LayerDef* output) {
    PF_InData* in_data = call.in_data;
    // Without its input, output and copy callback the effect cannot produce a frame at all.
    if (!hasParams(call) || output == nullptr || in_data->utils == nullptr || in_data->utils->copy == nullptr) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }

    PF_Err err = PF_Err_NONE;
    bool checkedOut = false;
    PF_ParamDef pathLayer;
    std::memset(&pathLayer, 0, sizeof(pathLayer));
    const int mode = modeOf(call);
    if ((mode == param::kModePathSelect || mode == param::kModeScroll) && in_data->inter.checkout_param != nullptr &&
        in_data->inter.checkin_param != nullptr) {
        err = in_data->inter.checkout_param(in_data->effect_ref, param::kPathLayer, in_data->current_time,
                                            in_data->time_step, in_data->time_scale, &pathLayer);
        checkedOut = err == PF_Err_NONE;
    }

    if (runCloseSync(call, "render-close-sync")) {
        call.out_data->out_flags |= PF_OutFlag_FORCE_RERENDER | PF_OutFlag_REFRESH_UI;
    }

    if (err == PF_Err_NONE) err = PF_COPY(&paramAt(call, param::kInputLayer).u.ld, output, nullptr, nullptr);

    if (checkedOut) {
        const PF_Err checkinErr = in_data->inter.checkin_param(in_data->effect_ref, &pathLayer);
        if (err == PF_Err_NONE) err = checkinErr;
    }
    return err;
}

}  // namespace zephrin
