#include "host/suites/layer_suite.h"

#include "host/layer_transform.h"
#include "host/suites/host_state.h"
#include "host/suites/memory_suite.h"

namespace zephrin::host {
namespace {

A_Err getCompNumLayers(AEGP_CompH compH, A_long* countPL) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        const CompositionHandles* comp = findComposition(state, compH);
        if (comp == nullptr || countPL == nullptr) return A_Err_PARAMETER;
        *countPL = static_cast<A_long>(comp->layerHandles.size());
        return A_Err_NONE;
    });
}

// Layer indices in the host's calls run from 0 at the top of the composition.
A_Err getCompLayerByIndex(AEGP_CompH compH, A_long index, AEGP_LayerH* layerPH) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        if (layerPH != nullptr) *layerPH = nullptr;
        const CompositionHandles* comp = findComposition(state, compH);
        if (comp == nullptr || layerPH == nullptr || index < 0) return A_Err_PARAMETER;
        AEGP_LayerH layer = layerHandleAt(*comp, static_cast<size_t>(index));
        if (layer == nullptr) return A_Err_PARAMETER;
        *layerPH = layer;
        return A_Err_NONE;
    });
}

// A layer without a source (camera, light, null) answers success with no item.
A_Err getLayerSourceItem(AEGP_LayerH layerH, AEGP_ItemH* itemPH) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        if (itemPH != nullptr) *itemPH = nullptr;
        const LayerRef* layer = findLayer(state, layerH);
        if (layer == nullptr || itemPH == nullptr) return A_Err_PARAMETER;
        *itemPH = toHandle<AEGP_ItemH>(sourceItemHandle(*layer->owner, layerOf(*layer)));
        return A_Err_NONE;
    });
}

A_Err getLayerIndex(AEGP_LayerH layerH, A_long* indexPL) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        const LayerRef* layer = findLayer(state, layerH);
        if (layer == nullptr || indexPL == nullptr) return A_Err_PARAMETER;
        *indexPL = static_cast<A_long>(layer->position);
        return A_Err_NONE;
    });
}

A_Err getLayerFlags(AEGP_LayerH layerH, AEGP_LayerFlags* flagsP) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        const LayerRef* layer = findLayer(state, layerH);
        if (layer == nullptr || flagsP == nullptr) return A_Err_PARAMETER;
        *flagsP = layerFlags(layerOf(*layer));
        return A_Err_NONE;
    });
}

// The model has no time stretch or start offset, so layer time and composition time coincide.
A_Err isVideoActive(AEGP_LayerH layerH, AEGP_LTimeMode /*timeMode*/, const A_Time* timePT, A_Boolean* activePB) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        const LayerRef* layer = findLayer(state, layerH);
        double seconds = 0.0;
        if (layer == nullptr || activePB == nullptr || !secondsOf(timePT, seconds)) return A_Err_PARAMETER;
        *activePB = layerVideoActiveAt(layerOf(*layer), seconds) ? 1 : 0;
        return A_Err_NONE;
    });
}

A_Err isLayer3D(AEGP_LayerH layerH, A_Boolean* is3DPB) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        const LayerRef* layer = findLayer(state, layerH);
        if (layer == nullptr || is3DPB == nullptr) return A_Err_PARAMETER;
        *is3DPB = (layerFlags(layerOf(*layer)) & AEGP_LayerFlag_LAYER_IS_3D) != 0 ? 1 : 0;
        return A_Err_NONE;
    });
}

A_Err getLayerMaskedBounds(AEGP_LayerH layerH, AEGP_LTimeMode /*timeMode*/, const A_Time* timePT,
                           A_FloatRect* boundsPR) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        const LayerRef* layer = findLayer(state, layerH);
        double seconds = 0.0;
        if (layer == nullptr || boundsPR == nullptr || !secondsOf(timePT, seconds)) return A_Err_PARAMETER;
        *boundsPR = layerSourceBounds(layerOf(*layer));
        return A_Err_NONE;
    });
}

