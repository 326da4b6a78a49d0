#include "host/custom_ui/control_events.h"

#include <mutex>
#include <stdexcept>

#include "host/effect_plugin.h"
#include "host/suites/host_state.h"
#include "host/win32/win32_control.h"

namespace zephrin::host {
namespace {

EffectPlugin& requireEffect(PluginHost& host) {
    EffectPlugin* effect = loadedEffect(host);
    if (effect == nullptr) throw HostError("no effect plug-in is loaded");
    return *effect;
}

int virtualKeyOf(MouseButton button) {
    switch (button) {
        case MouseButton::Right:
            return VK_RBUTTON;
        case MouseButton::Middle:
            return VK_MBUTTON;
        case MouseButton::Left:
            break;
    }
    return VK_LBUTTON;
}

// Characters a key press types, as Windows translates them into WM_CHAR.
char16_t characterOf(PF_ControlCode code) {
    switch (code) {
        case PF_ControlCode_Backspace:
            return u'\b';
        case PF_ControlCode_Return:
        case PF_ControlCode_Enter:
            return u'\r';
        case PF_ControlCode_Escape:
            return u'\x1b';
        case PF_ControlCode_Tab:
            return u'\t';
        case PF_ControlCode_Space:
            return u' ';
        default:
            return 0;
    }
}

// Virtual keys of typed text characters, where Windows has one of its own.
int virtualKeyOfChar(char16_t c) {
    if (c >= u'0' && c <= u'9') return static_cast<int>(c);
    if (c >= u'a' && c <= u'z') return static_cast<int>(c - u'a' + u'A');
    if (c >= u'A' && c <= u'Z') return static_cast<int>(c);
    if (c == u'-') return VK_OEM_MINUS;
    if (c == u'.') return VK_OEM_PERIOD;
    if (c == u' ') return 0x20;
    return 0;
}

void accumulate(ControlEventResult& total, const ControlEventResult& step) {
    if (total.err == PF_Err_NONE) total.err = step.err;
    total.eventOutFlags |= step.eventOutFlags;
    total.outFlags |= step.outFlags;
    total.invalidations += step.invalidations;
    total.refcon = step.refcon;
}

// What the window hooks invalidated the host redraws, as a window repaints: the draw is the effect's
// next event, which is where it finishes what a hook began (an inline value committed by Enter).
bool redrawIfInvalidated(PluginHost& host, ControlsPanel& panel, size_t invalidationsBefore) {
    if (win32::invalidationCount(panel.window) == invalidationsBefore) return false;
    drawControlsPanel(host, panel);
    return true;
}

}  // namespace

POINT screenPointOf(const ControlsPanel& panel, PF_Point point) {
    return POINT{panel.screenOrigin.x + point.h, panel.screenOrigin.y + point.v};
}

ControlEventResult sendControlEvent(PluginHost& host, ControlsPanel& panel, const ControlEvent& event) {
    EffectPlugin& effect = requireEffect(host);
    HostState& state = hostStateOf(host);
    const ControlSlot* slot = findControl(panel, event.position);
    if (slot == nullptr) throw HostError("no custom control at position " + std::to_string(event.position));

    PF_EventExtra extra{};
    extra.contextH = toHandle<PF_ContextH>(panel.context);
    extra.e_type = event.type;
    extra.effect_win.index = event.position;
    extra.effect_win.current_frame = slot->frame;
    switch (event.type) {
        case PF_Event_DO_CLICK:
        case PF_Event_DRAG: {
            PF_DoClickEventInfo& click = extra.u.do_click;
            click.screen_point = event.point;
            click.num_clicks = event.clicks;
            click.modifiers = event.modifiers;
            for (size_t i = 0; i < 4; ++i) click.continue_refcon[i] = event.refcon[i];
            click.last_time = event.lastTime ? 1 : 0;
            click.send_drag = event.sendDrag ? 1 : 0;
            break;
        }
        case PF_Event_ADJUST_CURSOR:
            extra.u.adjust_cursor.screen_point = event.point;
            extra.u.adjust_cursor.modifiers = event.modifiers;
            extra.u.adjust_cursor.set_cursor = PF_Cursor_NONE;
            break;
        case PF_Event_KEYDOWN:
            extra.u.key_down.screen_point = event.point;
            extra.u.key_down.key_code = event.keyCode;
            extra.u.key_down.char_code = event.charCode;
            extra.u.key_down.modifiers = event.modifiers;
            break;
        default:
            break;
    }
    size_t invalidatedBefore = 0;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        invalidatedBefore = state.uiContexts[panel.context].invalidated.size();
    }
    EffectCommandResult command = sendEffectCommand(state, effect, panel.instance, PF_Cmd_EVENT, panel.seconds, &extra);
    ControlEventResult result;
    result.err = command.err;
    result.eventOutFlags = extra.evt_out_flags;
    result.outFlags = command.outFlags;
    if (event.type == PF_Event_DO_CLICK || event.type == PF_Event_DRAG) {
        result.sendDrag = extra.u.do_click.send_drag != 0;
        for (size_t i = 0; i < 4; ++i) result.refcon[i] = extra.u.do_click.continue_refcon[i];
    }
    if (event.type == PF_Event_ADJUST_CURSOR) result.cursor = extra.u.adjust_cursor.set_cursor;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        result.invalidations = state.uiContexts[panel.context].invalidated.size() - invalidatedBefore;
    }
    if (command.err == PF_Err_NONE && (command.outFlags & PF_OutFlag_REFRESH_UI) != 0) {
        result.err = sendEffectCommand(state, effect, panel.instance, PF_Cmd_UPDATE_PARAMS_UI, panel.seconds).err;
    }
    layOutControlsPanel(host, panel);
    return result;
}

