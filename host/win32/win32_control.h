// The stand-in host's side of the Win32 platform library: what a user or the operating system would do
// on Windows (the UI language, the cursor and the windows under it, choosing from a popup menu) is set
// from here, and what the effect asked of the platform (the menus it showed, the hooks it holds) can be
// read back. The effect itself only sees the Win32 calls of sdk/Win32Platform.h.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "sdk/Win32Platform.h"

namespace zephrin::win32 {

struct MenuItem {
    UINT flags = 0;  // MF_STRING or MF_SEPARATOR
    UINT_PTR id = 0;
    std::u16string text;
    bool checked = false;  // the radio mark of CheckMenuRadioItem
};

// One TrackPopupMenu call as the platform saw it.
struct TrackedMenu {
    std::vector<MenuItem> items;
    UINT flags = 0;
    int x = 0;
    int y = 0;
    HWND owner = nullptr;
    UINT_PTR result = 0;  // the chosen id, 0 when dismissed
};

// Everything back to how a fresh process starts: English (United States) UI language, cursor at the
// origin over no window, no foreground window, empty choice queue, no menus, no hooks.
void resetPlatform();

void setUserDefaultUILanguage(LANGID language);

void setCursorPos(POINT point);
void setWindowFromPoint(HWND window);
void setForegroundWindow(HWND window);

// Popup menus are answered in order from this queue: an item id chooses that item (an id the menu lacks
// dismisses it, as a click outside would); cancel dismisses it. An empty queue dismisses every menu.
void queuePopupChoice(UINT_PTR id);
void queuePopupCancel();
std::size_t pendingPopupAnswers();

std::vector<TrackedMenu> trackedMenus();
void clearTrackedMenus();
std::size_t liveMenuCount();

std::size_t liveHookCount();

}  // namespace zephrin::win32
