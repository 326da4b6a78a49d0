// `zephrin info`: prints what the host sees in a scene file and which plug-ins it loaded.
#pragma once

#include <filesystem>
#include <iosfwd>

namespace zephrin::app {

int runInfo(const std::filesystem::path& scene, const std::filesystem::path& pluginDir, std::ostream& out);

}  // namespace zephrin::app
