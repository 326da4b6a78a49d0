#include "renderer/driver/renderer_entry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "channel_log_capture.h"
#include "host/suites/register_suite.h"
#include "host_fixture.h"
#include "render_log_capture.h"
#include "renderer/driver/frame_driver.h"

namespace zephrin {
namespace {

using Host = testhost::TestHost;
using test::LogCapture;

TEST(ArtisanName, KeepsThirtyOneCharactersAndCutsLongerNames) {
    const std::string exact(31, 'm');
    ArtisanName kept = makeArtisanName(exact);
    EXPECT_EQ(std::string(kept.data()), exact);

    ArtisanName cut = makeArtisanName(exact + "overflow");
    EXPECT_EQ(std::string(cut.data()), exact);
    EXPECT_EQ(cut[31], '\0');

    EXPECT_EQ(std::string(makeArtisanName("").data()), "");
}

TEST(RendererEntry, RegistersTheArtisanWithItsTableAndDeathHook) {
    LogCapture logs;
    Host host;
    host.state.pluginIds.push_back(77);
    int refconTarget = 0;
    auto* refcon = reinterpret_cast<AEGP_GlobalRefcon*>(&refconTarget);
    ASSERT_EQ(rendererEntryPoint(host.basic(), 13, 28, 77, refcon), A_Err_NONE);

    ASSERT_EQ(host.state.artisans.size(), 1u) << "the legacy name equals the current one: one registration";
    const host::ArtisanRegistration& reg = host.state.artisans[0];
    EXPECT_EQ(reg.matchName, "com.tavik.ZephrinRenderer");
    EXPECT_EQ(reg.displayName, "Zephrin Renderer");
    EXPECT_EQ(reg.apiVersion.majorS, 1);
    EXPECT_EQ(reg.apiVersion.minorS, 0);
    EXPECT_EQ((reg.artisanVersion.majorS << 16) | reg.artisanVersion.minorS, 0x20001);
    EXPECT_EQ(reg.pluginId, 77);
    EXPECT_EQ(reg.refcon, refcon);
    EXPECT_EQ(registeredPluginId(), 77);

    const PR_ArtisanEntryPoints expectedTable = artisanEntryPoints();
    EXPECT_EQ(std::memcmp(&reg.entries, &expectedTable, sizeof expectedTable), 0);
    EXPECT_EQ(reg.entries.render_func, &Artie_RenderDispatch);

    ASSERT_EQ(host.state.deathHooks.size(), 1u);
    EXPECT_EQ(host.state.deathHooks[0].hook(nullptr, nullptr), A_Err_NONE);
    EXPECT_EQ(host.accounting().suitesAcquired, host.accounting().suitesReleased);

    std::vector<std::string> expected = {"EntryPointFunc called", "AEGP_RegisterArtisan succeeded",
                                         "AEGP_RegisterDeathHook succeeded", "Artie_DeathHook called"};
    EXPECT_EQ(logs.entryLines(), expected);
}

TEST(RendererEntry, MissingBasicOrRegisterSuiteReturns516) {
    LogCapture logs;
    EXPECT_EQ(rendererEntryPoint(nullptr, 13, 28, 1, nullptr), PF_Err_BAD_CALLBACK_PARAM);

    Host host;
    host.withhold(kAEGPRegisterSuite);
    EXPECT_EQ(rendererEntryPoint(host.basic(), 13, 28, 1, nullptr), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_TRUE(host.state.artisans.empty());
    EXPECT_TRUE(host.state.deathHooks.empty());

    std::vector<std::string> expected = {"EntryPointFunc called", "AEGP_RegisterArtisan failed",
                                         "EntryPointFunc called", "AEGP_RegisterArtisan failed"};
    EXPECT_EQ(logs.entryLines(), expected);
}

TEST(RendererEntry, RegistrationErrorIsReturnedAndSkipsTheDeathHook) {
    Host host;
    auto& registerSuite = host.replaceSuite<AEGP_RegisterSuite6>(kAEGPRegisterSuite, kAEGPRegisterSuiteVersion6);
    registerSuite.AEGP_RegisterArtisan = [](A_Version, A_Version, AEGP_PluginID, void*, const A_char*, const A_char*,
                                            PR_ArtisanEntryPoints*) -> A_Err { return A_Err_STRUCT; };
    EXPECT_EQ(rendererEntryPoint(host.basic(), 13, 28, 1, nullptr), A_Err_STRUCT);
    EXPECT_TRUE(host.state.deathHooks.empty());

    registerSuite.AEGP_RegisterArtisan = host::registerSuite6().AEGP_RegisterArtisan;
    registerSuite.AEGP_RegisterDeathHook = [](AEGP_PluginID, AEGP_DeathHook, AEGP_DeathRefcon) -> A_Err {
        return A_Err_ALLOC;
    };
    EXPECT_EQ(rendererEntryPoint(host.basic(), 13, 28, 1, nullptr), A_Err_ALLOC);
    EXPECT_EQ(host.accounting().suitesAcquired, host.accounting().suitesReleased);
}

TEST(ArtisanCallbacks, LoggingSlotsReturnSuccessAndDoNothingElse) {
    LogCapture logs;
    Host host;
    PR_InData inData = host.inData();
    PR_ArtisanEntryPoints table = artisanEntryPoints();

    PR_GlobalDataH globalData = reinterpret_cast<PR_GlobalDataH>(0x1234);
    EXPECT_EQ(table.global_setup_func0(&inData, nullptr, &globalData), A_Err_NONE);
    EXPECT_EQ(globalData, reinterpret_cast<PR_GlobalDataH>(0x1234));
    EXPECT_EQ(table.global_setdown_func0(&inData, nullptr, nullptr), A_Err_NONE);
    EXPECT_EQ(table.setup_instance_func0(&inData, nullptr, nullptr, nullptr, PR_InstanceFlags_NONE, nullptr, nullptr),
              A_Err_NONE);
    EXPECT_EQ(table.setdown_instance_func0(&inData, nullptr, nullptr, nullptr, nullptr), A_Err_NONE);
    PR_FlatHandle flat = reinterpret_cast<PR_FlatHandle>(0x99);
    EXPECT_EQ(table.flatten_instance_func0(&inData, nullptr, nullptr, nullptr, nullptr, &flat), A_Err_NONE);
    EXPECT_EQ(flat, reinterpret_cast<PR_FlatHandle>(0x99));
    EXPECT_EQ(table.frame_setup_func0(&inData, nullptr, nullptr, nullptr, nullptr, nullptr), A_Err_NONE);
    EXPECT_EQ(table.frame_setdown_func0(&inData, nullptr, nullptr, nullptr, nullptr, nullptr), A_Err_NONE);
    for (PR_QueryType type : {PR_QueryType_NONE, PR_QueryType_TRANSFORM, PR_QueryType_GET_ARTISAN_QUALITY}) {
        auto query = reinterpret_cast<PR_QueryContextH>(0x77);
        EXPECT_EQ(table.query_func0(&inData, nullptr, nullptr, query, type, nullptr, nullptr), A_Err_NONE);
    }
    EXPECT_TRUE(host.messages().empty());
    EXPECT_EQ(host.accounting().suitesAcquired, 0);

    std::vector<std::string> expected = {
        "Artie_GlobalSetup called",     "Artie_GlobalSetdown called", "Artie_SetupInstance called",
        "Artie_SetdownInstance called", "Artie_FrameSetup called",    "Artie_FrameSetdown called",
        "Artie_Query called type=0",    "Artie_Query called type=1",  "Artie_Query called type=10"};
    EXPECT_EQ(logs.entryLines(), expected);
}

TEST(ArtisanCallbacks, AboutAndDialogSpeakThroughTheMessageFunction) {
    Host host;
    PR_InData inData = host.inData();
    PR_ArtisanEntryPoints table = artisanEntryPoints();

    EXPECT_EQ(table.global_do_about_func0(&inData, nullptr, nullptr), A_Err_NONE);
    PR_DialogResult result = PR_DialogResult_CHANGE_MADE;
    EXPECT_EQ(table.do_instance_dialog_func0(&inData, nullptr, nullptr, nullptr, nullptr, &result), A_Err_NONE);
    EXPECT_EQ(result, PR_DialogResult_NO_CHANGE);

    std::vector<std::string> expected = {"Zephrin", "Add any options for your Artisan here."};
    EXPECT_EQ(host.messages(), expected);

    // A host that passes no in-data or no message function gets success and no crash.
    EXPECT_EQ(table.global_do_about_func0(nullptr, nullptr, nullptr), A_Err_NONE);
    PR_InData silent{};
    EXPECT_EQ(table.do_instance_dialog_func0(&silent, nullptr, nullptr, nullptr, nullptr, nullptr), A_Err_NONE);
}

TEST(GuardedEntry, NothingCrossesTheBoundary) {
    EXPECT_EQ(guardedEntry("test", []() -> A_Err { throw HostSuiteError{PF_Err_BAD_CALLBACK_PARAM}; }),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(guardedEntry("test", []() -> A_Err { throw std::bad_alloc(); }), A_Err_ALLOC);
    EXPECT_EQ(guardedEntry("test", []() -> A_Err { throw 42; }), A_Err_GENERIC);
    EXPECT_EQ(guardedEntry("test", [] { return A_Err_STRUCT; }), A_Err_STRUCT);
}

}  // namespace
}  // namespace zephrin

namespace zephrin {
namespace {

using test::ChannelLogFile;

// Every function the host calls, by the name its faults are logged under, with its body made to throw.
TEST(RendererEntryGuard, EveryHostCalledFunctionLogsItsFaultOnTheEntryChannel) {
    const char* const entries[] = {"EntryPointFunc",        "Artie_GlobalSetup",     "Artie_GlobalSetdown",
                                   "Artie_GlobalDoAbout",   "Artie_SetupInstance",   "Artie_SetdownInstance",
                                   "Artie_FlattenInstance", "Artie_DoInstanceDialog", "Artie_FrameSetup",
                                   "Artie_RenderDispatch",  "Artie_FrameSetdown",    "Artie_Query",
                                   "Artie_DeathHook"};
    for (const char* entry : entries) {
        ChannelLogFile log("SSR_ENTRY_LOG");
        EXPECT_EQ(guardedEntry(entry, []() -> A_Err { throw std::bad_alloc(); }), A_Err_ALLOC);
        EXPECT_EQ(guardedEntry(entry, []() -> A_Err { throw std::out_of_range("slot 12"); }), A_Err_GENERIC);
        EXPECT_EQ(guardedEntry(entry, []() -> A_Err { throw HostSuiteError{PF_Err_BAD_CALLBACK_PARAM}; }),
                  PF_Err_BAD_CALLBACK_PARAM);
        const std::string name(entry);
        EXPECT_EQ(log.lines(), (std::vector<std::string>{name + " caught std::bad_alloc err=4",
                                                         name + " caught slot 12 err=1",
                                                         name + " caught host suite error err=516"}));
    }
}

// A host whose suite acquisition throws (out of memory inside the host, say) in place of returning an
// error code.
SPErr acquireThrowsBadAlloc(const char*, A_long, const void**) { throw std::bad_alloc(); }
SPErr acquireThrowsRuntimeError(const char*, A_long, const void**) { throw std::runtime_error("host fault"); }
SPErr releaseNothing(const char*, A_long) { return kSPNoError; }

TEST(RendererEntryGuard, EntryPointAnswersAThrowingHostWithItsCode) {
    ChannelLogFile log("SSR_ENTRY_LOG");
    SPBasicSuite outOfMemory{};
    outOfMemory.AcquireSuite = acquireThrowsBadAlloc;
    outOfMemory.ReleaseSuite = releaseNothing;
    EXPECT_EQ(rendererEntryPoint(&outOfMemory, 13, 28, 5, nullptr), A_Err_ALLOC);
    SPBasicSuite broken = outOfMemory;
    broken.AcquireSuite = acquireThrowsRuntimeError;
    EXPECT_EQ(rendererEntryPoint(&broken, 13, 28, 5, nullptr), A_Err_GENERIC);
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{"EntryPointFunc called", "EntryPointFunc caught std::bad_alloc err=4",
                                        "EntryPointFunc called", "EntryPointFunc caught host fault err=1"}));
}

TEST(RendererEntryGuard, RenderCallbackAnswersAThrowingHostWithItsCode) {
    ChannelLogFile log("SSR_ENTRY_LOG");
    SPBasicSuite outOfMemory{};
    outOfMemory.AcquireSuite = acquireThrowsBadAlloc;
    outOfMemory.ReleaseSuite = releaseNothing;
    PR_InData inData{};
    inData.pica_basicP = &outOfMemory;
    const PR_ArtisanEntryPoints table = artisanEntryPoints();
    EXPECT_EQ(table.render_func(&inData, nullptr, nullptr, nullptr, nullptr, nullptr), A_Err_ALLOC);
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"Artie_RenderDispatch called",
                                                     "Artie_RenderDispatch caught std::bad_alloc err=4"}));
}

A_Err messageThrows(A_Err, const A_char*) { throw std::runtime_error("no window"); }

TEST(RendererEntryGuard, CallbacksAnswerAThrowingMessageFunction) {
    ChannelLogFile log("SSR_ENTRY_LOG");
    PR_InData inData{};
    inData.msg_func = messageThrows;
    const PR_ArtisanEntryPoints table = artisanEntryPoints();
    EXPECT_EQ(table.global_do_about_func0(&inData, nullptr, nullptr), A_Err_GENERIC);
    PR_DialogResult result = PR_DialogResult_CHANGE_MADE;
    EXPECT_EQ(table.do_instance_dialog_func0(&inData, nullptr, nullptr, nullptr, nullptr, &result), A_Err_GENERIC);
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"Artie_GlobalDoAbout caught no window err=1",
                                                     "Artie_DoInstanceDialog caught no window err=1"}));
}

}  // namespace
}  // namespace zephrin
