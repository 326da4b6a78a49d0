#include "host/custom_ui/custom_ui_suites.h"

#include <cstring>

#include "host/custom_ui/drawbot_canvas.h"
#include "host/suites/host_state.h"
#include "host/suites/pf_suites.h"

namespace zephrin::host {
namespace {

PF_Err getDrawingReference(const PF_ContextH contextH, DRAWBOT_DrawRef* referenceP0) {
    if (referenceP0 != nullptr) *referenceP0 = nullptr;
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        auto found = state.uiContexts.find(handleValue(contextH));
        if (found == state.uiContexts.end()) {
            if (contextH != nullptr) ++state.accounting.badHandles;
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        // Drawing is possible during a draw event only.
        if (found->second.canvas == nullptr || referenceP0 == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
        *referenceP0 = drawRefOf(*found->second.canvas);
        return PF_Err_NONE;
    });
}

PF_Err appGetLanguage6(A_char tag[PF_APP_LANG_TAG_SIZE]) { return pfAppSuite1().PF_AppGetLanguage(tag); }

PF_Err invalidateRect(const PF_ContextH contextH, const PF_Rect* rectP0) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        auto found = state.uiContexts.find(handleValue(contextH));
        if (found == state.uiContexts.end()) {
            if (contextH != nullptr) ++state.accounting.badHandles;
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        found->second.invalidated.push_back(rectP0 != nullptr ? *rectP0 : PF_Rect{0, 0, 0, 0});
        return PF_Err_NONE;
    });
}

}  // namespace

const PF_EffectCustomUISuite1& pfEffectCustomUiSuite1() {
    static const PF_EffectCustomUISuite1 suite{getDrawingReference};
    return suite;
}

const PFAppSuite6& pfAppSuite6() {
    static const PFAppSuite6 suite{appGetLanguage6, invalidateRect};
    return suite;
}

}  // namespace zephrin::host
