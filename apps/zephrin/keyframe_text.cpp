#include "apps/zephrin/keyframe_text.h"

#include <sstream>
#include <vector>

namespace zephrin::app {
namespace {

std::string numberText(double v) {
    std::ostringstream text;
    text << v;
    return text.str();
}

std::string valueText(double v) { return numberText(v); }

std::string valueText(const host::Vec3d& v) {
    return "[" + numberText(v[0]) + ", " + numberText(v[1]) + ", " + numberText(v[2]) + "]";
}

std::string sideText(const char* side, host::KeyInterpolation interpolation, const host::KeyEase& ease) {
    switch (interpolation) {
        case host::KeyInterpolation::Linear: return {};
        case host::KeyInterpolation::Hold: return std::string(side) + " hold";
        case host::KeyInterpolation::Bezier:
            return std::string(side) + " bezier speed " + numberText(ease.speed) + " influence " +
                   numberText(ease.influence) + "%";
    }
    return {};
}

template <typename T>
void printProperty(const char* name, const host::Animated<T>& animated, std::ostream& out) {
    if (animated.keyframes.empty()) return;
    out << "     " << name << " = keyframes";
    for (const host::Keyframe<T>& key : animated.keyframes) {
        out << " " << key.time << "s: " << valueText(key.value) << keyframeShapeText(key.shape, animated.spatial);
    }
    out << "\n";
}

}  // namespace

std::string keyframeShapeText(const host::KeyframeShape& shape, bool spatial) {
    std::vector<std::string> parts;
    for (std::string part : {sideText("in", shape.in, shape.easeIn), sideText("out", shape.out, shape.easeOut)}) {
        if (!part.empty()) parts.push_back(part);
    }
    if (spatial) {
        switch (shape.spatial) {
            case host::SpatialInterpolation::Auto: break;
            case host::SpatialInterpolation::Linear: parts.push_back("linear path"); break;
            case host::SpatialInterpolation::Bezier:
                parts.push_back("tangents in " + valueText(shape.inTangent) + " out " + valueText(shape.outTangent));
                break;
        }
    }
    if (parts.empty()) return {};
    std::string text = " (";
    for (std::size_t i = 0; i < parts.size(); ++i) text += (i == 0 ? "" : ", ") + parts[i];
    return text + ")";
}

void printLayerKeyframes(const host::Layer& layer, std::ostream& out) {
    const host::Transform& t = layer.transform;
    printProperty("anchorPoint", t.anchorPoint, out);
    printProperty("position", t.position, out);
    printProperty("scale", t.scale, out);
    printProperty("orientation", t.orientation, out);
    printProperty("rotationX", t.rotationX, out);
    printProperty("rotationY", t.rotationY, out);
    printProperty("rotationZ", t.rotationZ, out);
    printProperty("opacity", t.opacity, out);
    if (t.hasPointOfInterest) printProperty("pointOfInterest", t.pointOfInterest, out);
    switch (layer.type) {
        case host::LayerType::AV: {
            const host::Material& m = layer.material;
            printProperty("ambient", m.ambient, out);
            printProperty("diffuse", m.diffuse, out);
            printProperty("specularIntensity", m.specularIntensity, out);
            printProperty("specularShininess", m.specularShininess, out);
            printProperty("lightTransmission", m.lightTransmission, out);
            break;
        }
        case host::LayerType::Camera: {
            const host::CameraOptions& c = layer.camera;
            printProperty("zoom", c.zoom, out);
            printProperty("depthOfField", c.depthOfField, out);
            printProperty("focusDistance", c.focusDistance, out);
            printProperty("aperture", c.aperture, out);
            printProperty("blurLevel", c.blurLevel, out);
            break;
        }
        case host::LayerType::Light: {
            const host::LightOptions& l = layer.light;
            printProperty("intensity", l.intensity, out);
            printProperty("color", l.color, out);
            printProperty("coneAngle", l.coneAngle, out);
            printProperty("coneFeather", l.coneFeather, out);
            printProperty("radius", l.radius, out);
            printProperty("falloffDistance", l.falloffDistance, out);
            printProperty("shadowDarkness", l.shadowDarkness, out);
            printProperty("shadowDiffusion", l.shadowDiffusion, out);
            break;
        }
        case host::LayerType::Null: break;
    }
}

}  // namespace zephrin::app
