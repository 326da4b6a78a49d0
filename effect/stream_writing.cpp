#include "effect/stream_writing.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>

#include "common/diagnostic_log.h"

namespace zephrin {
namespace {

// Doubles in log lines use the stream's default formatting (six significant digits).
std::string formatNumber(double value) {
    std::ostringstream text;
    text << value;
    return text.str();
}

std::string formatPoint(double x, double y, double z) {
    return "(" + formatNumber(x) + "," + formatNumber(y) + "," + formatNumber(z) + ")";
}

bool isPointStream(AEGP_StreamType type) {
    return type == AEGP_StreamType_ThreeD_SPATIAL || type == AEGP_StreamType_ThreeD ||
           type == AEGP_StreamType_TwoD_SPATIAL || type == AEGP_StreamType_TwoD;
}

// A stream value lent by the host for the scope.
struct LentValue {
    LentValue(const StreamSuites& suites, AEGP_PluginID pluginId, AEGP_StreamRefH stream, const A_Time& time)
        : streamSuite(suites.stream) {
        err = streamSuite.AEGP_GetNewStreamValue(pluginId, stream, AEGP_LTimeMode_CompTime, &time, false, &value);
    }
    ~LentValue() {
        if (err == A_Err_NONE) streamSuite.AEGP_DisposeStreamValue(&value);
    }
    LentValue(const LentValue&) = delete;
    LentValue& operator=(const LentValue&) = delete;

