// Writes a rendered host world to an image file. The file appears only when it is complete: the
// image goes to a temporary file beside the target, which is renamed over the target at the end.
#pragma once

#include <filesystem>
#include <string>

#include "apps/zephrin/output_path.h"
#include "host/host_session.h"

namespace zephrin::app {

// Throws std::runtime_error with a message naming the file on any failure; the target is untouched then.
void writeWorldImage(const host::HostWorld& world, const std::filesystem::path& target, const OutputFormat& format);

}  // namespace zephrin::app
