#include "effect/custom_ui_events.h"

#include <vector>

#include "effect/editor/editor_input.h"
#include "effect/editor/editor_layout.h"
#include "effect/control_points.h"
#include "effect/editor/path_layer_picker.h"
#include "effect/editor/popup_menu.h"
#include "effect/editor/top_view_drawing.h"
#include "effect/editor/top_view_gestures.h"
#include "effect/localized_popups.h"
#include "effect/localized_texts.h"
#include "effect/stream_writing.h"
#include "sdk/AE_EffectSuites.h"

namespace zephrin {
namespace {

using namespace param;

constexpr PF_OutFlags kRerender = PF_OutFlag_FORCE_RERENDER | PF_OutFlag_REFRESH_UI;

// A speed typed into the inline field and committed.
void commitInlineSpeed(EffectCall& call, double speed) {
    storeOneD(call, kLoopMoveSpeed, speed, "top-view-loop-speed-inline-input");
    call.out_data->out_flags |= kRerender;
}

// A commit the message hook took outside any command is written with the first event that has one.
void writePendingCommit(EffectCall& call) {
    TopViewEditor& editor = topViewEditor();
    if (!editor.inlineCommitPending) return;
    editor.inlineCommitPending = false;
    commitInlineSpeed(call, editor.inlineCommitValue);
}

// The host redraws the control's frame after every handled event.
void invalidateControl(EffectCall& call, const PF_EventExtra& event) {
    const auto& app = call.suites.acquire<PFAppSuite6>(kPFAppSuite, kPFAppSuiteVersion6);
    app.PF_InvalidateRect(event.contextH, &event.effect_win.current_frame);
}

PF_Err onKeyDown(EffectCall& call, PF_EventExtra& event) {
    TopViewEditor& editor = topViewEditor();
    if (!editor.inlineEditActive) return PF_Err_NONE;
    const PF_KeyDownEvent& key = event.u.key_down;
    InlineKeyResult result;
    switch (key.key_code) {
        case PF_ControlCode_Backspace:
            result = inlineKey(editor, InlineKey::Backspace);
            break;
        case PF_ControlCode_Return:
        case PF_ControlCode_Enter:
            result = inlineKey(editor, InlineKey::Commit);
            break;
        case PF_ControlCode_Unknown:
            result = inlineKey(editor, InlineKey::Character, static_cast<char16_t>(key.char_code));
            break;
        default:
            break;
    }
    if (result.commit) commitInlineSpeed(call, *result.commit);
    // While the field is open every key belongs to it.
    event.evt_out_flags = kHandledRepaint;
    return PF_Err_NONE;
}

void adjustTopViewCursor(const EffectCall& call, PF_EventExtra& event) {
    const TopViewEditor& editor = topViewEditor();
    const EditorLayout layout = layoutTopView(frameBox(event.effect_win.current_frame));
    const double x = event.u.adjust_cursor.screen_point.h, y = event.u.adjust_cursor.screen_point.v;
    const bool closed = closedCurve(call);
    PF_CursorType cursor = PF_Cursor_NONE;
    if (editor.panning && insideBox(layout.frame, x, y)) {
        cursor = PF_Cursor_PAN;
    } else if (insideBox(layout.grip, x, y)) {
        cursor = PF_Cursor_SCALE_DIAG_LR;
    } else if (layout.hasToolbar &&
               ((layout.copyButton.w > 0 && insideBox(layout.copyButton, x, y)) ||
                (layout.pasteButton.w > 0 && editor.clipboardFilled && insideBox(layout.pasteButton, x, y)) ||
                (closed && insideBox(layout.shapeButton, x, y)) || (closed && insideBox(layout.speedField, x, y)))) {
        cursor = PF_Cursor_FINGER_POINTER;
    }
    if (cursor == PF_Cursor_NONE) return;
    event.u.adjust_cursor.set_cursor = cursor;
    event.evt_out_flags = PF_EO_HANDLED_EVENT;
}

void adjustGenerateCursor(PF_EventExtra& event) {
    const GenerateButtons buttons = generateButtons(frameBox(event.effect_win.current_frame));
    const double x = event.u.adjust_cursor.screen_point.h, y = event.u.adjust_cursor.screen_point.v;
    if (!insideBox(buttons.generate, x, y) && !insideBox(buttons.reset, x, y)) return;
    event.u.adjust_cursor.set_cursor = PF_Cursor_FINGER_POINTER;
    event.evt_out_flags = PF_EO_HANDLED_EVENT;
}

PF_Err drawLocalizedPopup(EffectCall& call, const PF_EventExtra& event, int position) {
    const TextId choices = position == kLanguage ? TextId::LanguageChoices : TextId::ModeChoices;
    const std::vector<PopupMenuItem> items = choiceItems(wideText(choices, chineseSelected(call)));
    const int value = popupValue(call, position);
    const std::u16string shown =
        value >= 1 && value <= static_cast<int>(items.size()) ? items[static_cast<size_t>(value - 1)].text : u"";
    return drawPopupControl(call, event, shown);
}

PF_Err onDraw(EffectCall& call, PF_EventExtra& event) {
    const int control = event.effect_win.index;
    PF_Err err = PF_Err_NONE;
    switch (control) {
        case kTopView:
            err = drawTopView(call, event);
            break;
        case kGeneratePoints:
            err = drawGeneratePoints(call, event);
            break;
        case kLanguage:
        case kMode:
            err = drawLocalizedPopup(call, event, control);
            break;
        case kPathLayerPicker:
            err = drawPicker(call, event);
            break;
        default:
            return PF_Err_NONE;
    }
    if (err == PF_Err_NONE) event.evt_out_flags = PF_EO_HANDLED_EVENT;
    return err;
}

PF_Err onClick(EffectCall& call, PF_EventExtra& event) {
    switch (event.effect_win.index) {
        case kLanguage:
        case kMode:
            return onLocalizedPopupClick(call, event);
        case kTopView:
            return onTopViewClick(call, event);
        case kGeneratePoints:
            return onGeneratePointsClick(call, event);
        case kPathLayerPicker:
            return onPickerClick(call, event);
        default:
            return PF_Err_NONE;
    }
}

}  // namespace

PF_Err onCustomUiEvent(EffectCall& call, PF_EventExtra* event) {
    if (event == nullptr || !hasParams(call)) return PF_Err_NONE;
    const int control = event->effect_win.index;
    if (control == kTopView) writePendingCommit(call);
    PF_Err err = PF_Err_NONE;
    switch (event->e_type) {
        case PF_Event_DRAW:
            return onDraw(call, *event);
        case PF_Event_DO_CLICK:
            err = onClick(call, *event);
            break;
        case PF_Event_DRAG:
            if (control == kTopView) err = onTopViewDrag(call, *event);
            break;
        case PF_Event_ADJUST_CURSOR:
            if (control == kTopView) adjustTopViewCursor(call, *event);
            if (control == kGeneratePoints) adjustGenerateCursor(*event);
            return PF_Err_NONE;
        case PF_Event_KEYDOWN:
            err = onKeyDown(call, *event);
            break;
        default:
            return PF_Err_NONE;
    }
    if (err == PF_Err_NONE && (event->evt_out_flags & PF_EO_HANDLED_EVENT) != 0) invalidateControl(call, *event);
    return err;
}

}  // namespace zephrin