    const AEGP_StreamSuite11& streamSuite;
    AEGP_StreamValue2 value{};
    A_Err err = A_Err_NONE;
};

}  // namespace

StreamSuites streamSuites(HostSuites& suites) {
    return StreamSuites{
        suites.acquire<AEGP_PFInterfaceSuite1>(kAEGPPFInterfaceSuite, kAEGPPFInterfaceSuiteVersion1),
        suites.acquire<AEGP_StreamSuite11>(kAEGPStreamSuite, kAEGPStreamSuiteVersion11),
        suites.acquire<AEGP_KeyframeSuite4>(kAEGPKeyframeSuite, kAEGPKeyframeSuiteVersion4),
        suites.acquire<AEGP_DynamicStreamSuite4>(kAEGPDynamicStreamSuite, kAEGPDynamicStreamSuiteVersion4),
        suites.acquire<AEGP_EffectSuite4>(kAEGPEffectSuite, kAEGPEffectSuiteVersion4),
    };
}

EffectStream::EffectStream(const StreamSuites& streamSuitesIn, AEGP_PluginID pluginId, PF_ProgPtr effectRef,
                           int position)
    : suites(streamSuitesIn) {
    effectErr = suites.pfInterface.AEGP_GetNewEffectForEffect(pluginId, effectRef, &effect);
    if (effectErr != A_Err_NONE) {
        effect = nullptr;
        return;
    }
    streamErr = suites.stream.AEGP_GetNewEffectStreamByIndex(pluginId, effect, position, &stream);
    if (streamErr != A_Err_NONE) stream = nullptr;
}

EffectStream::~EffectStream() {
    if (stream != nullptr) suites.stream.AEGP_DisposeStream(stream);
    if (effect != nullptr) suites.effect.AEGP_DisposeEffect(effect);
}

bool writeStream(const StreamSuites& suites, AEGP_PluginID pluginId, AEGP_StreamRefH stream,
                 const AEGP_StreamValue2& value, const A_Time& time, const char* reason) {
    A_long numKeyframes = 0;
    const A_Err countErr = suites.keyframe.AEGP_GetStreamNumKFs(stream, &numKeyframes);
    if (countErr == A_Err_NONE && numKeyframes >= 1) {
        // An animated stream ignores a plain value; the edit must become a keyframe at the current time.
        AEGP_KeyframeIndex key = 0;
        const A_Err insertErr = suites.keyframe.AEGP_InsertKeyframe(stream, AEGP_LTimeMode_CompTime, &time, &key);
        if (insertErr != A_Err_NONE) {
            if (effectLogEnabled()) {
                logEffect("CurveUI: writeStream keyframe insert err=" + std::to_string(insertErr) +
                          " reason=" + reason);
            }
        } else {
            const A_Err setErr = suites.keyframe.AEGP_SetKeyframeValue(stream, key, &value);
            if (setErr == A_Err_NONE) {
                logEffect("CurveUI: writeStream keyframe ok");
                return true;
            }
            if (effectLogEnabled()) {
                logEffect("CurveUI: writeStream keyframe set err=" + std::to_string(setErr) + " reason=" + reason);
            }
        }
    }
    AEGP_StreamValue2 plain = value;
    const A_Err setErr = suites.stream.AEGP_SetStreamValue(pluginId, stream, &plain);
    if (setErr == A_Err_NONE) {
        logEffect("CurveUI: writeStream set ok");
        return true;
    }
    if (effectLogEnabled()) {
        logEffect("CurveUI: writeStream set err=" + std::to_string(setErr) + " kf_err=" + std::to_string(countErr) +
                  " num_kfs=" + std::to_string(numKeyframes) + " reason=" + reason);
    }
    return false;
}

bool writeOneD(EffectCall& call, int position, double value, const char* reason) {
    const AEGP_PluginID pluginId = pluginIdOf(call);
    if (pluginId == 0) return false;
    const StreamSuites suites = streamSuites(call.suites);
    EffectStream target(suites, pluginId, call.in_data->effect_ref, position);
    if (!target.ok()) return false;
    AEGP_StreamType type = AEGP_StreamType_NO_DATA;
    suites.stream.AEGP_GetStreamType(target.stream, &type);
    if (type != AEGP_StreamType_OneD) {
        if (effectLogEnabled()) {
            logEffect("CurveUI: writeOneD wrong stream type=" + std::to_string(type) +
                      " index=" + std::to_string(position));
        }
        return false;
    }
    const A_Time time = commandTime(call.in_data);
    LentValue current(suites, pluginId, target.stream, time);
    if (current.err != A_Err_NONE) return false;
    current.value.val.one_d = value;
    return writeStream(suites, pluginId, target.stream, current.value, time, reason);
}

bool writePoint(EffectCall& call, int position, const A_FloatPoint3& point, const char* reason) {
    const AEGP_PluginID pluginId = pluginIdOf(call);
    if (pluginId == 0) {
        logEffect("CurveUI: writePoint skipped missing plugin id");
        return false;
    }
    const StreamSuites suites = streamSuites(call.suites);
    EffectStream target(suites, pluginId, call.in_data->effect_ref, position);
    if (target.effect == nullptr) {
        logEffect("CurveUI: writePoint failed effect ref");
        return false;
    }
    if (target.stream == nullptr) return false;
    AEGP_StreamType type = AEGP_StreamType_NO_DATA;
    suites.stream.AEGP_GetStreamType(target.stream, &type);
    if (effectLogEnabled()) {
        logEffect("CurveUI: writePoint begin index=" + std::to_string(position) + " type=" + std::to_string(type) +
                  " target=" + formatPoint(point.x, point.y, point.z));
    }
    if (!isPointStream(type)) {
        if (effectLogEnabled()) {
            logEffect("CurveUI: writePoint wrong stream type=" + std::to_string(type) +
                      " index=" + std::to_string(position));
        }
        return false;
    }

    // A hidden stream may refuse the value; it is shown for the write and hidden again afterwards.
    AEGP_DynStreamFlags flags = 0;
    const bool wasHidden = suites.dynamicStream.AEGP_GetDynamicStreamFlags(target.stream, &flags) == A_Err_NONE &&
                           (flags & AEGP_DynStreamFlag_HIDDEN) != 0;
    if (wasHidden) {
        const A_Err unhideErr =
            suites.dynamicStream.AEGP_SetDynamicStreamFlag(target.stream, AEGP_DynStreamFlag_HIDDEN, false, false);
        if (effectLogEnabled()) {
            logEffect("CurveUI: writePoint unhide index=" + std::to_string(position) +
                      " err=" + std::to_string(unhideErr) + " flags=" + std::to_string(flags) + " reason=" + reason);
        }
    }

    const A_Time time = commandTime(call.in_data);
    bool wrote = false;
    {
        LentValue current(suites, pluginId, target.stream, time);
        if (current.err == A_Err_NONE) {
            current.value.val.three_d = AEGP_ThreeDVal{point.x, point.y, point.z};
            wrote = writeStream(suites, pluginId, target.stream, current.value, time, reason);
        }
    }
    {
        LentValue readBack(suites, pluginId, target.stream, time);
        if (readBack.err == A_Err_NONE) {
            const AEGP_ThreeDVal& v = readBack.value.val.three_d;
            if (effectLogEnabled()) {
                logEffect("CurveUI: writePoint readback index=" + std::to_string(position) +
                          " wrote=" + std::to_string(wrote ? 1 : 0) + " value=" + formatPoint(v.x, v.y, v.z));
            }
        } else {
            if (effectLogEnabled()) logEffect("CurveUI: writePoint readback err=" + std::to_string(readBack.err));
        }
    }
    if (wasHidden)
        suites.dynamicStream.AEGP_SetDynamicStreamFlag(target.stream, AEGP_DynStreamFlag_HIDDEN, false, true);
    return wrote;
}

bool writePointParam(EffectCall& call, int position, const char* reason, bool markChangedValue) {
    PF_ParamDef& def = paramAt(call, position);
    if (markChangedValue) markChanged(def);
    const PF_Point3DDef& p = def.u.point3d_d;
    const bool wrote = writePoint(call, position, A_FloatPoint3{p.x_value, p.y_value, p.z_value}, reason);
    if (!wrote) {
        if (effectLogEnabled()) {
            logEffect("CurveUI: point stream write fallback index=" + std::to_string(position) + " reason=" + reason);
        }
    }
    return wrote;
}

bool writeLayerStream(EffectCall& call, int position, AEGP_LayerIDVal layerId, const char* reason) {
    const AEGP_PluginID pluginId = pluginIdOf(call);
    if (pluginId == 0) return false;
    const StreamSuites suites = streamSuites(call.suites);
    EffectStream target(suites, pluginId, call.in_data->effect_ref, position);
    if (!target.ok()) return false;
    AEGP_StreamType type = AEGP_StreamType_NO_DATA;
    suites.stream.AEGP_GetStreamType(target.stream, &type);
    if (type != AEGP_StreamType_LAYER_ID) {
        logEffect("PathLayerPicker: wrong stream type=" + std::to_string(type));
        return false;
    }
    const A_Time time = commandTime(call.in_data);
    bool wrote = false;
    {
        LentValue current(suites, pluginId, target.stream, time);
        if (current.err == A_Err_NONE) {
            current.value.val.layer_id = layerId;
            wrote = writeStream(suites, pluginId, target.stream, current.value, time, reason);
        }
    }
    LentValue readBack(suites, pluginId, target.stream, time);
    const AEGP_LayerIDVal read = readBack.err == A_Err_NONE ? readBack.value.val.layer_id : 0;
    if (effectLogEnabled()) {
        logEffect("PathLayerPicker: write id=" + std::to_string(layerId) + " wrote=" + std::to_string(wrote ? 1 : 0) +
                  " readback=" + std::to_string(read) + " reason=" + reason);
    }
    return wrote;
}

AEGP_LayerIDVal readLayerStream(EffectCall& call, int position) {
    const AEGP_PluginID pluginId = pluginIdOf(call);
    if (pluginId == 0) return 0;
    const StreamSuites suites = streamSuites(call.suites);
    EffectStream target(suites, pluginId, call.in_data->effect_ref, position);
    if (!target.ok()) return 0;
    AEGP_StreamType type = AEGP_StreamType_NO_DATA;
    if (suites.stream.AEGP_GetStreamType(target.stream, &type) != A_Err_NONE || type != AEGP_StreamType_LAYER_ID) {
        return 0;
    }
    LentValue current(suites, pluginId, target.stream, commandTime(call.in_data));
    return current.err == A_Err_NONE ? current.value.val.layer_id : 0;
}

bool storePointParam(EffectCall& call, int position, const A_FloatPoint3& value, const char* reason) {
    PF_Point3DDef& p = paramAt(call, position).u.point3d_d;
    p.x_value = value.x;
    p.y_value = value.y;
    p.z_value = value.z;
    return writePointParam(call, position, reason, true);
}

bool storeOneD(EffectCall& call, int position, double value, const char* reason) {
    PF_ParamDef& def = paramAt(call, position);
    switch (def.param_type) {
        case PF_Param_CHECKBOX:
            def.u.bd.value = value >= 0.5 ? 1 : 0;
            break;
        case PF_Param_POPUP:
            def.u.pd.value = static_cast<A_long>(value + 0.5);
            break;
        case PF_Param_FLOAT_SLIDER:
            def.u.fs_d.value = value;
            break;
        default:
            return false;
    }
    markChanged(def);
    return writeOneD(call, position, value, reason);
}

PF_Err clearPointExpressions(EffectCall& call, int count) {
    const AEGP_PluginID pluginId = pluginIdOf(call);
    if (pluginId == 0 || isPremiere(call.in_data)) return PF_Err_NONE;
    const StreamSuites suites = streamSuites(call.suites);
    static constexpr A_UTF16Char kNoExpression[] = {0};
    PF_Err firstErr = PF_Err_NONE;
    const auto remember = [&firstErr](A_Err err) {
        if (firstErr == PF_Err_NONE) firstErr = err;
    };
    const int slots = std::clamp(count, 0, param::kPointSlots);
    for (int slot = 0; slot < slots; ++slot) {
        for (const int position : {param::pointPosition(slot), param::rotationPosition(slot)}) {
            EffectStream target(suites, pluginId, call.in_data->effect_ref, position);
            if (!target.ok()) {
                remember(target.effectErr != A_Err_NONE ? target.effectErr : target.streamErr);
                continue;
            }
            A_Boolean canVary = false;
            const A_Err varyErr = suites.stream.AEGP_CanVaryOverTime(target.stream, &canVary);
            remember(varyErr);
            if (varyErr != A_Err_NONE || !canVary) continue;
            remember(suites.stream.AEGP_SetExpression(pluginId, target.stream, kNoExpression));
            remember(suites.stream.AEGP_SetExpressionState(pluginId, target.stream, false));
        }
    }
    return firstErr;
}

}  // namespace zephrin
