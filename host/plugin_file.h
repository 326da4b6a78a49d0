// Whether a file can safely be handed to dlopen. The dynamic loader maps a library's segments straight
// from the file; a library cut short (an interrupted copy, a full disk) maps pages past its end, and the
// first touch of such a page kills the whole process with SIGBUS. So before loading, the host checks that
// the file is a complete ELF shared object for this machine: its header, program headers, loadable
// segments, section headers and sections all lie inside the file.
#pragma once

#include <filesystem>
#include <string>

namespace zephrin::host {

// Empty when the file is a complete ELF shared object of this machine's class and byte order; otherwise
// why not ("not an ELF file", "truncated: 65536 bytes, but its section headers end at 9149544").
std::string pluginFileProblem(const std::filesystem::path& file);

}  // namespace zephrin::host
