#include "host/suites/pf_suites.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "host/suites/host_state.h"

namespace zephrin::host {
namespace {

// The PF suites return values rather than error codes; a failure answers `fallback`.
template <typename Result, typename Body>
Result guardedValueCall(Result fallback, Body&& body) noexcept {
    HostState* state = activeHostState();
    if (state == nullptr) return fallback;
    try {
        std::lock_guard<std::mutex> lock(state->mutex);
        return body(*state);
    } catch (...) {
        return fallback;
    }
}

PfHandleBlock* findPfHandle(HostState& state, PF_Handle handle) {
    if (handle == nullptr) return nullptr;
    auto it = state.pfHandles.find(reinterpret_cast<uintptr_t>(handle));
    if (it == state.pfHandles.end()) {
        ++state.accounting.badHandles;
        return nullptr;
    }
    return it->second.get();
}

PF_Handle hostNewHandle(A_HandleSize size) {
    return guardedValueCall<PF_Handle>(nullptr, [&](HostState& state) -> PF_Handle {
        auto block = std::make_unique<PfHandleBlock>();
        block->bytes.assign(size != 0 ? size : 1, 0);
        block->size = size;
        block->master = block->bytes.data();
        PF_Handle handle = &block->master;
        state.pfHandles[reinterpret_cast<uintptr_t>(handle)] = std::move(block);
        ++state.accounting.memHandlesLent;
        return handle;
    });
}

void* hostLockHandle(PF_Handle handle) {
    return guardedValueCall<void*>(nullptr, [&](HostState& state) -> void* {
        PfHandleBlock* block = findPfHandle(state, handle);
        return block != nullptr ? block->master : nullptr;
    });
}

void hostUnlockHandle(PF_Handle handle) {
    guardedValueCall<int>(0, [&](HostState& state) {
        findPfHandle(state, handle);
        return 0;
    });
}

void hostDisposeHandle(PF_Handle handle) {
    guardedValueCall<int>(0, [&](HostState& state) {
        if (findPfHandle(state, handle) == nullptr) return 0;
        state.pfHandles.erase(reinterpret_cast<uintptr_t>(handle));
        ++state.accounting.memHandlesFreed;
        return 0;
    });
}

A_HandleSize hostGetHandleSize(PF_Handle handle) {
    return guardedValueCall<A_HandleSize>(0, [&](HostState& state) -> A_HandleSize {
        PfHandleBlock* block = findPfHandle(state, handle);
        return block != nullptr ? block->size : 0;
    });
}

PF_Err appGetLanguage(A_char tag[PF_APP_LANG_TAG_SIZE]) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        if (tag == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
        std::memset(tag, 0, PF_APP_LANG_TAG_SIZE);
        std::strncpy(tag, state.languageTag.c_str(), PF_APP_LANG_TAG_SIZE - 1);
        return PF_Err_NONE;
    });
}

PF_Err touchActiveItem(PF_ProgPtr effectRef) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        if (findEffectByProgPtr(state, effectRef) == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
        ++state.activeItemTouches;
        return PF_Err_NONE;
    });
}

A_long ansiSprintf(A_char* buffer, const A_char* format, ...) {
    if (buffer == nullptr || format == nullptr) return -1;
    va_list args;
    va_start(args, format);
    int written = std::vsnprintf(buffer, kAnsiSprintfLimit, format, args);
    va_end(args);
    return written;
}

PF_Err updateParamUI(PF_ProgPtr effectRef, PF_ParamIndex index, const PF_ParamDef* def) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        EffectInstance* instance = findEffectByProgPtr(state, effectRef);
        if (instance == nullptr || def == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
        if (index < 0 || static_cast<size_t>(index) >= instance->ui.size()) return PF_Err_INVALID_INDEX;
        ParamUiState& ui = instance->ui[static_cast<size_t>(index)];
        ui.updated = true;
        ui.uiFlags = def->ui_flags;
        ui.label.assign(def->name, strnlen(def->name, sizeof(def->name)));
        ui.uiWidth = def->ui_width;
        ui.uiHeight = def->ui_height;
        const char* choices = nullptr;
        if (def->param_type == PF_Param_POPUP) choices = def->u.pd.u.namesptr;
        if (def->param_type == PF_Param_BUTTON) choices = def->u.button_d.u.namesptr;
        if (choices != nullptr) ui.choices = choices;
        return PF_Err_NONE;
    });
}

}  // namespace

const PF_HandleSuite2& pfHandleSuite2() {
    static const PF_HandleSuite2 suite{hostNewHandle, hostLockHandle, hostUnlockHandle, hostDisposeHandle,
                                       hostGetHandleSize};
    return suite;
}
const PFAppSuite1& pfAppSuite1() {
    static const PFAppSuite1 suite{appGetLanguage};
    return suite;
}
const PF_AdvItemSuite1& pfAdvItemSuite1() {
    static const PF_AdvItemSuite1 suite{touchActiveItem};
    return suite;
}
const PF_ANSICallbacksSuite1& pfAnsiSuite1() {
    static const PF_ANSICallbacksSuite1 suite{ansiSprintf};
    return suite;
}
const PF_ParamUtilsSuite3& pfParamUtilsSuite3() {
    static const PF_ParamUtilsSuite3 suite{updateParamUI};
    return suite;
}

}  // namespace zephrin::host
