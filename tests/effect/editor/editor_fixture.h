// The effect's custom controls driven as the stand-in host drives them: custom-UI events in a context
// of the host's own (so invalidation and drawing references are the host's), sent through the host's
// command path, a click's record handed back on every drag, draws into the host's Cairo surface, and
// the Win32 stand-in for the hooks and popup menus.
#pragma once

#include <gtest/gtest.h>

#include <functional>

#include <string>
#include <vector>

#include "effect/editor/editor_layout.h"
#include "effect/effect_host_fixture.h"
#include "host/custom_ui/drawbot_canvas.h"

namespace zephrin::test {

struct ControlDrawing {
    PF_Err err = PF_Err_NONE;
    host::DrawnImage image;
    host::DrawbotAccounting accounting;
    std::vector<std::string> strings;
    bool drew(const std::string& text) const;
};

struct EditorTest : ::testing::Test {
    void SetUp() override;
    void TearDown() override;

    // The Top View at its registered 420 x 170, away from the panel's origin.
    PF_Rect frame{30, 40, 450, 210};
    PF_Rect generateFrame{30, 10, 290, 30};
    PF_Rect popupFrame{30, 10, 146, 30};
    PF_Rect pickerFrame{30, 10, 250, 30};

    PF_EventExtra event(PF_EventType type, int position, const PF_Rect& at, double x, double y);
    PF_Err send(PF_EventExtra& extra);
    // A click on the control; the event as the effect answered it.
    PF_EventExtra click(double x, double y, PF_Modifiers modifiers = PF_Mod_NONE, int clicks = 1,
                        int position = param::kTopView);
    // A click at path[0], then drags through the rest, the last one the mouse-up. The last event as answered.
    PF_EventExtra drag(const std::vector<ScreenPoint>& path, PF_Modifiers modifiers = PF_Mod_NONE);
    PF_EventExtra hover(double x, double y, int position = param::kTopView);
    PF_EventExtra key(PF_ControlCode code, char16_t character = 0);
    ControlDrawing draw(int position, const PF_Rect& at, const host::DrawbotOptions& options = {});

    // Where a stored point stands on screen now (centred form, the editor's current view).
    ScreenPoint screenOf(int slot);
    EditorLayout layout() const;
    // "position reason" for every stream write of `body`, in order, recorded with the values refused so
    // that each write logs its reason.
    std::vector<std::string> writeTrace(const std::function<void()>& body);

    void setCount(int points) { host.set(param::kPointCount, points - 1); }
    void closeCurve() { host.set(param::kCloseEndpoints, 1); }

    EffectTestHost host;
    EffectLog log;
    uintptr_t context = 0;
};

// n copies of the text: writeTrace lines repeated.
std::vector<std::string> repeated(const std::vector<std::string>& lines, int times);

}  // namespace zephrin::test
