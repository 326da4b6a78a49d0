// The scene format as a JSON Schema (draft 2020-12), generated from the key tables the loader checks
// files against (scene_keys.h). The schema describes shapes; the loader also checks what a schema
// cannot say (which layer kinds take which keys, that a parent or an effect parameter exists).
#pragma once

#include <nlohmann/json.hpp>

namespace zephrin::host {

nlohmann::ordered_json sceneFileSchema();

}  // namespace zephrin::host
