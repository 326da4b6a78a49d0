// `zephrin version` and `zephrin --version`: the program's, the plug-ins' and the scene format's
// versions, so a farm's log says exactly what rendered a frame.
#pragma once

#include <filesystem>
#include <iosfwd>

namespace zephrin::app {

inline constexpr const char* kProgramVersion = ZEPHRIN_VERSION;

// Plug-ins that cannot be loaded are named as such; the versions known without them still print.
int runVersion(const std::filesystem::path& pluginDir, std::ostream& out);

}  // namespace zephrin::app
