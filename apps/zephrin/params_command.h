// `zephrin params`: the effect's parameters as the host holds them after registration, so that a user
// writing a scene file can see every name, type, range and default.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>

namespace zephrin::app {

struct ParamsOptions {
    std::filesystem::path pluginDir;
    std::string language = "en";  // "en" or "zh": the UI language the host reports to the effect
    bool json = false;
};

int runParams(const ParamsOptions& options, std::ostream& out);

}  // namespace zephrin::app
