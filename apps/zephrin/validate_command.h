// `zephrin validate SCENE...`: every check a render makes of a scene file, effect parameters included,
// without rendering. Exit 0 when every file is usable, 2 when one is not (with render's messages),
// 1 when the plug-ins that judge effect parameters cannot be loaded.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <vector>

namespace zephrin::app {

int runValidate(const std::vector<std::filesystem::path>& scenes, const std::filesystem::path& pluginDir,
                std::ostream& out);

}  // namespace zephrin::app
