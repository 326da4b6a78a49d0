#include "host/scene_schema.h"

#include <string>

#include "host/scene_file.h"
#include "host/scene_keys.h"

namespace zephrin::host {
namespace {

using Schema = nlohmann::ordered_json;
using K = SceneValueKind;

Schema ref(std::string_view name) { return Schema{{"$ref", "#/$defs/" + std::string(name)}}; }

Schema numbers(int count) {
    return Schema{{"type", "array"}, {"items", {{"type", "number"}}}, {"minItems", count}, {"maxItems", count}};
}

// {"keyframes": [[time, value], ...]}: times in seconds, ascending (which a schema cannot check).
Schema keyframesOf(const Schema& value) {
    Schema pair{{"type", "array"},
                {"prefixItems", Schema::array({Schema{{"type", "number"}}, value})},
                {"items", false},
                {"minItems", 2}};
    return Schema{{"type", "object"},
                  {"properties", {{"keyframes", {{"type", "array"}, {"minItems", 1}, {"items", pair}}}}},
                  {"required", Schema::array({"keyframes"})},
                  {"additionalProperties", false}};
}

Schema animated(const Schema& value) { return Schema{{"anyOf", Schema::array({value, keyframesOf(value)})}}; }

Schema choices(std::span<const std::string_view> names) {
    Schema list = Schema::array();
    for (std::string_view name : names) list.push_back(std::string(name));
    return list;
}

Schema valueSchema(const SceneKey& key) {
    switch (key.kind) {
        case K::FormatName: return Schema{{"const", kSceneFormatName}};
        case K::FormatVersion: return Schema{{"const", kSceneFormatVersion}};
        case K::Text: return Schema{{"type", "string"}};
        case K::Flag: return Schema{{"type", "boolean"}};
        case K::Number: return Schema{{"type", "number"}};
        case K::PositiveNumber: return Schema{{"type", "number"}, {"exclusiveMinimum", 0}};
        case K::WholeNumber: return Schema{{"type", "integer"}, {"minimum", key.min}, {"maximum", key.max}};
        case K::ColorRgb: return ref("rgb");
        case K::ColorRgba: return ref("rgba");
        case K::AnimatedScalar: return ref("animatedNumber");
        case K::AnimatedSwitch: return ref("animatedSwitch");
        case K::AnimatedPoint: return ref("animatedPosition");
        case K::AnimatedVector: return ref("animatedVector");
        case K::AnimatedColor: return ref("animatedRgb");
        case K::Choice: return Schema{{"enum", choices(key.choices)}};
        case K::ChoiceOrFlag: {
            Schema list = choices(key.choices);
            list.push_back(true);
            list.push_back(false);
            return Schema{{"enum", list}};
        }
        case K::Object: return ref(key.table->name);
        case K::ObjectMap: return Schema{{"type", "object"}, {"additionalProperties", ref(key.table->name)}};
        case K::ObjectList: return Schema{{"type", "array"}, {"items", ref(key.table->name)}};
        case K::AnyObject: return Schema{{"type", "object"}};
    }
    return Schema::object();
}

Schema objectSchema(const SceneKeyTable& table) {
    Schema properties = Schema::object();
    Schema required = Schema::array();
    for (const SceneKey& key : table.keys) {
        Schema value = valueSchema(key);
        if (!key.description.empty()) value["description"] = std::string(key.description);
        properties[std::string(key.name)] = value;
        if (key.required) required.push_back(std::string(key.name));
    }
    Schema object{{"type", "object"}, {"description", std::string(table.description)}, {"properties", properties}};
    if (!required.empty()) object["required"] = required;
    if (table.exactlyOneKey) {
        object["minProperties"] = 1;
        object["maxProperties"] = 1;
    }
    object["additionalProperties"] = false;
    return object;
}

// Every table reachable from the root, each once, under its own name.
void addTables(const SceneKeyTable& table, Schema& defs) {
    if (defs.contains(std::string(table.name))) return;
    defs[std::string(table.name)] = objectSchema(table);
    for (const SceneKey& key : table.keys) {
        if (key.table != nullptr) addTables(*key.table, defs);
    }
}

}  // namespace

Schema sceneFileSchema() {
    Schema defs = Schema::object();
    defs["rgb"] = numbers(3);
    defs["rgba"] = numbers(4);
    defs["animatedNumber"] = animated(Schema{{"type", "number"}});
    defs["animatedSwitch"] = animated(Schema{{"type", Schema::array({"number", "boolean"})}});
    // Kept apart: position-like properties are the ones whose keys may describe a path.
    defs["animatedPosition"] = animated(numbers(3));
    defs["animatedVector"] = animated(numbers(3));
    defs["animatedRgb"] = animated(ref("rgb"));
    for (const SceneKey& key : kSceneRootKeys.keys) {
        if (key.table != nullptr) addTables(*key.table, defs);
    }
    Schema schema{{"$schema", "https://json-schema.org/draft/2020-12/schema"},
                  {"$id", "urn:zephrin:scene-format:" + std::to_string(kSceneFormatVersion)},
                  {"title", "Zephrin scene file, version " + std::to_string(kSceneFormatVersion)}};
    Schema root = objectSchema(kSceneRootKeys);
    for (auto& [name, value] : root.items()) schema[name] = value;
    schema["$defs"] = defs;
    return schema;
}

}  // namespace zephrin::host
