#include "host/custom_ui/controls_panel.h"

#include <algorithm>
#include <mutex>

#include "common/effect_contract.h"
#include "host/custom_ui/drawbot_registry.h"
#include "host/effect_plugin.h"
#include "host/suites/host_state.h"
#include "host/win32/win32_control.h"

namespace zephrin::host {
namespace {

constexpr int32_t kPanelMargin = 8;
constexpr int32_t kLabelColumn = 132;  // the parameter names' column, left of the controls
constexpr int32_t kRowGap = 6;
// A control registered without a width spans this much (the panel's usual control column).
constexpr int32_t kDefaultControlWidth = 260;
constexpr int32_t kDefaultControlHeight = 20;
constexpr double kLabelFontSize = 11.0;
// Baseline of a label within its row: about two thirds down a 20-pixel row.
constexpr double kLabelBaseline = 14.0;

// The host's own panel colours: a mid-dark grey like the host's panels, light grey names.
constexpr double kPanelGrey = 0.16;
constexpr double kLabelGrey = 0.78;

EffectPlugin& requireEffect(PluginHost& host) {
    EffectPlugin* effect = loadedEffect(host);
    if (effect == nullptr) throw HostError("no effect plug-in is loaded");
    return *effect;
}

bool isVisibleControl(const EffectPlugin& effect, const EffectInstance& instance, size_t position) {
    const PF_ParamDef& def = effect.params[position];
    const ParamUiState& ui = instance.ui[position];
    const PF_ParamUIFlags flags = ui.updated ? ui.uiFlags : def.ui_flags;
    if ((flags & PF_PUI_CONTROL) == 0 || (flags & PF_PUI_INVISIBLE) != 0) return false;
    return (instance.streams[position].dynamicFlags & AEGP_DynStreamFlag_HIDDEN) == 0;
}

}  // namespace

ControlsPanel openControlsPanel(PluginHost& host, EffectInstance& instance, const PanelLayoutOptions& layout,
                                double seconds) {
    requireEffect(host);
    HostState& state = hostStateOf(host);
    ControlsPanel panel;
    panel.instance = &instance;
    panel.layout = layout;
    panel.seconds = seconds;
    panel.screenOrigin = kPanelScreenOrigin;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        panel.context = newHandle(state);
        state.uiContexts[panel.context] = UiContextRecord{};
    }
    layOutControlsPanel(host, panel);
    return panel;
}

void closeControlsPanel(PluginHost& host, ControlsPanel& panel) {
    HostState& state = hostStateOf(host);
    std::lock_guard<std::mutex> lock(state.mutex);
    state.uiContexts.erase(panel.context);
    panel.context = 0;
}

void layOutControlsPanel(PluginHost& host, ControlsPanel& panel) {
    EffectPlugin& effect = requireEffect(host);
    HostState& state = hostStateOf(host);
    std::vector<ControlSlot> controls;
    int32_t y = kPanelMargin, right = kPanelMargin + kLabelColumn + kDefaultControlWidth;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        const EffectInstance& instance = *panel.instance;
        for (size_t position = 1; position < effect.params.size(); ++position) {
            if (!isVisibleControl(effect, instance, position)) continue;
            const PF_ParamDef& def = effect.params[position];
            const ParamUiState& ui = instance.ui[position];
            int32_t width = ui.updated && ui.uiWidth > 0 ? ui.uiWidth : def.ui_width;
            int32_t height = ui.updated && ui.uiHeight > 0 ? ui.uiHeight : def.ui_height;
            if (static_cast<int>(position) == param::kTopView) {
                if (panel.layout.topViewWidth > 0) width = panel.layout.topViewWidth;
                if (panel.layout.topViewHeight > 0) height = panel.layout.topViewHeight;
            }
            if (width <= 0) width = kDefaultControlWidth;
            if (height <= 0) height = kDefaultControlHeight;
            ControlSlot slot;
            slot.position = static_cast<int32_t>(position);
            slot.label = ui.updated && !ui.label.empty() ? ui.label : std::string(def.name);
            const int32_t left = kPanelMargin + kLabelColumn;
            slot.frame = PF_Rect{left, y, left + width, y + height};
            right = std::max(right, slot.frame.right);
            y += height + kRowGap;
            controls.push_back(std::move(slot));
        }
    }
    panel.controls = std::move(controls);
    panel.width = right + kPanelMargin;
    panel.height = std::max(y - kRowGap, kPanelMargin) + kPanelMargin;
    const RECT screenRect{panel.screenOrigin.x, panel.screenOrigin.y, panel.screenOrigin.x + panel.width,
                          panel.screenOrigin.y + panel.height};
    if (panel.window == nullptr) panel.window = win32::createWindow(nullptr, screenRect);
    win32::moveWindow(panel.window, screenRect);
}

