#include "host/scene_file.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "host/footage.h"
#include "host/footage_sequence.h"
#include "host/scene_file_json.h"

namespace zephrin::host {

namespace {

using scenejson::elementPath;
using scenejson::Json;
using scenejson::memberPath;
using scenejson::Reader;

constexpr std::string_view kFormat = kSceneFormatName;
constexpr int kVersion = kSceneFormatVersion;
// Frame numbers stay well inside 32 bits wherever image headers and farm tools carry them.
constexpr int32_t kMaxStartFrame = 1'000'000'000;

bool isCameraOrLight(LayerType type) { return type == LayerType::Camera || type == LayerType::Light; }

const char* typeName(LayerType type) {
    switch (type) {
        case LayerType::AV:
            return "av";
        case LayerType::Camera:
            return "camera";
        case LayerType::Light:
            return "light";
        case LayerType::Null:
            return "null";
    }
    return "av";
}

const char* defaultLayerName(LayerType type) {
    switch (type) {
        case LayerType::Camera:
            return "Camera";
        case LayerType::Light:
            return "Light";
        case LayerType::Null:
            return "Null";
        case LayerType::AV:
            break;
    }
    return "Layer";
}

const Json* findMember(const Json& object, std::string_view key) {
    auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

void readComposition(const Reader& r, const Json& j, Composition& comp) {
    const std::string path = "composition";
    r.expectKeys(j, path, {"name", "width", "height", "frameRate", "duration", "startFrame", "background"});
    if (const Json* v = findMember(j, "name")) comp.name = r.string(*v, memberPath(path, "name"));
    comp.width = r.wholeNumber(r.require(j, path, "width"), memberPath(path, "width"), 1, kMaxFootageSide);
    comp.height = r.wholeNumber(r.require(j, path, "height"), memberPath(path, "height"), 1, kMaxFootageSide);
    comp.frameRate = r.positiveNumber(r.require(j, path, "frameRate"), memberPath(path, "frameRate"));
    comp.duration = r.positiveNumber(r.require(j, path, "duration"), memberPath(path, "duration"));
    if (const Json* v = findMember(j, "startFrame"))
        comp.startFrame = r.wholeNumber(*v, memberPath(path, "startFrame"), 0, kMaxStartFrame);
    if (const Json* v = findMember(j, "background")) comp.background = r.color4(*v, memberPath(path, "background"));
}

Footage readSolid(const Reader& r, const Json& j, const std::string& path, const std::string& key) {
    r.expectKeys(j, path, {"color", "width", "height"});
    Color3 color{1.0, 1.0, 1.0};
    if (const Json* v = findMember(j, "color")) color = r.color3(*v, memberPath(path, "color"));
    int32_t width = r.wholeNumber(r.require(j, path, "width"), memberPath(path, "width"), 1, kMaxFootageSide);
    int32_t height = r.wholeNumber(r.require(j, path, "height"), memberPath(path, "height"), 1, kMaxFootageSide);
    return makeSolidFootage(key, color, width, height);
}

Footage readFootageFile(const Reader& r, const std::filesystem::path& sceneDirectory, const Json& j,
                        const std::string& path, const std::string& key, double frameRate) {
    std::string given = r.string(j, path);
    if (given.empty()) r.fail(path, "expected a file path");
    std::filesystem::path file = std::filesystem::path(given);
    if (file.is_relative()) file = sceneDirectory / file;
    file = file.lexically_normal();
    std::error_code ec;
    // A still whose name happens to hold '#' stays a still.
    if (isSequencePattern(file) && !std::filesystem::is_regular_file(file, ec)) {
        try {
            return loadImageSequenceFootage(key, file, frameRate);
        } catch (const FootageError& e) {
            r.fail(path, "cannot read image sequence \"" + given + "\": " + e.what());
        }
    }
    if (!std::filesystem::is_regular_file(file, ec)) r.fail(path, "no such file \"" + given + "\"");
    std::string extension = file.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    // The renderer reads OBJ models itself; the host only hands on where the file is.
    if (extension == ".obj") return makeObjFootage(key, file);
    try {
        return loadImageFootage(key, file);
    } catch (const FootageError& e) {
        r.fail(path, "cannot read image \"" + given + "\": " + e.what());
    }
}

void readFootage(const Reader& r, const std::filesystem::path& sceneDirectory, const Json& j, Composition& comp) {
    const std::string path = "footage";
    if (!j.is_object()) r.fail(path, "expected an object");
    for (const auto& [key, entry] : j.items()) {
        const std::string entryPath = memberPath(path, key);
        r.expectKeys(entry, entryPath, {"solid", "file"});
        const Json* solid = findMember(entry, "solid");
        const Json* file = findMember(entry, "file");
        if ((solid == nullptr) == (file == nullptr)) r.fail(entryPath, "expected either \"solid\" or \"file\"");
        Footage footage = solid ? readSolid(r, *solid, memberPath(entryPath, "solid"), key)
                                : readFootageFile(r, sceneDirectory, *file, memberPath(entryPath, "file"), key,
                                                  comp.frameRate);
        comp.footage.emplace(key, std::make_shared<const Footage>(std::move(footage)));
    }
}

LayerType readLayerType(const Reader& r, const Json& j, const std::string& path) {
    std::string name = r.string(j, path);
    if (name == "av") return LayerType::AV;
    if (name == "camera") return LayerType::Camera;
    if (name == "light") return LayerType::Light;
    if (name == "null") return LayerType::Null;
    r.fail(path, "unknown layer type \"" + name + "\" (expected av, camera, light or null)");
}

void readTransform(const Reader& r, const Json& j, const std::string& path, Layer& layer) {
    r.expectKeys(j, path,
                 {"anchorPoint", "position", "scale", "orientation", "rotationX", "rotationY", "rotationZ", "opacity",
                  "pointOfInterest"});
    Transform& t = layer.transform;
    bool cameraOrLight = isCameraOrLight(layer.type);
    for (const auto& [key, value] : j.items()) {
        const std::string p = memberPath(path, key);
        // Values the host would not show for this layer are refused rather than silently dropped.
        if (cameraOrLight && (key == "anchorPoint" || key == "scale" || key == "opacity"))
            r.fail(p, std::string("a ") + typeName(layer.type) + " layer has no " + key);
        if (!cameraOrLight && key == "pointOfInterest") r.fail(p, "only cameras and lights have a point of interest");
        if (!layer.threeD && (key == "orientation" || key == "rotationX" || key == "rotationY"))
            r.fail(p, "a 2D layer has no " + key + "; set \"threeD\": true");

        if (key == "anchorPoint") {
            t.anchorPoint = r.animatedVec3(value, p);
        } else if (key == "position") {
            t.position = r.animatedVec3(value, p);
        } else if (key == "scale") {
            t.scale = r.animatedVec3(value, p);
        } else if (key == "orientation") {
            t.orientation = r.animatedVec3(value, p);
        } else if (key == "rotationX") {
            t.rotationX = r.animatedNumber(value, p);
        } else if (key == "rotationY") {
            t.rotationY = r.animatedNumber(value, p);
        } else if (key == "rotationZ") {
            t.rotationZ = r.animatedNumber(value, p);
        } else if (key == "opacity") {
            t.opacity = r.animatedNumber(value, p);
        } else if (key == "pointOfInterest") {
            t.pointOfInterest = r.animatedVec3(value, p);
            t.hasPointOfInterest = true;
        }
    }
}

CastsShadows readCastsShadows(const Reader& r, const Json& j, const std::string& path) {
    if (j.is_boolean()) return j.get<bool>() ? CastsShadows::On : CastsShadows::Off;
    if (j.is_string()) {
        std::string v = j.get<std::string>();
        if (v == "off") return CastsShadows::Off;
        if (v == "on") return CastsShadows::On;
        if (v == "only") return CastsShadows::Only;
    }
    r.fail(path, "expected \"off\", \"on\", \"only\", true or false");
}

void readMaterial(const Reader& r, const Json& j, const std::string& path, Material& m) {
    r.expectKeys(j, path,
                 {"castsShadows", "acceptsShadows", "acceptsLights", "ambient", "diffuse", "specularIntensity",
                  "specularShininess", "lightTransmission"});
    for (const auto& [key, value] : j.items()) {
        const std::string p = memberPath(path, key);
        if (key == "castsShadows") {
            m.castsShadows = readCastsShadows(r, value, p);
        } else if (key == "acceptsShadows") {
            m.acceptsShadows = r.boolean(value, p);
        } else if (key == "acceptsLights") {
            m.acceptsLights = r.boolean(value, p);
        } else if (key == "ambient") {
            m.ambient = r.animatedNumber(value, p);
        } else if (key == "diffuse") {
            m.diffuse = r.animatedNumber(value, p);
        } else if (key == "specularIntensity") {
            m.specularIntensity = r.animatedNumber(value, p);
        } else if (key == "specularShininess") {
            m.specularShininess = r.animatedNumber(value, p);
        } else if (key == "lightTransmission") {
            m.lightTransmission = r.animatedNumber(value, p);
        }
    }
}

void readCamera(const Reader& r, const Json& j, const std::string& path, CameraOptions& c) {
    r.expectKeys(j, path, {"zoom", "depthOfField", "focusDistance", "aperture", "blurLevel"});
    for (const auto& [key, value] : j.items()) {
        const std::string p = memberPath(path, key);
        if (key == "zoom") {
            c.zoom = r.animatedNumber(value, p);
        } else if (key == "depthOfField") {
            c.depthOfField = r.animatedSwitch(value, p);
        } else if (key == "focusDistance") {
            c.focusDistance = r.animatedNumber(value, p);
        } else if (key == "aperture") {
            c.aperture = r.animatedNumber(value, p);
        } else if (key == "blurLevel") {
            c.blurLevel = r.animatedNumber(value, p);
        }
    }
}

LightKind readLightKind(const Reader& r, const Json& j, const std::string& path) {
    std::string v = r.string(j, path);
    if (v == "parallel") return LightKind::Parallel;
    if (v == "spot") return LightKind::Spot;
    if (v == "point") return LightKind::Point;
    if (v == "ambient") return LightKind::Ambient;
    r.fail(path, "unknown light type \"" + v + "\" (expected parallel, spot, point or ambient)");
}

LightFalloff readFalloff(const Reader& r, const Json& j, const std::string& path) {
    std::string v = r.string(j, path);
    if (v == "none") return LightFalloff::None;
    if (v == "smooth") return LightFalloff::Smooth;
    if (v == "inverseSquareClamped") return LightFalloff::InverseSquareClamped;
    r.fail(path, "unknown falloff \"" + v + "\" (expected none, smooth or inverseSquareClamped)");
}

void readLight(const Reader& r, const Json& j, const std::string& path, LightOptions& l) {
    r.expectKeys(j, path,
                 {"lightType", "intensity", "color", "coneAngle", "coneFeather", "falloff", "radius", "falloffDistance",
                  "castsShadows", "shadowDarkness", "shadowDiffusion"});
    for (const auto& [key, value] : j.items()) {
        const std::string p = memberPath(path, key);
        if (key == "lightType") {
            l.lightType = readLightKind(r, value, p);
        } else if (key == "intensity") {
            l.intensity = r.animatedNumber(value, p);
        } else if (key == "color") {
            l.color = r.animatedColor3(value, p);
        } else if (key == "coneAngle") {
            l.coneAngle = r.animatedNumber(value, p);
        } else if (key == "coneFeather") {
            l.coneFeather = r.animatedNumber(value, p);
        } else if (key == "falloff") {
            l.falloff = readFalloff(r, value, p);
        } else if (key == "radius") {
            l.radius = r.animatedNumber(value, p);
        } else if (key == "falloffDistance") {
            l.falloffDistance = r.animatedNumber(value, p);
        } else if (key == "castsShadows") {
            l.castsShadows = r.boolean(value, p);
        } else if (key == "shadowDarkness") {
            l.shadowDarkness = r.animatedNumber(value, p);
        } else if (key == "shadowDiffusion") {
            l.shadowDiffusion = r.animatedNumber(value, p);
        }
    }
}

std::vector<EffectEntry> readEffects(const Reader& r, const Json& j, const std::string& path) {
    if (!j.is_array()) r.fail(path, "expected a list of effects");
    std::vector<EffectEntry> effects;
    for (std::size_t i = 0; i < j.size(); ++i) {
        const std::string p = elementPath(path, i);
        const Json& e = j[i];
        r.expectKeys(e, p, {"matchName", "params", "savedBeforeParams", "enabled"});
        EffectEntry entry;
        entry.matchName = r.string(r.require(e, p, "matchName"), memberPath(p, "matchName"));
        entry.paramsJson = "{}";
        if (const Json* params = findMember(e, "params")) {
            if (!params->is_object()) r.fail(memberPath(p, "params"), "expected an object");
            entry.paramsJson = params->dump();
        }
        if (const Json* v = findMember(e, "savedBeforeParams"))
            entry.savedBeforeParams = r.boolean(*v, memberPath(p, "savedBeforeParams"));
        if (const Json* v = findMember(e, "enabled")) entry.enabled = r.boolean(*v, memberPath(p, "enabled"));
        effects.push_back(std::move(entry));
    }
    return effects;
}

// A layer as read, before parents (which may name layers further down) are resolved.
struct PendingParent {
    std::string name;
    std::string path;  // JSON path of the "parent" value
};

Layer readLayer(const Reader& r, const Composition& comp, const Json& j, const std::string& path,
                PendingParent& parent) {
    r.expectKeys(j, path,
                 {"name", "type", "source", "threeD", "videoOn", "adjustment", "guide", "inPoint", "outPoint", "parent",
                  "transform", "material", "camera", "light", "effects"});
    Layer layer;
    layer.type = readLayerType(r, r.require(j, path, "type"), memberPath(path, "type"));
    const char* type = typeName(layer.type);
    auto only = [&](std::string_view key, bool allowed, const std::string& message) {
        if (j.contains(key) && !allowed) r.fail(memberPath(path, key), message);
    };
    only("source", layer.type == LayerType::AV, "only av layers have a source");
    only("material", layer.type == LayerType::AV, "only av layers have material options");
    only("camera", layer.type == LayerType::Camera, "only camera layers have camera options");
    only("light", layer.type == LayerType::Light, "only light layers have light options");
    only("effects", layer.type == LayerType::AV || layer.type == LayerType::Null,
         std::string("a ") + type + " layer takes no effects");

    if (layer.type == LayerType::AV) {
        const std::string sourcePath = memberPath(path, "source");
        std::string key = r.string(r.require(j, path, "source"), sourcePath);
        auto it = comp.footage.find(key);
        if (it == comp.footage.end()) r.fail(sourcePath, "no footage named \"" + key + "\"");
        layer.source = it->second;
    }
    if (const Json* v = findMember(j, "name")) {
        layer.name = r.string(*v, memberPath(path, "name"));
    } else {
        // Unnamed layers take the name the host would give them: their source's, or their kind's.
        layer.name = layer.source ? layer.source->key : defaultLayerName(layer.type);
    }

    if (isCameraOrLight(layer.type)) {
        layer.threeD = true;
        if (const Json* v = findMember(j, "threeD"); v && !r.boolean(*v, memberPath(path, "threeD")))
            r.fail(memberPath(path, "threeD"), "cameras and lights are always 3D");
    } else if (const Json* v = findMember(j, "threeD")) {
        layer.threeD = r.boolean(*v, memberPath(path, "threeD"));
    }
    if (const Json* v = findMember(j, "videoOn")) layer.videoOn = r.boolean(*v, memberPath(path, "videoOn"));
    if (const Json* v = findMember(j, "adjustment")) layer.adjustment = r.boolean(*v, memberPath(path, "adjustment"));
    if (const Json* v = findMember(j, "guide")) layer.guide = r.boolean(*v, memberPath(path, "guide"));
    if (const Json* v = findMember(j, "inPoint")) layer.inPoint = r.number(*v, memberPath(path, "inPoint"));
    if (const Json* v = findMember(j, "outPoint")) {
        layer.outPoint = r.number(*v, memberPath(path, "outPoint"));
        if (!(layer.outPoint > layer.inPoint)) r.fail(memberPath(path, "outPoint"), "expected a time after inPoint");
    }
    if (const Json* v = findMember(j, "parent")) {
        parent.path = memberPath(path, "parent");
        parent.name = r.string(*v, parent.path);
    }

    // An AV layer turns about the centre of its source unless the file says otherwise.
    if (layer.source) {
        layer.transform.anchorPoint.value = {layer.source->width / 2.0, layer.source->height / 2.0, 0.0};
    }
    if (const Json* v = findMember(j, "transform")) readTransform(r, *v, memberPath(path, "transform"), layer);
    if (const Json* v = findMember(j, "material")) readMaterial(r, *v, memberPath(path, "material"), layer.material);
    if (const Json* v = findMember(j, "camera")) readCamera(r, *v, memberPath(path, "camera"), layer.camera);
    if (const Json* v = findMember(j, "light")) readLight(r, *v, memberPath(path, "light"), layer.light);
    if (const Json* v = findMember(j, "effects")) layer.effects = readEffects(r, *v, memberPath(path, "effects"));
    return layer;
}

void resolveParents(const Reader& r, const std::vector<PendingParent>& parents, Composition& comp) {
    for (std::size_t i = 0; i < comp.layers.size(); ++i) {
        const PendingParent& pending = parents[i];
        if (pending.path.empty()) continue;
        const Layer* found = nullptr;
        for (const Layer& candidate : comp.layers) {
            if (candidate.name != pending.name) continue;
            if (found) r.fail(pending.path, "more than one layer is named \"" + pending.name + "\"");
            found = &candidate;
        }
        if (!found) r.fail(pending.path, "no layer named \"" + pending.name + "\"");
        comp.layers[i].parentId = found->id;
    }
    // Ids are 1-based positions here, so a parent id indexes the layers directly.
    for (const Layer& start : comp.layers) {
        std::string chain = start.name;
        int32_t id = start.parentId;
        for (std::size_t steps = 0; id != 0 && steps < comp.layers.size(); ++steps) {
            const Layer& parent = comp.layers[static_cast<std::size_t>(id - 1)];
            chain += " -> " + parent.name;
            if (parent.id == start.id) {
                r.fail(parents[static_cast<std::size_t>(start.index - 1)].path, "parenting loop (" + chain + ")");
            }
            id = parent.parentId;
        }
    }
}

std::string readText(const Reader& r, const std::filesystem::path& file) {
    std::error_code ec;
    if (std::filesystem::is_directory(file, ec)) r.fail({}, "is a folder, not a scene file");
    std::ifstream in(file, std::ios::binary);
    if (!in) r.fail({}, "cannot open the file");
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) r.fail({}, "cannot read the file");
    return text.str();
}

}  // namespace

Composition loadSceneFile(const std::filesystem::path& file) {
    const Reader r{file.string()};
    const Json root = scenejson::parseDocument(r.fileName, readText(r, file));
    if (!root.is_object()) r.fail({}, "expected an object");

    // Identify the document before judging its keys, so that a foreign JSON file says what it is not.
    const Json& format = r.require(root, {}, "format");
    if (!format.is_string() || format.get<std::string>() != kFormat)
        r.fail("format", "expected \"" + std::string(kFormat) + "\"");
    const Json& version = r.require(root, {}, "version");
    if (!version.is_number() || version.get<double>() != kVersion)
        r.fail("version",
               "unsupported version " + version.dump() + " (this host reads version " + std::to_string(kVersion) + ")");
    r.expectKeys(root, {}, {"format", "version", "composition", "footage", "layers"});

    Composition comp;
    comp.sceneFile = std::filesystem::absolute(file).lexically_normal();
    readComposition(r, r.require(root, {}, "composition"), comp);
    if (const Json* footage = findMember(root, "footage")) readFootage(r, comp.sceneFile.parent_path(), *footage, comp);

    std::vector<PendingParent> parents;
    if (const Json* layers = findMember(root, "layers")) {
        if (!layers->is_array()) r.fail("layers", "expected a list of layers");
        for (std::size_t i = 0; i < layers->size(); ++i) {
            PendingParent parent;
            Layer layer = readLayer(r, comp, (*layers)[i], elementPath("layers", i), parent);
            layer.id = static_cast<int32_t>(i + 1);
            layer.index = static_cast<int32_t>(i + 1);
            comp.layers.push_back(std::move(layer));
            parents.push_back(std::move(parent));
        }
    }
    resolveParents(r, parents, comp);
    return comp;
}

}  // namespace zephrin::host
