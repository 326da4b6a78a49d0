// Wheel zoom, middle-button panning and typed speeds as the window hooks receive them from the Win32
// stand-in, and the same keys through the host's key events.
#include "effect/editor/window_hooks.h"

#include <gtest/gtest.h>

#include "effect/editor/gesture_tag.h"
#include "effect/editor/top_view_gestures.h"
#include "effect/editor/editor_fixture.h"
#include "host/win32/win32_control.h"

namespace zephrin::test {
namespace {

using namespace param;

// The panel window's client area starts at this screen point.
constexpr LONG kWindowX = 100, kWindowY = 100;

struct WindowHooks : EditorTest {
    void SetUp() override {
        EditorTest::SetUp();
        window = win32::createWindow(nullptr, RECT{kWindowX, kWindowY, kWindowX + 600, kWindowY + 400});
        draw(kTopView, frame);
    }
    POINT screen(double x, double y) const {
        return POINT{kWindowX + static_cast<LONG>(x), kWindowY + static_cast<LONG>(y)};
    }
    double speed() { return host.value(kLoopMoveSpeed); }
    void openSpeedField() {
        closeCurve();
        const EditorBox field = layout().speedField;
        click(field.x + 10, field.y + 5);
        ASSERT_TRUE(topViewEditor().inlineEditActive);
    }
    HWND window = nullptr;
};

TEST_F(WindowHooks, WheelOverTheControlZoomsAndOutsideIsPassedOn) {
    EXPECT_FALSE(win32::sendWheel(screen(5, 5), 1));
    EXPECT_EQ(topViewEditor().zoom, 1.0);
    EXPECT_TRUE(win32::sendWheel(screen(200, 120), 1));
    EXPECT_DOUBLE_EQ(topViewEditor().zoom, 1.12);
    EXPECT_GE(win32::invalidationCount(window), 1u);
    EXPECT_TRUE(win32::sendWheel(screen(200, 120), -1));
    EXPECT_NEAR(topViewEditor().zoom, 1.0, 1e-12);
}

TEST_F(WindowHooks, MiddleButtonPansAndAClickMeanwhileStartsAPanGesture) {
    ASSERT_TRUE(win32::sendMiddleDown(screen(200, 120)));
    EXPECT_EQ(win32::captureWindow(), window);
    EXPECT_TRUE(win32::sendMouseMove(screen(230, 130)));
    EXPECT_EQ(topViewEditor().panX, 30);
    EXPECT_EQ(topViewEditor().panY, 10);
    const PF_EventExtra answered = click(230, 130);
    EXPECT_EQ(decodeGestureTag(static_cast<uint32_t>(answered.u.do_click.continue_refcon[0])).kind, GestureKind::Pan);
    EXPECT_EQ(hover(230, 130).u.adjust_cursor.set_cursor, PF_Cursor_PAN);
    EXPECT_TRUE(win32::sendMiddleUp(screen(230, 130)));
    EXPECT_FALSE(topViewEditor().panning);
    EXPECT_EQ(win32::captureWindow(), nullptr);
}

TEST_F(WindowHooks, AMiddleButtonReleasedElsewhereEndsThePanAtTheNextMove) {
    ASSERT_TRUE(win32::sendMiddleDown(screen(200, 120)));
    win32::setKeyDown(VK_MBUTTON, false);
    EXPECT_FALSE(win32::sendMouseMove(screen(260, 160)));
    EXPECT_FALSE(topViewEditor().panning);
    EXPECT_EQ(topViewEditor().panX, 0);
    EXPECT_EQ(win32::captureWindow(), nullptr);
}

TEST_F(WindowHooks, TypedCharactersReachTheSpeedFieldAndEnterCommitsWithTheNextEvent) {
    openSpeedField();
    for (char16_t c : std::u16string(u"--42x")) EXPECT_TRUE(win32::sendChar(window, c));
    EXPECT_EQ(topViewEditor().inlineText, u"-42");
    EXPECT_FALSE(win32::sendKeyDown(window, 'V')) << "other keys go on to the host";
    EXPECT_TRUE(win32::sendKeyDown(window, VK_RETURN));
    EXPECT_FALSE(topViewEditor().inlineEditActive);
    hover(5, 5);
    EXPECT_EQ(speed(), -42);
}

TEST_F(WindowHooks, KeyEventsEditTheFieldCommitWithItsReasonAndClamp) {
    openSpeedField();
    const std::vector<std::string> trace = writeTrace([&] {
        key(PF_ControlCode_Unknown, u'-');
        key(PF_ControlCode_Unknown, u'-');
        key(PF_ControlCode_Unknown, u'7');
        EXPECT_EQ(key(PF_ControlCode_Return).evt_out_flags, kHandledRepaint);
    });
    EXPECT_EQ(trace, std::vector<std::string>{"17 top-view-loop-speed-inline-input"});
    EXPECT_EQ(host.last(PF_Cmd_EVENT).param(kLoopMoveSpeed).u.fs_d.value, -7);

    openSpeedField();
    key(PF_ControlCode_Unknown, u'2');
    key(PF_ControlCode_Unknown, u'5');
    key(PF_ControlCode_Unknown, u'0');
    key(PF_ControlCode_Enter);
    EXPECT_EQ(speed(), 100);
    EXPECT_EQ(key(PF_ControlCode_Unknown, u'3').evt_out_flags, PF_EO_NONE) << "no field, no key";
}

TEST_F(WindowHooks, GlobalSetdownRemovesBothHooks) {
    openSpeedField();
    EXPECT_EQ(win32::liveHookCount(), 2u);
    host.setDownGlobals();
    EXPECT_EQ(win32::liveHookCount(), 0u);
    EXPECT_FALSE(topViewEditor().inlineEditActive);
}

}  // namespace
}  // namespace zephrin::test
