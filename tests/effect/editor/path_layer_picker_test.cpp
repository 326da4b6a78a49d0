// The "Path Layer" picker on the stand-in host: the layer menu, the two stored copies with their
// reasons, cancel, and the modes it ignores clicks in.
#include "effect/editor/path_layer_picker.h"

#include <gtest/gtest.h>

#include "effect/editor/editor_fixture.h"
#include "effect/editor/top_view_editor.h"
#include "effect/editor/top_view_gestures.h"
#include "host/win32/win32_control.h"

namespace zephrin::test {
namespace {

using namespace param;

struct PathLayerPicker : EditorTest {
    void SetUp() override {
        EditorTest::SetUp();
        // The stand-in refuses single values on streams it shows as hidden, where the host takes them;
        // the picker's two copies are written as the host would store them.
        for (int position : {kPathLayerIndex, kPathLayer}) host.stream(position).dynamicFlags &= ~AEGP_DynStreamFlag_HIDDEN;
    }
    PF_EventExtra pick() { return click(pickerFrame.left + 20, pickerFrame.top + 5, PF_Mod_NONE, 1, kPathLayerPicker); }
    AEGP_LayerIDVal storedLayer() { return host.stream(kPathLayer).value.layer_id; }
};

TEST_F(PathLayerPicker, InFreeModeAClickIsNotHandled) {
    win32::queuePopupChoice(2);
    EXPECT_EQ(pick().evt_out_flags, PF_EO_NONE);
    EXPECT_TRUE(win32::trackedMenus().empty());
}

TEST_F(PathLayerPicker, TheMenuListsNoneThenTheOtherLayersAndCancelChangesNothing) {
    host.set(kMode, kModePathSelect);
    win32::queuePopupCancel();
    const std::vector<std::string> trace = writeTrace([&] { EXPECT_EQ(pick().evt_out_flags, PF_EO_HANDLED_EVENT); });
    EXPECT_TRUE(trace.empty());
    ASSERT_EQ(win32::trackedMenus().size(), 1u);
    const win32::TrackedMenu menu = win32::trackedMenus()[0];
    ASSERT_EQ(menu.items.size(), 3u);
    EXPECT_EQ(menu.items[0].text, u"None");
    EXPECT_TRUE(menu.items[0].checked);
    EXPECT_EQ(menu.items[1].flags, static_cast<UINT>(MF_SEPARATOR));
    EXPECT_EQ(menu.items[2].id, 2u);
    EXPECT_EQ(menu.items[2].text, u"2  Path");
    EXPECT_EQ(menu.flags, 384u);
}

TEST_F(PathLayerPicker, AChosenLayerIsStoredAsIndexAndLayerThenNoneClearsBoth) {
    host.set(kMode, kModeScroll);
    win32::queuePopupChoice(2);
    const PF_EventExtra answered = pick();
    EXPECT_EQ(answered.evt_out_flags, kHandledRepaint);
    EXPECT_EQ(host.value(kPathLayerIndex), 2);
    EXPECT_EQ(storedLayer(), 2);
    EXPECT_TRUE(log.contains("PathLayerPicker: write id=2 wrote=1 readback=2 reason=path-layer-picker-native"));
    EXPECT_TRUE(log.contains("PathLayerPicker: selected layer storage written"));
    EXPECT_EQ(host.last(PF_Cmd_EVENT).out.out_flags, PF_OutFlag_FORCE_RERENDER | PF_OutFlag_REFRESH_UI);
    ASSERT_NE(host.lastUi(kPathLayerIndex), nullptr);
    EXPECT_TRUE(draw(kPathLayerPicker, pickerFrame).drew("2  Path"));

    win32::queuePopupChoice(1);
    pick();
    EXPECT_TRUE(win32::trackedMenus().back().items[2].checked) << "the stored layer is the radio item";
    EXPECT_EQ(host.value(kPathLayerIndex), 0);
    EXPECT_EQ(storedLayer(), 0);
    EXPECT_TRUE(draw(kPathLayerPicker, pickerFrame).drew("None"));
    topViewEditor().quickPreview = QuickPreviewRecord{};
}

}  // namespace
}  // namespace zephrin::test
