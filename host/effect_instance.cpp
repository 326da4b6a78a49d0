#include "host/effect_instance.h"

#include <algorithm>
#include <cmath>

namespace zephrin::host {
namespace {

// Keyframes closer than this (seconds) are the same keyframe: host times are rationals of whole frames.
constexpr double kSameKeyTimeSeconds = 1e-9;

double lerp(double a, double b, double t) { return a + (b - a) * t; }

AEGP_StreamVal interpolate(AEGP_StreamType type, const AEGP_StreamVal& a, const AEGP_StreamVal& b, double t) {
    AEGP_StreamVal out = a;
    switch (type) {
        case AEGP_StreamType_OneD: out.one_d = lerp(a.one_d, b.one_d, t); break;
        case AEGP_StreamType_TwoD:
        case AEGP_StreamType_TwoD_SPATIAL:
            out.two_d = AEGP_TwoDVal{lerp(a.two_d.x, b.two_d.x, t), lerp(a.two_d.y, b.two_d.y, t)};
            break;
        case AEGP_StreamType_ThreeD:
        case AEGP_StreamType_ThreeD_SPATIAL:
            out.three_d = AEGP_ThreeDVal{lerp(a.three_d.x, b.three_d.x, t), lerp(a.three_d.y, b.three_d.y, t),
                                         lerp(a.three_d.z, b.three_d.z, t)};
            break;
        case AEGP_StreamType_COLOR:
            out.color = AEGP_ColorVal{lerp(a.color.alphaF, b.color.alphaF, t), lerp(a.color.redF, b.color.redF, t),
                                      lerp(a.color.greenF, b.color.greenF, t), lerp(a.color.blueF, b.color.blueF, t)};
            break;
        default: break;  // layer ids and no-data streams hold
    }
    return out;
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
    if (!(seconds > keys.front().first)) return keys.front().second;
    if (seconds >= keys.back().first) return keys.back().second;
    auto after = std::upper_bound(keys.begin(), keys.end(), seconds,
                                  [](double t, const auto& key) { return t < key.first; });
    auto before = std::prev(after);
    if (holdsBetweenKeys(stream)) return before->second;
    double span = after->first - before->first;
    double t = span > 0.0 ? (seconds - before->first) / span : 0.0;
    return interpolate(stream.type, before->second, after->second, t);
}

int32_t setStreamValueAt(EffectStream& stream, double seconds, const AEGP_StreamVal& value) {
    auto& keys = stream.keyframes;
    if (keys.empty()) {
        stream.value = value;
        return -1;
    }
    auto it = std::lower_bound(keys.begin(), keys.end(), seconds - kSameKeyTimeSeconds,
                               [](const auto& key, double t) { return key.first < t; });
    if (it == keys.end() || std::abs(it->first - seconds) > kSameKeyTimeSeconds) {
        it = keys.insert(it, {seconds, value});
    } else {
        it->second = value;
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
