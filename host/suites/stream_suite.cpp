#include "host/suites/stream_suite.h"

#include "host/animated_value.h"
#include "host/layer_transform.h"
#include "host/suites/effect_stream_suite.h"
#include "host/suites/host_state.h"

namespace zephrin::host {
namespace {

struct StreamAnswer {
    AEGP_StreamVal& value;
    AEGP_StreamType& type;

    A_Err number(double v) {
        value.one_d = v;
        type = AEGP_StreamType_OneD;
        return A_Err_NONE;
    }
    A_Err flag(bool on) { return number(on ? 1.0 : 0.0); }
    A_Err point(const Vec3d& v, AEGP_StreamType pointType) {
        value.three_d = AEGP_ThreeDVal{v[0], v[1], v[2]};
        type = pointType;
        return A_Err_NONE;
    }
    A_Err color(const Color3& c) {
        value.color = AEGP_ColorVal{1.0, c[0], c[1], c[2]};
        type = AEGP_StreamType_COLOR;
        return A_Err_NONE;
    }
};

bool isAvLayer(const Layer& layer) { return layer.type == LayerType::AV || layer.type == LayerType::Null; }

A_Err transformStream(const Layer& layer, AEGP_LayerStream stream, double t, StreamAnswer& answer) {
    const Transform& x = layer.transform;
    switch (stream) {
        case AEGP_LayerStream_ANCHORPOINT:
            if (isAvLayer(layer)) return answer.point(valueAt(x.anchorPoint, t), AEGP_StreamType_ThreeD_SPATIAL);
            if (!x.hasPointOfInterest) return A_Err_PARAMETER;
            return answer.point(valueAt(x.pointOfInterest, t), AEGP_StreamType_ThreeD_SPATIAL);
        case AEGP_LayerStream_POSITION: return answer.point(valueAt(x.position, t), AEGP_StreamType_ThreeD_SPATIAL);
        case AEGP_LayerStream_ORIENTATION: return answer.point(valueAt(x.orientation, t), AEGP_StreamType_ThreeD);
        case AEGP_LayerStream_ROTATE_X: return answer.number(valueAt(x.rotationX, t));
        case AEGP_LayerStream_ROTATE_Y: return answer.number(valueAt(x.rotationY, t));
        case AEGP_LayerStream_ROTATE_Z: return answer.number(valueAt(x.rotationZ, t));
        case AEGP_LayerStream_SCALE:
            if (!isAvLayer(layer)) return A_Err_PARAMETER;
            return answer.point(valueAt(x.scale, t), AEGP_StreamType_ThreeD);
        case AEGP_LayerStream_OPACITY:
            if (!isAvLayer(layer)) return A_Err_PARAMETER;
            return answer.number(valueAt(x.opacity, t));
        default: return A_Err_PARAMETER;
    }
}

A_Err materialStream(const Material& m, AEGP_LayerStream stream, double t, StreamAnswer& answer) {
    switch (stream) {
        case AEGP_LayerStream_ACCEPTS_SHADOWS: return answer.flag(m.acceptsShadows);
        case AEGP_LayerStream_ACCEPTS_LIGHTS: return answer.flag(m.acceptsLights);
        case AEGP_LayerStream_AMBIENT_COEFF: return answer.number(valueAt(m.ambient, t));
        case AEGP_LayerStream_DIFFUSE_COEFF: return answer.number(valueAt(m.diffuse, t));
        case AEGP_LayerStream_SPECULAR_INTENSITY: return answer.number(valueAt(m.specularIntensity, t));
        case AEGP_LayerStream_SPECULAR_SHININESS: return answer.number(valueAt(m.specularShininess, t));
        case AEGP_LayerStream_LIGHT_TRANSMISSION: return answer.number(valueAt(m.lightTransmission, t));
        case AEGP_LayerStream_CASTS_SHADOWS: return answer.number(static_cast<double>(m.castsShadows));
        default: return A_Err_PARAMETER;
    }
}

A_Err cameraStream(const Composition& comp, const Layer& layer, AEGP_LayerStream stream, double t,
                   StreamAnswer& answer) {
    const CameraOptions& c = layer.camera;
    switch (stream) {
        case AEGP_LayerStream_ZOOM: return answer.number(cameraZoom(comp, layer, t));
        case AEGP_LayerStream_DEPTH_OF_FIELD: return answer.number(valueAt(c.depthOfField, t));
        case AEGP_LayerStream_FOCUS_DISTANCE: return answer.number(valueAt(c.focusDistance, t));
        case AEGP_LayerStream_APERTURE: return answer.number(valueAt(c.aperture, t));
        case AEGP_LayerStream_BLUR_LEVEL: return answer.number(valueAt(c.blurLevel, t));
        default: return A_Err_PARAMETER;
    }
}

A_Err lightStream(const LightOptions& l, AEGP_LayerStream stream, double t, StreamAnswer& answer) {
    switch (stream) {
        case AEGP_LayerStream_INTENSITY: return answer.number(valueAt(l.intensity, t));
        case AEGP_LayerStream_COLOR: return answer.color(valueAt(l.color, t));
        case AEGP_LayerStream_CONE_ANGLE: return answer.number(valueAt(l.coneAngle, t));
        case AEGP_LayerStream_CONE_FEATHER: return answer.number(valueAt(l.coneFeather, t));
        case AEGP_LayerStream_SHADOW_DARKNESS: return answer.number(valueAt(l.shadowDarkness, t));
        case AEGP_LayerStream_SHADOW_DIFFUSION: return answer.number(valueAt(l.shadowDiffusion, t));
        case AEGP_LayerStream_CASTS_SHADOWS: return answer.flag(l.castsShadows);
        case AEGP_LayerStream_LIGHT_FALLOFF_TYPE: return answer.number(static_cast<double>(l.falloff));
        case AEGP_LayerStream_LIGHT_FALLOFF_RADIUS: return answer.number(valueAt(l.radius, t));
        case AEGP_LayerStream_LIGHT_FALLOFF_DISTANCE: return answer.number(valueAt(l.falloffDistance, t));
        default: return A_Err_PARAMETER;
    }
}

A_Err getLayerStreamValue(AEGP_LayerH layerH, AEGP_LayerStream stream, AEGP_LTimeMode /*timeMode*/,
                          const A_Time* timePT, A_Boolean /*preExpression*/, AEGP_StreamVal* valueP,
                          AEGP_StreamType* typeP0) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        if (typeP0 != nullptr) *typeP0 = AEGP_StreamType_NO_DATA;
        const LayerRef* layer = findLayer(state, layerH);
        double seconds = 0.0;
        if (layer == nullptr || valueP == nullptr || !secondsOf(timePT, seconds)) return A_Err_PARAMETER;
        AEGP_StreamVal value{};
        AEGP_StreamType type = AEGP_StreamType_NO_DATA;
        A_Err err = layerStreamValue(*layer->owner->comp, layerOf(*layer), stream, seconds, value, type);
        if (err != A_Err_NONE) return err;
        *valueP = value;
        if (typeP0 != nullptr) *typeP0 = type;
        return A_Err_NONE;
    });
}

