// Saving a scene after edits: the scene file the composition was read from, written again with each
// effect entry's "params" taken from its instance's streams, so that what a user changed through the
// effect's controls (values, and keyframes on animated parameters) is kept in the project. Everything else
// in the file is kept as it was.
#pragma once

#include <filesystem>
#include <string>

#include "host/composition.h"
#include "host/host_session.h"

namespace zephrin::host {

// The scene as JSON text to be saved at `destination`. A parameter is written when the file set it, when
// it is animated, or when its value differs from the registered default; it keeps the name the file gave
// it, else its position. Footage paths are rewritten relative to the destination's folder, so a scene
// saved elsewhere still finds its files. Throws SceneFileError when the original file cannot be read again.
std::string savedSceneText(PluginHost& host, const Composition& comp, const std::filesystem::path& destination);

// Writes savedSceneText to `destination` through a temporary file beside it, so that a failed write
// never leaves a half-written scene. Throws HostError naming the file when it cannot be written.
void saveScene(PluginHost& host, const Composition& comp, const std::filesystem::path& destination);

}  // namespace zephrin::host
