// The editor's plain geometry and state: layout numbers at their thresholds, zoom about the cursor and
// its limits, the click record's encodings, and the inline speed field's text rules.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "effect/editor/editor_input.h"
#include "effect/editor/editor_layout.h"
#include "effect/editor/gesture_tag.h"

namespace zephrin::test {
namespace {

TEST(EditorLayout, ShortFramesHaveNoToolbarAndTheCanvasFillsThem) {
    const EditorLayout l = layoutTopView(EditorBox{10, 20, 420, 60});
    EXPECT_FALSE(l.hasToolbar);
    EXPECT_EQ(l.canvas.x, 18);
    EXPECT_EQ(l.canvas.y, 28);
    EXPECT_EQ(l.canvas.w, 404);
    EXPECT_EQ(l.canvas.h, 44);
    EXPECT_TRUE(layoutTopView(EditorBox{10, 20, 420, 72}).hasToolbar);
}

TEST(EditorLayout, CopyAndPasteAppearFromAnInnerWidthOf440) {
    const EditorLayout narrow = layoutTopView(EditorBox{0, 0, 439 + 16, 170});
    EXPECT_EQ(narrow.copyButton.w, 0);
    EXPECT_EQ(narrow.pasteButton.w, 0);
    EXPECT_EQ(narrow.speedArea.x + narrow.speedArea.w, 8 + 439) << "the speed area runs to the toolbar's end";

    const EditorLayout wide = layoutTopView(EditorBox{0, 0, 440 + 16, 170});
    EXPECT_EQ(wide.pasteButton.x, 8 + 440 - 74);
    EXPECT_EQ(wide.copyButton.x, wide.pasteButton.x - 84);
    EXPECT_EQ(wide.copyButton.h, 24);
    EXPECT_EQ(wide.speedArea.x + wide.speedArea.w, wide.copyButton.x - 10);
    // Toolbar 28 high, the canvas 6 below it.
    EXPECT_EQ(wide.canvas.y, 8 + 28 + 6);
    EXPECT_EQ(wide.canvas.h, 170 - 28 - 22);
    EXPECT_EQ(wide.grip.x, 456 - 22);
}

TEST(EditorView, ZoomStopsAtEightWhereTheUnitSquareIs3232By960) {
    TopViewEditor editor;
    const EditorLayout l = layoutTopView(EditorBox{0, 0, 420, 170});
    int steps = 0;
    while (zoomAt(editor, l, 200, 100, 1.12)) ++steps;
    EXPECT_EQ(steps, 19);
    const ContentBox box = contentBox(l, editor);
    EXPECT_DOUBLE_EQ(box.width, 3232);
    EXPECT_DOUBLE_EQ(box.height, 960);
    EXPECT_FALSE(zoomAt(editor, l, 200, 100, 1.12));
    EXPECT_FALSE(zoomAt(editor, l, 200, 100, std::numeric_limits<double>::quiet_NaN()));
    editor.zoom = std::numeric_limits<double>::infinity();
    EXPECT_DOUBLE_EQ(contentBox(l, editor).width, 404) << "a non-finite zoom counts as 1";
}

TEST(EditorView, ThePointUnderTheCursorStaysThere) {
    std::mt19937 random(14);
    std::uniform_real_distribution<double> place(0, 420), factor(0.5, 2.0);
    const EditorLayout l = layoutTopView(EditorBox{0, 0, 420, 170});
    for (int i = 0; i < 1000; ++i) {
        TopViewEditor editor;
        zoomAt(editor, l, place(random), place(random) * 0.4, factor(random));
        const double mx = place(random), my = place(random) * 0.4;
        const ScreenPoint before = toNormalized(contentBox(l, editor), mx, my);
        if (!zoomAt(editor, l, mx, my, factor(random))) continue;
        const ScreenPoint after = toNormalized(contentBox(l, editor), mx, my);
        ASSERT_NEAR(after.x, before.x, 1e-9) << i;
        ASSERT_NEAR(after.y, before.y, 1e-9) << i;
    }
}

TEST(EditorView, AWheelNotchInThenOutReturnsToTheSameZoom) {
    TopViewEditor editor;
    editor.frameRect = EditorRect{10, 10, 430, 180};
    ASSERT_TRUE(wheelNotch(editor, 100, 90, true));
    EXPECT_DOUBLE_EQ(editor.zoom, 1.12);
    ASSERT_TRUE(wheelNotch(editor, 100, 90, false));
    EXPECT_NEAR(editor.zoom, 1.0, 1e-12);
    EXPECT_NEAR(editor.panX, 0, 1e-9);
    EXPECT_NEAR(editor.panY, 0, 1e-9);
}

TEST(EditorView, PanStaysWithinItsLimitAndIgnoresNonFiniteValues) {
    TopViewEditor editor;
    setPan(editor, 1e9, -1e9);
    EXPECT_EQ(editor.panX, 20000);
    EXPECT_EQ(editor.panY, -20000);
    setPan(editor, std::nan(""), 5);
    EXPECT_EQ(editor.panX, 20000);
    EXPECT_EQ(editor.panY, 5);
}

TEST(GestureTag, EveryKindRoundTripsAndForeignValuesAreNoGesture) {
    const GestureTag tags[] = {{GestureKind::Point, 0},     {GestureKind::Point, 11},    {GestureKind::OutHandle, 3},
                               {GestureKind::InHandle, 7},  {GestureKind::Resize, 0},    {GestureKind::Pan, 0},
                               {GestureKind::LoopSpeed, 0}, {GestureKind::BoxSelect, 0}, {GestureKind::MultiPoint, 9}};
    for (const GestureTag& tag : tags) {
        const uint32_t encoded = encodeGestureTag(tag);
        EXPECT_EQ(encoded & 0x3e000000u, 0x2a000000u);
        const GestureTag decoded = decodeGestureTag(encoded);
        EXPECT_EQ(decoded.kind, tag.kind);
        EXPECT_EQ(decoded.index, tag.index);
    }
    EXPECT_EQ(encodeGestureTag({GestureKind::InHandle, 7}), 0x2a00ff07u);
    EXPECT_EQ(encodeGestureTag({GestureKind::MultiPoint, 9}), 0x2a060009u);
    EXPECT_EQ(decodeGestureTag(0).kind, GestureKind::None);
    EXPECT_EQ(decodeGestureTag(0x2a090000).kind, GestureKind::None);
    EXPECT_EQ(decodeGestureTag(0x28000001).kind, GestureKind::None);
}

TEST(GestureTag, StartValuesTravelAsFixedPointWithinTheirRange) {
    double a = 0, b = 0;
    unpackFixedPair(packFixedPair(-0.123456, 420), a, b);
    EXPECT_NEAR(a, -0.12346, 1e-12) << "half away from zero at 1e-5";
    EXPECT_EQ(b, 420);
    unpackFixedPair(packFixedPair(std::nan(""), -20000), a, b);
    EXPECT_EQ(a, 0.5);
    EXPECT_EQ(b, -20000);
    // Beyond what 32 bits hold at this scale the value saturates instead of wrapping round.
    unpackFixedPair(packFixedPair(1e9, -1e9), a, b);
    EXPECT_GT(a, 21000);
    EXPECT_LT(b, -21000);
}

struct InlineField : ::testing::Test {
    void type(const std::u16string& text) {
        for (char16_t c : text) inlineKey(editor, InlineKey::Character, c);
    }
    TopViewEditor editor;
};

TEST_F(InlineField, TheFirstCharacterReplacesTheShownValueAndSignsAppearOnce) {
    openInlineEdit(editor, 12.5);
    EXPECT_EQ(editor.inlineText, u"12.5");
    type(u"--3..5x");
    EXPECT_EQ(editor.inlineText, u"-3.5");
    inlineKey(editor, InlineKey::Backspace);
    EXPECT_EQ(editor.inlineText, u"-3.");
}

TEST_F(InlineField, BackspaceFirstEditsTheShownValue) {
    openInlineEdit(editor, 7);
    inlineKey(editor, InlineKey::Backspace);
    type(u"5");
    EXPECT_EQ(editor.inlineText, u"7.5");
}

TEST_F(InlineField, CommitParsesClampsAndClosesWhateverTheText) {
    openInlineEdit(editor, 0);
    type(u"250");
    InlineKeyResult result = inlineKey(editor, InlineKey::Commit);
    ASSERT_TRUE(result.commit.has_value());
    EXPECT_EQ(*result.commit, 100);
    EXPECT_FALSE(editor.inlineEditActive);
    EXPECT_TRUE(editor.inlineText.empty());

    openInlineEdit(editor, 0);
    type(u"-");
    result = inlineKey(editor, InlineKey::Commit);
    EXPECT_TRUE(result.handled);
    EXPECT_FALSE(result.commit.has_value());
    EXPECT_FALSE(editor.inlineEditActive);
    EXPECT_FALSE(inlineKey(editor, InlineKey::Character, u'1').handled) << "closed fields take no keys";
}

}  // namespace
}  // namespace zephrin::test
