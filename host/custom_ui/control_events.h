// Custom-UI events as the host sends them to the effect's controls in an Effect Controls panel: a click
// and the drags that follow it (the effect's continue_refcon handed back on every drag, drags only while
// it asks for them with send_drag, the mouse-up drag marked last_time), cursor queries, key presses, and
// the middle button and wheel, which reach the effect only through its window hooks. Each event that asks
// for a UI refresh is followed by PF_Cmd_UPDATE_PARAMS_UI, and the panel is laid out again afterwards
// (a control may have changed its size or visibility).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "host/custom_ui/controls_panel.h"

namespace zephrin::host {

enum class MouseButton { Left, Right, Middle };

struct ControlEvent {
    PF_EventType type = PF_Event_DO_CLICK;
    int32_t position = 0;  // the control; its frame comes from the panel
    PF_Point point{0, 0};  // panel coordinates
    PF_Modifiers modifiers = PF_Mod_NONE;
    int32_t clicks = 1;
    std::array<A_intptr_t, 4> refcon{};  // drags: what the previous event left
    bool lastTime = false;                // drags: the mouse-up
    bool sendDrag = false;                // drags: as the previous event left it
    PF_ControlCode keyCode = PF_ControlCode_Unknown;  // key presses
    A_long charCode = 0;
};

struct ControlEventResult {
    PF_Err err = PF_Err_NONE;
    PF_EventOutFlags eventOutFlags = PF_EO_NONE;
    PF_OutFlags outFlags = 0;
    bool sendDrag = false;
    std::array<A_intptr_t, 4> refcon{};
    PF_CursorType cursor = PF_Cursor_NONE;
    size_t invalidations = 0;  // PF_InvalidateRect calls during the event
};

ControlEventResult sendControlEvent(PluginHost& host, ControlsPanel& panel, const ControlEvent& event);

// A press at path[0], the mouse moved through the rest of the path and let go at its end. The button is
// held down in the platform's key state meanwhile. Returns the click's result with the last drag's flags
// added; err is the first error.
ControlEventResult pressAndDrag(PluginHost& host, ControlsPanel& panel, int32_t position,
                                const std::vector<PF_Point>& path, MouseButton button = MouseButton::Left,
                                PF_Modifiers modifiers = PF_Mod_NONE, int32_t clicks = 1);

// PF_Event_ADJUST_CURSOR over the control under the point; PF_Cursor_NONE when there is none.
ControlEventResult hoverControl(PluginHost& host, ControlsPanel& panel, PF_Point point,
                                PF_Modifiers modifiers = PF_Mod_NONE);

// A key typed while the focused control has the focus: the window message goes through the effect's
// message hooks first (WM_KEYDOWN, then WM_CHAR for keys that type one); only when no hook consumed it
// does the control get PF_Event_KEYDOWN. `character` is 0 for keys that type nothing.
ControlEventResult typeKey(PluginHost& host, ControlsPanel& panel, int virtualKey, char16_t character,
                           PF_ControlCode keyCode = PF_ControlCode_Unknown);
// Types a text character by character ("12.5"), then nothing else.
ControlEventResult typeText(PluginHost& host, ControlsPanel& panel, const std::u16string& text);

// Wheel notches (positive: away from the user) and a middle-button drag at panel points, through the
// effect's mouse hook. True when a hook swallowed the messages (the effect acted on them). Here and for
// keys a hook consumed, the panel is drawn again when a hook invalidated its window, as a window repaints.
bool turnWheel(PluginHost& host, ControlsPanel& panel, PF_Point point, int32_t notches);
bool middleDrag(PluginHost& host, ControlsPanel& panel, const std::vector<PF_Point>& path);

// Panel point to the stand-in's screen.
POINT screenPointOf(const ControlsPanel& panel, PF_Point point);

}  // namespace zephrin::host
