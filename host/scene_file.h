// The stand-in host's scene files: one composition per JSON file, with its footage and layers.
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>

#include "host/composition.h"

namespace zephrin::host {

// What a scene file says it is: {"format": "zephrin-scene", "version": 1}.
inline constexpr const char* kSceneFormatName = "zephrin-scene";
inline constexpr int kSceneFormatVersion = 1;

// A scene file that cannot be used, refused before anything renders. The message names the file as
// it was given and the JSON path of the offending value.
struct SceneFileError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The largest scene file the host reads. Scene files are hand-sized JSON (a thousand layers take a few
// megabytes); anything far larger is a wrong path or hostile, and is refused before it is read.
inline constexpr std::uint64_t kMaxSceneFileBytes = 64ull << 20;

// Reads and checks the whole file, loads its footage (paths relative to the file) and resolves
// parents. Layers get ids 1, 2, 3 ... and indices 1, 2, 3 ... in file order. Throws SceneFileError.
Composition loadSceneFile(const std::filesystem::path& file);

}  // namespace zephrin::host
