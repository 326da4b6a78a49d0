// The Effect Controls panel of one effect instance as the stand-in host shows it: every visible
// custom-drawn control (a parameter with PF_PUI_CONTROL) in a row of its own at its size, the parameter's
// name in a label column at its left, as the host lays out the panel. The panel is also a window of the
// Win32 stand-in at a place on the screen, so that the effect's window hooks find the control under the
// pointer as they would on Windows. Event points are in the panel's coordinates.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/custom_ui/drawbot_canvas.h"
#include "host/effect_instance.h"
#include "host/host_session.h"
#include "sdk/AE_Effect.h"
#include "sdk/Win32Platform.h"

namespace zephrin::host {

struct ControlSlot {
    int32_t position = 0;
    std::string label;
    PF_Rect frame{};
};

struct PanelLayoutOptions {
    // The "Top View" control's frame; 0 takes the size the effect registered or last sent.
    int32_t topViewWidth = 0, topViewHeight = 0;
};

struct ControlsPanel {
    EffectInstance* instance = nullptr;
    uintptr_t context = 0;  // the PF_ContextH of the panel's events
    HWND window = nullptr;
    POINT screenOrigin{0, 0};
    int32_t width = 0, height = 0;
    std::vector<ControlSlot> controls;  // top to bottom
    int32_t focus = 0;                  // the last clicked control: key events go to it
    PanelLayoutOptions layout;
    double seconds = 0.0;  // the composition time events and draws are sent at
};

// Where panels open on the stand-in's screen.
inline constexpr POINT kPanelScreenOrigin{240, 160};

// Opens the panel of an instance (an event context and a window) and lays it out.
ControlsPanel openControlsPanel(PluginHost& host, EffectInstance& instance, const PanelLayoutOptions& layout = {},
                                double seconds = 0.0);
// Forgets the panel's context; its window stays with the platform until it is reset.
void closeControlsPanel(PluginHost& host, ControlsPanel& panel);
// Lays the controls out again from the sizes and visibility the effect registered or last sent.
void layOutControlsPanel(PluginHost& host, ControlsPanel& panel);

const ControlSlot* findControl(const ControlsPanel& panel, int32_t position);
const ControlSlot* controlAt(const ControlsPanel& panel, PF_Point point);
// A control by position text ("16") or by its label as the panel shows it ("Top View"); null when none.
const ControlSlot* controlNamed(const ControlsPanel& panel, const std::string& name);

struct PanelDrawing {
    DrawnImage image;
    PF_Err err = PF_Err_NONE;  // the first control's draw that failed
    DrawbotAccounting accounting;
    std::vector<DrawnString> strings;
};

// Paints the panel and sends PF_Event_DRAW for each control, into one image of the panel's size.
PanelDrawing drawControlsPanel(PluginHost& host, ControlsPanel& panel, const DrawbotOptions& options = {});

}  // namespace zephrin::host
