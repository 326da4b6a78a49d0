#include "renderer/collect/light_collection.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>

#include "common/diagnostic_log.h"
#include "common/host_suites.h"
#include "renderer/collect/camera.h"
#include "renderer/texture/clamps.h"
#include "renderer/collect/layer_readers.h"
#include "renderer/scene/light_gains.h"

namespace zephrin {
namespace {

constexpr double kMaxLightIntensity = 16.0;
constexpr double kMinFalloffDistance = 1.0;
// A point of interest this close to the light's position gives no direction.
constexpr double kMinPointOfInterestDistance = 1e-6;
// The light's colour is read as the host evaluates it, expressions included.
constexpr A_Boolean kLightColorPreExpression = 0;

Vec3 rowOf(const Matrix4& m, int row) { return Vec3{m.m[row][0], m.m[row][1], m.m[row][2]}; }

int32_t falloffTypeOf(double raw) {
    if (!std::isfinite(raw)) return 0;
    double rounded = std::clamp(raw + 0.5, static_cast<double>(std::numeric_limits<int32_t>::min()),
                                static_cast<double>(std::numeric_limits<int32_t>::max()));
    return static_cast<int32_t>(rounded);
}

double percentOrFraction(double raw) { return std::fabs(raw) > kPercentThreshold ? raw * kPercentToFraction : raw; }

// A host that leaves one of these out cannot tell which layers are lights; the frame then has none.
bool canListLights(const AEGP_CanvasSuite10& canvas, const AEGP_LayerSuite11& layers) {
    return canvas.AEGP_GetCompToRender != nullptr && canvas.AEGP_GetCompRenderTime != nullptr &&
           layers.AEGP_GetCompNumLayers != nullptr && layers.AEGP_GetCompLayerByIndex != nullptr &&
           layers.AEGP_GetLayerObjectType != nullptr && layers.AEGP_IsVideoActive != nullptr &&
           layers.AEGP_IsLayerVideoReallyOn != nullptr && layers.AEGP_GetLayerFlags != nullptr &&
           layers.AEGP_GetLayerToWorldXform != nullptr;
}

bool lightLayerIsOn(const AEGP_LayerSuite11& layers, AEGP_LayerH layer, const A_Time& time) {
    A_Boolean active = 0;
    if (layers.AEGP_IsVideoActive(layer, AEGP_LTimeMode_CompTime, &time, &active) != A_Err_NONE) return false;
    A_Boolean reallyOn = 0;
    if (layers.AEGP_IsLayerVideoReallyOn(layer, &reallyOn) != A_Err_NONE) reallyOn = 0;
    AEGP_LayerFlags flags = 0;
    if (layers.AEGP_GetLayerFlags(layer, &flags) != A_Err_NONE) flags = 0;
    return active != 0 && reallyOn != 0 && (flags & AEGP_LayerFlag_VIDEO_ACTIVE) != 0;
}

// Reads everything but the transform; false never: unreadable values keep their defaults.
void readLightStreams(HostSuites& suites, AEGP_LayerH layer, const A_Time& time, LightReadings& r) {
    const auto& lightSuite = suites.acquire<AEGP_LightSuite2>(kAEGPLightSuite, kAEGPLightSuiteVersion2);
    AEGP_LightType type = AEGP_LightType_POINT;
    if (lightSuite.AEGP_GetLightType != nullptr && lightSuite.AEGP_GetLightType(layer, &type) == A_Err_NONE) {
        r.type = type;
    }

    const auto& streams = suites.acquire<AEGP_StreamSuite7>(kAEGPStreamSuite, kAEGPStreamSuiteVersion7);
    AEGP_StreamVal color{};
    AEGP_StreamType colorType = AEGP_StreamType_NO_DATA;
    if (streams.AEGP_GetLayerStreamValue != nullptr &&
        streams.AEGP_GetLayerStreamValue(layer, AEGP_LayerStream_COLOR, AEGP_LTimeMode_CompTime, &time,
                                         kLightColorPreExpression, &color, &colorType) == A_Err_NONE) {
        r.color = Vec3{color.color.redF, color.color.greenF, color.color.blueF};
    }
    r.rawIntensity = readLayerNumber(suites, layer, AEGP_LayerStream_INTENSITY, time, r.rawIntensity);
    r.coneAngle = readLayerNumber(suites, layer, AEGP_LayerStream_CONE_ANGLE, time, r.coneAngle);
    r.coneFeather = readLayerNumber(suites, layer, AEGP_LayerStream_CONE_FEATHER, time, r.coneFeather);
    r.falloffType = readLayerNumber(suites, layer, AEGP_LayerStream_LIGHT_FALLOFF_TYPE, time, r.falloffType);
    r.falloffRadius = readLayerNumber(suites, layer, AEGP_LayerStream_LIGHT_FALLOFF_RADIUS, time, r.falloffRadius);
    r.falloffDistance =
        readLayerNumber(suites, layer, AEGP_LayerStream_LIGHT_FALLOFF_DISTANCE, time, r.falloffDistance);
    r.castsShadows = readLayerBool(suites, layer, AEGP_LayerStream_CASTS_SHADOWS, time, r.castsShadows);
    r.rawShadowDarkness = readLayerNumber(suites, layer, AEGP_LayerStream_SHADOW_DARKNESS, time, r.rawShadowDarkness);
    r.shadowDiffusion = readLayerNumber(suites, layer, AEGP_LayerStream_SHADOW_DIFFUSION, time, r.shadowDiffusion);
    if (r.type == kLightParallel || r.type == kLightSpot) {
        r.hasPosition = readLayerVector3(suites, layer, AEGP_LayerStream_POSITION, time, r.position);
        r.hasPointOfInterest = readLayerVector3(suites, layer, AEGP_LayerStream_ANCHORPOINT, time, r.pointOfInterest);
    }
}

}  // namespace

double lightIntensity(double raw) {
    if (!std::isfinite(raw)) return 0.0;
    return std::clamp(percentOrFraction(raw), 0.0, kMaxLightIntensity);
}

double lightShadowDarkness(double raw) {
    if (!std::isfinite(raw)) return 0.0;
    return std::clamp(percentOrFraction(raw), 0.0, 1.0);
}

ConvertedLight convertLight(const LightReadings& r, const Matrix4& view) {
    const SceneLight defaults;
    ConvertedLight out;
    SceneLight& light = out.light;
    light.type = r.type;
    // Colour channels the host gave as NaN or infinity keep white's channel: the final clamp cannot
    // repair a NaN.
    light.color = Vec3{finiteOr(r.color.x, 1.0), finiteOr(r.color.y, 1.0), finiteOr(r.color.z, 1.0)};
    light.intensity = lightIntensity(r.rawIntensity);
    light.coneAngle = finiteOr(r.coneAngle, LightReadings{}.coneAngle);
    light.coneFeather = finiteOr(r.coneFeather, LightReadings{}.coneFeather);
    light.falloffType = falloffTypeOf(r.falloffType);
    light.falloffRadius = finiteOr(r.falloffRadius, LightReadings{}.falloffRadius);
    light.falloffDistance = r.falloffDistance > kMinFalloffDistance ? r.falloffDistance : kMinFalloffDistance;
    light.castsShadows = r.castsShadows;
    light.shadowDarkness = lightShadowDarkness(r.rawShadowDarkness);
    light.shadowDiffusion = r.shadowDiffusion > 0.0 ? r.shadowDiffusion : 0.0;

    const Matrix4 toCamera = multiply(r.layerToWorld, view);
    light.positionWorld = rowOf(r.layerToWorld, 3);
    light.positionCamera = rowOf(toCamera, 3);
    light.directionWorld = normalizeOr(rowOf(r.layerToWorld, 2), defaults.directionWorld);
    light.directionCamera = normalizeOr(rowOf(toCamera, 2), defaults.directionCamera);

    if ((r.type == kLightParallel || r.type == kLightSpot) && r.hasPointOfInterest) {
        Vec3 origin = r.hasPosition ? r.position : light.positionWorld;
        Vec3 toPoi = r.pointOfInterest - origin;
        double d = length(toPoi);
        if (d > kMinPointOfInterestDistance) {
            light.directionWorld = normalizeWithLength(toPoi, d, light.directionWorld);
            light.directionCamera = normalizeOr(transformDirection(view, light.directionWorld), light.directionCamera);
            out.directionFromPointOfInterest = true;
        }
    }
    return out;
}

std::string formatLightLine(const ConvertedLight& converted, double rawIntensity) {
    const SceneLight& l = converted.light;
    std::ostringstream line;
    line << "RendererV2Light: type=" << l.type << " rawIntensity=" << rawIntensity << " intensity=" << l.intensity
         << " gains=(ambBase:" << kAmbientBaseGain << ",ambLight:" << kAmbientLightGain << ",direct:" << kDirectGain
         << ",point:" << kPointScale << ",spot:" << kSpotScale << ",fill:" << kAmbientFloor
         << ",shadowDark:" << kShadowDarknessGain << ")"
         << " casts=" << (l.castsShadows ? 1 : 0) << " shadowDarkness=" << l.shadowDarkness
         << " shadowDiffusion=" << l.shadowDiffusion
         << " dirSource=" << (converted.directionFromPointOfInterest ? "poi" : "xform") << " posW=("
         << l.positionWorld.x << "," << l.positionWorld.y << "," << l.positionWorld.z << ") dirW=("
         << l.directionWorld.x << "," << l.directionWorld.y << "," << l.directionWorld.z << ")";
    return line.str();
}

bool collectLights(const PR_InData* inData, PR_RenderContextH renderContext, const Matrix4& view,
                   std::vector<SceneLight>& lights) {
    HostSuites suites(inData != nullptr ? inData->pica_basicP : nullptr);
    const auto& canvas = suites.acquire<AEGP_CanvasSuite10>(kAEGPCanvasSuite, kAEGPCanvasSuiteVersion10);
    const auto& layers = suites.acquire<AEGP_LayerSuite11>(kAEGPLayerSuite, kAEGPLayerSuiteVersion11);
    if (!canListLights(canvas, layers)) return false;
    AEGP_CompH comp = nullptr;
    if (canvas.AEGP_GetCompToRender(renderContext, &comp) != A_Err_NONE) return false;
    A_long count = 0;
    if (layers.AEGP_GetCompNumLayers(comp, &count) != A_Err_NONE) return false;
    A_Time time{0, 1};
    A_Time timeStep{0, 1};
    if (canvas.AEGP_GetCompRenderTime(renderContext, &time, &timeStep) != A_Err_NONE) return false;

    for (A_long index = 0; index < count; ++index) {
        AEGP_LayerH layer = nullptr;
        if (layers.AEGP_GetCompLayerByIndex(comp, index, &layer) != A_Err_NONE || layer == nullptr) continue;
        AEGP_ObjectType objectType = AEGP_ObjectType_NONE;
        if (layers.AEGP_GetLayerObjectType(layer, &objectType) != A_Err_NONE) continue;
        if (objectType != AEGP_ObjectType_LIGHT || !lightLayerIsOn(layers, layer, time)) continue;

        LightReadings readings;
        readLightStreams(suites, layer, time, readings);
        A_Matrix4 hostMatrix{};
        if (layers.AEGP_GetLayerToWorldXform(layer, &time, &hostMatrix) != A_Err_NONE) continue;
        readings.layerToWorld = matrixFromHost(hostMatrix);

        ConvertedLight converted = convertLight(readings, view);
        lights.push_back(converted.light);
        if (renderLogEnabled()) logRender(formatLightLine(converted, readings.rawIntensity));
    }
    return true;
}

}  // namespace zephrin
