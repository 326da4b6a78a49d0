// The custom controls drawn into the stand-in host's Cairo surface: labels in both languages, every
// object released and every state popped also when a call fails, and the curve without text support.
#include "effect/editor/top_view_drawing.h"

#include <gtest/gtest.h>

#include "effect/editor/editor_points.h"
#include "effect/editor/top_view_editor.h"
#include "effect/editor/editor_fixture.h"
#include "host/win32/win32_control.h"

namespace zephrin::test {
namespace {

using namespace param;

using ControlDrawings = EditorTest;

// How many pixels of the image are close to the colour (8-bit, straight).
int pixelsNear(const host::DrawnImage& image, int r, int g, int b, int slack = 6) {
    int count = 0;
    for (std::size_t i = 0; i + 3 < image.rgba.size(); i += 4) {
        if (std::abs(image.rgba[i] - r) <= slack && std::abs(image.rgba[i + 1] - g) <= slack &&
            std::abs(image.rgba[i + 2] - b) <= slack) {
            ++count;
        }
    }
    return count;
}

// The curve and point colour (0.95, 0.95, 0.98).
int curvePixels(const host::DrawnImage& image) { return pixelsNear(image, 242, 242, 250, 4); }

void expectBalanced(const ControlDrawing& drawing) {
    EXPECT_EQ(drawing.accounting.liveObjects, 0);
    EXPECT_EQ(drawing.accounting.stackDepth, 0);
    EXPECT_EQ(drawing.accounting.unbalancedPops, 0);
}

TEST_F(ControlDrawings, TopViewShowsItsToolbarLabelsInEnglishAndChinese) {
    frame.right = frame.left + 480;
    host.set(kLanguage, kLanguageEnglish);
    ControlDrawing drawing = draw(kTopView, frame);
    ASSERT_EQ(drawing.err, PF_Err_NONE);
    expectBalanced(drawing);
    for (const char* label : {"Close Ends OFF", "Shape: None", "Speed", "0.0", "Copy", "Paste"}) {
        EXPECT_TRUE(drawing.drew(label)) << label;
    }
    EXPECT_GT(curvePixels(drawing.image), 300) << "the flat curve across the square";

    host.set(kLanguage, kLanguageChinese);
    closeCurve();
    drawing = draw(kTopView, frame);
    for (const char* label : {"封闭端口 ON", "形状: 无", "速度", "复制", "粘贴"}) EXPECT_TRUE(drawing.drew(label)) << label;
}

TEST_F(ControlDrawings, NarrowToolbarsDrawNoCopyOrPasteAndShortOnesNoToolbar) {
    ControlDrawing drawing = draw(kTopView, frame);  // inner width 404
    EXPECT_FALSE(drawing.drew("Copy"));
    EXPECT_TRUE(drawing.drew("Speed"));
    frame.bottom = frame.top + 60;
    drawing = draw(kTopView, frame);
    EXPECT_EQ(drawing.err, PF_Err_NONE);
    EXPECT_FALSE(drawing.drew("Speed"));
}

TEST_F(ControlDrawings, ASurfaceWithoutTextStillShowsTheCurve) {
    host::DrawbotOptions options;
    options.supportsText = false;
    const ControlDrawing drawing = draw(kTopView, frame, options);
    EXPECT_EQ(drawing.err, PF_Err_NONE);
    EXPECT_TRUE(drawing.strings.empty());
    EXPECT_GT(curvePixels(drawing.image), 300);
    expectBalanced(drawing);
}

TEST_F(ControlDrawings, AFailingCallEndsTheDrawReleasesEverythingAndIsReturned) {
    const ControlDrawing whole = draw(kTopView, frame);
    ASSERT_GT(whole.accounting.calls, 40);
    for (int64_t failing : {int64_t{1}, int64_t{5}, whole.accounting.calls / 2, whole.accounting.calls - 2}) {
        host::DrawbotOptions options;
        options.failCallNumber = failing;
        const ControlDrawing drawing = draw(kTopView, frame, options);
        EXPECT_NE(drawing.err, PF_Err_NONE) << failing;
        EXPECT_EQ(drawing.accounting.failedCalls, 1) << "nothing is drawn after the failure";
        EXPECT_EQ(drawing.accounting.liveObjects, 0) << failing;
    }
}

TEST_F(ControlDrawings, DrawingRecordsTheFrameAndInstallsTheMouseHookOnce) {
    EXPECT_EQ(win32::liveHookCount(), 0u);
    draw(kTopView, frame);
    draw(kTopView, frame);
    const TopViewEditor& editor = topViewEditor();
    EXPECT_TRUE(editor.drawn);
    EXPECT_EQ(editor.frameRect.left, frame.left);
    EXPECT_EQ(editor.frameRect.bottom, frame.bottom);
    EXPECT_EQ(win32::liveHookCount(), 1u);
    EXPECT_NE(editor.mouseHookThread, 0u);
}

TEST_F(ControlDrawings, ABoxSelectionIsDrawnWhileItsGestureRuns) {
    const EditorLayout l = layout();
    PF_EventExtra started = click(l.canvas.x + 20, l.canvas.y + 10);
    started.e_type = PF_Event_DRAG;
    started.u.do_click.screen_point = PF_Point{static_cast<A_long>(l.canvas.x + 120), static_cast<A_long>(l.canvas.y + 60)};
    send(started);
    // The translucent selection fill over the panel.
    const int filled = pixelsNear(draw(kTopView, frame).image, 21, 35, 59, 2);
    EXPECT_GT(filled, 3000);
    started.u.do_click.last_time = 1;
    send(started);
    EXPECT_LT(pixelsNear(draw(kTopView, frame).image, 21, 35, 59, 2), filled / 10);
}

TEST_F(ControlDrawings, GeneratePointsAndThePopupsShowTheirTexts) {
    ControlDrawing drawing = draw(kGeneratePoints, generateFrame);
    EXPECT_EQ(drawing.err, PF_Err_NONE);
    EXPECT_TRUE(drawing.drew("Generate"));
    EXPECT_TRUE(drawing.drew("Reset"));
    host.set(kLanguage, kLanguageEnglish);
    host.set(kMode, kModeScroll);
    EXPECT_TRUE(draw(kLanguage, popupFrame).drew("English"));
    EXPECT_TRUE(draw(kMode, popupFrame).drew("Scroll Mode"));
    host.set(kLanguage, kLanguageChinese);
    EXPECT_TRUE(draw(kMode, popupFrame).drew("卷轴模式"));
    EXPECT_TRUE(draw(kGeneratePoints, generateFrame).drew("生成"));
    expectBalanced(draw(kPathLayerPicker, pickerFrame));
}

TEST_F(ControlDrawings, ADrawOutsideADrawEventFailsWithoutDrawing) {
    PF_EventExtra extra = event(PF_Event_DRAW, kTopView, frame, 0, 0);
    EXPECT_EQ(send(extra), PF_Err_BAD_CALLBACK_PARAM);
}

}  // namespace
}  // namespace zephrin::test
