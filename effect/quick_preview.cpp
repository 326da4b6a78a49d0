#include "effect/quick_preview.h"

#include "effect/editor/top_view_editor.h"
#include "sdk/AE_EffectSuites.h"
#include "sdk/AE_GeneralPlugEffect.h"

namespace zephrin {
namespace {

// Quarter resolution in both directions.
constexpr AEGP_DownsampleFactor kPreviewFactor{4, 4};

bool sameFactor(const AEGP_DownsampleFactor& a, const AEGP_DownsampleFactor& b) { return a.xS == b.xS && a.yS == b.yS; }

void touchActiveItem(EffectCall& call) {
    const auto& advItem = call.suites.acquire<PF_AdvItemSuite1>(kPFAdvItemSuite, kPFAdvItemSuiteVersion1);
    advItem.PF_TouchActiveItem(call.in_data->effect_ref);
}

// Gives the remembered composition its factor back; true when there was one.
bool restoreRemembered(EffectCall& call) {
    QuickPreviewRecord& record = topViewEditor().quickPreview;
    if (record.comp == nullptr) return false;
    const auto& comps = call.suites.acquire<AEGP_CompSuite9>(kAEGPCompSuite, kAEGPCompSuiteVersion9);
    AEGP_DownsampleFactor current{1, 1};
    if (comps.AEGP_GetCompDownsampleFactor(record.comp, &current) == A_Err_NONE &&
        !sameFactor(current, record.savedFactor)) {
        comps.AEGP_SetCompDownsampleFactor(record.comp, &record.savedFactor);
    }
    record = QuickPreviewRecord{};
    return true;
}

}  // namespace

void startQuickPreview(EffectCall& call) {
    if (!hasParams(call) || !checkboxOn(call, param::kQuickPreview) || isPremiere(call.in_data)) return;
    const auto& pfInterface =
        call.suites.acquire<AEGP_PFInterfaceSuite1>(kAEGPPFInterfaceSuite, kAEGPPFInterfaceSuiteVersion1);
    const auto& layers = call.suites.acquire<AEGP_LayerSuite11>(kAEGPLayerSuite, kAEGPLayerSuiteVersion11);
    const auto& comps = call.suites.acquire<AEGP_CompSuite9>(kAEGPCompSuite, kAEGPCompSuiteVersion9);
    AEGP_LayerH layer = nullptr;
    AEGP_CompH comp = nullptr;
    if (pfInterface.AEGP_GetEffectLayer(call.in_data->effect_ref, &layer) != A_Err_NONE || layer == nullptr) return;
    if (layers.AEGP_GetLayerParentComp(layer, &comp) != A_Err_NONE || comp == nullptr) return;

    QuickPreviewRecord& record = topViewEditor().quickPreview;
    if (record.comp != nullptr && record.comp != comp) restoreRemembered(call);
    AEGP_DownsampleFactor current{1, 1};
    if (comps.AEGP_GetCompDownsampleFactor(comp, &current) != A_Err_NONE) return;
    if (record.comp == nullptr) record = QuickPreviewRecord{comp, current};
    if (!sameFactor(current, kPreviewFactor)) comps.AEGP_SetCompDownsampleFactor(comp, &kPreviewFactor);
    touchActiveItem(call);
}

void endQuickPreview(EffectCall& call, bool touch) {
    restoreRemembered(call);
    if (touch) touchActiveItem(call);
}

}  // namespace zephrin
