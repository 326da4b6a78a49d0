#include "renderer/collect/obj_source.h"

#include <cstdlib>
#include <cstring>
#include <sstream>

#include "common/diagnostic_log.h"
#include "renderer/collect/layer_textures.h"
#include "renderer/geometry/obj/obj_paths.h"

namespace zephrin {

namespace {

constexpr char kSourceDebug[] = "debug";
constexpr char kSourceEffectLayer[] = "effectSourceLayer";
constexpr char kSourceCurrentLayer[] = "currentLayer";

const char* nonEmptyEnv(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0' ? value : nullptr;
}

// Takes the UTF-16 text out of a host memory handle and frees the handle, whatever happens.
bool takeUtf16Text(const AEGP_MemorySuite1& memory, AEGP_MemHandle handle, std::wstring& text) {
    if (handle == nullptr) return false;
    bool ok = false;
    void* data = nullptr;
    AEGP_MemSize bytes = 0;
    if (memory.AEGP_GetMemHandleSize(handle, &bytes) == A_Err_NONE &&
        memory.AEGP_LockMemHandle(handle, &data) == A_Err_NONE) {
        if (data != nullptr) {
            const auto* units = static_cast<const A_UTF16Char*>(data);
            const size_t capacity = bytes / sizeof(A_UTF16Char);
            size_t count = 0;
            while (count < capacity && units[count] != 0) ++count;
            text = wideFromUtf16(units, count);
            ok = true;
        }
        memory.AEGP_UnlockMemHandle(handle);
    }
    memory.AEGP_FreeMemHandle(handle);
    return ok;
}

bool readFootagePath(HostSuites& suites, AEGP_LayerH layer, std::wstring& path) {
    const auto& layers = suites.acquire<AEGP_LayerSuite11>(kAEGPLayerSuite, kAEGPLayerSuiteVersion11);
    AEGP_ItemH item = nullptr;
    if (layers.AEGP_GetLayerSourceItem(layer, &item) != A_Err_NONE || item == nullptr) return false;
    const auto& footageSuite = suites.acquire<AEGP_FootageSuite11>(kAEGPFootageSuite, kAEGPFootageSuiteVersion11);
    AEGP_FootageH footage = nullptr;
    if (footageSuite.AEGP_GetMainFootageFromItem(item, &footage) != A_Err_NONE || footage == nullptr) return false;
    AEGP_MemHandle pathHandle = nullptr;
    const A_Err err = footageSuite.AEGP_GetFootagePath(footage, 0, 0, &pathHandle);
    const auto& memory = suites.acquire<AEGP_MemorySuite1>(kAEGPMemorySuite, kAEGPMemorySuiteVersion1);
    if (err != A_Err_NONE) {
        if (pathHandle != nullptr) memory.AEGP_FreeMemHandle(pathHandle);
        return false;
    }
    return takeUtf16Text(memory, pathHandle, path) && !path.empty();
}

bool readLayerName(HostSuites& suites, AEGP_PluginID pluginId, AEGP_LayerH layer, std::wstring& name) {
    const auto& layers = suites.acquire<AEGP_LayerSuite11>(kAEGPLayerSuite, kAEGPLayerSuiteVersion11);
    AEGP_MemHandle nameHandle = nullptr;
    const A_Err err = layers.AEGP_GetLayerName(pluginId, layer, &nameHandle, nullptr);
    const auto& memory = suites.acquire<AEGP_MemorySuite1>(kAEGPMemorySuite, kAEGPMemorySuiteVersion1);
    if (err != A_Err_NONE) {
        if (nameHandle != nullptr) memory.AEGP_FreeMemHandle(nameHandle);
        return false;
    }
    return takeUtf16Text(memory, nameHandle, name);
}

ObjSource sourceFromPath(std::wstring path, const char* word) {
    ObjSource source;
    source.isObj = hasObjExtension(path);
    source.path = std::move(path);
    source.source = word;
    return source;
}

ObjSource findObjSourceWithSuites(HostSuites& suites, AEGP_PluginID pluginId, PR_RenderContextH renderContext,
                                  AEGP_LayerH layer, const BendControls& controls) {
    if (debugObjOverrideConfigured()) {
        std::wstring name;
        if (nonEmptyEnv("SSR_RENDER_DEBUG_OBJ_LAYER") != nullptr) readLayerName(suites, pluginId, layer, name);
        std::wstring path = debugObjOverridePath(name);
        if (!path.empty()) return sourceFromPath(std::move(path), kSourceDebug);
    }
    std::wstring path;
    if (controls.objSourceLayerId != 0) {
        AEGP_LayerH sourceLayer = nullptr;
        AEGP_RenderLayerContextH sourceContext = nullptr;
        if (findRenderLayerById(suites, renderContext, controls.objSourceLayerId, sourceLayer, sourceContext) &&
            readFootagePath(suites, sourceLayer, path)) {
            return sourceFromPath(std::move(path), kSourceEffectLayer);
        }
    }
    if (readFootagePath(suites, layer, path)) return sourceFromPath(std::move(path), kSourceCurrentLayer);
    return ObjSource{};
}

}  // namespace

bool debugObjOverrideConfigured() {
    const char* debug = nonEmptyEnv("SSR_RENDER_DEBUG");
    if (debug == nullptr || std::strcmp(debug, "0") == 0) return false;
    const char* path = nonEmptyEnv("SSR_RENDER_DEBUG_OBJ_PATH");
    return path != nullptr && hasObjExtension(wideFromUtf8(path));
}

std::wstring debugObjOverridePath(std::wstring_view layerName) {
    if (!debugObjOverrideConfigured()) return {};
    if (const char* only = nonEmptyEnv("SSR_RENDER_DEBUG_OBJ_LAYER")) {
        if (layerName.find(wideFromUtf8(only)) == std::wstring_view::npos) return {};
    }
    return wideFromUtf8(std::getenv("SSR_RENDER_DEBUG_OBJ_PATH"));
}

ObjSource findObjSource(HostSuites& suites, AEGP_PluginID pluginId, PR_RenderContextH renderContext, AEGP_LayerH layer,
                        const BendControls& controls) {
    // Models are optional: a host without the footage or memory suites has no model footage to
    // offer, and its layers render as they would without this lookup.
    try {
        return findObjSourceWithSuites(suites, pluginId, renderContext, layer, controls);
    } catch (const HostSuiteError&) {
        return ObjSource{};
    }
}

void logObjSource(const ObjSource& source) {
    if (source.path.empty() || !renderLogEnabled()) return;
    if (std::strcmp(source.source, kSourceDebug) == 0) logRender("RendererV2Obj: debugPath override active");
    std::ostringstream line;
    line << "RendererV2Obj: source=" << source.source << " isObj=" << (source.isObj ? 1 : 0);
    logRender(line.str());
}

}  // namespace zephrin
