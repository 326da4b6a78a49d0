// Gesture files: a list of mouse, wheel and key gestures on the effect's custom controls, replayed
// through the real effect by `zephrin editor --actions` (the format is documented with an example in
// examples/gestures/bend.json). Points are pixels from the named control's top-left corner.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "host/custom_ui/control_events.h"

namespace zephrin::app {

enum class GestureKind { Click, Drag, Wheel, Pan, Key, Type, Hover };

struct Gesture {
    GestureKind kind = GestureKind::Click;
    std::string path;     // "gestures[3]", for messages
    std::string control;  // label or position; empty for keys and text
    std::vector<PF_Point> points;  // control-local
    host::MouseButton button = host::MouseButton::Left;
    PF_Modifiers modifiers = PF_Mod_NONE;
    int32_t clicks = 1;
    std::optional<int32_t> menuChoice;  // the popup menu item the click's menu is answered with
    bool menuCancel = false;            // the click's menu is dismissed
    int32_t notches = 0;
    std::string key;  // "Enter", "Backspace", "Escape", "Delete", "Tab"
    std::u16string text;
};

struct GestureScript {
    std::string fileName;
    std::vector<Gesture> gestures;
};

// Throws host::SceneFileError naming the file and the JSON path of a bad value.
GestureScript readGestureScript(const std::filesystem::path& file);

// Replays every gesture in order on the panel. Throws host::SceneFileError naming the gesture when its
// control is not shown or the effect answers an error.
void replayGestures(host::PluginHost& host, host::ControlsPanel& panel, const GestureScript& script);

// One gesture; what the effect answered (err, flags, cursor).
host::ControlEventResult replayGesture(host::PluginHost& host, host::ControlsPanel& panel, const Gesture& gesture,
                                       const std::string& fileName);

}  // namespace zephrin::app
