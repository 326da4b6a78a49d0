// Windows, key state and hook delivery of the Win32 stand-in. Hook procedures run without the state's lock
// held: they call back into GetKeyState, ScreenToClient and the like.
#include <algorithm>
#include <vector>

#include "host/win32/win32_state.h"

namespace zephrin::win32 {
namespace {

// Key state words: the high bit while down.
constexpr SHORT kKeyDownState = static_cast<SHORT>(0x8000);

// The thread's hooks of one kind, newest first: Windows calls the most recently installed hook first.
std::vector<HookRecord> threadHooks(int kind) {
    const DWORD thread = GetCurrentThreadId();
    std::vector<HookRecord> found;
    LockedState locked = lockState();
    for (const auto& [handle, hook] : locked.state.hooks) {
        if (hook.kind == kind && hook.threadId == thread) found.push_back(hook);
    }
    std::reverse(found.begin(), found.end());
    return found;
}

}  // namespace

HWND createWindow(HWND parent, RECT screenRect) {
    LockedState locked = lockState();
    HWND window = reinterpret_cast<HWND>(locked.state.nextHandle++);
    locked.state.windows[window] = WindowRecord{parent, screenRect, 0};
    return window;
}

void moveWindow(HWND window, RECT screenRect) {
    LockedState locked = lockState();
    auto found = locked.state.windows.find(window);
    if (found != locked.state.windows.end()) found->second.screenRect = screenRect;
}

std::size_t invalidationCount(HWND window) {
    LockedState locked = lockState();
    auto found = locked.state.windows.find(window);
    return found != locked.state.windows.end() ? found->second.invalidations : 0;
}

HWND captureWindow() { return lockState().state.capture; }

HWND focusWindow() { return lockState().state.focus; }

void setKeyDown(int virtualKey, bool down) {
    LockedState locked = lockState();
    if (down) {
        locked.state.keysDown.insert(virtualKey);
    } else {
        locked.state.keysDown.erase(virtualKey);
    }
}

bool deliverMouseMessage(UINT message, POINT screenPoint, DWORD mouseData) {
    setCursorPos(screenPoint);
    MOUSEHOOKSTRUCTEX record{};
    record.pt = screenPoint;
    record.hwnd = WindowFromPoint(screenPoint);
    record.mouseData = mouseData;
    for (const HookRecord& hook : threadHooks(WH_MOUSE)) {
        if (hook.proc(HC_ACTION, message, reinterpret_cast<LPARAM>(&record)) != 0) return true;
    }
    return false;
}

bool deliverThreadMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG msg{};
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.pt = lockState().state.cursor;
    for (const HookRecord& hook : threadHooks(WH_GETMESSAGE)) {
        hook.proc(HC_ACTION, PM_REMOVE, reinterpret_cast<LPARAM>(&msg));
        if (msg.message == WM_NULL) return true;
    }
    return false;
}

bool sendWheel(POINT screenPoint, int notches) {
    const auto delta = static_cast<SHORT>(notches * WHEEL_DELTA);
    return deliverMouseMessage(WM_MOUSEWHEEL, screenPoint, static_cast<DWORD>(static_cast<WORD>(delta)) << 16);
}

bool sendMiddleDown(POINT screenPoint) {
    setKeyDown(VK_MBUTTON, true);
    return deliverMouseMessage(WM_MBUTTONDOWN, screenPoint);
}

bool sendMouseMove(POINT screenPoint) { return deliverMouseMessage(WM_MOUSEMOVE, screenPoint); }

bool sendMiddleUp(POINT screenPoint) {
    setKeyDown(VK_MBUTTON, false);
    return deliverMouseMessage(WM_MBUTTONUP, screenPoint);
}

bool sendKeyDown(HWND window, int virtualKey) {
    return deliverThreadMessage(window, WM_KEYDOWN, static_cast<WPARAM>(virtualKey));
}

bool sendChar(HWND window, char16_t character) {
    return deliverThreadMessage(window, WM_CHAR, static_cast<WPARAM>(character));
}

}  // namespace zephrin::win32

using zephrin::win32::LockedState;
using zephrin::win32::lockState;
using zephrin::win32::setLastError;

extern "C" {

LRESULT CallNextHookEx(HHOOK /*hhk*/, int /*nCode*/, WPARAM /*wParam*/, LPARAM /*lParam*/) {
    // Nothing follows the effect's hooks here: the host's own handling comes after the chain.
    return 0;
}

HWND GetParent(HWND hWnd) {
    LockedState locked = lockState();
    auto found = locked.state.windows.find(hWnd);
    if (found == locked.state.windows.end()) {
        setLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return found->second.parent;
}

BOOL GetWindowRect(HWND hWnd, RECT* lpRect) {
    LockedState locked = lockState();
    auto found = locked.state.windows.find(hWnd);
    if (found == locked.state.windows.end() || lpRect == nullptr) {
        setLastError(lpRect == nullptr ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *lpRect = found->second.screenRect;
    return TRUE;
}

BOOL ScreenToClient(HWND hWnd, LPPOINT lpPoint) {
    LockedState locked = lockState();
    auto found = locked.state.windows.find(hWnd);
    if (found == locked.state.windows.end() || lpPoint == nullptr) {
        setLastError(lpPoint == nullptr ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    lpPoint->x -= found->second.screenRect.left;
    lpPoint->y -= found->second.screenRect.top;
    return TRUE;
}

BOOL InvalidateRect(HWND hWnd, const RECT* /*lpRect*/, BOOL /*bErase*/) {
    LockedState locked = lockState();
    auto found = locked.state.windows.find(hWnd);
    if (found == locked.state.windows.end()) {
        setLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    ++found->second.invalidations;
    return TRUE;
}

HWND SetCapture(HWND hWnd) {
    LockedState locked = lockState();
    HWND previous = locked.state.capture;
    locked.state.capture = hWnd;
    return previous;
}

BOOL ReleaseCapture(void) {
    lockState().state.capture = nullptr;
    return TRUE;
}

HWND SetFocus(HWND hWnd) {
    LockedState locked = lockState();
    HWND previous = locked.state.focus;
    locked.state.focus = hWnd;
    return previous;
}

SHORT GetKeyState(int nVirtKey) {
    return lockState().state.keysDown.count(nVirtKey) != 0 ? zephrin::win32::kKeyDownState : SHORT{0};
}

SHORT GetAsyncKeyState(int vKey) { return GetKeyState(vKey); }

}  // extern "C"
