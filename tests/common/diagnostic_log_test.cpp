#include "common/diagnostic_log.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace zephrin {
namespace {

const char* const kLogVariables[] = {"SSR_ENTRY_DEBUG",      "SSR_ENTRY_LOG",       "SSR_RENDER_DEBUG",
                                     "SSR_RENDER_DEBUG_LOG", "SSR_RENDER_LOG",      "SSR_EFFECT_DEBUG",
                                     "SSR_EFFECT_LOG",       "SSR_EFFECT_RAW_DEBUG", "SSR_EFFECT_RAW_LOG"};

// Each test starts with every switch off and a private folder for its log files.
class DiagnosticLog : public ::testing::Test {
protected:
    void SetUp() override {
        startDir = std::filesystem::current_path();
        for (const char* name : kLogVariables) unsetenv(name);
        dir = std::filesystem::temp_directory_path() /
              ("zephrin_log_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override {
        for (const char* name : kLogVariables) unsetenv(name);
        std::filesystem::current_path(startDir);
        std::filesystem::remove_all(dir);
    }
    std::string path(const std::string& name) const { return (dir / name).string(); }
    static std::string read(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    std::filesystem::path dir;
    std::filesystem::path startDir;
};

TEST_F(DiagnosticLog, EnvFlagRecognisesOffWordsInAnyCase) {
    for (const char* off : {"0", "false", "OFF", "No", "FaLsE"}) {
        setenv("SSR_ENTRY_DEBUG", off, 1);
        EXPECT_FALSE(envFlag("SSR_ENTRY_DEBUG")) << off;
    }
    for (const char* on : {"1", "yes", "true", "anything", "00"}) {
        setenv("SSR_ENTRY_DEBUG", on, 1);
        EXPECT_TRUE(envFlag("SSR_ENTRY_DEBUG")) << on;
    }
    setenv("SSR_ENTRY_DEBUG", "", 1);
    EXPECT_FALSE(envFlag("SSR_ENTRY_DEBUG"));
    unsetenv("SSR_ENTRY_DEBUG");
    EXPECT_FALSE(envFlag("SSR_ENTRY_DEBUG"));
}

TEST_F(DiagnosticLog, EntryDebugSwitchWithoutLogPathWritesNothing) {
    setenv("SSR_ENTRY_DEBUG", "1", 1);
    logEntry("EntryPointFunc called");
    EXPECT_TRUE(std::filesystem::is_empty(dir));
}

TEST_F(DiagnosticLog, EntryLinesAppendInCallOrder) {
    setenv("SSR_ENTRY_LOG", path("entry.log").c_str(), 1);
    logEntry("first");
    logEntryNumber("Artie_Query called type=", 7);
    EXPECT_EQ(read(path("entry.log")), "first\nArtie_Query called type=7\n");
}

TEST_F(DiagnosticLog, EffectLogOffDisablesUnlessDebugSwitchNamesTheFileOff) {
    // "off" both names the file and switches the channel off.
    std::filesystem::current_path(dir);
    setenv("SSR_EFFECT_LOG", "Off", 1);
    logEffect("dropped");
    EXPECT_TRUE(std::filesystem::is_empty(dir));

    setenv("SSR_EFFECT_LOG", "off", 1);
    setenv("SSR_EFFECT_DEBUG", "1", 1);
    logEffectNumber("count=", 12u);
    EXPECT_EQ(read(path("off")), "count=12\n");
}

TEST_F(DiagnosticLog, RenderChannelIsOffOnlyForExactZero) {
    setenv("SSR_RENDER_DEBUG_LOG", path("render.log").c_str(), 1);
    setenv("SSR_RENDER_DEBUG", "0", 1);
    EXPECT_FALSE(renderLogEnabled());
    logRender("dropped");
    setenv("SSR_RENDER_DEBUG", "false", 1);
    EXPECT_TRUE(renderLogEnabled());
    logRender("RendererV2Frame: boot x");
    EXPECT_EQ(read(path("render.log")), "RendererV2Frame: boot x\n");
}

TEST_F(DiagnosticLog, RenderChannelFallsBackToRenderLogPath) {
    setenv("SSR_RENDER_DEBUG", "1", 1);
    setenv("SSR_RENDER_DEBUG_LOG", "", 1);
    setenv("SSR_RENDER_LOG", path("fallback.log").c_str(), 1);
    logRender("line");
    EXPECT_EQ(read(path("fallback.log")), "line\n");
    unsetenv("SSR_RENDER_LOG");
    EXPECT_FALSE(renderLogEnabled());
}

TEST_F(DiagnosticLog, RawChannelEndsLinesWithCarriageReturn) {
    setenv("SSR_EFFECT_RAW_LOG", path("raw.log").c_str(), 1);
    logEffectRaw("GlobalSetup enter");
    logEffectRaw("GlobalSetup leave");
    EXPECT_EQ(read(path("raw.log")), "GlobalSetup enter\r\nGlobalSetup leave\r\n");
}

TEST_F(DiagnosticLog, UnwritablePathIsSilentlyDropped) {
    setenv("SSR_ENTRY_LOG", path("missing/dir/entry.log").c_str(), 1);
    logEntry("nowhere");
    EXPECT_FALSE(std::filesystem::exists(path("missing")));
}

TEST_F(DiagnosticLog, EnabledChecksFollowTheWritersSwitchesAndPaths) {
    EXPECT_FALSE(entryLogEnabled());
    setenv("SSR_ENTRY_DEBUG", "1", 1);
    EXPECT_FALSE(entryLogEnabled()) << "a switch without a path writes nothing";
    setenv("SSR_ENTRY_LOG", path("entry.log").c_str(), 1);
    EXPECT_TRUE(entryLogEnabled());
    setenv("SSR_ENTRY_DEBUG", "0", 1);
    EXPECT_TRUE(entryLogEnabled()) << "the path switches the channel on by itself";

    setenv("SSR_EFFECT_LOG", "Off", 1);
    EXPECT_FALSE(effectLogEnabled());
    setenv("SSR_EFFECT_DEBUG", "yes", 1);
    EXPECT_TRUE(effectLogEnabled()) << "the debug switch writes to a file named off";

    setenv("SSR_EFFECT_RAW_DEBUG", "1", 1);
    EXPECT_FALSE(effectRawLogEnabled());
    setenv("SSR_EFFECT_RAW_LOG", path("raw.log").c_str(), 1);
    EXPECT_TRUE(effectRawLogEnabled());

    setenv("SSR_RENDER_LOG", path("render.log").c_str(), 1);
    EXPECT_FALSE(renderLogEnabled());
    setenv("SSR_RENDER_DEBUG", "no", 1);
    EXPECT_TRUE(renderLogEnabled());
}

// Lines that cost formatting are built only for a channel that is on; the enabled check is read
// afresh, so switching a variable mid-run takes effect on the next line.
TEST_F(DiagnosticLog, BuiltLinesAreBuiltOnlyWhenTheChannelIsOn) {
    struct Channel {
        const LogChannel& channel;
        const char* variable;
        std::string file;
    } channels[] = {{kEntryLog, "SSR_ENTRY_LOG", path("entry.log")},
                    {kEffectLog, "SSR_EFFECT_LOG", path("effect.log")},
                    {kEffectRawLog, "SSR_EFFECT_RAW_LOG", path("raw.log")},
                    {kRenderLog, "SSR_RENDER_DEBUG_LOG", path("render.log")}};
    for (const Channel& c : channels) {
        int builds = 0;
        auto build = [&builds] {
            ++builds;
            return std::string("built line");
        };
        logBuilt(c.channel, build);
        EXPECT_EQ(builds, 0) << c.variable;
        setenv(c.variable, c.file.c_str(), 1);
        if (std::string(c.variable) == "SSR_RENDER_DEBUG_LOG") setenv("SSR_RENDER_DEBUG", "1", 1);
        logBuilt(c.channel, build);
        EXPECT_EQ(builds, 1) << c.variable;
        EXPECT_EQ(read(c.file).substr(0, 10), "built line") << c.variable;
        unsetenv(c.variable);
    }
}

TEST_F(DiagnosticLog, NumberLinesKeepTheirTextWhenOn) {
    logEntryNumber("dropped=", 1);
    logEffectNumber("dropped=", 2u);
    EXPECT_TRUE(std::filesystem::is_empty(dir));
    setenv("SSR_ENTRY_LOG", path("entry.log").c_str(), 1);
    logEntryNumber("Artie_Query called type=", -3);
    EXPECT_EQ(read(path("entry.log")), "Artie_Query called type=-3\n");
}

}  // namespace
}  // namespace zephrin
