#include "host/scene_keys.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "host/footage.h"

namespace zephrin::host {
namespace {

using K = SceneValueKind;
using scenejson::Json;
using scenejson::memberPath;

constexpr std::string_view kLayerTypes[] = {"av", "camera", "light", "null"};
constexpr std::string_view kLightTypes[] = {"parallel", "spot", "point", "ambient"};
constexpr std::string_view kFalloffs[] = {"none", "smooth", "inverseSquareClamped"};
constexpr std::string_view kCastsShadows[] = {"off", "on", "only"};

const SceneKey kSolid[] = {
    {"color", K::ColorRgb, false, "red, green, blue 0 to 1; default [1, 1, 1]"},
    {"width", K::WholeNumber, true, "pixels", {}, 1, kMaxFootageSide},
    {"height", K::WholeNumber, true, "pixels", {}, 1, kMaxFootageSide},
};

const SceneKey kFootageEntry[] = {
    {"solid", K::Object, false, "a plain card of one colour", {}, 0, 0, &kSolidKeys},
    {"file", K::Text, false,
     "an image (PNG, JPEG, TIFF, OpenEXR; a run of # numbers a sequence) or an OBJ model, relative to the scene file"},
};

const SceneKey kComposition[] = {
    {"name", K::Text, false, "default \"Composition\""},
    {"width", K::WholeNumber, true, "pixels", {}, 1, kMaxFootageSide},
    {"height", K::WholeNumber, true, "pixels", {}, 1, kMaxFootageSide},
    {"frameRate", K::PositiveNumber, true, "frames per second"},
    {"duration", K::PositiveNumber, true, "seconds"},
    {"startFrame", K::WholeNumber, false, "the number of the first frame; default 0", {}, 0, kMaxStartFrame},
    {"background", K::ColorRgba, false, "red, green, blue, alpha 0 to 1; default [0, 0, 0, 0]"},
};

const SceneKey kTransform[] = {
    {"anchorPoint", K::AnimatedPoint, false, "pixels in the layer; default the middle of the source"},
    {"position", K::AnimatedPoint, false, "pixels in the composition; default [0, 0, 0]"},
    {"scale", K::AnimatedVector, false, "percent; default [100, 100, 100]"},
    {"orientation", K::AnimatedVector, false, "degrees; 3D layers; default [0, 0, 0]"},
    {"rotationX", K::AnimatedScalar, false, "degrees; 3D layers; default 0"},
    {"rotationY", K::AnimatedScalar, false, "degrees; 3D layers; default 0"},
    {"rotationZ", K::AnimatedScalar, false, "degrees; default 0"},
    {"opacity", K::AnimatedScalar, false, "percent; default 100"},
    {"pointOfInterest", K::AnimatedPoint, false, "pixels; cameras and lights turn to face it"},
};

const SceneKey kMaterial[] = {
    {"castsShadows", K::ChoiceOrFlag, false, "default \"off\"", kCastsShadows},
    {"acceptsShadows", K::Flag, false, "default true"},
    {"acceptsLights", K::Flag, false, "default true"},
    {"ambient", K::AnimatedScalar, false, "percent; default 100"},
    {"diffuse", K::AnimatedScalar, false, "percent; default 50"},
    {"specularIntensity", K::AnimatedScalar, false, "percent; default 50"},
    {"specularShininess", K::AnimatedScalar, false, "percent; default 5"},
    {"lightTransmission", K::AnimatedScalar, false, "percent; default 0"},
};

const SceneKey kCamera[] = {
    {"zoom", K::AnimatedScalar, false, "pixels; default: the host's default for the composition"},
    {"depthOfField", K::AnimatedSwitch, false, "default off"},
    {"focusDistance", K::AnimatedScalar, false, "pixels; default 2000"},
    {"aperture", K::AnimatedScalar, false, "pixels; default 25"},
    {"blurLevel", K::AnimatedScalar, false, "percent; default 100"},
};

const SceneKey kLight[] = {
    {"lightType", K::Choice, false, "default \"point\"", kLightTypes},
    {"intensity", K::AnimatedScalar, false, "percent; default 100"},
    {"color", K::AnimatedColor, false, "red, green, blue 0 to 1; default [1, 1, 1]"},
    {"coneAngle", K::AnimatedScalar, false, "degrees; default 90"},
    {"coneFeather", K::AnimatedScalar, false, "percent; default 50"},
    {"falloff", K::Choice, false, "default \"none\"", kFalloffs},
    {"radius", K::AnimatedScalar, false, "pixels; default 500"},
    {"falloffDistance", K::AnimatedScalar, false, "pixels; default 500"},
    {"castsShadows", K::Flag, false, "default false"},
    {"shadowDarkness", K::AnimatedScalar, false, "percent; default 100"},
    {"shadowDiffusion", K::AnimatedScalar, false, "pixels; default 0"},
};

const SceneKey kEffect[] = {
    {"matchName", K::Text, true, "\"com.tavik.ZephrinSurface\" for the Zephrin effect"},
    {"params", K::AnyObject, false,
     "parameter values by label, \"Group/Label\" or position (see zephrin params); each a value or keyframes"},
    {"savedBeforeParams", K::Flag, false, "a project saved before the newer parameters existed; default false"},
    {"enabled", K::Flag, false, "default true"},
};

const SceneKey kLayer[] = {
    {"name", K::Text, false, "default: the source's name, or Camera, Light, Null"},
    {"type", K::Choice, true, "", kLayerTypes},
    {"source", K::Text, false, "the footage an av layer shows (required for av layers)"},
    {"threeD", K::Flag, false, "default false; cameras and lights are always 3D"},
    {"videoOn", K::Flag, false, "default true"},
    {"adjustment", K::Flag, false, "default false"},
    {"guide", K::Flag, false, "default false"},
    {"inPoint", K::Number, false, "seconds; default 0"},
    {"outPoint", K::Number, false, "seconds, after inPoint; default: to the end"},
    {"parent", K::Text, false, "the name of the layer this one follows"},
    {"transform", K::Object, false, "", {}, 0, 0, &kTransformKeys},
    {"material", K::Object, false, "av layers", {}, 0, 0, &kMaterialKeys},
    {"camera", K::Object, false, "camera layers", {}, 0, 0, &kCameraKeys},
    {"light", K::Object, false, "light layers", {}, 0, 0, &kLightKeys},
    {"effects", K::ObjectList, false, "av and null layers, applied top to bottom", {}, 0, 0, &kEffectKeys},
};

const SceneKey kRoot[] = {
    {"format", K::FormatName, true, ""},
    {"version", K::FormatVersion, true, ""},
    {"composition", K::Object, true, "", {}, 0, 0, &kCompositionKeys},
    {"footage", K::ObjectMap, false, "footage items by name", {}, 0, 0, &kFootageEntryKeys},
    {"layers", K::ObjectList, false, "top layer first", {}, 0, 0, &kLayerKeys},
};

std::string choiceList(std::span<const std::string_view> choices) {
    std::string text;
    for (std::size_t i = 0; i < choices.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == choices.size() ? " or " : ", ") + std::string(choices[i]);
    }
    return text;
}

void checkValue(const scenejson::Reader& r, const SceneKey& key, const Json& value, const std::string& path) {
    switch (key.kind) {
        case K::Text: r.string(value, path); break;
        case K::Flag: r.boolean(value, path); break;
        case K::Number: r.number(value, path); break;
        case K::PositiveNumber: r.positiveNumber(value, path); break;
        case K::WholeNumber: r.wholeNumber(value, path, key.min, key.max); break;
        case K::ColorRgb: r.color3(value, path); break;
        case K::ColorRgba: r.color4(value, path); break;
        case K::AnimatedScalar: r.animatedNumber(value, path); break;
        case K::AnimatedSwitch: r.animatedSwitch(value, path); break;
        case K::AnimatedVector: r.animatedVec3(value, path); break;
        case K::AnimatedColor: r.animatedColor3(value, path); break;
        case K::Object:
        case K::AnyObject:
            if (!value.is_object()) r.fail(path, "expected an object");
            break;
        case K::ObjectMap:
            if (!value.is_object()) r.fail(path, "expected an object");
            break;
        case K::ObjectList:
            if (!value.is_array()) r.fail(path, "expected a list of " + std::string(key.name));
            break;
        // Read where their meaning is known: the document's identity first of all, choices by the reader
        // that maps them, and positions by the transform reader, which knows which take a path.
        case K::FormatName:
        case K::FormatVersion:
        case K::Choice:
        case K::ChoiceOrFlag:
        case K::AnimatedPoint: break;
    }
}

}  // namespace

