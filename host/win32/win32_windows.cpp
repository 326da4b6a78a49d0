// Menus, cursor, windows and hooks of the Win32 stand-in. Popup menus are answered from the scripted
// queue instead of a user's click; windows are opaque handles the host sets up.
#include <unistd.h>

#include <algorithm>

#include "host/win32/win32_state.h"

namespace zephrin::win32 {

namespace {

// Any non-null value works: callers only pass the desktop window on as a menu owner.
HWND const kDesktopWindow = reinterpret_cast<HWND>(std::uintptr_t{0x10});

thread_local DWORD threadLastError = 0;

template <typename Handle>
Handle newHandle(PlatformState& state) {
    return reinterpret_cast<Handle>(state.nextHandle++);
}

}  // namespace

LockedState lockState() {
    static std::mutex mutex;
    static PlatformState state;
    return LockedState{std::unique_lock<std::mutex>(mutex), state};
}

void setLastError(DWORD code) { threadLastError = code; }

void resetPlatform() {
    LockedState locked = lockState();
    locked.state = PlatformState{};
}

void setUserDefaultUILanguage(LANGID language) { lockState().state.uiLanguage = language; }

void setCursorPos(POINT point) { lockState().state.cursor = point; }

void setWindowFromPoint(HWND window) { lockState().state.windowFromPoint = window; }

void setForegroundWindow(HWND window) { lockState().state.foreground = window; }

void queuePopupChoice(UINT_PTR id) { lockState().state.popupAnswers.push_back(id); }

void queuePopupCancel() { lockState().state.popupAnswers.push_back(0); }

std::size_t pendingPopupAnswers() { return lockState().state.popupAnswers.size(); }

void clearPopupAnswers() { lockState().state.popupAnswers.clear(); }

std::vector<TrackedMenu> trackedMenus() { return lockState().state.tracked; }

void clearTrackedMenus() { lockState().state.tracked.clear(); }

std::size_t liveMenuCount() { return lockState().state.menus.size(); }

std::size_t liveHookCount() { return lockState().state.hooks.size(); }

}  // namespace zephrin::win32

using zephrin::win32::HookRecord;
using zephrin::win32::LockedState;
using zephrin::win32::lockState;
using zephrin::win32::MenuItem;
using zephrin::win32::MenuRecord;
using zephrin::win32::setLastError;
using zephrin::win32::TrackedMenu;

extern "C" {

DWORD GetLastError(void) { return zephrin::win32::threadLastError; }

LANGID GetUserDefaultUILanguage(void) { return lockState().state.uiLanguage; }

HMENU CreatePopupMenu(void) {
    LockedState locked = lockState();
    HMENU menu = zephrin::win32::newHandle<HMENU>(locked.state);
    locked.state.menus[menu] = MenuRecord{};
    return menu;
}

BOOL AppendMenuW(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem, LPCWSTR lpNewItem) {
    LockedState locked = lockState();
    auto found = locked.state.menus.find(hMenu);
    if (found == locked.state.menus.end()) {
        setLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    MenuItem item;
    item.flags = uFlags;
    item.id = uIDNewItem;
    if ((uFlags & MF_SEPARATOR) == 0 && lpNewItem != nullptr) item.text = lpNewItem;
    found->second.items.push_back(item);
    return TRUE;
}

BOOL CheckMenuRadioItem(HMENU hmenu, UINT first, UINT last, UINT check, UINT flags) {
    LockedState locked = lockState();
    auto found = locked.state.menus.find(hmenu);
    if (found == locked.state.menus.end()) {
        setLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::vector<MenuItem>& items = found->second.items;
    const bool byPosition = (flags & MF_BYPOSITION) != 0;
    const auto keyOf = [&items, byPosition](std::size_t i) {
        return byPosition ? static_cast<UINT>(i) : static_cast<UINT>(items[i].id);
    };
    bool present = false;
    for (std::size_t i = 0; i < items.size(); ++i) present = present || keyOf(i) == check;
    // A check outside the range or the menu changes nothing.
    if (check < first || check > last || !present) {
        setLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
        const UINT key = keyOf(i);
        if (key >= first && key <= last) items[i].checked = key == check;
    }
    return TRUE;
}

BOOL TrackPopupMenu(HMENU hMenu, UINT uFlags, int x, int y, int /*nReserved*/, HWND hWnd, const RECT* /*prcRect*/) {
    LockedState locked = lockState();
    auto found = locked.state.menus.find(hMenu);
    if (found == locked.state.menus.end()) {
        setLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    UINT_PTR answer = 0;
    if (!locked.state.popupAnswers.empty()) {
        answer = locked.state.popupAnswers.front();
        locked.state.popupAnswers.pop_front();
    }
    const std::vector<MenuItem>& items = found->second.items;
    const bool offered = std::any_of(items.begin(), items.end(), [answer](const MenuItem& item) {
        return (item.flags & MF_SEPARATOR) == 0 && item.id == answer;
    });
    const UINT_PTR chosen = (answer != 0 && offered) ? answer : 0;
    locked.state.tracked.push_back(TrackedMenu{items, uFlags, x, y, hWnd, chosen});
    if ((uFlags & TPM_RETURNCMD) != 0) return static_cast<BOOL>(chosen);
    // Without TPM_RETURNCMD Windows would post the choice to the owner; nobody listens here.
    return chosen != 0 ? TRUE : FALSE;
}

BOOL DestroyMenu(HMENU hMenu) {
    LockedState locked = lockState();
    if (locked.state.menus.erase(hMenu) == 0) {
        setLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL GetCursorPos(LPPOINT lpPoint) {
    if (lpPoint == nullptr) {
        setLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *lpPoint = lockState().state.cursor;
    return TRUE;
}

HWND WindowFromPoint(POINT Point) {
    LockedState locked = lockState();
    if (locked.state.windowFromPoint != nullptr) return locked.state.windowFromPoint;
    // Later windows lie on top of earlier ones (children are made after their parents).
    HWND found = nullptr;
    for (const auto& [window, record] : locked.state.windows) {
        const RECT& r = record.screenRect;
        if (Point.x >= r.left && Point.x < r.right && Point.y >= r.top && Point.y < r.bottom) found = window;
    }
    return found;
}

HWND GetForegroundWindow(void) { return lockState().state.foreground; }

HWND GetDesktopWindow(void) { return zephrin::win32::kDesktopWindow; }

DWORD GetCurrentThreadId(void) { return static_cast<DWORD>(::gettid()); }

HHOOK SetWindowsHookExW(int idHook, HOOKPROC lpfn, HINSTANCE /*hmod*/, DWORD dwThreadId) {
    if (lpfn == nullptr || (idHook != WH_MOUSE && idHook != WH_GETMESSAGE)) {
        setLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    LockedState locked = lockState();
    HHOOK hook = zephrin::win32::newHandle<HHOOK>(locked.state);
    locked.state.hooks[hook] = HookRecord{idHook, lpfn, dwThreadId};
    return hook;
}

BOOL UnhookWindowsHookEx(HHOOK hhk) {
    LockedState locked = lockState();
    if (locked.state.hooks.erase(hhk) == 0) {
        setLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

}  // extern "C"
