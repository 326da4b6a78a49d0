// A compute shader carried inside the plug-in as SPIR-V words (compiled from GLSL at build time by
// cmake/embed_shaders.cmake), found by the file stem of its source under renderer/gpu/shaders/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zephrin {

struct EmbeddedShader {
    std::string_view stem;  // "shadow_queries" for shaders/shadow_queries.comp
    const uint32_t* words = nullptr;
    size_t wordCount = 0;
};

// Null when this build embeds no shader of that name.
const EmbeddedShader* findEmbeddedShader(std::string_view stem);

}  // namespace zephrin
