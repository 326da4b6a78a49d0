// The effect's popup menus (the localized "Language" and "Mode" popups, the shape preset menu, the path
// layer list) all follow one convention: shown at the cursor, owned by the window under it, answered
// synchronously with the chosen item's id.
#pragma once

#include <string>
#include <vector>

#include "sdk/Win32Platform.h"

namespace zephrin {

struct PopupMenuItem {
    UINT_PTR id = 0;
    std::u16string text;
    bool separator = false;
};

// The host's menus must not send notifications into its own windows while the effect waits for the
// choice.
constexpr UINT kPopupMenuFlags = TPM_RETURNCMD | TPM_NONOTIFY;
static_assert(kPopupMenuFlags == 384);

// Shows the items at the cursor, with checkedId marked as the radio item of firstRadio…lastRadio when
// it lies in that range. The owner is the window under the cursor, else the foreground window, else the
// desktop. Returns the chosen id, 0 when the menu was dismissed or could not be shown.
UINT_PTR trackPopupMenuAtCursor(const std::vector<PopupMenuItem>& items, UINT firstRadio, UINT lastRadio,
                                UINT checkedId);

// Splits a "|"-separated choice string into menu items with ids 1, 2, ….
std::vector<PopupMenuItem> choiceItems(const std::u16string& choices);

}  // namespace zephrin
