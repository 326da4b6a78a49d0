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
void clearPopupAnswers();

std::vector<TrackedMenu> trackedMenus();
void clearTrackedMenus();
std::size_t liveMenuCount();

std::size_t liveHookCount();

// ---- Windows, keys and the hooks' messages ----

// A host window at a place on the screen (screen coordinates); its client area is the whole rectangle.
// A window made with a parent lies inside it. WindowFromPoint answers the last made window that holds the
// point, unless setWindowFromPoint named one.
HWND createWindow(HWND parent, RECT screenRect);
void moveWindow(HWND window, RECT screenRect);
// How many times InvalidateRect was called on the window: the host redraws the custom UI after it.
std::size_t invalidationCount(HWND window);
HWND captureWindow();
HWND focusWindow();

// A key or mouse button held down (GetKeyState and GetAsyncKeyState report it) or let go.
void setKeyDown(int virtualKey, bool down);

// Hands a mouse message to the WH_MOUSE hooks of the calling thread, newest first, as Windows does before
// the window sees it. `screenPoint` is where the pointer is; `mouseData` carries the wheel delta in its
// high word. True when a hook swallowed it (the window would never see it).
bool deliverMouseMessage(UINT message, POINT screenPoint, DWORD mouseData = 0);
// Hands a posted message (WM_KEYDOWN, WM_CHAR) for `window` to the WH_GETMESSAGE hooks of the calling
// thread. True when a hook consumed it (rewrote it to WM_NULL).
bool deliverThreadMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam = 0);

// The neutral events of the editor's window hooks, as a person makes them: the pointer moves there first.
// Wheel `notches` are positive away from the user. Each returns whether a hook swallowed the message.
bool sendWheel(POINT screenPoint, int notches);
bool sendMiddleDown(POINT screenPoint);
bool sendMouseMove(POINT screenPoint);
bool sendMiddleUp(POINT screenPoint);
bool sendKeyDown(HWND window, int virtualKey);
bool sendChar(HWND window, char16_t character);

}  // namespace zephrin::win32
