// Typed, path-aware reading of a scene file's JSON: every refusal names the file and the JSON path
// of the offending value ("showcase.json: layers[2].transform.scale: expected 3 numbers").
#pragma once

#include <cstdint>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host/composition.h"
#include "host/scene_file.h"

namespace zephrin::host {

namespace scenejson {

// Keeps the file's key order, so that an effect's parameters are handed on as written.
using Json = nlohmann::ordered_json;

// "name.json: path: message", or "name.json: message" for the document as a whole.
[[noreturn]] void fail(const std::string& fileName, const std::string& path, const std::string& message);

std::string memberPath(const std::string& parent, std::string_view key);
// A number as messages print it (%g).
std::string formatNumber(double v);
std::string elementPath(const std::string& parent, std::size_t index);

// The deepest nesting of lists and objects a scene file may have. The deepest the format uses is under
// ten (layers[i].effects[j].params.P.keyframes[k][1][c]); anything near the limit is a broken or
// hostile file.
inline constexpr std::size_t kMaxNestingDepth = 64;

// Parses the text, refusing malformed JSON (with line and column), nesting deeper than kMaxNestingDepth
// (at the path where it goes too deep), numbers too large for a double
// and keys given twice in one object.
Json parseDocument(const std::string& fileName, const std::string& text);

// Reading one value. Each refuses a value of the wrong type with a message at its path.
struct Reader {
    std::string fileName;

    [[noreturn]] void fail(const std::string& path, const std::string& message) const;
    // The value is an object holding only these keys; an unknown key is refused, with a suggestion.
    void expectKeys(const Json& object, const std::string& path, std::initializer_list<std::string_view> allowed) const;
    void expectKeys(const Json& object, const std::string& path, std::span<const std::string_view> allowed) const;
    const Json& require(const Json& object, const std::string& path, std::string_view key) const;

    double number(const Json& value, const std::string& path) const;
    double positiveNumber(const Json& value, const std::string& path) const;
    int32_t wholeNumber(const Json& value, const std::string& path, int32_t min, int32_t max) const;
    bool boolean(const Json& value, const std::string& path) const;
    std::string string(const Json& value, const std::string& path) const;
    Vec3d vec3(const Json& value, const std::string& path) const;
    Color3 color3(const Json& value, const std::string& path) const;
    Color4 color4(const Json& value, const std::string& path) const;
    // A number, or a boolean taken as 1 or 0 (switches the host keeps as numeric streams).
    double numberOrBoolean(const Json& value, const std::string& path) const;

    // A plain value or {"keyframes": [...]} with strictly ascending times (see keyedValues).
    AnimatedNumber animatedNumber(const Json& value, const std::string& path) const;
    AnimatedNumber animatedSwitch(const Json& value, const std::string& path) const;
    AnimatedVec3 animatedVec3(const Json& value, const std::string& path) const;
    // A spatial property (position, anchor point, point of interest): its keys may carry a path.
    AnimatedVec3 animatedPoint(const Json& value, const std::string& path) const;
    Animated<Color3> animatedColor3(const Json& value, const std::string& path) const;

    // A plain value or {"keyframes": [...]} with strictly ascending times, each value with its path
    // (values still unread: the caller reads them in its own type). A keyframe is the short
    // [time, value], which has the host's default interpolation, or the long
    //   {"time": t, "value": v, "interpolation": "linear" | "bezier" | "hold" | {"in": …, "out": …},
    //    "easeIn": {"speed": s, "influence": percent}, "easeOut": {…},
    //    "spatial": "auto" | "linear" | "bezier", "inTangent": [x, y, z], "outTangent": [x, y, z]}
    // whose last three only a spatial property takes (scene_file_keyframes.cpp says what each means).
    struct KeyedValue {
        bool isKeyframe = false;
        double time = 0.0;
        const Json* value = nullptr;
        std::string path;
        KeyframeShape shape;
    };
    std::vector<KeyedValue> keyedValues(const Json& value, const std::string& path, bool spatial = false) const;

  private:
    template <typename T, typename ReadValue>
    Animated<T> animated(const Json& value, const std::string& path, bool spatial, ReadValue readValue) const;
};

// A keyframe as the scene file writes it: the short [time, value] when its shape is the host's default,
// else the long form keyedValues reads back to the same shape.
Json keyframeJson(double time, Json value, const KeyframeShape& shape, bool spatial);

}  // namespace scenejson
}  // namespace zephrin::host