ControlEventResult pressAndDrag(PluginHost& host, ControlsPanel& panel, int32_t position,
                                const std::vector<PF_Point>& path, MouseButton button, PF_Modifiers modifiers,
                                int32_t clicks) {
    if (path.empty()) throw std::invalid_argument("a press needs a point");
    const int buttonKey = virtualKeyOf(button);
    win32::setCursorPos(screenPointOf(panel, path.front()));
    win32::setKeyDown(buttonKey, true);
    panel.focus = position;
    ControlEvent click;
    click.type = PF_Event_DO_CLICK;
    click.position = position;
    click.point = path.front();
    click.modifiers = modifiers;
    click.clicks = clicks;
    ControlEventResult total;
    try {
        total = sendControlEvent(host, panel, click);
        bool dragging = total.err == PF_Err_NONE && total.sendDrag;
        std::array<A_intptr_t, 4> refcon = total.refcon;
        // The mouse-up comes as one more drag at the last point, marked last_time.
        for (size_t i = 1; dragging && i <= path.size(); ++i) {
            const bool last = i == path.size();
            ControlEvent drag = click;
            drag.type = PF_Event_DRAG;
            drag.point = last ? path.back() : path[i];
            drag.refcon = refcon;
            drag.sendDrag = true;
            drag.lastTime = last;
            win32::setCursorPos(screenPointOf(panel, drag.point));
            if (last) win32::setKeyDown(buttonKey, false);
            const ControlEventResult step = sendControlEvent(host, panel, drag);
            accumulate(total, step);
            refcon = step.refcon;
            dragging = step.err == PF_Err_NONE && step.sendDrag;
        }
    } catch (...) {
        win32::setKeyDown(buttonKey, false);
        throw;
    }
    win32::setKeyDown(buttonKey, false);
    return total;
}

ControlEventResult hoverControl(PluginHost& host, ControlsPanel& panel, PF_Point point, PF_Modifiers modifiers) {
    const ControlSlot* slot = controlAt(panel, point);
    if (slot == nullptr) return ControlEventResult{};
    win32::setCursorPos(screenPointOf(panel, point));
    ControlEvent event;
    event.type = PF_Event_ADJUST_CURSOR;
    event.position = slot->position;
    event.point = point;
    event.modifiers = modifiers;
    return sendControlEvent(host, panel, event);
}

ControlEventResult typeKey(PluginHost& host, ControlsPanel& panel, int virtualKey, char16_t character,
                           PF_ControlCode keyCode) {
    ControlEventResult result;
    const size_t invalidations = win32::invalidationCount(panel.window);
    const char16_t typed = character != 0 ? character : characterOf(keyCode);
    if (win32::sendKeyDown(panel.window, virtualKey) || (typed != 0 && win32::sendChar(panel.window, typed))) {
        redrawIfInvalidated(host, panel, invalidations);
        return result;
    }
    if (panel.focus == 0 || findControl(panel, panel.focus) == nullptr) return result;
    ControlEvent event;
    event.type = PF_Event_KEYDOWN;
    event.position = panel.focus;
    event.keyCode = keyCode;
    event.charCode = keyCode == PF_ControlCode_Unknown ? static_cast<A_long>(character) : 0;
    return sendControlEvent(host, panel, event);
}

ControlEventResult typeText(PluginHost& host, ControlsPanel& panel, const std::u16string& text) {
    ControlEventResult total;
    for (char16_t c : text) accumulate(total, typeKey(host, panel, virtualKeyOfChar(c), c));
    return total;
}

bool turnWheel(PluginHost& host, ControlsPanel& panel, PF_Point point, int32_t notches) {
    const size_t invalidations = win32::invalidationCount(panel.window);
    const bool swallowed = win32::sendWheel(screenPointOf(panel, point), notches);
    redrawIfInvalidated(host, panel, invalidations);
    return swallowed;
}

bool middleDrag(PluginHost& host, ControlsPanel& panel, const std::vector<PF_Point>& path) {
    if (path.empty()) return false;
    bool swallowed = false;
    for (size_t i = 0; i < path.size(); ++i) {
        const size_t invalidations = win32::invalidationCount(panel.window);
        const POINT screen = screenPointOf(panel, path[i]);
        swallowed = (i == 0 ? win32::sendMiddleDown(screen) : win32::sendMouseMove(screen)) || swallowed;
        redrawIfInvalidated(host, panel, invalidations);
    }
    const size_t invalidations = win32::invalidationCount(panel.window);
    swallowed = win32::sendMiddleUp(screenPointOf(panel, path.back())) || swallowed;
    redrawIfInvalidated(host, panel, invalidations);
    return swallowed;
}

}  // namespace zephrin::host
