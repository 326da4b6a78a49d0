#include "host/suites/memory_suite.h"

#include <cstring>

namespace zephrin::host {
namespace {

constexpr char16_t kReplacementChar = 0xFFFD;

uintptr_t addMemBlock(HostState& state, AEGP_MemSize size) {
    auto block = std::make_unique<MemBlock>();
    block->bytes.assign(size != 0 ? size : 1, 0);
    block->size = size;
    uintptr_t handle = newHandle(state);
    state.memHandles[handle] = std::move(block);
    ++state.accounting.memHandlesLent;
    return handle;
}

A_Err newMemHandle(AEGP_PluginID pluginId, const A_char* /*whatZ*/, AEGP_MemSize size, AEGP_MemFlag /*flags*/,
                   AEGP_MemHandle* memPH) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        if (memPH == nullptr) return A_Err_PARAMETER;
        *memPH = nullptr;
        if (!isKnownPlugin(state, pluginId)) return A_Err_PARAMETER;
        if (size > kMaxMemBlockBytes) return A_Err_ALLOC;
        // Blocks always start zeroed, so AEGP_MemFlag_CLEAR needs nothing more.
        *memPH = toHandle<AEGP_MemHandle>(addMemBlock(state, size));
        return A_Err_NONE;
    });
}

A_Err freeMemHandle(AEGP_MemHandle memH) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        if (findMemBlock(state, memH) == nullptr) return A_Err_PARAMETER;
        state.memHandles.erase(handleValue(memH));
        ++state.accounting.memHandlesFreed;
        return A_Err_NONE;
    });
}

A_Err lockMemHandle(AEGP_MemHandle memH, void** ptrP) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        MemBlock* block = findMemBlock(state, memH);
        if (block == nullptr || ptrP == nullptr) return A_Err_PARAMETER;
        ++block->locks;
        *ptrP = block->bytes.data();
        return A_Err_NONE;
    });
}

A_Err unlockMemHandle(AEGP_MemHandle memH) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        MemBlock* block = findMemBlock(state, memH);
        if (block == nullptr || block->locks <= 0) return A_Err_PARAMETER;
        --block->locks;
        return A_Err_NONE;
    });
}

A_Err getMemHandleSize(AEGP_MemHandle memH, AEGP_MemSize* sizeP) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        MemBlock* block = findMemBlock(state, memH);
        if (block == nullptr || sizeP == nullptr) return A_Err_PARAMETER;
        *sizeP = block->size;
        return A_Err_NONE;
    });
}

AEGP_MemorySuite1 makeMemorySuite1() {
    AEGP_MemorySuite1 suite{};
    suite.AEGP_NewMemHandle = newMemHandle;
    suite.AEGP_FreeMemHandle = freeMemHandle;
    suite.AEGP_LockMemHandle = lockMemHandle;
    suite.AEGP_UnlockMemHandle = unlockMemHandle;
    suite.AEGP_GetMemHandleSize = getMemHandleSize;
    return suite;
}

}  // namespace

const AEGP_MemorySuite1& memorySuite1() {
    static const AEGP_MemorySuite1 suite = makeMemorySuite1();
    return suite;
}

AEGP_MemHandle newUtf16MemHandle(HostState& state, const std::u16string& text) {
    AEGP_MemSize bytes = static_cast<AEGP_MemSize>((text.size() + 1) * sizeof(char16_t));
    uintptr_t handle = addMemBlock(state, bytes);
    std::memcpy(state.memHandles[handle]->bytes.data(), text.c_str(), bytes);
    return toHandle<AEGP_MemHandle>(handle);
}

std::u16string utf16FromUtf8(const std::string& text) {
    // Overlong forms, surrogates and values past U+10FFFF are as malformed as a broken sequence.
    static constexpr char32_t kMinForLength[] = {0, 0x80, 0x800, 0x10000};
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        unsigned char lead = static_cast<unsigned char>(text[i]);
        size_t extra = 0;
        char32_t code = lead;
        bool valid = true;
        if (lead >= 0x80) {
            if ((lead >> 5) == 0x6) {
                extra = 1;
                code = lead & 0x1F;
            } else if ((lead >> 4) == 0xE) {
                extra = 2;
                code = lead & 0x0F;
            } else if ((lead >> 3) == 0x1E) {
                extra = 3;
                code = lead & 0x07;
            } else {
                valid = false;
            }
        }
        if (valid && i + extra >= text.size()) valid = false;
        for (size_t k = 1; valid && k <= extra; ++k) {
            unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) valid = false;
            code = (code << 6) | (next & 0x3F);
        }
        if (valid && (code < kMinForLength[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))) {
            valid = false;
        }
        if (!valid) {
            out.push_back(kReplacementChar);
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
        i += extra + 1;
    }
    return out;
}

}  // namespace zephrin::host
