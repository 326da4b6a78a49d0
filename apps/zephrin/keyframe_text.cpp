#include "apps/zephrin/keyframe_text.h"

#include <initializer_list>
#include <sstream>
#include <utility>
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
        case host::KeyInterpolation::Linear:
            return {};
        case host::KeyInterpolation::Hold:
            return std::string(side) + " hold";
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

using NamedNumber = std::pair<const char*, const host::AnimatedNumber*>;

void printNumbers(std::initializer_list<NamedNumber> properties, std::ostream& out) {
    for (const auto& [name, property] : properties) printProperty(name, *property, out);
}

}  // namespace

std::string keyframeShapeText(const host::KeyframeShape& shape, bool spatial) {
    std::vector<std::string> parts;
    for (std::string part : {sideText("in", shape.in, shape.easeIn), sideText("out", shape.out, shape.easeOut)}) {
        if (!part.empty()) parts.push_back(part);
    }
    if (spatial) {
        switch (shape.spatial) {
            case host::SpatialInterpolation::Auto:
                break;
            case host::SpatialInterpolation::Linear:
                parts.push_back("linear path");
                break;
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
    printNumbers({{"rotationX", &t.rotationX},
                  {"rotationY", &t.rotationY},
                  {"rotationZ", &t.rotationZ},
                  {"opacity", &t.opacity}},
                 out);
    if (t.hasPointOfInterest) printProperty("pointOfInterest", t.pointOfInterest, out);
    const host::Material& m = layer.material;
    const host::CameraOptions& c = layer.camera;
    const host::LightOptions& l = layer.light;
    switch (layer.type) {
        case host::LayerType::AV:
            printNumbers({{"ambient", &m.ambient},
                          {"diffuse", &m.diffuse},
                          {"specularIntensity", &m.specularIntensity},
                          {"specularShininess", &m.specularShininess},
                          {"lightTransmission", &m.lightTransmission}},
                         out);
            break;
        case host::LayerType::Camera:
            printNumbers({{"zoom", &c.zoom},
                          {"depthOfField", &c.depthOfField},
                          {"focusDistance", &c.focusDistance},
                          {"aperture", &c.aperture},
                          {"blurLevel", &c.blurLevel}},
                         out);
            break;
        case host::LayerType::Light:
            printNumbers({{"intensity", &l.intensity}}, out);
            printProperty("color", l.color, out);
            printNumbers({{"coneAngle", &l.coneAngle},
                          {"coneFeather", &l.coneFeather},
                          {"radius", &l.radius},
                          {"falloffDistance", &l.falloffDistance},
                          {"shadowDarkness", &l.shadowDarkness},
                          {"shadowDiffusion", &l.shadowDiffusion}},
                         out);
            break;
        case host::LayerType::Null:
            break;
    }
}

}  // namespace zephrin::app
