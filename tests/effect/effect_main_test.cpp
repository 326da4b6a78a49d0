// The effect's door: registration exports, command dispatch with its log lines, global setup and
// setdown, sequence setup, dynamic flags and the pass-through render.
#include "effect/effect_main.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "effect/editor/top_view_editor.h"
#include "effect/global_data.h"
#include "channel_log_capture.h"
#include "fake_effect_host.h"
#include "host/win32/win32_control.h"

namespace zephrin::test {
namespace {

using Lines = std::vector<std::string>;

TEST(EffectEntry, GlobalSetupDeclaresVersionFlagsAndRegistersForAPluginId) {
    EffectLogCapture log;
    FakeEffectHost host;
    ASSERT_EQ(host.run(PF_Cmd_GLOBAL_SETUP), PF_Err_NONE);
    EXPECT_EQ(host.out.my_version, 598020u);
    EXPECT_EQ(host.out.out_flags, 0x6008006);
    EXPECT_EQ(host.out.out_flags2, 0x2000f);
    ASSERT_NE(host.out.global_data, nullptr);
    EXPECT_EQ(host.registeredAegpName, "Zephrin");
    const auto* globals = static_cast<const EffectGlobals*>(*host.out.global_data);
    EXPECT_EQ(globals->initialised, 1);
    EXPECT_EQ(globals->pluginId, 77);
    EXPECT_EQ((Lines{"EffectMain raw entered cmd=1", "Effect GlobalSetup begin", "Effect GlobalSetup end ok"}),
              log.rawLines());
    EXPECT_EQ((Lines{"EffectMain entered cmd=1", "EffectMain GLOBAL_SETUP", "Effect GlobalSetup called",
                     "GlobalSetup: custom UI declared for effect controls", "EffectMain returning err=0"}),
              log.lines());
}

TEST(EffectEntry, GlobalSetupWithoutCustomUiCallbackSaysSo) {
    EffectLogCapture log;
    FakeEffectHost host;
    host.offerRegisterUi = false;
    host.run(PF_Cmd_GLOBAL_SETUP);
    EXPECT_TRUE(log.contains("GlobalSetup: custom UI callback unavailable during setup"));
}

TEST(EffectEntry, GlobalSetupFailuresReturnTheirCodesAndLeaveNoHandle) {
    EffectLogCapture log;
    {
        FakeEffectHost host;
        host.newHandleFails = true;
        EXPECT_EQ(host.run(PF_Cmd_GLOBAL_SETUP), PF_Err_OUT_OF_MEMORY);
        const Lines raw = log.rawLines();
        EXPECT_EQ(raw.back(), "Effect GlobalSetup out of memory");
    }
    {
        FakeEffectHost host;
        host.lockFails = true;
        EXPECT_EQ(host.run(PF_Cmd_GLOBAL_SETUP), PF_Err_INTERNAL_STRUCT_DAMAGED);
        EXPECT_EQ(host.liveHandles, 0);
        EXPECT_TRUE(log.contains("Effect GlobalSetup lock failed"));
    }
    {
        FakeEffectHost host;
        host.missingSuites.insert(kAEGPUtilitySuite);
        EXPECT_EQ(host.run(PF_Cmd_GLOBAL_SETUP), PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_EQ(host.liveHandles, 0);
        EXPECT_TRUE(log.contains("EffectMain returning err=516"));
    }
    {
        FakeEffectHost host;
        host.missingSuites.insert(kPFHandleSuite);
        EXPECT_EQ(host.run(PF_Cmd_GLOBAL_SETUP), PF_Err_BAD_CALLBACK_PARAM);
    }
}

TEST(EffectEntry, RefusedRegistrationStillSetsUpWithoutAnId) {
    FakeEffectHost host;
    host.registrationRefused = true;
    ASSERT_EQ(host.run(PF_Cmd_GLOBAL_SETUP), PF_Err_NONE);
    EXPECT_EQ(static_cast<const EffectGlobals*>(*host.out.global_data)->pluginId, 0);
}

TEST(EffectEntry, CommandsLogEntryTheirNameAndResult) {
    EffectLogCapture log;
    FakeEffectHost host;
    host.applyEffect();
    const struct {
        PF_Cmd cmd;
        const char* name;
    } named[] = {{PF_Cmd_ABOUT, "EffectMain ABOUT"},
                 {PF_Cmd_PARAMS_SETUP, "EffectMain PARAMS_SETUP"},
                 {PF_Cmd_SEQUENCE_SETUP, "EffectMain SEQUENCE_SETUP"},
                 {PF_Cmd_GLOBAL_SETDOWN, "EffectMain GLOBAL_SETDOWN"}};
    for (const auto& command : named) {
        log.clear();
        host.registered.clear();
        EXPECT_EQ(host.run(command.cmd), PF_Err_NONE) << command.name;
        const Lines lines = log.lines();
        ASSERT_GE(lines.size(), 3u) << command.name;
        EXPECT_EQ(lines.front(), "EffectMain entered cmd=" + std::to_string(command.cmd));
        EXPECT_EQ(lines[1], command.name);
        EXPECT_EQ(lines.back(), "EffectMain returning err=0");
        EXPECT_EQ(log.rawLines(), Lines{"EffectMain raw entered cmd=" + std::to_string(command.cmd)});
    }
}

TEST(EffectEntry, CommandsOutsideTheDispatchedRangeOnlyLog) {
    EffectLogCapture log;
    FakeEffectHost host;
    EXPECT_EQ(host.run(PF_Cmd_SMART_RENDER), PF_Err_NONE);
    EXPECT_EQ(host.run(-1), PF_Err_NONE);
    EXPECT_EQ((Lines{"EffectMain entered cmd=24", "EffectMain returning err=0", "EffectMain entered cmd=4294967295",
                     "EffectMain returning err=0"}),
              log.lines());
}

TEST(EffectEntry, MissingSuiteBecomesTheCommandsError) {
    EffectLogCapture log;
    FakeEffectHost host;
    host.missingSuites.insert(kPFANSISuite);
    EXPECT_EQ(host.run(PF_Cmd_ABOUT), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(log.lines().back(), "EffectMain returning err=516");
}

TEST(EffectEntry, AboutNamesTheEffectAndDescribesItInTheLanguage) {
    FakeEffectHost host;
    host.applyEffect();
    host.param(param::kLanguage).u.pd.value = param::kLanguageEnglish;
    host.run(PF_Cmd_ABOUT);
    EXPECT_STREQ(host.out.return_msg, "Zephrin\rBuilt-in curve controls, no mask drawing required.");
    host.param(param::kLanguage).u.pd.value = param::kLanguageChinese;
    host.run(PF_Cmd_ABOUT);
    EXPECT_STREQ(host.out.return_msg, "Zephrin\r内置曲线控制，无需蒙版绘制。");

    // Without parameters the detected language decides.
    FakeEffectHost bare;
    bare.languageTag = "zh_TW";
    EXPECT_EQ(effectMain(PF_Cmd_ABOUT, &bare.in, &bare.out, nullptr, nullptr, nullptr), PF_Err_NONE);
    EXPECT_STREQ(bare.out.return_msg, "Zephrin\r内置曲线控制，无需蒙版绘制。");
}

TEST(EffectEntry, QueryDynamicFlagsAddsTimeAndThreeDFlags) {
    FakeEffectHost host;
    host.out.out_flags = PF_OutFlag_CUSTOM_UI;
    EXPECT_EQ(effectMain(PF_Cmd_QUERY_DYNAMIC_FLAGS, &host.in, &host.out, host.params.data(), nullptr, nullptr),
              PF_Err_NONE);
    EXPECT_EQ(host.out.out_flags, PF_OutFlag_CUSTOM_UI | PF_OutFlag_WIDE_TIME_INPUT | PF_OutFlag_NON_PARAM_VARY);
    EXPECT_EQ(host.out.out_flags2, PF_OutFlag2_I_USE_3D_CAMERA | PF_OutFlag2_I_USE_3D_LIGHTS);
    EXPECT_EQ(effectMain(PF_Cmd_QUERY_DYNAMIC_FLAGS, &host.in, nullptr, host.params.data(), nullptr, nullptr),
              PF_Err_NONE);
}

HHOOK installTestHook() {
    return SetWindowsHookExW(
        WH_MOUSE, [](int, WPARAM, LPARAM) -> LRESULT { return 0; }, nullptr, GetCurrentThreadId());
}

TEST(EffectEntry, GlobalSetdownRemovesTheHooksAndDisposesTheGlobalData) {
    win32::resetPlatform();
    FakeEffectHost host;
    host.applyEffect();
    TopViewEditor& editor = topViewEditor();
    editor.mouseHook = installTestHook();
    editor.mouseHookThread = GetCurrentThreadId();
    editor.drawn = true;
    ASSERT_EQ(win32::liveHookCount(), 1u);
    EXPECT_EQ(host.run(PF_Cmd_GLOBAL_SETDOWN), PF_Err_NONE);
    EXPECT_EQ(win32::liveHookCount(), 0u);
    EXPECT_EQ(editor.mouseHook, nullptr);
    EXPECT_EQ(editor.mouseHookThread, 0u);
    EXPECT_FALSE(editor.drawn);
    EXPECT_EQ(host.liveHandles, 0);
}

TEST(EffectEntry, GlobalSetdownWithoutGlobalDataStillRemovesTheHooks) {
    win32::resetPlatform();
    FakeEffectHost host;
    TopViewEditor& editor = topViewEditor();
    editor.messageHook = installTestHook();
    EXPECT_EQ(host.run(PF_Cmd_GLOBAL_SETDOWN), PF_Err_NONE);
    EXPECT_EQ(win32::liveHookCount(), 0u);
    EXPECT_EQ(editor.messageHook, nullptr);
}

TEST(EffectEntry, SequenceSetupLaysOutFourPointsOnTheFlatLine) {
    FakeEffectHost host;
    host.applyEffect();
    host.param(param::kGeneratedState).u.bd.value = 1;
    host.param(param::kPointCount).u.pd.value = 7;
    TopViewEditor& editor = topViewEditor();
    editor.zoom = 3;
    editor.panX = 40;
    editor.selected[2] = true;
    ASSERT_EQ(host.run(PF_Cmd_SEQUENCE_SETUP), PF_Err_NONE);

    EXPECT_EQ(host.param(param::kGeneratedState).u.bd.value, 0);
    EXPECT_EQ(host.param(param::kPointCount).u.pd.value, 3);
    // Centred layer pixels for a 1000 pixel wide layer: t = 0, 1/3, 2/3, 1 and the rest at the end.
    const double expectedX[param::kPointSlots] = {-500, -500.0 / 3, 500.0 / 3, 500, 500, 500,
                                                  500,  500,        500,       500, 500, 500};
    for (int slot = 0; slot < param::kPointSlots; ++slot) {
        const PF_ParamDef& p = host.param(param::pointPosition(slot));
        EXPECT_NEAR(p.u.point3d_d.x_value, expectedX[slot], 1e-9) << slot;
        EXPECT_EQ(p.u.point3d_d.y_value, 0);
        EXPECT_TRUE(p.uu.change_flags & PF_ChangeFlag_CHANGED_VALUE);
        EXPECT_EQ(host.param(param::rotationPosition(slot)).u.point3d_d.x_value, 0);
        EXPECT_EQ(host.param(param::handlePosition(slot)).u.point3d_d.x_value, 0.06);
        EXPECT_EQ(host.param(param::handlePosition(slot)).u.point3d_d.y_value, 0.06);
    }
    EXPECT_EQ(editor.zoom, 1.0);
    EXPECT_EQ(editor.panX, 0.0);
    EXPECT_FALSE(editor.selected[2]);
    // The layout is in the parameter array only; the host takes it from there.
    EXPECT_TRUE(host.writes.empty());
}

TEST(EffectEntry, SequenceSetupWithoutParametersDoesNothing) {
    FakeEffectHost host;
    EXPECT_EQ(effectMain(PF_Cmd_SEQUENCE_SETUP, &host.in, &host.out, nullptr, nullptr, nullptr), PF_Err_NONE);
}

// ---- Registration exports ----

struct Announcement {
    std::string name, matchName, category, entryPoint, supportUrl;
    A_long kind = 0, major = 0, minor = 0, reserved = 0;
    bool hasUrl = false;
};
Announcement gAnnounced;

PF_Err announce2(PF_PluginDataPtr, const A_u_char* name, const A_u_char* match, const A_u_char* category,
                 const A_u_char* entry, A_long kind, A_long major, A_long minor, A_long reserved, const A_u_char* url) {
    const auto text = [](const A_u_char* s) { return std::string(reinterpret_cast<const char*>(s)); };
    gAnnounced = {text(name), text(match), text(category), text(entry), url ? text(url) : "",
                  kind,       major,       minor,          reserved,    url != nullptr};
    return 7;
}

PF_Err announce(PF_PluginDataPtr data, const A_u_char* name, const A_u_char* match, const A_u_char* category,
                const A_u_char* entry, A_long kind, A_long major, A_long minor, A_long reserved) {
    announce2(data, name, match, category, entry, kind, major, minor, reserved, nullptr);
    return PF_Err_NONE;
}

TEST(EffectRegistration, BothEntriesAnnounceNameMatchNameCategoryAndEntry) {
    EffectLogCapture log;
    EXPECT_EQ(pluginDataEntry2(nullptr, announce2, nullptr, "host", "1"), 7);
    EXPECT_EQ(gAnnounced.name, "Zephrin");
    EXPECT_EQ(gAnnounced.matchName, "com.tavik.ZephrinSurface");
    EXPECT_EQ(gAnnounced.category, "Zephrin");
    EXPECT_EQ(gAnnounced.entryPoint, "EffectMain");
    EXPECT_EQ(gAnnounced.kind, 0x65464B54);  // 'eFKT'
    EXPECT_EQ(gAnnounced.major, 13);
    EXPECT_EQ(gAnnounced.minor, 28);
    EXPECT_EQ(gAnnounced.reserved, 8);
    EXPECT_TRUE(gAnnounced.hasUrl);

    EXPECT_EQ(pluginDataEntry(nullptr, announce, nullptr, "host", "1"), PF_Err_NONE);
    EXPECT_EQ(gAnnounced.matchName, "com.tavik.ZephrinSurface");
    EXPECT_EQ(gAnnounced.minor, 0);
    EXPECT_FALSE(gAnnounced.hasUrl);

    EXPECT_EQ((Lines{"PluginDataEntryFunction2 called", "PluginDataEntryFunction2 result=7",
                     "PluginDataEntryFunction called", "PluginDataEntryFunction result=0"}),
              log.lines());
}

TEST(EffectRegistration, NoCallbackIsRefusedInsteadOfCalled) {
    EXPECT_EQ(pluginDataEntry2(nullptr, nullptr, nullptr, nullptr, nullptr), PF_Err_INVALID_CALLBACK);
    EXPECT_EQ(pluginDataEntry(nullptr, nullptr, nullptr, nullptr, nullptr), PF_Err_INVALID_CALLBACK);
}

// ---- Pass-through render ----

TEST(PassThroughRender, FreeModeCopiesTheInputWithoutCheckingOutThePathLayer) {
    EffectLogCapture log;
    FakeEffectHost host;
    host.applyEffect();
    PF_LayerDef output{};
    EXPECT_EQ(host.run(PF_Cmd_RENDER, nullptr, &output), PF_Err_NONE);
    EXPECT_EQ(host.copies, 1);
    EXPECT_TRUE(host.checkouts.empty());
    EXPECT_TRUE(log.contains("EffectMain RENDER"));
}

TEST(PassThroughRender, PathSelectAndScrollModeCheckOutThePathLayer) {
    for (const int mode : {param::kModePathSelect, param::kModeScroll}) {
        FakeEffectHost host;
        host.applyEffect();
        host.param(param::kMode).u.pd.value = mode;
        PF_LayerDef output{};
        EXPECT_EQ(host.run(PF_Cmd_RENDER, nullptr, &output), PF_Err_NONE);
        EXPECT_EQ(host.checkouts, std::vector<PF_ParamIndex>{47});
        EXPECT_EQ(host.checkins, 1);
        EXPECT_EQ(host.copies, 1);
    }
}

TEST(PassThroughRender, FailedCheckoutSkipsTheCopyAndIsReturned) {
    FakeEffectHost host;
    host.applyEffect();
    host.param(param::kMode).u.pd.value = param::kModePathSelect;
    host.checkoutErr = PF_Err_INVALID_INDEX;
    PF_LayerDef output{};
    EXPECT_EQ(host.run(PF_Cmd_RENDER, nullptr, &output), PF_Err_INVALID_INDEX);
    EXPECT_EQ(host.copies, 0);
    EXPECT_EQ(host.checkins, 0);
}

TEST(PassThroughRender, ClosedEndsAreSynchronisedAndAskForARerender) {
    EffectLogCapture log;
    FakeEffectHost host;
    host.applyEffect();
    host.param(param::kCloseEndpoints).u.bd.value = 1;
    PF_LayerDef output{};
    ASSERT_EQ(host.run(PF_Cmd_RENDER, nullptr, &output), PF_Err_NONE);
    EXPECT_EQ(host.out.out_flags & (PF_OutFlag_FORCE_RERENDER | PF_OutFlag_REFRESH_UI),
              PF_OutFlag_FORCE_RERENDER | PF_OutFlag_REFRESH_UI);
    EXPECT_TRUE(log.contains("CurveUI: close endpoints sync source=0 target=3 changed=1 reason=render-close-sync"));
    EXPECT_EQ(host.param(param::pointPosition(3)).u.point3d_d.x_value, 0);  // the first point's legacy x

    // Once the ends agree a render changes nothing and asks for nothing.
    ASSERT_EQ(host.run(PF_Cmd_RENDER, nullptr, &output), PF_Err_NONE);
    EXPECT_EQ(host.out.out_flags, 0);
}

}  // namespace
}  // namespace zephrin::test

namespace zephrin::test {
namespace {

// Every function the host calls, by the name its faults are logged under, with its body made to throw.
TEST(EffectEntryGuard, EveryExportLogsItsFaultOnTheMainChannel) {
    for (const char* entry : {"EffectMain", "PluginDataEntryFunction2", "PluginDataEntryFunction"}) {
        ChannelLogFile log("SSR_EFFECT_LOG");
        EXPECT_EQ(guardedEffectEntry(entry, []() -> PF_Err { throw std::bad_alloc(); }), PF_Err_OUT_OF_MEMORY);
        EXPECT_EQ(guardedEffectEntry(entry, []() -> PF_Err { throw std::runtime_error("stale handle"); }),
                  PF_Err_INTERNAL_STRUCT_DAMAGED);
        EXPECT_EQ(guardedEffectEntry(entry, []() -> PF_Err { throw HostSuiteError{PF_Err_BAD_CALLBACK_PARAM}; }),
                  PF_Err_BAD_CALLBACK_PARAM);
        const std::string name(entry);
        EXPECT_EQ(log.lines(), (Lines{name + " caught std::bad_alloc err=4", name + " caught stale handle err=512",
                                      name + " caught host suite error err=516"}));
    }
}

// A host whose suite acquisition throws (out of memory inside the host, say) in place of returning an
// error code: the command fails with the out-of-memory code and still logs its result.
SPErr acquireThrowsBadAlloc(const char*, A_long, const void**) { throw std::bad_alloc(); }
SPErr releaseNothing(const char*, A_long) { return kSPNoError; }

TEST(EffectEntryGuard, EffectMainAnswersAThrowingHostAndLogsItsResult) {
    ChannelLogFile log("SSR_EFFECT_LOG");
    SPBasicSuite outOfMemory{};
    outOfMemory.AcquireSuite = acquireThrowsBadAlloc;
    outOfMemory.ReleaseSuite = releaseNothing;
    PF_InData in{};
    in.pica_basicP = &outOfMemory;
    PF_OutData out{};
    EXPECT_EQ(effectMain(PF_Cmd_ABOUT, &in, &out, nullptr, nullptr, nullptr), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(log.lines(), (Lines{"EffectMain entered cmd=0", "EffectMain ABOUT",
                                  "EffectMain caught std::bad_alloc err=4", "EffectMain returning err=4"}));
}

PF_Err refuseByThrowing2(PF_PluginDataPtr, const A_u_char*, const A_u_char*, const A_u_char*, const A_u_char*, A_long,
                         A_long, A_long, A_long, const A_u_char*) {
    throw std::runtime_error("scan aborted");
}
PF_Err refuseByThrowing(PF_PluginDataPtr, const A_u_char*, const A_u_char*, const A_u_char*, const A_u_char*, A_long,
                        A_long, A_long, A_long) {
    throw std::bad_alloc();
}

TEST(EffectEntryGuard, RegistrationAnswersAThrowingCallback) {
    ChannelLogFile log("SSR_EFFECT_LOG");
    EXPECT_EQ(pluginDataEntry2(nullptr, refuseByThrowing2, nullptr, "host", "1"), PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(pluginDataEntry(nullptr, refuseByThrowing, nullptr, "host", "1"), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(log.lines(), (Lines{"PluginDataEntryFunction2 called",
                                  "PluginDataEntryFunction2 caught scan aborted err=512",
                                  "PluginDataEntryFunction called", "PluginDataEntryFunction caught std::bad_alloc err=4"}));
}

}  // namespace
}  // namespace zephrin::test
