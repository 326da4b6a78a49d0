// "AEGP Memory Suite" 1: movable blocks the host hands out, including those it fills for a caller (names
// and paths as UTF-16). Every handle is counted lent until AEGP_FreeMemHandle.
#pragma once

#include <string>

#include "host/suites/host_state.h"
#include "sdk/AE_GeneralPlug.h"

namespace zephrin::host {

const AEGP_MemorySuite1& memorySuite1();

// The largest block the host hands out.
constexpr AEGP_MemSize kMaxMemBlockBytes = 1u << 30;

// A new counted handle holding the text as NUL-terminated UTF-16. Call with the state locked.
AEGP_MemHandle newUtf16MemHandle(HostState& state, const std::u16string& text);

// UTF-8 to UTF-16; malformed sequences become U+FFFD.
std::u16string utf16FromUtf8(const std::string& text);

}  // namespace zephrin::host
