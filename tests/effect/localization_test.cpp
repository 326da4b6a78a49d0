// Language detection, the conversion of Chinese texts for the host, and the localized "Language" and
// "Mode" popups answered through the platform's scripted menu queue.
#include "effect/localization.h"

#include <gtest/gtest.h>

#include <cstring>

#include "effect/localized_texts.h"
#include "effect_host_fixture.h"
#include "sdk/AE_EffectSuites.h"
#include "host/win32/win32_control.h"

namespace zephrin::test {
namespace {

using namespace param;

struct LanguageDetection : ::testing::Test {
    void SetUp() override { win32::resetPlatform(); }
    void TearDown() override { win32::resetPlatform(); }
    int detect() {
        HostSuites suites(host.test.basic());
        return detectLanguage(suites);
    }
    EffectTestHost host;
};

TEST_F(LanguageDetection, HostTagStartingWithZhInAnyCaseIsChinese) {
    for (const char* tag : {"zh_CN", "zh_TW", "ZH_cn", "zH", "Zh_HK"}) {
        host.state.languageTag = tag;
        EXPECT_EQ(detect(), kLanguageChinese) << tag;
    }
    for (const char* tag : {"en_US", "ja_JP", "hz_CN", "z", ""}) {
        host.state.languageTag = tag;
        EXPECT_EQ(detect(), kLanguageEnglish) << tag;
    }
}

TEST_F(LanguageDetection, TheHostIsAskedBeforeTheOperatingSystem) {
    win32::setUserDefaultUILanguage(MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED));
    host.state.languageTag = "en_US";
    EXPECT_EQ(detect(), kLanguageEnglish);
}

TEST_F(LanguageDetection, FailingHostCallFallsBackToTheOperatingSystem) {
    host.languageErr = PF_Err_INTERNAL_STRUCT_DAMAGED;
    host.state.languageTag = "zh_CN";
    win32::setUserDefaultUILanguage(MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED));
    EXPECT_EQ(detect(), kLanguageChinese);
    win32::setUserDefaultUILanguage(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    EXPECT_EQ(detect(), kLanguageEnglish);

    host.languageErr = PF_Err_NONE;
    host.test.withhold(kPFAppSuite);
    win32::setUserDefaultUILanguage(MAKELANGID(LANG_CHINESE, 0x04));  // Chinese (Singapore)
    EXPECT_EQ(detect(), kLanguageChinese);

    HostSuites noHost(nullptr);
    EXPECT_EQ(detectLanguage(noHost), kLanguageChinese);
}

TEST(LocalizedTexts, ChineseTextsReachTheHostInTheSystemCodePage) {
    // The system code page here is UTF-8.
    EXPECT_STREQ(localize(TextId::CurveAmount, true), "起伏强度");
    EXPECT_STREQ(localize(TextId::CurveAmount, false), "Curve Amount");
    EXPECT_STREQ(localize(TextId::CurveHandle, true), "Curve Handle");
    EXPECT_STREQ(localize(TextId::CommonSyncState, true), "Common Sync State");
    EXPECT_STREQ(localize(TextId::PointCountChoices, true), "2|3|4|5|6|7|8|9|10|11|12");
    // Converted once: the same text comes back at the same address.
    EXPECT_EQ(localize(TextId::Mode, true), localize(TextId::Mode, true));
    EXPECT_EQ(wideText(TextId::Language, true), u"语言");
    EXPECT_EQ(wideText(TextId::Language, false), u"Language");
}

TEST(LocalizedTexts, RelabelCutsLabelsToTheNameField) {
    PF_ParamDef def{};
    std::memset(def.name, 'x', sizeof(def.name));
    relabel(def, kRightRadiusChange, false);
    EXPECT_STREQ(def.name, "Radius Change / Turn");
    relabel(def, kShape, true);
    EXPECT_STREQ(def.name, "形状");
    EXPECT_STREQ(def.u.pd.u.namesptr, "无|正方形|圆角正方形|圆");
    relabel(def, kResetPoints, true);
    EXPECT_STREQ(def.u.button_d.u.namesptr, "重置");
}

// ---- Popups ----

struct LocalizedPopups : ::testing::Test {
    void SetUp() override {
        win32::resetPlatform();
        ASSERT_EQ(host.applyEffect(), PF_Err_NONE);
        host.set(kLanguage, kLanguageEnglish);
        host.clearRecords();
    }
    void TearDown() override {
        EXPECT_EQ(win32::liveMenuCount(), 0u) << "every menu is destroyed";
        win32::resetPlatform();
    }
    win32::TrackedMenu lastMenu() {
        const std::vector<win32::TrackedMenu> menus = win32::trackedMenus();
        EXPECT_FALSE(menus.empty());
        return menus.empty() ? win32::TrackedMenu{} : menus.back();
    }
    const PF_EventExtra& event() const { return host.last(PF_Cmd_EVENT).event; }
    EffectTestHost host;
    EffectLog log;
};

TEST_F(LocalizedPopups, LanguageMenuOffersBothLanguagesWithTheCurrentOneMarked) {
    win32::queuePopupCancel();
    ASSERT_EQ(host.click(kLanguage), PF_Err_NONE);
    const win32::TrackedMenu menu = lastMenu();
    ASSERT_EQ(menu.items.size(), 2u);
    EXPECT_EQ(menu.items[0].text, u"Chinese");
    EXPECT_EQ(menu.items[1].text, u"English");
    EXPECT_EQ(menu.items[0].id, 1u);
    EXPECT_FALSE(menu.items[0].checked);
    EXPECT_TRUE(menu.items[1].checked);
    EXPECT_EQ(menu.flags, static_cast<UINT>(TPM_RETURNCMD | TPM_NONOTIFY));
    EXPECT_EQ(event().evt_out_flags, PF_EO_HANDLED_EVENT);
    EXPECT_TRUE(host.writes.empty());
    EXPECT_EQ(host.last(PF_Cmd_EVENT).out.out_flags, 0);
}

TEST_F(LocalizedPopups, ChoosingChineseRelabelsAndWritesTheLanguage) {
    win32::queuePopupChoice(1);
    const double curveAmount = host.value(kCurveAmount);
    ASSERT_EQ(host.click(kLanguage), PF_Err_NONE);
    const EffectCommand& click = host.last(PF_Cmd_EVENT);
    EXPECT_EQ(click.param(kLanguage).u.pd.value, kLanguageChinese);
    EXPECT_TRUE(click.param(kLanguage).uu.change_flags & PF_ChangeFlag_CHANGED_VALUE);
    EXPECT_EQ(host.value(kLanguage), kLanguageChinese);
    EXPECT_EQ(host.ui(kCurveAmount).label, "起伏强度");
    EXPECT_EQ(host.value(kCurveAmount), curveAmount);
    EXPECT_EQ(click.event.evt_out_flags, PF_EO_HANDLED_EVENT | PF_EO_ALWAYS_UPDATE | PF_EO_UPDATE_NOW);
    EXPECT_EQ(click.out.out_flags, PF_OutFlag_FORCE_RERENDER | PF_OutFlag_REFRESH_UI);

    // The menu now speaks Chinese.
    win32::queuePopupCancel();
    host.click(kLanguage);
    EXPECT_EQ(lastMenu().items[0].text, u"中文");
    EXPECT_EQ(lastMenu().items[1].text, u"英文");
}

TEST_F(LocalizedPopups, ModeMenuWritesANewModeAndAppliesItsVisibility) {
    win32::queuePopupChoice(3);
    ASSERT_EQ(host.click(kMode), PF_Err_NONE);
    const win32::TrackedMenu menu = lastMenu();
    ASSERT_EQ(menu.items.size(), 3u);
    EXPECT_EQ(menu.items[2].text, u"Scroll Mode");
    EXPECT_TRUE(menu.items[0].checked);
    EXPECT_EQ(host.last(PF_Cmd_EVENT).param(kMode).u.pd.value, kModeScroll);
    EXPECT_EQ(host.value(kMode), kModeScroll);
    EXPECT_EQ(host.ui(kScrollModeGroup).uiFlags, 0);
    EXPECT_NE(host.lastUi(param::pointPosition(0)), nullptr);
    EXPECT_GT(host.dynamicFlagChanges, 0);
}

TEST_F(LocalizedPopups, ChoosingTheCurrentModeWritesNothing) {
    win32::queuePopupChoice(1);
    ASSERT_EQ(host.click(kMode), PF_Err_NONE);
    EXPECT_TRUE(host.writes.empty());
    EXPECT_TRUE(host.uiUpdates.empty());
    EXPECT_EQ(event().evt_out_flags, PF_EO_HANDLED_EVENT);
}

TEST_F(LocalizedPopups, MenuIsOwnedByTheWindowUnderTheCursor) {
    HWND const panel = reinterpret_cast<HWND>(std::uintptr_t{0x700});
    HWND const front = reinterpret_cast<HWND>(std::uintptr_t{0x800});
    win32::setCursorPos(POINT{310, 42});
    win32::setForegroundWindow(front);
    win32::queuePopupCancel();
    host.click(kMode);
    EXPECT_EQ(lastMenu().owner, front);
    EXPECT_EQ(lastMenu().x, 310);
    EXPECT_EQ(lastMenu().y, 42);
    win32::setWindowFromPoint(panel);
    win32::queuePopupCancel();
    host.click(kMode);
    EXPECT_EQ(lastMenu().owner, panel);
    win32::setWindowFromPoint(nullptr);
    win32::setForegroundWindow(nullptr);
    win32::queuePopupCancel();
    host.click(kMode);
    EXPECT_EQ(lastMenu().owner, GetDesktopWindow());
}

TEST_F(LocalizedPopups, ClicksOnOtherControlsOrWithoutParametersAreIgnored) {
    EXPECT_EQ(host.click(kTopView), PF_Err_NONE);
    EXPECT_TRUE(win32::trackedMenus().empty());
    PF_EventExtra event{};
    event.e_type = PF_Event_DO_CLICK;
    event.effect_win.index = kMode;
    EXPECT_EQ(host.sendGlobal(PF_Cmd_EVENT, &event), PF_Err_NONE);
    EXPECT_TRUE(win32::trackedMenus().empty());
}

}  // namespace
}  // namespace zephrin::test
