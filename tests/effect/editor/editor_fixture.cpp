#include "effect/editor/editor_fixture.h"

#include <cmath>
#include <mutex>

#include "common/effect_contract.h"
#include "effect/editor/curve_clipboard.h"
#include "effect/editor/editor_points.h"
#include "effect/editor/top_view_editor.h"
#include "host/suites/host_state.h"
#include "host/win32/win32_control.h"

namespace zephrin::test {

bool ControlDrawing::drew(const std::string& text) const {
    for (const std::string& s : strings) {
        if (s == text) return true;
    }
    return false;
}

void EditorTest::SetUp() {
    win32::resetPlatform();
    topViewEditor() = TopViewEditor{};
    curveClipboard() = CurveClipboard{};
    ASSERT_EQ(host.applyEffect(), PF_Err_NONE);
    std::lock_guard<std::mutex> lock(host.state.mutex);
    context = host::newHandle(host.state);
    host.state.uiContexts[context] = host::UiContextRecord{};
}

void EditorTest::TearDown() {
    removeWindowHooks(topViewEditor());
    topViewEditor() = TopViewEditor{};
    curveClipboard() = CurveClipboard{};
    win32::resetPlatform();
    const host::HandleAccounting counts = host.test.accounting();
    EXPECT_EQ(counts.effectsLent, counts.effectsReturned);
    EXPECT_EQ(counts.streamsLent, counts.streamsReturned);
    EXPECT_EQ(counts.streamValuesLent, counts.streamValuesReturned);
}

PF_EventExtra EditorTest::event(PF_EventType type, int position, const PF_Rect& at, double x, double y) {
    PF_EventExtra extra{};
    extra.contextH = host::toHandle<PF_ContextH>(context);
    extra.e_type = type;
    extra.effect_win.index = position;
    extra.effect_win.current_frame = at;
    const PF_Point point{static_cast<A_long>(std::lround(x)), static_cast<A_long>(std::lround(y))};
    if (type == PF_Event_ADJUST_CURSOR) {
        extra.u.adjust_cursor.screen_point = point;
    } else if (type == PF_Event_KEYDOWN) {
        extra.u.key_down.screen_point = point;
    } else {
        extra.u.do_click.screen_point = point;
        extra.u.do_click.num_clicks = 1;
    }
    return extra;
}

PF_Err EditorTest::send(PF_EventExtra& extra) { return host.send(PF_Cmd_EVENT, &extra); }

PF_EventExtra EditorTest::click(double x, double y, PF_Modifiers modifiers, int clicks, int position) {
    const PF_Rect& at = position == param::kTopView         ? frame
                        : position == param::kGeneratePoints ? generateFrame
                        : position == param::kPathLayerPicker ? pickerFrame
                                                              : popupFrame;
    PF_EventExtra extra = event(PF_Event_DO_CLICK, position, at, x, y);
    extra.u.do_click.modifiers = modifiers;
    extra.u.do_click.num_clicks = clicks;
    EXPECT_EQ(send(extra), PF_Err_NONE);
    return extra;
}

PF_EventExtra EditorTest::drag(const std::vector<ScreenPoint>& path, PF_Modifiers modifiers) {
    PF_EventExtra extra = click(path.front().x, path.front().y, modifiers);
    if (!extra.u.do_click.send_drag) return extra;
    for (std::size_t i = 1; i < path.size(); ++i) {
        extra.e_type = PF_Event_DRAG;
        extra.evt_out_flags = PF_EO_NONE;
        extra.u.do_click.screen_point = PF_Point{static_cast<A_long>(std::lround(path[i].x)),
                                                 static_cast<A_long>(std::lround(path[i].y))};
        extra.u.do_click.last_time = i + 1 == path.size() ? 1 : 0;
        EXPECT_EQ(send(extra), PF_Err_NONE);
    }
    return extra;
}

PF_EventExtra EditorTest::hover(double x, double y, int position) {
    PF_EventExtra extra = event(PF_Event_ADJUST_CURSOR, position, position == param::kTopView ? frame : generateFrame,
                                x, y);
    EXPECT_EQ(send(extra), PF_Err_NONE);
    return extra;
}

PF_EventExtra EditorTest::key(PF_ControlCode code, char16_t character) {
    PF_EventExtra extra = event(PF_Event_KEYDOWN, param::kTopView, frame, 0, 0);
    extra.u.key_down.key_code = code;
    extra.u.key_down.char_code = character;
    EXPECT_EQ(send(extra), PF_Err_NONE);
    return extra;
}

ControlDrawing EditorTest::draw(int position, const PF_Rect& at, const host::DrawbotOptions& options) {
    host::DrawbotCanvasPtr canvas = host::makeDrawbotCanvas(at.right + 10, at.bottom + 10, options);
    PF_EventExtra extra = event(PF_Event_DRAW, position, at, 0, 0);
    extra.u.draw.update_rect = at;
    {
        std::lock_guard<std::mutex> lock(host.state.mutex);
        host.state.uiContexts[context].canvas = canvas.get();
    }
    ControlDrawing drawing;
    drawing.err = send(extra);
    {
        std::lock_guard<std::mutex> lock(host.state.mutex);
        host.state.uiContexts[context].canvas = nullptr;
    }
    drawing.image = host::canvasImage(*canvas);
    drawing.accounting = host::canvasAccounting(*canvas);
    for (const host::DrawnString& s : host::drawnStrings(*canvas)) drawing.strings.push_back(s.utf8);
    return drawing;
}

EditorLayout EditorTest::layout() const { return layoutTopView(frameBox(frame)); }

ScreenPoint EditorTest::screenOf(int slot) {
    const A_FloatPoint3 p = host.point(param::pointPosition(slot));
    const ScreenPoint n = normalizedOfStored(p.x, p.y, LayerSize{1000, 500});
    return toScreen(contentBox(layout(), topViewEditor()), n.x, n.y);
}

std::vector<std::string> EditorTest::writeTrace(const std::function<void()>& body) {
    host.refuseValues = true;
    host.clearRecords();
    log.clear();
    body();
    host.refuseValues = false;
    std::vector<std::string> reasons;
    for (const std::string& line : log.lines()) {
        if (line.rfind("CurveUI: writeStream set err=", 0) != 0) continue;
        reasons.push_back(line.substr(line.find(" reason=") + 8));
    }
    std::vector<std::string> trace;
    for (std::size_t i = 0; i < host.refusedWrites.size(); ++i) {
        trace.push_back(std::to_string(host.refusedWrites[i]) + " " + (i < reasons.size() ? reasons[i] : "?"));
    }
    return trace;
}

std::vector<std::string> repeated(const std::vector<std::string>& lines, int times) {
    std::vector<std::string> all;
    for (int i = 0; i < times; ++i) all.insert(all.end(), lines.begin(), lines.end());
    return all;
}

}  // namespace zephrin::test
