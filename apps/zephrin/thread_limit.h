// `--threads N`: narrows the CPUs the process may run on, which is what the renderer counts its worker
// threads from, and tells the image library the same.
#pragma once

#include <cstdint>
#include <string>

namespace zephrin::app {

// The widest --threads accepted; far more cores than one machine has.
inline constexpr int32_t kMaxThreadsOption = 4096;

// Keeps the first `threads` CPUs of the current affinity (all of them when there are fewer). Must run
// before any thread is started, since threads take their affinity from the one that starts them.
// Returns why it could not, or empty.
std::string limitThreads(int32_t threads);

}  // namespace zephrin::app
