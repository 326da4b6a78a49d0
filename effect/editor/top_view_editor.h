// The Top View editor's process-wide state. One state serves every instance of the effect in the
// process: the host delivers custom-UI events on its main thread only, so nothing here is locked.
#pragma once

#include <array>
#include <string>

#include "common/effect_contract.h"
#include "sdk/AE_GeneralPlug.h"
#include "sdk/Win32Platform.h"

namespace zephrin {

constexpr double kEditorDefaultZoom = 1.0;
constexpr double kEditorMinZoom = 0.2;
constexpr double kEditorMaxZoom = 8.0;
constexpr double kEditorPanLimit = 20000.0;  // pixels, either direction
constexpr int kEditorDefaultWidth = 420;
constexpr int kEditorDefaultHeight = 170;

struct EditorRect {
    double left = 0, top = 0, right = 0, bottom = 0;
};

// While "Quick Preview" holds a composition at quarter resolution: which one, and the downsample
// factor it had before, to give back when the preview ends.
struct QuickPreviewRecord {
    AEGP_CompH comp = nullptr;
    AEGP_DownsampleFactor savedFactor{1, 1};
};

struct TopViewEditor {
    double zoom = kEditorDefaultZoom;  // used clamped to kEditorMinZoom…kEditorMaxZoom
    double panX = 0;
    double panY = 0;
    int viewWidth = kEditorDefaultWidth;  // the control's size, kept clamped by setEditorViewSize
    int viewHeight = kEditorDefaultHeight;
    std::array<bool, param::kPointSlots> selected{};
    EditorRect frameRect;   // the control's frame as the host last gave it, for the window hooks
    EditorRect canvasRect;  // the curve canvas inside it, recorded at every draw
    bool clipboardFilled = false;

    // Box selection while its gesture runs: the corners in the control's coordinates.
    bool boxSelecting = false;
    EditorRect box;
    // Where every selected point stood when a multi-point drag began, normalized, by slot.
    std::array<double, param::kPointSlots> multiDragX{};
    std::array<double, param::kPointSlots> multiDragY{};

    // Inline numeric edit of "Loop Move Speed".
    bool inlineEditActive = false;
    bool inlineReplaceOnType = false;
    std::u16string inlineText;
    // A commit typed through the message hook, outside any command: written with the next event.
    bool inlineCommitPending = false;
    double inlineCommitValue = 0;

    // Thread-local window hooks (wheel zoom, middle-button pan, keys for the inline edit).
    HHOOK mouseHook = nullptr;
    DWORD mouseHookThread = 0;
    HHOOK messageHook = nullptr;
    DWORD messageHookThread = 0;
    bool drawn = false;
    bool panning = false;
    POINT panLastScreenPoint{0, 0};
    HWND captureWindow = nullptr;
    HWND lastHoverWindow = nullptr;

    QuickPreviewRecord quickPreview;
};

TopViewEditor& topViewEditor();

// A new effect instance starts with the default view: zoom 1, no pan, nothing selected.
void resetEditorView(TopViewEditor& editor);

// Sets the control's size, clamped to the registration limits.
void setEditorViewSize(TopViewEditor& editor, int width, int height);

// Removes both window hooks and clears everything they track; the inline edit closes with them.
void removeWindowHooks(TopViewEditor& editor);

}  // namespace zephrin