AEGP_StreamSuite7 makeStreamSuite7() {
    AEGP_StreamSuite7 suite{};
    suite.AEGP_GetLayerStreamValue = getLayerStreamValue;
    return suite;
}
AEGP_StreamSuite11 makeStreamSuite11() {
    AEGP_StreamSuite11 suite{};
    suite.AEGP_GetLayerStreamValue = getLayerStreamValue;
    suite.AEGP_GetNewEffectStreamByIndex = getNewEffectStreamByIndex;
    suite.AEGP_DisposeStream = disposeStream;
    suite.AEGP_GetStreamType = getStreamType;
    suite.AEGP_CanVaryOverTime = canVaryOverTime;
    suite.AEGP_GetNewStreamValue = getNewStreamValue;
    suite.AEGP_DisposeStreamValue = disposeStreamValue;
    suite.AEGP_SetStreamValue = setStreamValue;
    suite.AEGP_SetExpressionState = setExpressionState;
    suite.AEGP_SetExpression = setExpression;
    suite.AEGP_GetEffectNumParamStreams = getEffectNumParamStreams;
    return suite;
}

}  // namespace

const AEGP_StreamSuite7& streamSuite7() {
    static const AEGP_StreamSuite7 suite = makeStreamSuite7();
    return suite;
}
const AEGP_StreamSuite11& streamSuite11() {
    static const AEGP_StreamSuite11 suite = makeStreamSuite11();
    return suite;
}

A_Err layerStreamValue(const Composition& comp, const Layer& layer, AEGP_LayerStream stream, double seconds,
                       AEGP_StreamVal& value, AEGP_StreamType& type) {
    StreamAnswer answer{value, type};
    if (transformStream(layer, stream, seconds, answer) == A_Err_NONE) return A_Err_NONE;
    switch (layer.type) {
        case LayerType::AV:
        case LayerType::Null: return materialStream(layer.material, stream, seconds, answer);
        case LayerType::Camera: return cameraStream(comp, layer, stream, seconds, answer);
        case LayerType::Light: return lightStream(layer.light, stream, seconds, answer);
    }
    return A_Err_PARAMETER;
}

}  // namespace zephrin::host
