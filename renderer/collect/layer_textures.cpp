#include "renderer/collect/layer_textures.h"

#include <limits>

#include "renderer/texture/pixel_formats.h"
#include "renderer/texture/texture_sampling.h"
#include "renderer/geometry/back_texture_fit.h"

namespace zephrin {

namespace {

const void* worldBaseAddress(const AEGP_WorldSuite3& worlds, AEGP_WorldH world, AEGP_WorldType type) {
    switch (type) {
        case AEGP_WorldType_8: {
            PF_Pixel8* base = nullptr;
            return worlds.AEGP_GetBaseAddr8(world, &base) == A_Err_NONE ? base : nullptr;
        }
        case AEGP_WorldType_16: {
            PF_Pixel16* base = nullptr;
            return worlds.AEGP_GetBaseAddr16(world, &base) == A_Err_NONE ? base : nullptr;
        }
        case AEGP_WorldType_32: {
            PF_PixelFloat* base = nullptr;
            return worlds.AEGP_GetBaseAddr32(world, &base) == A_Err_NONE ? base : nullptr;
        }
        default:
            return nullptr;
    }
}

void clearPixelAccess(SurfaceTexture& texture) {
    texture.worldType = AEGP_WorldType_NONE;
    texture.width = 0;
    texture.height = 0;
    texture.rowBytes = 0;
    texture.baseAddress = nullptr;
    texture.uniform8 = false;
    texture.uniformColor = 0;
}

}  // namespace

bool readTexturePixelAccess(HostSuites& suites, SurfaceTexture& texture) {
    clearPixelAccess(texture);
    if (texture.world == nullptr) return false;
    const auto& worlds = suites.acquire<AEGP_WorldSuite3>(kAEGPWorldSuite, kAEGPWorldSuiteVersion3);
    AEGP_WorldType type = AEGP_WorldType_NONE;
    A_long width = 0, height = 0;
    A_u_long rowBytes = 0;
    if (worlds.AEGP_GetType(texture.world, &type) != A_Err_NONE) return false;
    if (worlds.AEGP_GetSize(texture.world, &width, &height) != A_Err_NONE) return false;
    if (worlds.AEGP_GetRowBytes(texture.world, &rowBytes) != A_Err_NONE) return false;
    // The raster reads rows at base + y * rowBytes: a stride shorter than a row would read past it.
    const auto bytesPerPixel = static_cast<int64_t>(pixelBytes(type));
    if (bytesPerPixel == 0 || width < 1 || height < 1) return false;
    if (static_cast<int64_t>(rowBytes) < bytesPerPixel * width ||
        rowBytes > static_cast<A_u_long>(std::numeric_limits<int32_t>::max())) {
        return false;
    }
    const void* base = worldBaseAddress(worlds, texture.world, type);
    if (base == nullptr) return false;
    texture.worldType = type;
    texture.width = width;
    texture.height = height;
    texture.rowBytes = static_cast<int32_t>(rowBytes);
    texture.baseAddress = base;
    noteUniformTexels(texture);
    return true;
}

SurfaceTexture renderLayerTexture(HostSuites& suites, PR_RenderContextH renderContext, AEGP_LayerH layer,
                                  AEGP_RenderLayerContextH layerContext, bool renderOwnEffects) {
    SurfaceTexture texture;
    const auto& canvas = suites.acquire<AEGP_CanvasSuite10>(kAEGPCanvasSuite, kAEGPCanvasSuiteVersion10);
    const AEGP_RenderHints hints = renderOwnEffects ? AEGP_RenderHints_NONE : AEGP_RenderHints_NO_EFFECTS;
    AEGP_WorldH world = nullptr;
    if (canvas.AEGP_RenderLayerPlus(renderContext, layer, layerContext, hints, &world) != A_Err_NONE ||
        world == nullptr) {
        return texture;
    }
    texture.world = world;
    texture.renderedContext = layerContext;
    texture.ownedWorld = false;
    try {
        readTexturePixelAccess(suites, texture);
    } catch (...) {
        // The caller never sees this texture, so it has to go back here.
        canvas.AEGP_DisposeTexture(renderContext, layerContext, world);
        throw;
    }
    return texture;
}

void disposeTexture(HostSuites& suites, PR_RenderContextH renderContext, SurfaceTexture& texture) {
    if (texture.world == nullptr) return;
    // The record is reset even when the host refuses the world back: it is never offered twice.
    if (texture.ownedWorld) {
        const auto& worlds = suites.acquire<AEGP_WorldSuite3>(kAEGPWorldSuite, kAEGPWorldSuiteVersion3);
        worlds.AEGP_Dispose(texture.world);
    } else if (texture.renderedContext != nullptr) {
        const auto& canvas = suites.acquire<AEGP_CanvasSuite10>(kAEGPCanvasSuite, kAEGPCanvasSuiteVersion10);
        canvas.AEGP_DisposeTexture(renderContext, texture.renderedContext, texture.world);
    }
    resetTexture(texture);
}

void disposeSurfaceTextures(HostSuites& suites, PR_RenderContextH renderContext, SceneSurface& surface) {
    for (SurfaceTexture* texture : {&surface.frontTexture, &surface.backTexture}) {
        try {
            disposeTexture(suites, renderContext, *texture);
        } catch (const HostSuiteError&) {
            // Without the suite the world cannot be given back; the frame's result already says why.
            resetTexture(*texture);
        }
    }
}

bool findRenderLayerById(HostSuites& suites, PR_RenderContextH renderContext, int32_t layerId, AEGP_LayerH& layer,
                         AEGP_RenderLayerContextH& layerContext) {
    const auto& canvas = suites.acquire<AEGP_CanvasSuite10>(kAEGPCanvasSuite, kAEGPCanvasSuiteVersion10);
    const auto& layers = suites.acquire<AEGP_LayerSuite11>(kAEGPLayerSuite, kAEGPLayerSuiteVersion11);
    A_long count = 0;
    if (canvas.AEGP_GetNumLayersToRender(renderContext, &count) != A_Err_NONE) return false;
    for (A_long n = 0; n < count; ++n) {
        AEGP_RenderLayerContextH context = nullptr;
        AEGP_LayerH candidate = nullptr;
        AEGP_LayerIDVal id = 0;
        if (canvas.AEGP_GetNthLayerContextToRender(renderContext, n, &context) != A_Err_NONE) continue;
        if (canvas.AEGP_GetLayerFromLayerContext(renderContext, context, &candidate) != A_Err_NONE ||
            candidate == nullptr) {
            continue;
        }
        if (layers.AEGP_GetLayerID(candidate, &id) != A_Err_NONE || id != layerId) continue;
        layer = candidate;
        layerContext = context;
        return true;
    }
    return false;
}

SurfaceTexture renderFrontTexture(HostSuites& suites, PR_RenderContextH renderContext, AEGP_LayerH layer,
                                  AEGP_RenderLayerContextH layerContext, int32_t layerId, const BendControls& controls,
                                  bool effectControlsRead) {
    SurfaceTexture texture;
    if (!controls.hasFrontLayer) return texture;
    if (controls.frontLayerId == 0 || controls.frontLayerId == layerId) {
        // The bend effect draws nothing of its own (its output passes the layer through): the bend is
        // this surface's mesh, so the effect is left out of the layer's image.
        texture = renderLayerTexture(suites, renderContext, layer, layerContext, !effectControlsRead);
    } else {
        AEGP_LayerH frontLayer = nullptr;
        AEGP_RenderLayerContextH frontContext = nullptr;
        if (!findRenderLayerById(suites, renderContext, controls.frontLayerId, frontLayer, frontContext)) {
            return texture;
        }
        texture = renderLayerTexture(suites, renderContext, frontLayer, frontContext, true);
    }
    texture.alphaSource = texture.world != nullptr;
    return texture;
}

SurfaceTexture renderBackTexture(HostSuites& suites, PR_RenderContextH renderContext, const BendControls& controls) {
    SurfaceTexture texture;
    if (controls.backLayerId == 0) return texture;
    AEGP_LayerH backLayer = nullptr;
    AEGP_RenderLayerContextH backContext = nullptr;
    if (!findRenderLayerById(suites, renderContext, controls.backLayerId, backLayer, backContext)) return texture;
    texture = renderLayerTexture(suites, renderContext, backLayer, backContext, true);
    fitBackTexture(texture);
    return texture;
}

}  // namespace zephrin
