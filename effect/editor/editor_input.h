// What the window hooks feed the Top View, as platform-free editor operations: wheel zoom about the
// pointer, middle-button panning, and the inline text field of "Loop Move Speed". The hook layer
// (window_hooks.cpp) turns the platform's messages into these calls; the custom-UI key events of the
// host take the same inline-edit path.
#pragma once

#include <optional>
#include <string>

#include "effect/editor/editor_layout.h"

namespace zephrin {

// One wheel notch zooms by this factor (forward) or its inverse (backward).
constexpr double kWheelZoomStep = 1.12;

// Zooms about the point (in the control's coordinates, as the frame is recorded). True when the view
// changed and the control must be repainted.
bool wheelNotch(TopViewEditor& editor, double x, double y, bool forward);

// Middle-button panning in screen pixels.
void beginMiddlePan(TopViewEditor& editor, POINT screen);
// A move while panning: the pan follows the pointer once it moved half a pixel or more. Ends the pan
// when the button is no longer down. True while the pan goes on.
bool middlePanMove(TopViewEditor& editor, POINT screen, bool middleDown);
void endMiddlePan(TopViewEditor& editor);

// Inline edit of "Loop Move Speed": opened on the shown value; the first typed character replaces it.
void openInlineEdit(TopViewEditor& editor, double speed);
void closeInlineEdit(TopViewEditor& editor);
// The speed as the field shows it: fixed, one decimal.
std::u16string formatSpeed(double speed);

enum class InlineKey { Backspace, Commit, Character };
struct InlineKeyResult {
    bool handled = false;
    std::optional<double> commit;  // the parsed speed, clamped, when the edit was committed with a number
};
// One key while the edit is open: backspace, commit, or a typed character (digits, "." and "-" are
// taken, "." and "-" once; other printable characters are swallowed).
InlineKeyResult inlineKey(TopViewEditor& editor, InlineKey key, char16_t character = 0);

// Loop Move Speed's range.
constexpr double kLoopSpeedLimit = 100.0;

}  // namespace zephrin
