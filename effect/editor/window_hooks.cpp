#include "effect/editor/window_hooks.h"

#include <algorithm>
#include <cstdlib>

#include "effect/editor/editor_input.h"

namespace zephrin {
namespace {

bool keyDown(int virtualKey) { return GetAsyncKeyState(virtualKey) < 0; }

// The window under the pointer, or one of its parents, whose client area puts the point inside the
// recorded frame of the control.
struct ControlHit {
    HWND window = nullptr;
    POINT local{0, 0};
};

bool overControl(const TopViewEditor& editor, POINT screen, ControlHit& hit) {
    for (HWND window = WindowFromPoint(screen); window != nullptr; window = GetParent(window)) {
        POINT local = screen;
        if (!ScreenToClient(window, &local)) continue;
        const EditorRect& f = editor.frameRect;
        if (local.x >= f.left && local.x <= f.right && local.y >= f.top && local.y <= f.bottom) {
            hit = ControlHit{window, local};
            return true;
        }
    }
    return false;
}

// The host draws the custom UI again when the window holding it is invalidated.
void repaint(HWND window) {
    if (window == nullptr) return;
    InvalidateRect(window, nullptr, FALSE);
    if (HWND parent = GetParent(window); parent != nullptr) InvalidateRect(parent, nullptr, FALSE);
}

LRESULT passOn(int code, WPARAM wParam, LPARAM lParam) {
    return CallNextHookEx(topViewEditor().mouseHook, code, wParam, lParam);
}

LRESULT mouseHook(int code, WPARAM wParam, LPARAM lParam) {
    TopViewEditor& editor = topViewEditor();
    if (code != HC_ACTION || !editor.drawn || lParam == 0) return passOn(code, wParam, lParam);
    const auto* info = reinterpret_cast<const MOUSEHOOKSTRUCTEX*>(lParam);
    const auto message = static_cast<UINT>(wParam);
    ControlHit hit;
    switch (message) {
        case WM_MOUSEWHEEL: {
            if (!overControl(editor, info->pt, hit)) break;
            const int delta = GET_WHEEL_DELTA_WPARAM(info->mouseData);
            // High-resolution wheels send parts of a notch; each message is at least one step.
            const int notches = std::max(std::abs(delta) / WHEEL_DELTA, 1);
            bool zoomed = false;
            for (int i = 0; i < notches; ++i) {
                zoomed = wheelNotch(editor, double(hit.local.x), double(hit.local.y), delta > 0) || zoomed;
            }
            if (!zoomed) break;
            repaint(hit.window);
            return 1;
        }
        case WM_MBUTTONDOWN:
            if (!overControl(editor, info->pt, hit)) break;
            beginMiddlePan(editor, info->pt);
            SetCapture(hit.window);
            editor.captureWindow = hit.window;
            repaint(hit.window);
            return 1;
        case WM_MOUSEMOVE:
            if (!editor.panning) break;
            if (!middlePanMove(editor, info->pt, keyDown(VK_MBUTTON))) {
                // The button came up outside any window that would have told us.
                ReleaseCapture();
                editor.captureWindow = nullptr;
                break;
            }
            repaint(editor.captureWindow);
            return 1;
        case WM_MBUTTONUP:
            if (!editor.panning) break;
            endMiddlePan(editor);
            repaint(editor.captureWindow);
            ReleaseCapture();
            editor.captureWindow = nullptr;
            return 1;
        default:
            break;
    }
    return passOn(code, wParam, lParam);
}

// Typed text and the keys of the inline field; Ctrl+V and every other key go on to the host.
bool takeMessage(TopViewEditor& editor, const MSG& msg) {
    if (msg.message == WM_KEYDOWN) {
        if (msg.wParam == VK_BACK) return inlineKey(editor, InlineKey::Backspace).handled;
        if (msg.wParam != VK_RETURN) return false;
        const InlineKeyResult result = inlineKey(editor, InlineKey::Commit);
        // No command is running here: the value is written with the next event of the control.
        if (result.commit) {
            editor.inlineCommitPending = true;
            editor.inlineCommitValue = *result.commit;
        }
        return result.handled;
    }
    if (msg.message == WM_CHAR) {
        const auto character = static_cast<char16_t>(msg.wParam);
        // Control characters (Ctrl+V among them) are not text.
        if (character < u' ' || keyDown(VK_CONTROL)) return false;
        return inlineKey(editor, InlineKey::Character, character).handled;
    }
    return false;
}

LRESULT messageHook(int code, WPARAM wParam, LPARAM lParam) {
    TopViewEditor& editor = topViewEditor();
    if (code == HC_ACTION && editor.inlineEditActive && lParam != 0) {
        auto* msg = reinterpret_cast<MSG*>(lParam);
        if (takeMessage(editor, *msg)) {
            const HWND window = msg->hwnd;
            msg->message = WM_NULL;
            msg->wParam = 0;
            msg->lParam = 0;
            repaint(window);
        }
    }
    return CallNextHookEx(editor.messageHook, code, wParam, lParam);
}

void install(HHOOK& hook, DWORD& thread, int kind, HOOKPROC proc) {
    const DWORD current = GetCurrentThreadId();
    if (hook != nullptr && thread == current) return;
    if (hook != nullptr) UnhookWindowsHookEx(hook);
    hook = SetWindowsHookExW(kind, proc, nullptr, current);
    thread = hook != nullptr ? current : 0;
}

}  // namespace

void installMouseHook(TopViewEditor& editor) {
    install(editor.mouseHook, editor.mouseHookThread, WH_MOUSE, mouseHook);
}

void installMessageHook(TopViewEditor& editor) {
    install(editor.messageHook, editor.messageHookThread, WH_GETMESSAGE, messageHook);
}

}  // namespace zephrin
