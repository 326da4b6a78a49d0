// The keys of a scene file, as data: which keys each object takes, which it needs, what kind of value
// each holds and what it means. The loader checks every object against its table, and the JSON Schema
// (scene_schema.h) is generated from the same tables, so the two cannot tell different stories.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "host/scene_file_json.h"

namespace zephrin::host {

enum class SceneValueKind {
    FormatName,      // the constant "zephrin-scene"
    FormatVersion,   // the constant version number
    Text,
    Flag,            // true or false
    Number,
    PositiveNumber,  // above 0
    WholeNumber,     // min .. max
    ColorRgb,        // [r, g, b]
    ColorRgba,       // [r, g, b, a]
    AnimatedScalar,  // a number or keyframes of numbers
    AnimatedSwitch,  // true, false or a number, or keyframes of them
    AnimatedPoint,   // a position-like [x, y, z], or keyframes of them (read by the transform reader)
    AnimatedVector,  // [x, y, z] such as a scale, or keyframes of them
    AnimatedColor,   // [r, g, b], or keyframes of them
    Choice,          // one of `choices`
    ChoiceOrFlag,    // one of `choices`, or true / false
    Object,          // an object with the keys of `table`
    ObjectMap,       // an object of named objects, each with the keys of `table`
    ObjectList,      // a list of objects, each with the keys of `table`
    AnyObject,       // an object whose keys the effect decides (effect parameters)
};

struct SceneKeyTable;

struct SceneKey {
    std::string_view name;
    SceneValueKind kind;
    bool required = false;
    std::string_view description;  // unit and default, for the schema's readers
    std::span<const std::string_view> choices = {};
    int32_t min = 0, max = 0;               // WholeNumber
    const SceneKeyTable* table = nullptr;  // Object, ObjectMap, ObjectList
};

struct SceneKeyTable {
    std::string_view name;  // the schema's name for this kind of object
    std::string_view description;
    std::span<const SceneKey> keys;
    bool exactlyOneKey = false;  // a footage entry is a solid or a file
};

// The names of choice values, in the order of the enums they stand for (LayerType, LightKind,
// LightFalloff, CastsShadows), so a reader maps a name's position straight to its enum.
extern const std::span<const std::string_view> kLayerTypeNames;
extern const std::span<const std::string_view> kLightTypeNames;
extern const std::span<const std::string_view> kFalloffNames;
extern const std::span<const std::string_view> kCastsShadowsNames;

// The number of a composition's first frame stays well inside 32 bits wherever image headers and farm
// tools carry frame numbers.
inline constexpr int32_t kMaxStartFrame = 1'000'000'000;

extern const SceneKeyTable kSceneRootKeys;
extern const SceneKeyTable kCompositionKeys;
extern const SceneKeyTable kFootageEntryKeys;
extern const SceneKeyTable kSolidKeys;
extern const SceneKeyTable kLayerKeys;
extern const SceneKeyTable kTransformKeys;
extern const SceneKeyTable kMaterialKeys;
extern const SceneKeyTable kCameraKeys;
extern const SceneKeyTable kLightKeys;
extern const SceneKeyTable kEffectKeys;

// The table's entry for a key it holds.
const SceneKey& sceneKey(const SceneKeyTable& table, std::string_view name);

// Refuses what the table does not allow: a value that is not an object, an unknown key (with a
// suggestion), a missing required key, and a value of the wrong kind (with the same messages the
// typed readers give). Choices and nested objects are left to the readers that use them.
void checkSceneObject(const scenejson::Reader& r, const scenejson::Json& object, const std::string& path,
                      const SceneKeyTable& table);

// The position of `value` among the key's choices; refuses another value with
// `unknown <what> "x" (expected a, b or c)`.
std::size_t sceneChoice(const scenejson::Reader& r, const scenejson::Json& value, const std::string& path,
                        std::span<const std::string_view> choices, std::string_view what);

}  // namespace zephrin::host