const ControlSlot* findControl(const ControlsPanel& panel, int32_t position) {
    for (const ControlSlot& slot : panel.controls) {
        if (slot.position == position) return &slot;
    }
    return nullptr;
}

const ControlSlot* controlAt(const ControlsPanel& panel, PF_Point point) {
    for (const ControlSlot& slot : panel.controls) {
        const PF_Rect& r = slot.frame;
        if (point.h >= r.left && point.h < r.right && point.v >= r.top && point.v < r.bottom) return &slot;
    }
    return nullptr;
}

const ControlSlot* controlNamed(const ControlsPanel& panel, const std::string& name) {
    for (const ControlSlot& slot : panel.controls) {
        if (slot.label == name || std::to_string(slot.position) == name) return &slot;
    }
    return nullptr;
}

PanelDrawing drawControlsPanel(PluginHost& host, ControlsPanel& panel, const DrawbotOptions& options) {
    EffectPlugin& effect = requireEffect(host);
    HostState& state = hostStateOf(host);
    PanelDrawing drawing;
    DrawbotOptions panelOptions = options;
    panelOptions.background = DRAWBOT_ColorRGBA{kPanelGrey, kPanelGrey, kPanelGrey, 1};
    DrawbotCanvasPtr canvas = makeDrawbotCanvas(panel.width, panel.height, panelOptions);
    {
        // The host draws the names itself; it does not count against the effect's calls.
        std::lock_guard<std::mutex> lock(drawbotRegistry().mutex);
        cairo_t* cr = canvas->cr;
        cairo_set_font_size(cr, kLabelFontSize);
        cairo_set_source_rgb(cr, kLabelGrey, kLabelGrey, kLabelGrey);
        for (const ControlSlot& slot : panel.controls) {
            cairo_move_to(cr, kPanelMargin, slot.frame.top + kLabelBaseline);
            cairo_show_text(cr, slot.label.c_str());
        }
    }
    for (const ControlSlot& slot : panel.controls) {
        PF_EventExtra event{};
        event.contextH = toHandle<PF_ContextH>(panel.context);
        event.e_type = PF_Event_DRAW;
        event.effect_win.index = slot.position;
        event.effect_win.current_frame = slot.frame;
        event.u.draw.update_rect = slot.frame;
        event.u.draw.depth = 32;
        {
            std::lock_guard<std::mutex> lock(state.mutex);
            state.uiContexts[panel.context].canvas = canvas.get();
        }
        const PF_Err err =
            sendEffectCommand(state, effect, panel.instance, PF_Cmd_EVENT, panel.seconds, &event).err;
        {
            std::lock_guard<std::mutex> lock(state.mutex);
            state.uiContexts[panel.context].canvas = nullptr;
        }
        if (err != PF_Err_NONE && drawing.err == PF_Err_NONE) drawing.err = err;
    }
    drawing.image = canvasImage(*canvas);
    drawing.accounting = canvasAccounting(*canvas);
    drawing.strings = drawnStrings(*canvas);
    return drawing;
}

}  // namespace zephrin::host
