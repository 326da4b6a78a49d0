#include "common/entry_guard.h"

#include <string>

namespace zephrin {

void logEntryFault(const LogChannel& channel, const char* entry, const char* what, A_Err code) noexcept {
    try {
        logBuilt(channel, [&] { return std::string(entry) + " caught " + what + " err=" + std::to_string(code); });
    } catch (...) {
        // Nothing to report it to: the entry's error code still reaches the host.
    }
}

}  // namespace zephrin
