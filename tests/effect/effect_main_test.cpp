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
#include "effect_host_fixture.h"
#include "host/win32/win32_control.h"
#include "sdk/AE_EffectSuites.h"

namespace zephrin::test {
namespace {

using Lines = std::vector<std::string>;

TEST(EffectEntry, GlobalSetupDeclaresVersionFlagsAndRegistersForAPluginId) {
    EffectLog log;
    EffectTestHost host;
    ASSERT_EQ(host.setUpGlobals(), PF_Err_NONE);
    EXPECT_EQ(host.last(PF_Cmd_GLOBAL_SETUP).out.my_version, 598020u);
    EXPECT_EQ(host.effect.outFlags, 0x6008006);
    EXPECT_EQ(host.effect.outFlags2, 0x2000f);
    ASSERT_NE(host.effect.globalData, nullptr);
    EXPECT_EQ(host.registeredAegpName, "Zephrin");
    const auto* globals = static_cast<const EffectGlobals*>(*host.effect.globalData);
    EXPECT_EQ(globals->initialised, 1);
    EXPECT_NE(globals->pluginId, 0);
    EXPECT_EQ(globals->pluginId, host.state.effectPluginId);
    // The global setup's lines come first; the parameter setup the host sends next follows them.
    const Lines raw = log.rawLines();
    ASSERT_GE(raw.size(), 3u);
    EXPECT_EQ((Lines{"EffectMain raw entered cmd=1", "Effect GlobalSetup begin", "Effect GlobalSetup end ok"}),
              Lines(raw.begin(), raw.begin() + 3));
    const Lines main = log.lines();
    ASSERT_GE(main.size(), 5u);
    EXPECT_EQ((Lines{"EffectMain entered cmd=1", "EffectMain GLOBAL_SETUP", "Effect GlobalSetup called",
                     "GlobalSetup: custom UI declared for effect controls", "EffectMain returning err=0"}),
              Lines(main.begin(), main.begin() + 5));
}

TEST(EffectEntry, GlobalSetupWithoutCustomUiCallbackSaysSo) {
    EffectLog log;
    EffectTestHost host;
    host.offerRegisterUi = false;
    host.setUpGlobals();
    EXPECT_TRUE(log.contains("GlobalSetup: custom UI callback unavailable during setup"));
}

TEST(EffectEntry, GlobalSetupFailuresReturnTheirCodesAndLeaveNoHandle) {
    EffectLog log;
    {
        EffectTestHost host;
        host.newHandleFails = true;
        EXPECT_EQ(host.setUpGlobals(), PF_Err_OUT_OF_MEMORY);
        const Lines raw = log.rawLines();
        EXPECT_EQ(raw.back(), "Effect GlobalSetup out of memory");
    }
    {
        EffectTestHost host;
        host.lockFails = true;
        EXPECT_EQ(host.setUpGlobals(), PF_Err_INTERNAL_STRUCT_DAMAGED);
        EXPECT_EQ(host.liveHandles(), 0);
        EXPECT_TRUE(log.contains("Effect GlobalSetup lock failed"));
    }
    {
        EffectTestHost host;
        host.test.withhold(kAEGPUtilitySuite);
        EXPECT_EQ(host.setUpGlobals(), PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_EQ(host.liveHandles(), 0);
        EXPECT_TRUE(log.contains("EffectMain returning err=516"));
    }
    {
        EffectTestHost host;
        host.test.withhold(kPFHandleSuite);
        EXPECT_EQ(host.setUpGlobals(), PF_Err_BAD_CALLBACK_PARAM);
    }
}

TEST(EffectEntry, RefusedRegistrationStillSetsUpWithoutAnId) {
    EffectTestHost host;
    host.registrationRefused = true;
    ASSERT_EQ(host.setUpGlobals(), PF_Err_NONE);
    EXPECT_EQ(static_cast<const EffectGlobals*>(*host.effect.globalData)->pluginId, 0);
}

TEST(EffectEntry, CommandsLogEntryTheirNameAndResult) {
    EffectLog log;
    const struct {
        PF_Cmd cmd;
        const char* name;
    } named[] = {{PF_Cmd_ABOUT, "EffectMain ABOUT"},
                 {PF_Cmd_PARAMS_SETUP, "EffectMain PARAMS_SETUP"},
                 {PF_Cmd_SEQUENCE_SETUP, "EffectMain SEQUENCE_SETUP"},
                 {PF_Cmd_GLOBAL_SETDOWN, "EffectMain GLOBAL_SETDOWN"}};
    for (const auto& command : named) {
        EffectTestHost host;
        host.applyEffect();
        log.clear();
        PF_Err err = PF_Err_NONE;
        if (command.cmd == PF_Cmd_PARAMS_SETUP) {
            host.effect.params.resize(1);  // the host registers afresh from the input layer
            err = host.sendGlobal(command.cmd);
        } else if (command.cmd == PF_Cmd_GLOBAL_SETDOWN) {
            err = host.setDownGlobals();
        } else {
            err = host.send(command.cmd);
        }
        EXPECT_EQ(err, PF_Err_NONE) << command.name;
        const Lines lines = log.lines();
        ASSERT_GE(lines.size(), 3u) << command.name;
        EXPECT_EQ(lines.front(), "EffectMain entered cmd=" + std::to_string(command.cmd));
        EXPECT_EQ(lines[1], command.name);
        EXPECT_EQ(lines.back(), "EffectMain returning err=0");
        EXPECT_EQ(log.rawLines(), Lines{"EffectMain raw entered cmd=" + std::to_string(command.cmd)});
    }
}

TEST(EffectEntry, CommandsOutsideTheDispatchedRangeOnlyLog) {
    EffectLog log;
    EffectTestHost host;
    EXPECT_EQ(host.sendGlobal(PF_Cmd_SMART_RENDER), PF_Err_NONE);
    EXPECT_EQ(host.sendGlobal(static_cast<PF_Cmd>(-1)), PF_Err_NONE);
    EXPECT_EQ((Lines{"EffectMain entered cmd=24", "EffectMain returning err=0", "EffectMain entered cmd=4294967295",
                     "EffectMain returning err=0"}),
              log.lines());
}

TEST(EffectEntry, MissingSuiteBecomesTheCommandsError) {
    EffectLog log;
    EffectTestHost host;
    host.test.withhold(kPFANSISuite);
    EXPECT_EQ(host.sendGlobal(PF_Cmd_ABOUT), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(log.lines().back(), "EffectMain returning err=516");
}

TEST(EffectEntry, AboutNamesTheEffectAndDescribesItInTheLanguage) {
    {
        EffectTestHost host;
        host.applyEffect();
        host.set(param::kLanguage, param::kLanguageEnglish);
        host.send(PF_Cmd_ABOUT);
        EXPECT_STREQ(host.last(PF_Cmd_ABOUT).out.return_msg,
                     "Zephrin\rBuilt-in curve controls, no mask drawing required.");
        host.set(param::kLanguage, param::kLanguageChinese);
        host.send(PF_Cmd_ABOUT);
        EXPECT_STREQ(host.last(PF_Cmd_ABOUT).out.return_msg, "Zephrin\r内置曲线控制，无需蒙版绘制。");
    }
    // Without parameters the detected language decides.
    EffectTestHost bare;
    bare.state.languageTag = "zh_TW";
    EXPECT_EQ(bare.sendGlobal(PF_Cmd_ABOUT), PF_Err_NONE);
    EXPECT_STREQ(bare.last(PF_Cmd_ABOUT).out.return_msg, "Zephrin\r内置曲线控制，无需蒙版绘制。");
}

TEST(EffectEntry, QueryDynamicFlagsAddsTimeAndThreeDFlags) {
    EffectTestHost host;
    host.applyEffect();
    host.beforeMain = [](EffectArgs& args) { args.out->out_flags = PF_OutFlag_CUSTOM_UI; };
    EXPECT_EQ(host.send(PF_Cmd_QUERY_DYNAMIC_FLAGS), PF_Err_NONE);
    const PF_OutData& out = host.last(PF_Cmd_QUERY_DYNAMIC_FLAGS).out;
    EXPECT_EQ(out.out_flags, PF_OutFlag_CUSTOM_UI | PF_OutFlag_WIDE_TIME_INPUT | PF_OutFlag_NON_PARAM_VARY);
    EXPECT_EQ(out.out_flags2, PF_OutFlag2_I_USE_3D_CAMERA | PF_OutFlag2_I_USE_3D_LIGHTS);
    host.beforeMain = [](EffectArgs& args) { args.out = nullptr; };
    EXPECT_EQ(host.send(PF_Cmd_QUERY_DYNAMIC_FLAGS), PF_Err_NONE);
}

HHOOK installTestHook() {
    return SetWindowsHookExW(
        WH_MOUSE, [](int, WPARAM, LPARAM) -> LRESULT { return 0; }, nullptr, GetCurrentThreadId());
}

TEST(EffectEntry, GlobalSetdownRemovesTheHooksAndDisposesTheGlobalData) {
    win32::resetPlatform();
    EffectTestHost host;
    host.applyEffect();
    TopViewEditor& editor = topViewEditor();
    editor.mouseHook = installTestHook();
    editor.mouseHookThread = GetCurrentThreadId();
    editor.drawn = true;
    ASSERT_EQ(win32::liveHookCount(), 1u);
    EXPECT_EQ(host.setDownGlobals(), PF_Err_NONE);
    EXPECT_EQ(win32::liveHookCount(), 0u);
    EXPECT_EQ(editor.mouseHook, nullptr);
    EXPECT_EQ(editor.mouseHookThread, 0u);
    EXPECT_FALSE(editor.drawn);
    EXPECT_EQ(host.liveHandles(), 0);
}

TEST(EffectEntry, GlobalSetdownWithoutGlobalDataStillRemovesTheHooks) {
    win32::resetPlatform();
    EffectTestHost host;
    TopViewEditor& editor = topViewEditor();
    editor.messageHook = installTestHook();
    EXPECT_EQ(host.sendGlobal(PF_Cmd_GLOBAL_SETDOWN), PF_Err_NONE);
    EXPECT_EQ(win32::liveHookCount(), 0u);
    EXPECT_EQ(editor.messageHook, nullptr);
}

TEST(EffectEntry, SequenceSetupLaysOutFourPointsOnTheFlatLine) {
    EffectTestHost host;
    ASSERT_EQ(host.setUpGlobals(), PF_Err_NONE);
    host.addInstance(host.comp);
    host.set(param::kGeneratedState, 1);
    host.set(param::kPointCount, 7);
    TopViewEditor& editor = topViewEditor();
    editor.zoom = 3;
    editor.panX = 40;
    editor.selected[2] = true;
    ASSERT_EQ(host.send(PF_Cmd_SEQUENCE_SETUP), PF_Err_NONE);

    const EffectCommand& setup = host.last(PF_Cmd_SEQUENCE_SETUP);
    EXPECT_EQ(setup.param(param::kGeneratedState).u.bd.value, 0);
    EXPECT_EQ(setup.param(param::kPointCount).u.pd.value, 3);
    EXPECT_EQ(host.value(param::kPointCount), 3);
    // Centred layer pixels for a 1000 pixel wide layer: t = 0, 1/3, 2/3, 1 and the rest at the end.
    const double expectedX[param::kPointSlots] = {-500, -500.0 / 3, 500.0 / 3, 500, 500, 500,
                                                  500,  500,        500,       500, 500, 500};
    for (int slot = 0; slot < param::kPointSlots; ++slot) {
        const PF_ParamDef& p = setup.param(param::pointPosition(slot));
        EXPECT_NEAR(p.u.point3d_d.x_value, expectedX[slot], 1e-9) << slot;
        EXPECT_EQ(p.u.point3d_d.y_value, 0);
        EXPECT_TRUE(p.uu.change_flags & PF_ChangeFlag_CHANGED_VALUE);
        EXPECT_NEAR(host.point(param::pointPosition(slot)).x, expectedX[slot], 1e-9) << slot;
        EXPECT_EQ(setup.param(param::rotationPosition(slot)).u.point3d_d.x_value, 0);
        EXPECT_EQ(setup.param(param::handlePosition(slot)).u.point3d_d.x_value, 0.06);
        EXPECT_EQ(setup.param(param::handlePosition(slot)).u.point3d_d.y_value, 0.06);
    }
    EXPECT_EQ(editor.zoom, 1.0);
    EXPECT_EQ(editor.panX, 0.0);
    EXPECT_FALSE(editor.selected[2]);
    // The layout is in the parameter array only; the host takes it from there.
    EXPECT_TRUE(host.writes.empty());
}

TEST(EffectEntry, SequenceSetupWithoutParametersDoesNothing) {
    EffectTestHost host;
    EXPECT_EQ(host.sendGlobal(PF_Cmd_SEQUENCE_SETUP), PF_Err_NONE);
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
    EffectLog log;
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
    EffectLog log;
    EffectTestHost host;
    host.applyEffect();
    EXPECT_EQ(host.render(), PF_Err_NONE);
    EXPECT_EQ(host.instance->copies, 1);
    EXPECT_TRUE(host.instance->checkouts.empty());
    EXPECT_TRUE(log.contains("EffectMain RENDER"));
}

TEST(PassThroughRender, PathSelectAndScrollModeCheckOutThePathLayer) {
    for (const int mode : {param::kModePathSelect, param::kModeScroll}) {
        EffectTestHost host;
        host.applyEffect();
        host.set(param::kMode, mode);
        EXPECT_EQ(host.render(), PF_Err_NONE);
        EXPECT_EQ(host.instance->checkouts, std::vector<PF_ParamIndex>{47});
        EXPECT_EQ(host.instance->checkedOut, 0) << "checked in again";
        EXPECT_EQ(host.test.accounting().badHandles, 0);
        EXPECT_EQ(host.instance->copies, 1);
    }
}

TEST(PassThroughRender, FailedCheckoutSkipsTheCopyAndIsReturned) {
    EffectTestHost host;
    host.applyEffect();
    host.set(param::kMode, param::kModePathSelect);
    host.checkoutErr = PF_Err_INVALID_INDEX;
    EXPECT_EQ(host.render(), PF_Err_INVALID_INDEX);
    EXPECT_EQ(host.instance->copies, 0);
    EXPECT_EQ(host.test.accounting().badHandles, 0) << "nothing is checked in that was not checked out";
}

TEST(PassThroughRender, ClosedEndsAreSynchronisedAndAskForARerender) {
    EffectLog log;
    EffectTestHost host;
    host.applyEffect();
    host.set(param::kCloseEndpoints, 1);
    ASSERT_EQ(host.render(), PF_Err_NONE);
    const PF_OutData& out = host.last(PF_Cmd_RENDER).out;
    EXPECT_EQ(out.out_flags & (PF_OutFlag_FORCE_RERENDER | PF_OutFlag_REFRESH_UI),
              PF_OutFlag_FORCE_RERENDER | PF_OutFlag_REFRESH_UI);
    EXPECT_TRUE(log.contains("CurveUI: close endpoints sync source=0 target=3 changed=1 reason=render-close-sync"));
    EXPECT_EQ(host.last(PF_Cmd_RENDER).param(param::pointPosition(3)).u.point3d_d.x_value, -500);
    EXPECT_EQ(host.point(param::pointPosition(3)).x, -500) << "the host keeps the first point's x";

    // Once the ends agree a render changes nothing and asks for nothing.
    ASSERT_EQ(host.render(), PF_Err_NONE);
    EXPECT_EQ(host.last(PF_Cmd_RENDER).out.out_flags, 0);
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
