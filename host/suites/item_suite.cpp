#include "host/suites/item_suite.h"

#include <cmath>

#include "host/suites/host_state.h"

namespace zephrin::host {
namespace {

A_Err getItemType(AEGP_ItemH itemH, AEGP_ItemType* typeP) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        const ItemRef* item = findItem(state, itemH);
        if (item == nullptr || typeP == nullptr) return A_Err_PARAMETER;
        // Solids are footage items too, as in the host.
        *typeP = item->footage == nullptr ? AEGP_ItemType_COMP : AEGP_ItemType_FOOTAGE;
        return A_Err_NONE;
    });
}

A_Err getItemID(AEGP_ItemH itemH, A_long* idPL) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        const ItemRef* item = findItem(state, itemH);
        if (item == nullptr || idPL == nullptr) return A_Err_PARAMETER;
        *idPL = item->id;
        return A_Err_NONE;
    });
}

A_Err getItemDimensions(AEGP_ItemH itemH, A_long* widthPL, A_long* heightPL) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        const ItemRef* item = findItem(state, itemH);
        if (item == nullptr || widthPL == nullptr || heightPL == nullptr) return A_Err_PARAMETER;
        if (item->footage == nullptr) {
            *widthPL = item->owner->comp->width;
            *heightPL = item->owner->comp->height;
        } else {
            *widthPL = item->footage->width;
            *heightPL = item->footage->height;
        }
        return A_Err_NONE;
    });
}

// A composition's length at a time scale of a hundredth of its frame rate, so that whole frames of
// fractional rates (29.97) stay whole; footage items report no length.
constexpr double kDurationScalePerFps = 100.0;

A_Err getItemDuration(AEGP_ItemH itemH, A_Time* durationPT) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        const ItemRef* item = findItem(state, itemH);
        if (item == nullptr || durationPT == nullptr) return A_Err_PARAMETER;
        if (item->footage != nullptr) {
            *durationPT = A_Time{0, 1};
            return A_Err_NONE;
        }
        const double rate = item->owner->comp->frameRate;
        const double seconds = item->owner->comp->duration;
        const double scale = std::isfinite(rate) && rate > 0.0 ? std::round(rate * kDurationScalePerFps) : 1.0;
        const double value = std::isfinite(seconds) && seconds > 0.0 ? std::round(seconds * scale) : 0.0;
        if (scale < 1.0 || scale > 1e9 || value > 2e9) return A_Err_PARAMETER;
        *durationPT = A_Time{static_cast<A_long>(value), static_cast<A_u_long>(scale)};
        return A_Err_NONE;
    });
}

AEGP_ItemSuite10 makeItemSuite10() {
    AEGP_ItemSuite10 suite{};
    suite.AEGP_GetItemType = getItemType;
    suite.AEGP_GetItemID = getItemID;
    suite.AEGP_GetItemDimensions = getItemDimensions;
    suite.AEGP_GetItemDuration = getItemDuration;
    return suite;
}

}  // namespace

const AEGP_ItemSuite10& itemSuite10() {
    static const AEGP_ItemSuite10 suite = makeItemSuite10();
    return suite;
}

}  // namespace zephrin::host
