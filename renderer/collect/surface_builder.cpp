#include "renderer/collect/surface_builder.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <unordered_set>
#include <utility>
#include <vector>

#include "common/diagnostic_log.h"
#include "common/monotonic_clock.h"
#include "renderer/collect/bend_controls_reader.h"
#include "renderer/geometry/free_mode_mesh.h"
#include "renderer/collect/layer_readers.h"
#include "renderer/collect/layer_textures.h"
#include "renderer/geometry/mesh_building.h"
#include "renderer/geometry/obj/obj_mesh.h"
#include "renderer/collect/obj_source.h"
#include "renderer/collect/path_layer.h"
#include "renderer/geometry/scroll_mesh.h"
#include "renderer/collect/camera.h"

namespace zephrin {

namespace {

constexpr AEGP_LayerFlags kNeverSurfaceFlags =
    AEGP_LayerFlag_ADJUSTMENT_LAYER | AEGP_LayerFlag_NULL_LAYER | AEGP_LayerFlag_GUIDE_LAYER;

// Content bounds no larger than this in either direction hold nothing to lay a mesh on.
constexpr double kMinBoundsExtent = 1.0;

// Only zero, one and above one matter in the casts-shadows option; clamping keeps the conversion to
// an integer defined for any host value.
constexpr double kCastsShadowsClamp = 8.0;

// Summed nanoseconds of the per-layer phases, over all layers of the frame.
struct SurfacePhaseTimes {
    int64_t settings = 0;
    int64_t texture = 0;
    int64_t mesh = 0;
    int64_t store = 0;
};

struct SurfaceLoop {
    HostSuites& suites;
    AEGP_PluginID pluginId;
    const AEGP_CanvasSuite10& canvas;
    const AEGP_LayerSuite11& layers;
    FrameScene& frame;
    PR_RenderContextH renderContext;
    A_Time time;
    bool interactive;
    std::unordered_set<int32_t> handledIds;
    SurfacePhaseTimes times;
};

// The layer behind the index-th render-layer context, when it is one that may become a surface.
struct LayerCandidate {
    AEGP_RenderLayerContextH context = nullptr;
    AEGP_LayerH layer = nullptr;
    int32_t id = 0;
    bool hasEffect = false;
    Matrix4 layerToWorld;
};

bool pickCandidate(SurfaceLoop& loop, A_long index, LayerCandidate& candidate) {
    if (loop.canvas.AEGP_GetNthLayerContextToRender(loop.renderContext, index, &candidate.context) != A_Err_NONE ||
        loop.canvas.AEGP_GetLayerFromLayerContext(loop.renderContext, candidate.context, &candidate.layer) !=
            A_Err_NONE) {
        return false;
    }
    AEGP_ObjectType objectType = AEGP_ObjectType_NONE;
    A_Boolean videoActive = 0;
    AEGP_LayerFlags flags = AEGP_LayerFlag_NONE;
    if (loop.layers.AEGP_GetLayerObjectType(candidate.layer, &objectType) != A_Err_NONE ||
        loop.layers.AEGP_IsVideoActive(candidate.layer, AEGP_LTimeMode_CompTime, &loop.time, &videoActive) !=
            A_Err_NONE ||
        loop.layers.AEGP_GetLayerFlags(candidate.layer, &flags) != A_Err_NONE) {
        return false;
    }
    if (!isSurfaceCandidate(objectType, videoActive != 0, flags)) return false;

    candidate.hasEffect = layerHasActiveBendEffect(loop.suites, loop.pluginId, candidate.layer);
    A_Boolean is3D = 0;
    if (loop.layers.AEGP_IsLayer3D(candidate.layer, &is3D) != A_Err_NONE) is3D = 0;
    if (is3D == 0 && !candidate.hasEffect) return false;

    AEGP_LayerIDVal id = 0;
    if (loop.layers.AEGP_GetLayerID(candidate.layer, &id) != A_Err_NONE) id = 0;
    candidate.id = id;
    // A layer whose id the host will not tell cannot be told apart from another listing of itself.
    if (id != 0 && !loop.handledIds.insert(id).second) {
        if (renderLogEnabled()) {
            std::ostringstream line;
            line << "RendererV2Mesh: skipDuplicate layer=" << index << " id=" << id;
            logRender(line.str());
        }
        return false;
    }

    A_Matrix4 hostMatrix{};
    if (loop.canvas.AEGP_GetRenderLayerToWorldXform(loop.renderContext, candidate.context, &loop.time, &hostMatrix) !=
            A_Err_NONE &&
        loop.layers.AEGP_GetLayerToWorldXform(candidate.layer, &loop.time, &hostMatrix) != A_Err_NONE) {
        // Without a placement the layer cannot be put anywhere in the scene.
        return false;
    }
    candidate.layerToWorld = matrixFromHost(hostMatrix);
    return true;
}

void readSurfaceOptions(SurfaceLoop& loop, const LayerCandidate& candidate, SceneSurface& surface) {
    surface.material = readLayerMaterial(loop.suites, candidate.layer, loop.time);
    ShadowCasting casting = decodeCastsShadows(
        readLayerNumber(loop.suites, candidate.layer, AEGP_LayerStream_CASTS_SHADOWS, loop.time, 0.0));
    surface.castsShadows = casting.castsShadows;
    surface.shadowOnly = casting.shadowOnly;
    surface.renders = casting.renders;
    surface.acceptsShadows =
        readLayerBool(loop.suites, candidate.layer, AEGP_LayerStream_ACCEPTS_SHADOWS, loop.time, true);
    surface.acceptsLights =
        readLayerBool(loop.suites, candidate.layer, AEGP_LayerStream_ACCEPTS_LIGHTS, loop.time, true);
    surface.lightTransmission = unitFraction(
        readLayerNumber(loop.suites, candidate.layer, AEGP_LayerStream_LIGHT_TRANSMISSION, loop.time, 0.0));

    A_FpLong opacity = 0.0;
    surface.opacity =
        loop.canvas.AEGP_GetRenderOpacity(loop.renderContext, candidate.context, &loop.time, &opacity) == A_Err_NONE
            ? layerOpacity(opacity)
            : 1.0;
}

int32_t pixelExtent(double size) {
    if (!(size >= 1.0)) return 1;
    return static_cast<int32_t>(std::min(std::llround(size), static_cast<long long>(INT32_MAX)));
}

// The size of the layer image the mesh is laid out on, and where the mesh starts inside the layer.
MeshOrigin readSurfaceSize(SurfaceLoop& loop, const LayerCandidate& candidate, SceneSurface& surface) {
    A_long width = 0, height = 0;
    AEGP_ItemH source = nullptr;
    if (loop.layers.AEGP_GetLayerSourceItem(candidate.layer, &source) == A_Err_NONE && source != nullptr) {
        const auto& items = loop.suites.acquire<AEGP_ItemSuite10>(kAEGPItemSuite, kAEGPItemSuiteVersion10);
        if (items.AEGP_GetItemDimensions(source, &width, &height) != A_Err_NONE) width = height = 0;
    }
    if (width >= 1 && height >= 1) {
        surface.layerWidth = width;
        surface.layerHeight = height;
        return MeshOrigin{};
    }
    A_FloatRect bounds{};
    if (loop.layers.AEGP_GetLayerMaskedBounds(candidate.layer, AEGP_LTimeMode_CompTime, &loop.time, &bounds) ==
            A_Err_NONE &&
        bounds.right - bounds.left > kMinBoundsExtent && bounds.bottom - bounds.top > kMinBoundsExtent) {
        surface.hasLayerBounds = true;
        surface.layerBounds[0] = bounds.left;
        surface.layerBounds[1] = bounds.top;
        surface.layerBounds[2] = bounds.right;
        surface.layerBounds[3] = bounds.bottom;
        surface.layerWidth = pixelExtent(bounds.right - bounds.left);
        surface.layerHeight = pixelExtent(bounds.bottom - bounds.top);
        return MeshOrigin{bounds.left, bounds.top};
    }
    surface.layerWidth = pixelExtent(loop.frame.camera.compWidth);
    surface.layerHeight = pixelExtent(loop.frame.camera.compHeight);
    return MeshOrigin{};
}

void logSurface(A_long index, const SceneSurface& surface) {
    if (!renderLogEnabled()) return;
    std::ostringstream line;
    line << "RendererV2Mesh: layer=" << index << " kind=" << surface.kind << " verts=" << surface.mesh.vertices.size()
         << " tris=" << surface.mesh.triangles.size() << " casts=" << (surface.castsShadows ? 1 : 0)
         << " shadowOnly=" << (surface.shadowOnly ? 1 : 0) << " visible=" << (surface.renders ? 1 : 0)
         << " accepts=" << (surface.acceptsShadows ? 1 : 0) << " acceptsLights=" << (surface.acceptsLights ? 1 : 0)
         << " shadowMode=" << static_cast<int32_t>(surface.controls.shadowMode)
         << " shadowQuality=" << surface.controls.shadowQuality << " shadowSoftness=" << surface.controls.shadowSoftness
         << " thickness=" << surface.controls.thickness;
    logRender(line.str());
}

// The bent mesh the layer's mode asks for. A layer outside its path is left without triangles, so it
// gets no surface.
void buildModeMesh(SurfaceLoop& loop, SceneSurface& surface, const std::vector<BendControlPoint>& points,
                   const MeshPlacement& placement) {
    switch (surface.controls.mode) {
        case param::kModeScroll:
            buildScrollMesh(surface, placement);
            return;
        case param::kModePathSelect:
            switch (buildPathSurface(loop.suites, loop.renderContext, loop.time, surface, placement)) {
                case PathOutcome::kBuilt:
                    return;
                case PathOutcome::kHidden:
                    logRender("RendererV2Path: hidden reason=outsidePath");
                    return;
                case PathOutcome::kFallback:
                    logRender("RendererV2Path: fallback reason=invalidPath");
                    break;
            }
            break;
        default:
            break;
    }
    buildFreeModeMesh(surface, points, placement);
}

// Adds each phase's time to its total: lap(total) charges the time since the previous lap.
struct PhaseClock {
    int64_t stamp = nowNanoseconds();
    void lap(int64_t& total) {
        const int64_t now = nowNanoseconds();
        total += now - stamp;
        stamp = now;
    }
};

// The layer's effect settings and the control points built from them; without the effect (or when
// its controls cannot be read) the defaults, and the layer is drawn flat.
struct LayerSettings {
    std::vector<BendControlPoint> points;
    bool controlsRead = false;
};

LayerSettings readLayerSettings(SurfaceLoop& loop, const LayerCandidate& candidate, SceneSurface& surface) {
    LayerSettings settings;
    surface.controls = defaultBendControls(candidate.id);
    if (candidate.hasEffect) {
        bool hasEffect = false;
        settings.controlsRead = readBendControls(loop.suites, loop.pluginId, candidate.layer, loop.time,
                                                 surface.layerWidth, surface.layerHeight, surface.controls,
                                                 settings.points, hasEffect) &&
                                hasEffect;
    }
    return settings;
}

// Gives a surface's host textures back when the scope ends, whichever way it ends, unless the frame
// took the surface over.
struct SurfaceTexturesHolder {
    HostSuites& suites;
    PR_RenderContextH renderContext;
    SceneSurface* surface;  // null once the frame owns the textures

