// Lit scenes of the whole-frame benchmark, generated at a composition size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zephrin::bench {

std::vector<std::string> lightBenchSceneNames();
bool isLightBenchScene(const std::string& name);
// The scene file text of a named lit scene; empty for an unknown name.
std::string lightBenchSceneJson(const std::string& name, int32_t width, int32_t height);

}  // namespace zephrin::bench
