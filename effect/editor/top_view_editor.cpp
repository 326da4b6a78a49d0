#include "effect/editor/top_view_editor.h"

#include <algorithm>

#include "effect/param_table.h"

namespace zephrin {

TopViewEditor& topViewEditor() {
    static TopViewEditor editor;
    return editor;
}

void resetEditorView(TopViewEditor& editor) {
    editor.zoom = kEditorDefaultZoom;
    editor.panX = 0;
    editor.panY = 0;
    editor.selected.fill(false);
    editor.boxSelecting = false;
}

void setEditorViewSize(TopViewEditor& editor, int width, int height) {
    editor.viewWidth = std::clamp(width, kTopViewMinWidth, kTopViewMaxWidth);
    editor.viewHeight = std::clamp(height, kTopViewMinHeight, kTopViewMaxHeight);
}

void removeWindowHooks(TopViewEditor& editor) {
    if (editor.mouseHook != nullptr) UnhookWindowsHookEx(editor.mouseHook);
    if (editor.messageHook != nullptr) UnhookWindowsHookEx(editor.messageHook);
    editor.mouseHook = nullptr;
    editor.mouseHookThread = 0;
    editor.messageHook = nullptr;
    editor.messageHookThread = 0;
    editor.drawn = false;
    editor.panning = false;
    editor.panLastScreenPoint = POINT{0, 0};
    editor.captureWindow = nullptr;
    editor.lastHoverWindow = nullptr;
    editor.inlineEditActive = false;
    editor.inlineReplaceOnType = false;
    editor.inlineText.clear();
    editor.inlineCommitPending = false;
}

}  // namespace zephrin
