#include "host/scene_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <cctype>
#include <limits>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "host/composition_time.h"
#include "host/footage.h"
#include "host/footage_sequence.h"
#include "host/scene_file_json.h"
#include "host/scene_keys.h"

namespace zephrin::host {

namespace {

using scenejson::elementPath;
using scenejson::Json;
using scenejson::memberPath;
using scenejson::Reader;

constexpr std::string_view kFormat = kSceneFormatName;
constexpr int kVersion = kSceneFormatVersion;

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

// A whole number within the bounds its table gives; the key must be there when it is required.
int32_t wholeNumberOf(const Reader& r, const Json& object, const std::string& path, const SceneKeyTable& table,
                      std::string_view name) {
    const SceneKey& key = sceneKey(table, name);
    return r.wholeNumber(r.require(object, path, name), memberPath(path, name), key.min, key.max);
}

// Every frame must have a host time, or a render would fail (or wrap around) part way through a sequence.
void checkCompositionTime(const Reader& r, const Composition& comp, const std::string& path) {
    if (comp.frameRate < kMinFrameRate || comp.frameRate > kMaxFrameRate) {
        r.fail(memberPath(path, "frameRate"), "expected a frame rate from " + scenejson::formatNumber(kMinFrameRate) +
                                                  " to " + std::to_string(static_cast<int64_t>(kMaxFrameRate)) +
                                                  " (the host's time range)");
    }
    const int64_t frames = compositionFrameCount(comp);
    if (frames > kMaxFrameCount) {
        r.fail(memberPath(path, "duration"),
               scenejson::formatNumber(comp.duration) + " s at " + scenejson::formatNumber(comp.frameRate) +
                   " fps is " + (frames == std::numeric_limits<int64_t>::max() ? std::string("too many")
                                                                              : std::to_string(frames)) +
                   " frames, more than the host's time range holds (" + std::to_string(kMaxFrameCount) + ")");
    }
}

void readComposition(const Reader& r, const Json& j, Composition& comp) {
    const std::string path = "composition";
    checkSceneObject(r, j, path, kCompositionKeys);
    if (const Json* v = findMember(j, "name")) comp.name = r.string(*v, memberPath(path, "name"));
    comp.width = wholeNumberOf(r, j, path, kCompositionKeys, "width");
    comp.height = wholeNumberOf(r, j, path, kCompositionKeys, "height");
    comp.frameRate = r.positiveNumber(r.require(j, path, "frameRate"), memberPath(path, "frameRate"));
    comp.duration = r.positiveNumber(r.require(j, path, "duration"), memberPath(path, "duration"));
    if (j.contains("startFrame")) comp.startFrame = wholeNumberOf(r, j, path, kCompositionKeys, "startFrame");
    if (const Json* v = findMember(j, "background")) comp.background = r.color4(*v, memberPath(path, "background"));
    checkCompositionTime(r, comp, path);
}

Footage readSolid(const Reader& r, const Json& j, const std::string& path, const std::string& key) {
    checkSceneObject(r, j, path, kSolidKeys);
    Color3 color{1.0, 1.0, 1.0};
    if (const Json* v = findMember(j, "color")) color = r.color3(*v, memberPath(path, "color"));
    int32_t width = wholeNumberOf(r, j, path, kSolidKeys, "width");
    int32_t height = wholeNumberOf(r, j, path, kSolidKeys, "height");
    return makeSolidFootage(key, color, width, height);
}

// Only a regular file can be footage; a folder, device or pipe that exists is named as what it is.
void refuseUnreadableFootagePath(const Reader& r, const std::filesystem::path& file, const std::string& path,
                                 const std::string& given) {
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(file, ec);
    switch (status.type()) {
        case std::filesystem::file_type::regular: return;
        case std::filesystem::file_type::directory: r.fail(path, "\"" + given + "\" is a folder, not a footage file");
        case std::filesystem::file_type::not_found: r.fail(path, "no such file \"" + given + "\"");
        case std::filesystem::file_type::none: r.fail(path, "cannot open \"" + given + "\": " + ec.message());
        default:
            r.fail(path, "\"" + given + "\" is not a regular file (a device, pipe or socket), not a footage file");
    }
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
    refuseUnreadableFootagePath(r, file, path, given);
    std::string extension = file.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    // The renderer reads OBJ models itself; the host only hands on where the file is.
    if (extension == ".obj") return makeObjFootage(key, file);
    try {
        return loadImageFootage(key, file);
    } catch (const FootageError& e) {
        if (e.tooLarge) r.fail(path, "footage too large: \"" + given + "\": " + e.what());
        r.fail(path, "cannot read image \"" + given + "\": " + e.what());
    } catch (const std::bad_alloc&) {
        // Within the size limits but still more than this machine can hold.
        r.fail(path, "footage too large: \"" + given + "\": not enough memory to read it");
    }
}

void readFootage(const Reader& r, const std::filesystem::path& sceneDirectory, const Json& j, Composition& comp) {
    const std::string path = "footage";
    if (!j.is_object()) r.fail(path, "expected an object");
    for (const auto& [key, entry] : j.items()) {
        const std::string entryPath = memberPath(path, key);
        checkSceneObject(r, entry, entryPath, kFootageEntryKeys);
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
    return static_cast<LayerType>(sceneChoice(r, j, path, kLayerTypeNames, "layer type"));
}

void readTransform(const Reader& r, const Json& j, const std::string& path, Layer& layer) {
    checkSceneObject(r, j, path, kTransformKeys);
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
            t.anchorPoint = r.animatedPoint(value, p);
        } else if (key == "position") {
            t.position = r.animatedPoint(value, p);
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
            t.pointOfInterest = r.animatedPoint(value, p);
            t.hasPointOfInterest = true;
        }
    }
}

CastsShadows readCastsShadows(const Reader& r, const Json& j, const std::string& path) {
    if (j.is_boolean()) return j.get<bool>() ? CastsShadows::On : CastsShadows::Off;
    if (j.is_string()) {
        auto it = std::find(kCastsShadowsNames.begin(), kCastsShadowsNames.end(), j.get<std::string>());
        if (it != kCastsShadowsNames.end()) return static_cast<CastsShadows>(it - kCastsShadowsNames.begin());
    }
    r.fail(path, "expected \"off\", \"on\", \"only\", true or false");
}

void readMaterial(const Reader& r, const Json& j, const std::string& path, Material& m) {
    checkSceneObject(r, j, path, kMaterialKeys);
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
    checkSceneObject(r, j, path, kCameraKeys);
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
    return static_cast<LightKind>(sceneChoice(r, j, path, kLightTypeNames, "light type"));
}

LightFalloff readFalloff(const Reader& r, const Json& j, const std::string& path) {
    return static_cast<LightFalloff>(sceneChoice(r, j, path, kFalloffNames, "falloff"));
}

void readLight(const Reader& r, const Json& j, const std::string& path, LightOptions& l) {
    checkSceneObject(r, j, path, kLightKeys);
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
        checkSceneObject(r, e, p, kEffectKeys);
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
    checkSceneObject(r, j, path, kLayerKeys);
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

const char* jsonKindName(const Json& value) {
    switch (value.type()) {
        case Json::value_t::string: return "a string";
        case Json::value_t::boolean: return "true or false";
        case Json::value_t::array: return "a list";
        case Json::value_t::object: return "an object";
        case Json::value_t::null: return "null";
        default: return "a number";
    }
}

// A version written as text ("1") is a different mistake from a version this host does not read.
void checkVersion(const Reader& r, const Json& version) {
    const std::string supported = std::to_string(kVersion);
    if (!version.is_number()) r.fail("version", "expected the number " + supported + ", not " + jsonKindName(version));
    const double given = version.get<double>();
    if (given != kVersion) {
        r.fail("version", "unsupported version " + scenejson::formatNumber(given) + " (this host reads version " +
                              supported + ")");
    }
}

// Closes the descriptor however reading ends.
struct FileDescriptor {
    int fd = -1;
    ~FileDescriptor() {
        if (fd >= 0) ::close(fd);
    }
};

// The file's whole text. Only a regular file of bounded size is read: a device such as /dev/zero never
// ends and a FIFO may never deliver, so either would hang the host or grow it without limit. The checks
// look at what was opened (not at the path beforehand), and opening does not wait for a FIFO's writer.
std::string readText(const Reader& r, const std::filesystem::path& file) {
    FileDescriptor in{::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    if (in.fd < 0) {
        if (errno == ENOENT) r.fail({}, "cannot open the file");
        r.fail({}, std::string("cannot open the file: ") + std::strerror(errno));
    }
    struct stat info {};
    if (::fstat(in.fd, &info) != 0) r.fail({}, std::string("cannot read the file: ") + std::strerror(errno));
    if (S_ISDIR(info.st_mode)) r.fail({}, "is a folder, not a scene file");
    if (!S_ISREG(info.st_mode)) r.fail({}, "is not a regular file (a device, pipe or socket), not a scene file");
    const std::string tooLarge = "more than a scene file may hold (" + std::to_string(kMaxSceneFileBytes) + " bytes)";
    if (static_cast<uint64_t>(info.st_size) > kMaxSceneFileBytes) {
        r.fail({}, "the file is " + std::to_string(info.st_size) + " bytes, " + tooLarge);
    }
    std::string text;
    text.reserve(static_cast<std::size_t>(info.st_size));
    // The size is checked again while reading: some regular files (under /proc) report 0 bytes or grow.
    std::array<char, 1 << 16> chunk;
    for (;;) {
        ssize_t got = ::read(in.fd, chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) r.fail({}, std::string("cannot read the file: ") + std::strerror(errno));
        if (got == 0) break;
        if (text.size() + static_cast<std::size_t>(got) > kMaxSceneFileBytes) r.fail({}, "the file holds " + tooLarge);
        text.append(chunk.data(), static_cast<std::size_t>(got));
    }
    return text;
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
    checkVersion(r, r.require(root, {}, "version"));
    checkSceneObject(r, root, {}, kSceneRootKeys);

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
