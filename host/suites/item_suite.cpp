#include "host/suites/item_suite.h"

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

AEGP_ItemSuite10 makeItemSuite10() {
    AEGP_ItemSuite10 suite{};
    suite.AEGP_GetItemType = getItemType;
    suite.AEGP_GetItemID = getItemID;
    suite.AEGP_GetItemDimensions = getItemDimensions;
    return suite;
}

}  // namespace

const AEGP_ItemSuite10& itemSuite10() {
    static const AEGP_ItemSuite10 suite = makeItemSuite10();
    return suite;
}

}  // namespace zephrin::host
