#include "host/effect_instance.h"

#include <algorithm>
#include <cmath>

#include "host/keyframe_curve.h"

namespace zephrin::host {
namespace {

// Keyframes closer than this (seconds) are the same keyframe: host times are rationals of whole frames.
constexpr double kSameKeyTimeSeconds = 1e-9;

double& componentOf(AEGP_StreamVal& v, AEGP_StreamType type, std::size_t i) {
    switch (type) {
        case AEGP_StreamType_TwoD:
        case AEGP_StreamType_TwoD_SPATIAL: return i == 0 ? v.two_d.x : v.two_d.y;
        case AEGP_StreamType_ThreeD:
        case AEGP_StreamType_ThreeD_SPATIAL: return i == 0 ? v.three_d.x : i == 1 ? v.three_d.y : v.three_d.z;
        case AEGP_StreamType_COLOR:
            return i == 0 ? v.color.alphaF : i == 1 ? v.color.redF : i == 2 ? v.color.greenF : v.color.blueF;
        default: return v.one_d;
    }
}

// The stream value's numeric components for the keyframe evaluation, one table per stream type.
template <AEGP_StreamType Type>
ValueComponents<AEGP_StreamVal> componentsFor(std::size_t count) {
    return ValueComponents<AEGP_StreamVal>{
        count,
        [](const AEGP_StreamVal& v, std::size_t i) {
            AEGP_StreamVal copy = v;
            return componentOf(copy, Type, i);
        },
        [](AEGP_StreamVal& v, std::size_t i, double x) { componentOf(v, Type, i) = x; }};
}

const ValueComponents<AEGP_StreamVal>* componentsOf(AEGP_StreamType type) {
    static const ValueComponents<AEGP_StreamVal> oneD = componentsFor<AEGP_StreamType_OneD>(1);
    static const ValueComponents<AEGP_StreamVal> twoD = componentsFor<AEGP_StreamType_TwoD>(2);
    static const ValueComponents<AEGP_StreamVal> threeD = componentsFor<AEGP_StreamType_ThreeD>(3);
    static const ValueComponents<AEGP_StreamVal> color = componentsFor<AEGP_StreamType_COLOR>(4);
    switch (type) {
        case AEGP_StreamType_OneD: return &oneD;
        case AEGP_StreamType_TwoD:
        case AEGP_StreamType_TwoD_SPATIAL: return &twoD;
        case AEGP_StreamType_ThreeD:
        case AEGP_StreamType_ThreeD_SPATIAL: return &threeD;
        case AEGP_StreamType_COLOR: return &color;
        default: return nullptr;  // layer ids and no-data streams hold
    }
}

bool isSpatial(AEGP_StreamType type) {
    return type == AEGP_StreamType_TwoD_SPATIAL || type == AEGP_StreamType_ThreeD_SPATIAL;
}

bool holdsBetweenKeys(const EffectStream& stream) {
    return stream.paramType == PF_Param_POPUP || stream.paramType == PF_Param_CHECKBOX ||
           stream.type == AEGP_StreamType_LAYER_ID;
}

A_u_char channelOf(double component) {
    double scaled = std::clamp(component, 0.0, 1.0) * 255.0 + 0.5;
    return static_cast<A_u_char>(scaled);
}

}  // namespace

AEGP_StreamType streamTypeForParam(PF_ParamType type) {
    switch (type) {
        case PF_Param_SLIDER:
        case PF_Param_FIX_SLIDER:
        case PF_Param_FLOAT_SLIDER:
        case PF_Param_POPUP:
        case PF_Param_CHECKBOX:
        case PF_Param_ANGLE: return AEGP_StreamType_OneD;
        case PF_Param_POINT_3D: return AEGP_StreamType_ThreeD_SPATIAL;
        case PF_Param_POINT: return AEGP_StreamType_TwoD_SPATIAL;
        case PF_Param_COLOR: return AEGP_StreamType_COLOR;
        case PF_Param_LAYER: return AEGP_StreamType_LAYER_ID;
        default: return AEGP_StreamType_NO_DATA;
    }
}

AEGP_ColorVal colorOfPixel(const PF_Pixel& pixel) {
    return AEGP_ColorVal{pixel.alpha / 255.0, pixel.red / 255.0, pixel.green / 255.0, pixel.blue / 255.0};
}

PF_Pixel pixelOfColor(const AEGP_ColorVal& color) {
    return PF_Pixel{channelOf(color.alphaF), channelOf(color.redF), channelOf(color.greenF), channelOf(color.blueF)};
}

AEGP_StreamVal streamValueOfParam(const PF_ParamDef& def) {
    AEGP_StreamVal value{};
    switch (def.param_type) {
        case PF_Param_FLOAT_SLIDER: value.one_d = def.u.fs_d.value; break;
        case PF_Param_POPUP: value.one_d = def.u.pd.value; break;
        case PF_Param_CHECKBOX: value.one_d = def.u.bd.value; break;
        case PF_Param_ANGLE: value.one_d = def.u.ad.value / 65536.0; break;
        case PF_Param_POINT_3D:
            value.three_d = AEGP_ThreeDVal{def.u.point3d_d.x_value, def.u.point3d_d.y_value, def.u.point3d_d.z_value};
            break;
        case PF_Param_COLOR: value.color = colorOfPixel(def.u.cd.value); break;
        default: break;
    }
    return value;
}

AEGP_StreamVal streamDefaultOfParam(const PF_ParamDef& def) {
    AEGP_StreamVal value{};
    switch (def.param_type) {
        case PF_Param_FLOAT_SLIDER: value.one_d = def.u.fs_d.dephault; break;
        case PF_Param_POPUP: value.one_d = def.u.pd.dephault; break;
        case PF_Param_CHECKBOX: value.one_d = def.u.bd.dephault; break;
        case PF_Param_ANGLE: value.one_d = def.u.ad.dephault / 65536.0; break;
        case PF_Param_POINT_3D:
            value.three_d =
                AEGP_ThreeDVal{def.u.point3d_d.x_dephault, def.u.point3d_d.y_dephault, def.u.point3d_d.z_dephault};
            break;
        case PF_Param_COLOR: value.color = colorOfPixel(def.u.cd.dephault); break;
        default: break;
    }
    return value;
}

EffectStream streamForParam(const PF_ParamDef& def, bool useValue) {
    EffectStream stream;
    stream.paramType = def.param_type;
    stream.type = streamTypeForParam(def.param_type);
    stream.value = useValue ? streamValueOfParam(def) : streamDefaultOfParam(def);
    stream.canVary = stream.type != AEGP_StreamType_NO_DATA && (def.flags & PF_ParamFlag_CANNOT_TIME_VARY) == 0;
    return stream;
}

AEGP_StreamVal streamValueAt(const EffectStream& stream, double seconds) {
    const auto& keys = stream.keyframes;
    if (keys.empty()) return stream.value;
    const ValueComponents<AEGP_StreamVal>* components = componentsOf(stream.type);
    if (holdsBetweenKeys(stream) || components == nullptr) {
        if (!(seconds > keys.front().time)) return keys.front().value;
        auto after = std::upper_bound(keys.begin(), keys.end(), seconds,
                                      [](double t, const auto& key) { return t < key.time; });
        return std::prev(after)->value;
    }
    return keyframedValue(keys, isSpatial(stream.type), seconds, *components);
}

int32_t setStreamValueAt(EffectStream& stream, double seconds, const AEGP_StreamVal& value) {
    auto& keys = stream.keyframes;
    if (keys.empty()) {
        stream.value = value;
        return -1;
    }
    auto it = std::lower_bound(keys.begin(), keys.end(), seconds - kSameKeyTimeSeconds,
                               [](const auto& key, double t) { return key.time < t; });
    if (it == keys.end() || std::abs(it->time - seconds) > kSameKeyTimeSeconds) {
        it = keys.insert(it, Keyframe<AEGP_StreamVal>{seconds, value});
    } else {
        it->value = value;
    }
    return static_cast<int32_t>(it - keys.begin());
}

PF_ParamDef paramAt(const PF_ParamDef& registered, const EffectStream& stream, double seconds) {
    PF_ParamDef def = registered;
    def.uu.change_flags = PF_ChangeFlag_NONE;
    AEGP_StreamVal v = streamValueAt(stream, seconds);
    switch (def.param_type) {
        case PF_Param_FLOAT_SLIDER: def.u.fs_d.value = v.one_d; break;
        case PF_Param_POPUP: def.u.pd.value = static_cast<PF_ParamValue>(std::lround(v.one_d)); break;
        case PF_Param_CHECKBOX: def.u.bd.value = v.one_d >= 0.5 ? 1 : 0; break;
        case PF_Param_ANGLE: def.u.ad.value = static_cast<PF_Fixed>(std::lround(v.one_d * 65536.0)); break;
        case PF_Param_POINT_3D:
            def.u.point3d_d.x_value = v.three_d.x;
            def.u.point3d_d.y_value = v.three_d.y;
            def.u.point3d_d.z_value = v.three_d.z;
            break;
        case PF_Param_COLOR: def.u.cd.value = pixelOfColor(v.color); break;
        default: break;
    }
    return def;
}

}  // namespace zephrin::host
