#include "effect/custom_ui_events.h"

#include "effect/localized_popups.h"

namespace zephrin {

PF_Err onCustomUiEvent(EffectCall& call, PF_EventExtra* event) {
    if (event == nullptr || !hasParams(call)) return PF_Err_NONE;
    const int control = event->effect_win.index;
    if (event->e_type == PF_Event_DO_CLICK && (control == param::kLanguage || control == param::kMode)) {
        return onLocalizedPopupClick(call, *event);
    }
    return PF_Err_NONE;
}

}  // namespace zephrin