A_Err getLayerObjectType(AEGP_LayerH layerH, AEGP_ObjectType* typeP) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        const LayerRef* layer = findLayer(state, layerH);
        if (layer == nullptr || typeP == nullptr) return A_Err_PARAMETER;
        *typeP = layerObjectType(layerOf(*layer));
        return A_Err_NONE;
    });
}

A_Err getLayerToWorldXform(AEGP_LayerH layerH, const A_Time* compTimeP, A_Matrix4* transform) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        const LayerRef* layer = findLayer(state, layerH);
        double seconds = 0.0;
        if (layer == nullptr || transform == nullptr || !secondsOf(compTimeP, seconds)) return A_Err_PARAMETER;
        *transform = layerToWorldXform(*layer->owner->comp, layerOf(*layer), seconds);
        return A_Err_NONE;
    });
}

A_Err getLayerID(AEGP_LayerH layerH, AEGP_LayerIDVal* idP) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        const LayerRef* layer = findLayer(state, layerH);
        if (layer == nullptr || idP == nullptr) return A_Err_PARAMETER;
        *idP = layerOf(*layer).id;
        return A_Err_NONE;
    });
}

A_Err getLayerFromLayerID(AEGP_CompH compH, AEGP_LayerIDVal id, AEGP_LayerH* layerPH) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        if (layerPH != nullptr) *layerPH = nullptr;
        const CompositionHandles* comp = findComposition(state, compH);
        if (comp == nullptr || layerPH == nullptr) return A_Err_PARAMETER;
        const std::vector<Layer>& layers = comp->comp->layers;
        for (size_t i = 0; i < layers.size(); ++i) {
            if (layers[i].id == id) {
                *layerPH = layerHandleAt(*comp, i);
                return A_Err_NONE;
            }
        }
        return A_Err_PARAMETER;
    });
}

A_Err getLayerParent(AEGP_LayerH layerH, AEGP_LayerH* parentPH) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        if (parentPH != nullptr) *parentPH = nullptr;
        const LayerRef* layer = findLayer(state, layerH);
        if (layer == nullptr || parentPH == nullptr) return A_Err_PARAMETER;
        int32_t parentId = layerOf(*layer).parentId;
        const std::vector<Layer>& layers = layer->owner->comp->layers;
        for (size_t i = 0; parentId != 0 && i < layers.size(); ++i) {
            if (layers[i].id == parentId) *parentPH = layerHandleAt(*layer->owner, i);
        }
        return A_Err_NONE;
    });
}

// There is no solo switch in the model: what the render sees is the video switch.
A_Err isLayerVideoReallyOn(AEGP_LayerH layerH, A_Boolean* onPB) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        const LayerRef* layer = findLayer(state, layerH);
        if (layer == nullptr || onPB == nullptr) return A_Err_PARAMETER;
        *onPB = layerOf(*layer).videoOn ? 1 : 0;
        return A_Err_NONE;
    });
}

A_Err getLayerName(AEGP_PluginID pluginId, AEGP_LayerH layerH, AEGP_MemHandle* layerNameMH0,
                   AEGP_MemHandle* sourceNameMH0) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        if (layerNameMH0 != nullptr) *layerNameMH0 = nullptr;
        if (sourceNameMH0 != nullptr) *sourceNameMH0 = nullptr;
        const LayerRef* layer = findLayer(state, layerH);
        if (layer == nullptr || !isKnownPlugin(state, pluginId)) return A_Err_PARAMETER;
        const Layer& l = layerOf(*layer);
        if (layerNameMH0 != nullptr) *layerNameMH0 = newUtf16MemHandle(state, utf16FromUtf8(l.name));
        if (sourceNameMH0 != nullptr) {
            *sourceNameMH0 = newUtf16MemHandle(state, utf16FromUtf8(l.source != nullptr ? l.source->key : ""));
        }
        return A_Err_NONE;
    });
}

