#include "host/suites/footage_suite.h"

#include "host/suites/host_state.h"
#include "host/suites/memory_suite.h"

namespace zephrin::host {
namespace {

A_Err getMainFootageFromItem(AEGP_ItemH itemH, AEGP_FootageH* footagePH) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        if (footagePH != nullptr) *footagePH = nullptr;
        const ItemRef* item = findItem(state, itemH);
        if (item == nullptr || footagePH == nullptr || item->footage == nullptr) return A_Err_PARAMETER;
        for (const auto& [footage, handle] : item->owner->footageHandles) {
            if (footage == item->footage) *footagePH = toHandle<AEGP_FootageH>(handle);
        }
        return *footagePH != nullptr ? A_Err_NONE : A_Err_PARAMETER;
    });
}

// Footage is one file, so only the main file index (0) exists and every frame shares its path.
A_Err getFootagePath(AEGP_FootageH footageH, A_long /*frameNum*/, A_long fileIndex, AEGP_MemHandle* pathPH) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        if (pathPH != nullptr) *pathPH = nullptr;
        const FootageRef* footage = findFootage(state, footageH);
        if (footage == nullptr || pathPH == nullptr || fileIndex != 0) return A_Err_PARAMETER;
        // A solid has no file behind it.
        if (footage->footage->kind == FootageKind::Solid || footage->footage->path.empty()) return A_Err_GENERIC;
        *pathPH = newUtf16MemHandle(state, footage->footage->path.u16string());
        return A_Err_NONE;
    });
}

AEGP_FootageSuite11 makeFootageSuite11() {
    AEGP_FootageSuite11 suite{};
    suite.AEGP_GetMainFootageFromItem = getMainFootageFromItem;
    suite.AEGP_GetFootagePath = getFootagePath;
    return suite;
}

}  // namespace

const AEGP_FootageSuite11& footageSuite11() {
    static const AEGP_FootageSuite11 suite = makeFootageSuite11();
    return suite;
}

}  // namespace zephrin::host
