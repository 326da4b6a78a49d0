#include "host/suites/comp_suite.h"

#include "host/suites/host_state.h"

namespace zephrin::host {
namespace {

A_Err getItemFromComp(AEGP_CompH compH, AEGP_ItemH* itemPH) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        const CompositionHandles* comp = findComposition(state, compH);
        if (comp == nullptr || itemPH == nullptr) return A_Err_PARAMETER;
        *itemPH = toHandle<AEGP_ItemH>(comp->compItemHandle);
        return A_Err_NONE;
    });
}

A_Err getCompFramerate(AEGP_CompH compH, A_FpLong* fpsPF) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        const CompositionHandles* comp = findComposition(state, compH);
        if (comp == nullptr || fpsPF == nullptr) return A_Err_PARAMETER;
        *fpsPF = comp->comp->frameRate;
        return A_Err_NONE;
    });
}

// The composition's preview resolution; full resolution until someone sets it.
A_Err getCompDownsampleFactor(AEGP_CompH compH, AEGP_DownsampleFactor* dsfP) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        const CompositionHandles* comp = findComposition(state, compH);
        if (comp == nullptr || dsfP == nullptr) return A_Err_PARAMETER;
        auto it = state.compDownsample.find(comp->comp);
        *dsfP = it != state.compDownsample.end() ? it->second : AEGP_DownsampleFactor{1, 1};
        return A_Err_NONE;
    });
}

A_Err setCompDownsampleFactor(AEGP_CompH compH, const AEGP_DownsampleFactor* dsfP) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        const CompositionHandles* comp = findComposition(state, compH);
        if (comp == nullptr || dsfP == nullptr || dsfP->xS < 1 || dsfP->yS < 1) return A_Err_PARAMETER;
        state.compDownsample[comp->comp] = *dsfP;
        return A_Err_NONE;
    });
}

AEGP_CompSuite9 makeCompSuite9() {
    AEGP_CompSuite9 suite{};
    suite.AEGP_GetItemFromComp = getItemFromComp;
    suite.AEGP_GetCompFramerate = getCompFramerate;
    suite.AEGP_GetCompDownsampleFactor = getCompDownsampleFactor;
    suite.AEGP_SetCompDownsampleFactor = setCompDownsampleFactor;
    return suite;
}

}  // namespace

const AEGP_CompSuite9& compSuite9() {
    static const AEGP_CompSuite9 suite = makeCompSuite9();
    return suite;
}

}  // namespace zephrin::host