A_Err getLayerParentComp(AEGP_LayerH layerH, AEGP_CompH* compPH) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        if (compPH != nullptr) *compPH = nullptr;
        const LayerRef* layer = findLayer(state, layerH);
        if (layer == nullptr || compPH == nullptr) return A_Err_PARAMETER;
        *compPH = toHandle<AEGP_CompH>(layer->owner->compHandle);
        return A_Err_NONE;
    });
}

AEGP_LayerSuite11 makeLayerSuite11() {
    AEGP_LayerSuite11 suite{};
    suite.AEGP_GetCompNumLayers = getCompNumLayers;
    suite.AEGP_GetCompLayerByIndex = getCompLayerByIndex;
    suite.AEGP_GetLayerSourceItem = getLayerSourceItem;
    suite.AEGP_GetLayerIndex = getLayerIndex;
    suite.AEGP_GetLayerFlags = getLayerFlags;
    suite.AEGP_IsVideoActive = isVideoActive;
    suite.AEGP_IsLayer3D = isLayer3D;
    suite.AEGP_GetLayerMaskedBounds = getLayerMaskedBounds;
    suite.AEGP_GetLayerObjectType = getLayerObjectType;
    suite.AEGP_GetLayerToWorldXform = getLayerToWorldXform;
    suite.AEGP_GetLayerID = getLayerID;
    suite.AEGP_GetLayerFromLayerID = getLayerFromLayerID;
    suite.AEGP_GetLayerParent = getLayerParent;
    suite.AEGP_IsLayerVideoReallyOn = isLayerVideoReallyOn;
    suite.AEGP_GetLayerName = getLayerName;
    suite.AEGP_GetLayerParentComp = getLayerParentComp;
    return suite;
}

}  // namespace

const AEGP_LayerSuite11& layerSuite11() {
    static const AEGP_LayerSuite11 suite = makeLayerSuite11();
    return suite;
}

AEGP_ObjectType layerObjectType(const Layer& layer) {
    switch (layer.type) {
        case LayerType::Camera: return AEGP_ObjectType_CAMERA;
        case LayerType::Light: return AEGP_ObjectType_LIGHT;
        case LayerType::AV:
        case LayerType::Null: break;
    }
    return AEGP_ObjectType_AV;  // a null layer is an AV layer flagged NULL_LAYER, as in the host
}

AEGP_LayerFlags layerFlags(const Layer& layer) {
    AEGP_LayerFlags flags = AEGP_LayerFlag_NONE;
    if (layer.videoOn) flags |= AEGP_LayerFlag_VIDEO_ACTIVE;
    if (layer.adjustment) flags |= AEGP_LayerFlag_ADJUSTMENT_LAYER;
    if (layer.guide) flags |= AEGP_LayerFlag_GUIDE_LAYER;
    if (layer.type == LayerType::Null) flags |= AEGP_LayerFlag_NULL_LAYER;
    // Cameras and lights only exist in 3D space.
    if (layer.threeD || layer.type == LayerType::Camera || layer.type == LayerType::Light) {
        flags |= AEGP_LayerFlag_LAYER_IS_3D;
    }
    return flags;
}

bool layerVideoActiveAt(const Layer& layer, double seconds) { return layer.videoOn && layerActiveAt(layer, seconds); }

A_FloatRect layerSourceBounds(const Layer& layer) {
    if (layer.source == nullptr) return A_FloatRect{0.0, 0.0, 0.0, 0.0};
    return A_FloatRect{0.0, 0.0, static_cast<double>(layer.source->width), static_cast<double>(layer.source->height)};
}

A_Matrix4 layerToWorldXform(const Composition& comp, const Layer& layer, double seconds) {
    Matrix4 m = layerToWorld(comp, layer, seconds);
    A_Matrix4 out;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) out.mat[r][c] = m.m[r][c];
    }
    return out;
}

}  // namespace zephrin::host
