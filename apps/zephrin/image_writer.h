// Writes a rendered host world to an image file. The file appears only when it is complete: the
// image goes to a temporary file beside the target, which is renamed over the target at the end.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "apps/zephrin/output_path.h"
#include "host/host_session.h"

namespace zephrin::app {

// What a frame's header says about it. Nothing in a header depends on when or where it was written, so
// rendering the same frame twice gives the same bytes.
struct FrameMetadata {
    std::string sceneName;  // the composition's name
    int64_t frame = 0;      // the composition's own frame number
    std::string software;   // "Zephrin 1.2.4"
};

// Throws std::runtime_error with a message naming the file on any failure; the target is untouched then.
// The temporary file is removed if the process is interrupted while it is written.
void writeWorldImage(const host::HostWorld& world, const std::filesystem::path& target, const OutputFormat& format,
                     const FrameMetadata& metadata);

}  // namespace zephrin::app
