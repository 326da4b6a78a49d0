#include "renderer/collect/bend_controls_reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/effect_contract.h"
#include "renderer/geometry/bend_curve.h"
#include "renderer/geometry/control_points.h"

namespace zephrin {

namespace {

namespace pos = param;

// Without its match name, a bend effect is told by the first and the fourth point streams: every
// instance has at least four.
constexpr int32_t kFourthPointSlot = 3;
constexpr int32_t kDefaultPointChoice = 3;  // four points
constexpr int32_t kMinPointsClosed = 4;
constexpr double kPercent = 0.01;

// Gives an effect reference back to the host when it leaves scope.
struct HeldEffect {
    const AEGP_EffectSuite4& suite;
    AEGP_EffectRefH effect = nullptr;
    ~HeldEffect() {
        if (effect != nullptr) suite.AEGP_DisposeEffect(effect);
    }
};

bool hasStream(const AEGP_StreamSuite11& streams, AEGP_PluginID pluginId, AEGP_EffectRefH effect, A_long position) {
    AEGP_StreamRefH stream = nullptr;
    if (streams.AEGP_GetNewEffectStreamByIndex(pluginId, effect, position, &stream) != A_Err_NONE) return false;
    if (stream == nullptr) return false;
    streams.AEGP_DisposeStream(stream);
    return true;
}

// The first bend effect of the layer, held; false when there is none or the list cannot be read.
bool findFirstBendEffect(HostSuites& suites, AEGP_PluginID pluginId, AEGP_LayerH layer, HeldEffect& held) {
    A_long count = 0;
    if (held.suite.AEGP_GetLayerNumEffects(layer, &count) != A_Err_NONE) return false;
    for (A_long index = 0; index < count; ++index) {
        HeldEffect candidate{held.suite};
        if (held.suite.AEGP_GetLayerEffectByIndex(pluginId, layer, index, &candidate.effect) != A_Err_NONE) {
            candidate.effect = nullptr;
            continue;
        }
        if (candidate.effect == nullptr || !findBendEffect(suites, pluginId, candidate.effect)) continue;
        std::swap(held.effect, candidate.effect);
        return true;
    }
    return false;
}

bool effectActive(const AEGP_EffectSuite4& effects, AEGP_EffectRefH effect) {
    AEGP_EffectFlags flags = AEGP_EffectFlags_NONE;
    if (effects.AEGP_GetEffectFlags(effect, &flags) != A_Err_NONE) return false;
    return (flags & (AEGP_EffectFlags_ACTIVE | AEGP_EffectFlags_MISSING)) == AEGP_EffectFlags_ACTIVE;
}

CurlControls readCurl(const EffectStreamReader& r, int32_t first, CurlControls curl) {
    curl.enabled = readBool(r, first, curl.enabled);
    curl.direction = readInt(r, first + 1, curl.direction, 1, 2);
    curl.curlAngle = readNumberFixedRepaired(r, first + 2, curl.curlAngle);
    curl.tilt = readClamped(r, first + 3, curl.tilt, -180.0, 180.0);
    curl.radius = readClamped(r, first + 4, curl.radius, 1.0, 10000.0);
    curl.radiusChangePerTurn = readClamped(r, first + 5, curl.radiusChangePerTurn, -1000.0, 1000.0);
    return curl;
}

double readAngle(const EffectStreamReader& r, int32_t position, double current) {
    const double value = readNumber(r, position, current);
    return std::isfinite(value) ? value : current;
}

StoredControlPoints readStoredPoints(const EffectStreamReader& r, const BendControls& controls) {
    StoredControlPoints stored;
    stored.count = readInt(r, pos::kPointCount, kDefaultPointChoice, 1, pos::kPointSlots - 1) + 1;
    if (controls.closeEndpoints) stored.count = std::max(stored.count, kMinPointsClosed);
    for (int32_t i = 0; i < stored.count; ++i) {
        Vec3 point;
        if (!readPoint(r, pos::kFirstPoint + i, point)) continue;
        // An unreadable rotation is no rotation; only an unreadable point drops the pair.
        Vec3 rotation;
        readPoint(r, pos::kFirstRotation + i, rotation);
        stored.points.push_back(StoredPoint{point, rotation, i});
    }
    stored.handles.assign(static_cast<size_t>(stored.count), Vec3{kDefaultHandleLength, kDefaultHandleLength, 0.0});
    for (int32_t i = 0; i < stored.count; ++i)
        readPoint(r, pos::kFirstHandle + i, stored.handles[static_cast<size_t>(i)]);
    return stored;
}

}  // namespace

double frameSeconds(const A_Time& time) {
    if (time.scale == 0) return 0.0;
    return static_cast<double>(time.value) / static_cast<double>(time.scale);
}

double wrapPhase(double x) {
    if (!std::isfinite(x)) return 0.0;
    const double wrapped = x - std::floor(x);
    return wrapped < 0.0 ? wrapped + 1.0 : wrapped;
}

bool findBendEffect(HostSuites& suites, AEGP_PluginID pluginId, AEGP_EffectRefH effect) {
    const auto& effects = suites.acquire<AEGP_EffectSuite4>(kAEGPEffectSuite, kAEGPEffectSuiteVersion4);
    AEGP_InstalledEffectKey key = 0;
    char matchName[AEGP_MAX_EFFECT_MATCH_NAME_SIZE] = {};
    if (effects.AEGP_GetInstalledKeyFromLayerEffect(effect, &key) == A_Err_NONE &&
        effects.AEGP_GetEffectMatchName(key, matchName) == A_Err_NONE) {
        matchName[AEGP_MAX_EFFECT_MATCH_NAME_SIZE - 1] = '\0';
        if (std::strcmp(matchName, kBendEffectMatchName) == 0) return true;
    }
    const auto& streams = suites.acquire<AEGP_StreamSuite11>(kAEGPStreamSuite, kAEGPStreamSuiteVersion11);
    return hasStream(streams, pluginId, effect, pos::kFirstPoint) &&
           hasStream(streams, pluginId, effect, pos::pointPosition(kFourthPointSlot));
}

bool layerHasActiveBendEffect(HostSuites& suites, AEGP_PluginID pluginId, AEGP_LayerH layer) {
    HeldEffect held{suites.acquire<AEGP_EffectSuite4>(kAEGPEffectSuite, kAEGPEffectSuiteVersion4)};
    if (!findFirstBendEffect(suites, pluginId, layer, held)) return false;
    return effectActive(held.suite, held.effect);
}

void readControlsFromEffect(const EffectStreamReader& r, BendControls& c) {
    // Mode and "Common Sync State" choose the positions of later reads.
    c.mode = readInt(r, pos::kMode, c.mode, pos::kModeFree, pos::kModeScroll);
    const bool common = readBool(r, pos::kCommonSyncState, false);
    const bool freeMode = c.mode == pos::kModeFree;

    c.subdivisionX = readInt(r, pos::kSubdivisionX, c.subdivisionX, 8, 640);
    c.subdivisionY = readInt(r, pos::kSubdivisionY, c.subdivisionY, 1, 64);
    c.layerScale = readClamped(r, pos::kLayerScale, c.layerScale, 1.0, 500.0);
    c.curveAmount = readClamped(r, pos::kCurveAmount, c.curveAmount, 0.0, 200.0);
    c.twistAmount = readClamped(r, pos::kTwistAmount, c.twistAmount, 0.0, 3600.0);
    c.bendDirection = readAngle(r, common ? pos::kBendDirection : pos::kFreeBendDirection, c.bendDirection);
    c.thickness = readClamped(r, pos::kThickness, c.thickness, 0.0, 500.0);
    c.specular = readClamped(r, pos::kSpecular, c.specular, 0.0, 300.0);
    c.shadowSoftness = readClamped(r, pos::kShadowSoftness, c.shadowSoftness, 0.0, 100.0);
    c.shadowMode = static_cast<ShadowMode>(readInt(r, pos::kShadowMode, static_cast<int32_t>(c.shadowMode),
                                                   static_cast<int32_t>(ShadowMode::Auto),
                                                   static_cast<int32_t>(ShadowMode::Hybrid)));
    c.shadowQuality = readInt(r, pos::kShadowQuality, c.shadowQuality, 1, 4);
    c.frontLayerId = readLayerId(r, pos::kFrontLayer, c.frontLayerId);
    c.backLayerId = readLayerId(r, pos::kBackLayer, c.backLayerId);
    const int32_t pathLayer = readLayerId(r, pos::kPathLayer, 0);
    c.pathLayerRef = pathLayer != 0 ? -pathLayer : readLayerIndexParam(r, pos::kPathLayerIndex);
    c.closeEndpoints = readBool(r, pos::kCloseEndpoints, c.closeEndpoints);
    c.loopMoveSpeed = readClamped(r, pos::kLoopMoveSpeed, c.loopMoveSpeed, -100.0, 100.0);
    c.shapePreset = readInt(r, pos::kShape, c.shapePreset, 1, 4);
    c.quickPreview = readBool(r, pos::kQuickPreview, c.quickPreview);
    c.gpuAcceleration = readBool(r, pos::kGpuAcceleration, c.gpuAcceleration);
    c.fitPathLength = readBool(r, pos::kFitPathLength, c.fitPathLength);
    c.pathBendDirection = readAngle(r, common ? pos::kBendDirection : pos::kPathBendDirection, c.pathBendDirection);
    c.motion = readClamped(r, common ? pos::kAnimation : (freeMode ? pos::kFreeMotion : pos::kPathMotion), c.motion,
                           0.0, 200.0);
    c.motionDirection = readInt(
        r, common ? pos::kAnimationDirection : (freeMode ? pos::kFreeMotionDirection : pos::kPathMotionDirection),
        c.motionDirection, 1, 2);
    // The popup's choice k means k - 1 tiles.
    c.tileCount = readInt(r, common ? pos::kTileCount : pos::kFreeTileCount, c.tileCount + 1, 1, 11) - 1;
    c.tileMirror = readBool(r, common ? pos::kTileMirror : pos::kFreeTileMirror, c.tileMirror);
    c.tileOffset = readClamped(r, common ? pos::kTileOffset : pos::kFreeTileOffset, c.tileOffset, -100.0, 100.0);
    c.hasFrontLayer = c.frontLayerId != 0;
    c.frontColor = readColor(r, pos::kFrontColor, c.frontColor);
    c.backColor = readColor(r, pos::kBackColor, c.backColor);
    c.thicknessColor = readColor(r, pos::kThicknessColor, c.thicknessColor);
    c.frontFlip = readBool(r, pos::kFrontFlip, c.frontFlip);
    c.backFlip = readBool(r, pos::kBackFlip, c.backFlip);
    c.objSourceLayerId = readLayerId(r, pos::kObjSourceLayer, c.objSourceLayerId);
    c.objScale = readClamped(r, pos::kObjScale, c.objScale, 0.01, 1000.0);
    c.objCenter = readBool(r, pos::kObjCenter, c.objCenter);
    c.objFlipV = readBool(r, pos::kObjFlipV, c.objFlipV);
    c.objSmoothNormals = readBool(r, pos::kObjSmoothNormals, c.objSmoothNormals);
    c.syncLeftRight = readBool(r, pos::kSyncLeftRight, c.syncLeftRight);
    c.leftCurl = readCurl(r, pos::kLeftEnabled, c.leftCurl);
    c.rightCurl = readCurl(r, pos::kRightEnabled, c.rightCurl);
}

void applyLoopPhaseAndOverrides(BendControls& c, const A_Time& time) {
    c.loopPhase = c.closeEndpoints ? wrapPhase(-frameSeconds(time) * c.loopMoveSpeed * kPercent) : 0.0;
    if (c.syncLeftRight) c.rightCurl = c.leftCurl;
    if (c.mode == pos::kModeFree && c.closeEndpoints) {
        c.motion = 0.0;
        c.motionDirection = 1;
    }
    if (c.mode == pos::kModeScroll) {
        c.motionDirection = 1;
        c.tileCount = 0;
        c.tileMirror = false;
        c.tileOffset = 0.0;
        c.motion = 0.0;
    }
}

bool readBendControls(HostSuites& suites, AEGP_PluginID pluginId, AEGP_LayerH layer, const A_Time& time,
                      double layerWidth, double layerHeight, BendControls& controls,
                      std::vector<BendControlPoint>& points, bool& hasEffect) {
    hasEffect = false;
    points.clear();
    HeldEffect held{suites.acquire<AEGP_EffectSuite4>(kAEGPEffectSuite, kAEGPEffectSuiteVersion4)};
    if (!findFirstBendEffect(suites, pluginId, layer, held)) return false;
    if (!effectActive(held.suite, held.effect)) return false;
    hasEffect = true;

    const double width = std::isfinite(layerWidth) ? std::max(layerWidth, 1.0) : 1.0;
    const double height = std::isfinite(layerHeight) ? std::max(layerHeight, 1.0) : 1.0;
    const EffectStreamReader reader = openEffectStreams(suites, pluginId, held.effect, time);
    readControlsFromEffect(reader, controls);
    points = buildControlPoints(readStoredPoints(reader, controls), controls, width, height);
    applyLoopPhaseAndOverrides(controls, time);
    return true;
}

}  // namespace zephrin
