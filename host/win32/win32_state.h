// State of the Win32 stand-in, shared by its translation units. One process-wide record under one
// mutex: the effect calls from the host's UI thread, tests and the host set it up from theirs.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "host/win32/win32_control.h"

namespace zephrin::win32 {

struct MenuRecord {
    std::vector<MenuItem> items;
};

struct HookRecord {
    int kind = 0;
    HOOKPROC proc = nullptr;
    DWORD threadId = 0;
};

struct WindowRecord {
    HWND parent = nullptr;
    RECT screenRect{0, 0, 0, 0};
    std::size_t invalidations = 0;
};

struct PlatformState {
    LANGID uiLanguage = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    POINT cursor{0, 0};
    HWND windowFromPoint = nullptr;
    HWND foreground = nullptr;
    std::deque<UINT_PTR> popupAnswers;  // 0 dismisses the menu
    std::map<HMENU, MenuRecord> menus;
    std::map<HHOOK, HookRecord> hooks;
    std::vector<TrackedMenu> tracked;
    std::map<HWND, WindowRecord> windows;
    HWND capture = nullptr;
    HWND focus = nullptr;
    std::set<int> keysDown;  // virtual keys and mouse buttons held down
    std::uintptr_t nextHandle = 0x1000;
};

// Locks the state for the caller's scope.
struct LockedState {
    std::unique_lock<std::mutex> lock;
    PlatformState& state;
};
LockedState lockState();

void setLastError(DWORD code);

}  // namespace zephrin::win32