const std::span<const std::string_view> kLayerTypeNames{kLayerTypes};
const std::span<const std::string_view> kLightTypeNames{kLightTypes};
const std::span<const std::string_view> kFalloffNames{kFalloffs};
const std::span<const std::string_view> kCastsShadowsNames{kCastsShadows};

const SceneKeyTable kSceneRootKeys{"scene", "one composition with its footage and layers", kRoot};
const SceneKeyTable kCompositionKeys{"composition", "size, timing and background", kComposition};
const SceneKeyTable kFootageEntryKeys{"footage", "a solid or a file", kFootageEntry, true};
const SceneKeyTable kSolidKeys{"solid", "a plain card", kSolid};
const SceneKeyTable kLayerKeys{"layer", "one layer", kLayer};
const SceneKeyTable kTransformKeys{"transform", "the layer's transform", kTransform};
const SceneKeyTable kMaterialKeys{"material", "material options of an av layer", kMaterial};
const SceneKeyTable kCameraKeys{"camera", "camera options", kCamera};
const SceneKeyTable kLightKeys{"light", "light options", kLight};
const SceneKeyTable kEffectKeys{"effect", "an effect applied to the layer", kEffect};

const SceneKey& sceneKey(const SceneKeyTable& table, std::string_view name) {
    for (const SceneKey& key : table.keys) {
        if (key.name == name) return key;
    }
    // Only ever asked for names written beside the tables; a typo there is a programming error.
    throw std::logic_error("no scene key \"" + std::string(name) + "\" in " + std::string(table.name));
}

void checkSceneObject(const scenejson::Reader& r, const Json& object, const std::string& path,
                      const SceneKeyTable& table) {
    std::vector<std::string_view> names;
    for (const SceneKey& key : table.keys) names.push_back(key.name);
    r.expectKeys(object, path, names);
    for (const SceneKey& key : table.keys) {
        if (key.required) r.require(object, path, key.name);
    }
    for (const auto& [name, value] : object.items()) {
        checkValue(r, sceneKey(table, name), value, memberPath(path, name));
    }
}

std::size_t sceneChoice(const scenejson::Reader& r, const Json& value, const std::string& path,
                        std::span<const std::string_view> choices, std::string_view what) {
    std::string given = r.string(value, path);
    auto it = std::find(choices.begin(), choices.end(), given);
    if (it == choices.end()) {
        r.fail(path, "unknown " + std::string(what) + " \"" + given + "\" (expected " + choiceList(choices) + ")");
    }
    return static_cast<std::size_t>(it - choices.begin());
}

}  // namespace zephrin::host