    SurfaceTexturesHolder(HostSuites& hostSuites, PR_RenderContextH context, SceneSurface& held)
        : suites(hostSuites), renderContext(context), surface(&held) {}
    SurfaceTexturesHolder(const SurfaceTexturesHolder&) = delete;
    SurfaceTexturesHolder& operator=(const SurfaceTexturesHolder&) = delete;
    ~SurfaceTexturesHolder() {
        if (surface == nullptr) return;
        try {
            disposeSurfaceTextures(suites, renderContext, *surface);
        } catch (...) {
            // Nothing may leave a destructor; what could not be given back is lost with the frame.
        }
    }
    void release() { surface = nullptr; }
};

void renderSurfaceTextures(SurfaceLoop& loop, const LayerCandidate& candidate, bool controlsRead,
                           SceneSurface& surface) {
    surface.frontTexture = renderFrontTexture(loop.suites, loop.renderContext, candidate.layer, candidate.context,
                                              candidate.id, surface.controls, controlsRead);
    surface.backTexture = renderBackTexture(loop.suites, loop.renderContext, surface.controls);
}

// The layer's mesh: a model replaces every other mesh; one that fails to load leaves the Free Mode
// slab (or the flat grid without the effect), whatever the mode asks for. A layer with the effect
// gets the mesh of its mode, any other the flat grid.
void buildSurfaceMesh(SurfaceLoop& loop, const LayerCandidate& candidate, const MeshOrigin& origin,
                      const LayerSettings& settings, SceneSurface& surface) {
    const LayerTransform layerToWorld = layerTransformFromMatrix(candidate.layerToWorld);
    const LayerTransform layerToCamera =
        layerTransformFromMatrix(multiply(candidate.layerToWorld, loop.frame.camera.view));
    const ObjSource obj =
        findObjSource(loop.suites, loop.pluginId, loop.renderContext, candidate.layer, surface.controls);
    logObjSource(obj);
    bool objLoadFailed = false;
    if (obj.isObj) {
        if (buildObjMesh(obj.path, surface.controls, surface.mesh, layerToCamera, layerToWorld, loop.interactive)) {
            surface.kind = kSurfaceObj;
            surface.objPath = obj.path;
            return;
        }
        objLoadFailed = true;
        logRender("RendererV2Obj: fallback reason=loadFailed");
    }
    if (!settings.controlsRead) {
        surface.kind = kSurfaceFlat;
        buildFlatGrid(surface.mesh, surface.layerWidth, surface.layerHeight, origin, layerToCamera, layerToWorld,
                      loop.interactive);
        return;
    }
    surface.kind = kSurfaceBent;
    const MeshPlacement placement{static_cast<double>(surface.layerWidth),
                                  static_cast<double>(surface.layerHeight),
                                  origin,
                                  layerToCamera,
                                  layerToWorld,
                                  loop.interactive};
    if (objLoadFailed) {
        buildFreeModeMesh(surface, settings.points, placement);
    } else {
        buildModeMesh(loop, surface, settings.points, placement);
    }
}

void buildLayerSurface(SurfaceLoop& loop, A_long index, const LayerCandidate& candidate) {
    SceneSurface surface;
    surface.layer = candidate.layer;
    surface.layerContext = candidate.context;
    readSurfaceOptions(loop, candidate, surface);
    const MeshOrigin origin = readSurfaceSize(loop, candidate, surface);

    PhaseClock clock;
    const LayerSettings settings = readLayerSettings(loop, candidate, surface);
    clock.lap(loop.times.settings);

    // From here on the surface holds host worlds.
    SurfaceTexturesHolder textures(loop.suites, loop.renderContext, surface);
    renderSurfaceTextures(loop, candidate, settings.controlsRead, surface);
    clock.lap(loop.times.texture);

    buildSurfaceMesh(loop, candidate, origin, settings, surface);
    clock.lap(loop.times.mesh);

    // A layer left without triangles is no surface; its textures go back now.
    if (surface.mesh.triangles.empty()) return;
    logSurface(index, surface);
    loop.frame.surfaces.push_back(std::move(surface));
    // Moving copies the texture handles: only now does the frame alone hold them.
    textures.release();
    clock.lap(loop.times.store);
}

void logBuildTimes(const FrameScene& frame, const SurfacePhaseTimes& times, int64_t total) {
    if (!renderLogEnabled()) return;
    int64_t other = std::max<int64_t>(total - times.settings - times.texture - times.mesh - times.store, 0);
    std::ostringstream line;
    line << "RendererV2BuildSurfaces: surfaces=" << frame.surfaces.size()
         << " ms=(settings:" << millisecondsBetween(0, times.settings)
         << ",texture:" << millisecondsBetween(0, times.texture) << ",mesh:" << millisecondsBetween(0, times.mesh)
         << ",store:" << millisecondsBetween(0, times.store) << ",other:" << millisecondsBetween(0, other)
         << ",total:" << millisecondsBetween(0, total) << ")";
    logRender(line.str());
}

}  // namespace

ShadowCasting decodeCastsShadows(double hostValue) {
    // Off, On and Only are 0, 1 and 2; an unreadable value is Off.
    if (!std::isfinite(hostValue)) hostValue = 0.0;
    hostValue = std::clamp(hostValue, -kCastsShadowsClamp, kCastsShadowsClamp);
    const int32_t n = static_cast<int32_t>(hostValue + 0.5);
    return ShadowCasting{n != 0, n > 1, n < 2};
}

double layerOpacity(double hostValue) {
    if (!std::isfinite(hostValue)) return 1.0;
    double v = hostValue > kPercentThreshold ? hostValue * kPercentToFraction : hostValue;
    return std::clamp(v, 0.0, 1.0);
}

bool isSurfaceCandidate(AEGP_ObjectType objectType, bool videoActive, AEGP_LayerFlags flags) {
    return objectType == AEGP_ObjectType_AV && videoActive && (flags & kNeverSurfaceFlags) == 0;
}

void buildSurfaces(const PR_InData* inData, FrameScene& frame, PR_RenderContextH renderContext, const A_Time& time,
                   bool interactive) {
    HostSuites suites(inData != nullptr ? inData->pica_basicP : nullptr);
    const int64_t loopStart = nowNanoseconds();
    SurfaceLoop loop{suites,
                     inData != nullptr ? inData->aegp_plug_id : AEGP_PluginID{0},
                     suites.acquire<AEGP_CanvasSuite10>(kAEGPCanvasSuite, kAEGPCanvasSuiteVersion10),
                     suites.acquire<AEGP_LayerSuite11>(kAEGPLayerSuite, kAEGPLayerSuiteVersion11),
                     frame,
                     renderContext,
                     time,
                     interactive,
                     {},
                     {}};
    A_long count = 0;
    if (loop.canvas.AEGP_GetNumLayersToRender(renderContext, &count) != A_Err_NONE) count = 0;
    for (A_long index = 0; index < count; ++index) {
        LayerCandidate candidate;
        if (pickCandidate(loop, index, candidate)) buildLayerSurface(loop, index, candidate);
    }
    logBuildTimes(frame, loop.times, nowNanoseconds() - loopStart);
}

}  // namespace zephrin
