#include "effect/editor/path_layer_picker.h"

#include <cmath>

#include "common/diagnostic_log.h"
#include "effect/editor/editor_layout.h"
#include "effect/editor/editor_texts.h"
#include "effect/editor/popup_menu.h"
#include "effect/editor/top_view_drawing.h"
#include "effect/editor/top_view_gestures.h"
#include "effect/quick_preview.h"
#include "effect/stream_writing.h"
#include "effect/ui_visibility.h"
#include "sdk/AE_GeneralPlugEffect.h"

namespace zephrin {
namespace {

// Menu ids: "None" is 1, the candidates follow from 2 in their order.
constexpr UINT kNoneItem = 1;
constexpr UINT kFirstLayerItem = 2;

// A layer's name, from the UTF-16 handle the host lends; empty when it has none.
std::u16string layerName(EffectCall& call, AEGP_LayerH layer) {
    const auto& layers = call.suites.acquire<AEGP_LayerSuite11>(kAEGPLayerSuite, kAEGPLayerSuiteVersion11);
    const auto& memory = call.suites.acquire<AEGP_MemorySuite1>(kAEGPMemorySuite, kAEGPMemorySuiteVersion1);
    AEGP_MemHandle nameHandle = nullptr;
    if (layers.AEGP_GetLayerName(pluginIdOf(call), layer, &nameHandle, nullptr) != A_Err_NONE || nameHandle == nullptr) {
        return {};
    }
    std::u16string name;
    void* text = nullptr;
    if (memory.AEGP_LockMemHandle(nameHandle, &text) == A_Err_NONE && text != nullptr) {
        name = static_cast<const char16_t*>(text);
        memory.AEGP_UnlockMemHandle(nameHandle);
    }
    memory.AEGP_FreeMemHandle(nameHandle);
    return name;
}

std::u16string indexText(int index) {
    std::u16string text;
    for (char c : std::to_string(index)) text.push_back(static_cast<char16_t>(c));
    return text;
}

// The picker answers clicks only while the mode uses a path layer.
bool pathModeActive(const EffectCall& call) {
    const int mode = modeOf(call);
    return mode == param::kModePathSelect || mode == param::kModeScroll;
}

}  // namespace

std::vector<PathLayerCandidate> pathLayerCandidates(EffectCall& call) {
    std::vector<PathLayerCandidate> candidates;
    const auto& pfInterface =
        call.suites.acquire<AEGP_PFInterfaceSuite1>(kAEGPPFInterfaceSuite, kAEGPPFInterfaceSuiteVersion1);
    const auto& layers = call.suites.acquire<AEGP_LayerSuite11>(kAEGPLayerSuite, kAEGPLayerSuiteVersion11);
    AEGP_LayerH own = nullptr;
    AEGP_CompH comp = nullptr;
    if (pfInterface.AEGP_GetEffectLayer(call.in_data->effect_ref, &own) != A_Err_NONE || own == nullptr) return {};
    if (layers.AEGP_GetLayerParentComp(own, &comp) != A_Err_NONE || comp == nullptr) return {};
    AEGP_LayerIDVal ownId = 0;
    layers.AEGP_GetLayerID(own, &ownId);
    A_long count = 0;
    if (layers.AEGP_GetCompNumLayers(comp, &count) != A_Err_NONE) return {};
    for (A_long i = 0; i < count; ++i) {
        AEGP_LayerH layer = nullptr;
        AEGP_LayerIDVal id = 0;
        if (layers.AEGP_GetCompLayerByIndex(comp, i, &layer) != A_Err_NONE || layer == nullptr) continue;
        if (layers.AEGP_GetLayerID(layer, &id) != A_Err_NONE || id == ownId) continue;
        // Shown as the host numbers layers in the timeline: "2  Path".
        candidates.push_back(PathLayerCandidate{id, int(i), indexText(int(i) + 1) + u"  " + layerName(call, layer)});
    }
    return candidates;
}

AEGP_LayerIDVal currentPathLayer(EffectCall& call, const std::vector<PathLayerCandidate>& candidates) {
    const AEGP_LayerIDVal stored = readLayerStream(call, param::kPathLayer);
    if (stored != 0) return stored;
    const double index = floatValue(call, param::kPathLayerIndex);
    for (const PathLayerCandidate& candidate : candidates) {
        if (std::isfinite(index) && std::lround(index) == candidate.index + 1) return candidate.id;
    }
    return 0;
}

PickerResult showLayerMenu(EffectCall& call, const std::vector<PathLayerCandidate>& candidates,
                           AEGP_LayerIDVal current) {
    std::vector<PopupMenuItem> items;
    items.push_back(PopupMenuItem{kNoneItem, editorText(EditorText::None, chineseSelected(call)), false});
    items.push_back(PopupMenuItem{0, {}, true});
    UINT checked = kNoneItem;
    for (std::size_t k = 0; k < candidates.size(); ++k) {
        const UINT id = kFirstLayerItem + static_cast<UINT>(k);
        items.push_back(PopupMenuItem{id, candidates[k].text, false});
        if (current != 0 && candidates[k].id == current) checked = id;
    }
    const UINT last = kFirstLayerItem + static_cast<UINT>(candidates.size()) - 1;
    const UINT_PTR result = trackPopupMenuAtCursor(items, kNoneItem, std::max(last, kNoneItem), checked);
    PickerResult picked;
    if (result == kNoneItem) {
        picked.chosen = true;
        return picked;
    }
    if (result >= kFirstLayerItem && result <= last) {
        const PathLayerCandidate& candidate = candidates[result - kFirstLayerItem];
        picked = PickerResult{true, candidate.id, candidate.index + 1, candidate.text};
    }
    return picked;
}

PF_Err onPickerClick(EffectCall& call, PF_EventExtra& event) {
    const EditorBox frame = frameBox(event.effect_win.current_frame);
    const PF_Point& at = event.u.do_click.screen_point;
    if (!pathModeActive(call) || !insideBox(frame, double(at.h), double(at.v))) return PF_Err_NONE;
    const std::vector<PathLayerCandidate> candidates = pathLayerCandidates(call);
    const PickerResult picked = showLayerMenu(call, candidates, currentPathLayer(call, candidates));
    event.evt_out_flags = PF_EO_HANDLED_EVENT;
    if (!picked.chosen) return PF_Err_NONE;

    PF_ParamDef& numeric = paramAt(call, param::kPathLayerIndex);
    numeric.u.fs_d.value = picked.index;
    markChanged(numeric);
    const bool indexWritten = writeOneD(call, param::kPathLayerIndex, picked.index, "path-layer-picker-index");
    const bool layerWritten = writeLayerStream(call, param::kPathLayer, picked.layerId, "path-layer-picker-native");
    sendParamUI(call, param::kPathLayerIndex, uiFlagsFor(param::kPathLayerIndex, visibilityStateOf(call)));
    call.out_data->out_flags |= PF_OutFlag_FORCE_RERENDER | PF_OutFlag_REFRESH_UI;
    startQuickPreview(call);
    logEffect(indexWritten && layerWritten ? "PathLayerPicker: selected layer storage written"
                                           : "PathLayerPicker: selected layer storage write failed");
    event.evt_out_flags = kHandledRepaint;
    return PF_Err_NONE;
}

PF_Err drawPicker(EffectCall& call, const PF_EventExtra& event) {
    const std::vector<PathLayerCandidate> candidates = pathLayerCandidates(call);
    const AEGP_LayerIDVal current = currentPathLayer(call, candidates);
    std::u16string shown = editorText(EditorText::None, chineseSelected(call));
    for (const PathLayerCandidate& candidate : candidates) {
        if (candidate.id == current) shown = candidate.text;
    }
    return drawPopupControl(call, event, shown);
}

}  // namespace zephrin
