// Keyframes in a scene file: the short [time, value] with the host's defaults for the property, and the
// long form that carries what a designer sets on a key in the host: temporal interpolation per side,
// eases, and for spatial properties the path's interpolation and tangents.
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/scene_file_json.h"

namespace zephrin::host::scenejson {
namespace {

const Json* findMember(const Json& object, std::string_view key) {
    auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

// One of a few words, each naming a choice; anything else is refused with `expected`.
template <typename Choice>
Choice readWord(const Reader& r, const Json& j, const std::string& path,
                std::initializer_list<std::pair<std::string_view, Choice>> words, std::string_view expected) {
    if (j.is_string()) {
        const std::string v = j.get<std::string>();
        for (const auto& [word, choice] : words) {
            if (v == word) return choice;
        }
    }
    r.fail(path, std::string(expected));
}

KeyInterpolation readInterpolation(const Reader& r, const Json& j, const std::string& path) {
    return readWord<KeyInterpolation>(
        r, j, path,
        {{"linear", KeyInterpolation::Linear}, {"bezier", KeyInterpolation::Bezier}, {"hold", KeyInterpolation::Hold}},
        R"(expected "linear", "bezier" or "hold")");
}

KeyEase readEase(const Reader& r, const Json& j, const std::string& path) {
    r.expectKeys(j, path, {"speed", "influence"});
    KeyEase ease;
    if (const Json* v = findMember(j, "speed")) ease.speed = r.number(*v, memberPath(path, "speed"));
    if (const Json* v = findMember(j, "influence")) {
        const std::string p = memberPath(path, "influence");
        ease.influence = r.number(*v, p);
        if (!(ease.influence >= kMinInfluence && ease.influence <= kMaxInfluence)) {
            r.fail(p, "expected an influence from " + formatNumber(kMinInfluence) + " to " +
                          formatNumber(kMaxInfluence) + " (percent)");
        }
    }
    return ease;
}

// One side of a key: the interpolation given for it, else Bézier when it has an ease (setting an ease
// in the host turns that side Bézier), else linear. An ease on a side said to be linear or held would
// be silently ignored, so it is refused.
KeyInterpolation resolveSide(const Reader& r, std::optional<KeyInterpolation> given, const Json* ease,
                             const std::string& easePath, KeyEase& into) {
    if (ease == nullptr) return given.value_or(KeyInterpolation::Linear);
    if (given && *given != KeyInterpolation::Bezier)
        r.fail(easePath, "an ease needs \"bezier\" interpolation on its side");
    into = readEase(r, *ease, easePath);
    return KeyInterpolation::Bezier;
}

SpatialInterpolation readSpatial(const Reader& r, const Json& j, const std::string& path) {
    return readWord<SpatialInterpolation>(r, j, path,
                                          {{"auto", SpatialInterpolation::Auto},
                                           {"linear", SpatialInterpolation::Linear},
                                           {"bezier", SpatialInterpolation::Bezier}},
                                          R"(expected "auto", "linear" or "bezier")");
}

KeyframeShape readShape(const Reader& r, const Json& key, const std::string& path, bool spatial) {
    if (!spatial) {
        for (std::string_view only : {"spatial", "inTangent", "outTangent"}) {
            if (key.contains(only)) {
                r.fail(memberPath(path, only),
                       "only a spatial property (position, anchor point, point of interest, 3D point) has a path");
            }
        }
    }
    r.expectKeys(key, path,
                 {"time", "value", "interpolation", "easeIn", "easeOut", "spatial", "inTangent", "outTangent"});
    KeyframeShape shape;
    std::optional<KeyInterpolation> in, out;
    if (const Json* v = findMember(key, "interpolation")) {
        const std::string p = memberPath(path, "interpolation");
        if (v->is_object()) {
            r.expectKeys(*v, p, {"in", "out"});
            if (const Json* side = findMember(*v, "in")) in = readInterpolation(r, *side, memberPath(p, "in"));
            if (const Json* side = findMember(*v, "out")) out = readInterpolation(r, *side, memberPath(p, "out"));
        } else {
            in = out = readInterpolation(r, *v, p);
        }
    }
    shape.in = resolveSide(r, in, findMember(key, "easeIn"), memberPath(path, "easeIn"), shape.easeIn);
    shape.out = resolveSide(r, out, findMember(key, "easeOut"), memberPath(path, "easeOut"), shape.easeOut);

    std::optional<SpatialInterpolation> given;
    if (const Json* v = findMember(key, "spatial")) given = readSpatial(r, *v, memberPath(path, "spatial"));
    shape.spatial = given.value_or(SpatialInterpolation::Auto);
    for (const char* name : {"inTangent", "outTangent"}) {
        const Json* v = findMember(key, name);
        if (v == nullptr) continue;
        const std::string p = memberPath(path, name);
        // Tangents belong to a Bézier path; beside "auto" or "linear" they would be ignored.
        if (given && *given != SpatialInterpolation::Bezier) r.fail(p, "tangents need \"spatial\": \"bezier\"");
        shape.spatial = SpatialInterpolation::Bezier;
        (std::string_view(name) == "inTangent" ? shape.inTangent : shape.outTangent) = r.vec3(*v, p);
    }
    return shape;
}

}  // namespace

std::vector<Reader::KeyedValue> Reader::keyedValues(const Json& value, const std::string& path, bool spatial) const {
    if (!value.is_object()) return {KeyedValue{false, 0.0, &value, path, {}}};
    expectKeys(value, path, {"keyframes"});
    const std::string keysPath = memberPath(path, "keyframes");
    const Json& keys = require(value, path, "keyframes");
    if (!keys.is_array() || keys.empty()) fail(keysPath, "expected a list of keyframes");
    std::vector<KeyedValue> result;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const std::string keyPath = elementPath(keysPath, i);
        const Json& key = keys[i];
        KeyedValue keyed{true, 0.0, nullptr, {}, {}};
        if (key.is_object()) {
            keyed.shape = readShape(*this, key, keyPath, spatial);
            keyed.time = number(require(key, keyPath, "time"), memberPath(keyPath, "time"));
            keyed.value = &require(key, keyPath, "value");
            keyed.path = memberPath(keyPath, "value");
        } else if (key.is_array() && key.size() == 2) {
            keyed.time = number(key[0], elementPath(keyPath, 0));
            keyed.value = &key[1];
            keyed.path = elementPath(keyPath, 1);
        } else {
            fail(keyPath, R"(expected [time, value] or {"time": ..., "value": ...})");
        }
        if (!result.empty() && !(keyed.time > result.back().time)) {
            fail(keyPath, "keyframe times must ascend (" + formatNumber(keyed.time) + " after " +
                              formatNumber(result.back().time) + ")");
        }
        result.push_back(std::move(keyed));
    }
    return result;
}

namespace {

const char* interpolationWord(KeyInterpolation interpolation) {
    switch (interpolation) {
        case KeyInterpolation::Bezier:
            return "bezier";
        case KeyInterpolation::Hold:
            return "hold";
        case KeyInterpolation::Linear:
            break;
    }
    return "linear";
}

Json easeJson(const KeyEase& ease) { return Json{{"speed", ease.speed}, {"influence", ease.influence}}; }

}  // namespace

Json keyframeJson(double time, Json value, const KeyframeShape& shape, bool spatial) {
    if (isDefaultShape(shape)) return Json::array({time, std::move(value)});
    Json key = Json{{"time", time}, {"value", std::move(value)}};
    key["interpolation"] = Json{{"in", interpolationWord(shape.in)}, {"out", interpolationWord(shape.out)}};
    if (shape.in == KeyInterpolation::Bezier) key["easeIn"] = easeJson(shape.easeIn);
    if (shape.out == KeyInterpolation::Bezier) key["easeOut"] = easeJson(shape.easeOut);
    if (spatial && shape.spatial == SpatialInterpolation::Linear) key["spatial"] = "linear";
    if (spatial && shape.spatial == SpatialInterpolation::Bezier) {
        key["spatial"] = "bezier";
        key["inTangent"] = shape.inTangent;
        key["outTangent"] = shape.outTangent;
    }
    return key;
}

}  // namespace zephrin::host::scenejson
