#include "effect/localization.h"

#include <cstring>

#include "effect/param_table.h"
#include "effect/ui_visibility.h"
#include "sdk/AE_EffectSuites.h"
#include "sdk/Win32Platform.h"

namespace zephrin {

bool isChineseLanguageTag(const char* tag) {
    return tag != nullptr && (tag[0] == 'z' || tag[0] == 'Z') && (tag[1] == 'h' || tag[1] == 'H');
}

int detectLanguage(HostSuites& suites) {
    if (suites.basic != nullptr) {
        try {
            const auto& app = suites.acquire<PFAppSuite1>(kPFAppSuite, kPFAppSuiteVersion1);
            A_char tag[PF_APP_LANG_TAG_SIZE] = {};
            if (app.PF_AppGetLanguage(tag) == PF_Err_NONE) {
                tag[PF_APP_LANG_TAG_SIZE - 1] = '\0';
                return isChineseLanguageTag(tag) ? param::kLanguageChinese : param::kLanguageEnglish;
            }
        } catch (const HostSuiteError&) {
            // A host without the app suite cannot tell its language; the operating system can.
        }
    }
    return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_CHINESE ? param::kLanguageChinese
                                                                     : param::kLanguageEnglish;
}

void relabel(PF_ParamDef& def, int position, bool chinese) {
    const ParamSpec& spec = paramSpec(position);
    std::memset(def.name, 0, sizeof(def.name));
    std::strncpy(def.name, localize(spec.label, chinese), sizeof(def.name) - 1);
    if (spec.type == PF_Param_POPUP) def.u.pd.u.namesptr = localize(spec.choices, chinese);
    if (spec.type == PF_Param_BUTTON) def.u.button_d.u.namesptr = localize(spec.buttonText, chinese);
}

void onLanguageChanged(EffectCall& call) {
    for (const ParamSpec& spec : paramTable()) {
        if (textPair(spec.label).chinese == nullptr) continue;
        sendParamUI(call, spec.position, uiFlagsFor(spec.position, visibilityStateOf(call)));
    }
    applyModeVisibility(call);
}

}  // namespace zephrin
