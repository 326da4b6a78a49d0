#include "effect/editor/popup_menu.h"

namespace zephrin {

UINT_PTR trackPopupMenuAtCursor(const std::vector<PopupMenuItem>& items, UINT firstRadio, UINT lastRadio,
                                UINT checkedId) {
    HMENU menu = CreatePopupMenu();
    if (menu == nullptr) return 0;
    for (const PopupMenuItem& item : items) {
        if (item.separator) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        } else {
            AppendMenuW(menu, MF_STRING, item.id, item.text.c_str());
        }
    }
    if (checkedId >= firstRadio && checkedId <= lastRadio) {
        CheckMenuRadioItem(menu, firstRadio, lastRadio, checkedId, MF_BYCOMMAND);
    }
    POINT cursor{0, 0};
    GetCursorPos(&cursor);
    HWND owner = WindowFromPoint(cursor);
    if (owner == nullptr) owner = GetForegroundWindow();
    if (owner == nullptr) owner = GetDesktopWindow();
    const BOOL chosen = TrackPopupMenu(menu, kPopupMenuFlags, cursor.x, cursor.y, 0, owner, nullptr);
    DestroyMenu(menu);
    return chosen > 0 ? static_cast<UINT_PTR>(chosen) : 0;
}

std::vector<PopupMenuItem> choiceItems(const std::u16string& choices) {
    std::vector<PopupMenuItem> items;
    std::u16string::size_type start = 0;
    for (;;) {
        const std::u16string::size_type bar = choices.find(u'|', start);
        items.push_back(PopupMenuItem{items.size() + 1, choices.substr(start, bar - start), false});
        if (bar == std::u16string::npos) break;
        start = bar + 1;
    }
    return items;
}

}  // namespace zephrin
