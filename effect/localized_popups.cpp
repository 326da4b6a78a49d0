#include "effect/localized_popups.h"

#include "effect/control_points.h"
#include "effect/editor/popup_menu.h"
#include "effect/localization.h"
#include "effect/localized_texts.h"
#include "effect/stream_writing.h"
#include "effect/ui_visibility.h"

namespace zephrin {

PF_Err onLocalizedPopupClick(EffectCall& call, PF_EventExtra& event) {
    const int position = event.effect_win.index;
    const bool language = position == param::kLanguage;
    const TextId choices = language ? TextId::LanguageChoices : TextId::ModeChoices;
    const std::vector<PopupMenuItem> items = choiceItems(wideText(choices, chineseSelected(call)));
    const UINT last = static_cast<UINT>(items.size());
    const int current = popupValue(call, position);

    const UINT_PTR chosen = trackPopupMenuAtCursor(items, 1, last, static_cast<UINT>(current));
    if (chosen < 1 || chosen > last || static_cast<int>(chosen) == current) {
        event.evt_out_flags = PF_EO_HANDLED_EVENT;
        return PF_Err_NONE;
    }

    PF_ParamDef& def = paramAt(call, position);
    def.u.pd.value = static_cast<PF_ParamValue>(chosen);
    markChanged(def);
    writeOneD(call, position, static_cast<double>(chosen),
              language ? "localized-language-popup" : "localized-mode-popup");
    if (language) {
        onLanguageChanged(call);
    } else {
        applyModeVisibility(call);
    }
    applyPointUIFlags(call);
    const PF_Err err = applyPointStreamVisibility(call, activePointCount(call));
    call.out_data->out_flags |= PF_OutFlag_FORCE_RERENDER | PF_OutFlag_REFRESH_UI;
    event.evt_out_flags = PF_EO_HANDLED_EVENT | PF_EO_ALWAYS_UPDATE | PF_EO_UPDATE_NOW;
    return err;
}

}  // namespace zephrin
