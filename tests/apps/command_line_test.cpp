// End-to-end: what the command line says when it is used wrongly, the commands around render
// (version, validate), and the ways a render ends without a crash.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "apps/zephrin_process.h"

namespace zephrin::test {
namespace {

namespace fs = std::filesystem;

std::string compositionScene(const std::string& composition) {
    return R"({"format": "zephrin-scene", "version": 1, "composition": )" + composition + "}";
}

const char* const kSmallComposition = R"({"name": "Small", "width": 32, "height": 24, "frameRate": 10, "duration": 1})";

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override { dir = freshTestFolder(::testing::UnitTest::GetInstance()->current_test_info()->name()); }
    void TearDown() override { fs::remove_all(dir); }
    fs::path scene(const std::string& text, const std::string& name) {
        writeTextFile(dir / name, text);
        return dir / name;
    }
    fs::path dir;
};

TEST_F(CommandLine, RangeErrorsNameTheOptionAndTheRangeInPlainNumbers) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{"render", "--frame", "-1"}, "--frame: expected a frame number (a whole number from 0 up), got -1"},
        {{"render", "--downsample", "0"}, "--downsample: expected a downsample factor (a whole number from 1 to 32767), got 0"},
        {{"render", "--downsample", "1e3"}, "--downsample: expected a downsample factor (a whole number from 1 to 32767), got 1e3"},
        {{"render", "--bpc", "12"}, "--bpc: expected 8, 16 or 32, got 12"},
        {{"render", "--progress", "fancy"}, "--progress: expected auto, bar, plain or json, got fancy"},
        {{"render", "--frames", "9-3"}, "--frames: the range 9-3 runs backwards (write 3-9)"},
        {{"--threads", "0", "info", "x.json"}, "--threads: expected a thread count (a whole number from 1 to 4096), got 0"},
    };
    for (const Case& c : cases) {
        ProcessResult run = runZephrin(c.args);
        EXPECT_EQ(run.exitCode, 2) << run.output;
        EXPECT_NE(run.output.find("zephrin: " + c.message), std::string::npos) << run.output;
        EXPECT_EQ(run.output.find("e+308"), std::string::npos) << run.output;
    }
}

TEST_F(CommandLine, AMistypedCommandIsNamed) {
    ProcessResult run = runZephrin({"rendr", "scene.json"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.output.find("zephrin: unknown command \"rendr\""), std::string::npos) << run.output;
    ProcessResult none = runZephrin({});
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_NE(none.output.find("a command is required"), std::string::npos) << none.output;
}

TEST_F(CommandLine, VersionNamesTheProgramThePlugInsAndTheSceneFormat) {
    for (const char* form : {"version", "--version"}) {
        ProcessResult run = runZephrin({form});
        ASSERT_EQ(run.exitCode, 0) << run.output;
        EXPECT_NE(run.output.find(std::string("zephrin ") + ZEPHRIN_VERSION + "\n"), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("scene format: zephrin-scene version 1\n"), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("renderer plug-in: ZephrinRenderer 2.1\n"), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("effect plug-in: Zephrin 1.2.4 (development build 4)\n"), std::string::npos)
            << run.output;
    }
}

TEST_F(CommandLine, ValidateReportsEachFileAsRenderWould) {
    fs::path good = scene(compositionScene(kSmallComposition), "good.json");
    fs::path bad = scene(compositionScene(R"({"width": 32, "height": 24, "frameRate": 10, "duration": -1})"), "bad.json");
    fs::path badEffect = scene(R"({"format": "zephrin-scene", "version": 1, "composition": )" +
                                   std::string(kSmallComposition) + R"(, "layers": [{"type": "null",
                                   "effects": [{"matchName": "com.tavik.ZephrinSurface", "params": {"Thickness": 900}}]}]})",
                               "effect.json");
    ProcessResult ok = runZephrin({"validate", good.string(), good.string()});
    EXPECT_EQ(ok.exitCode, 0) << ok.output;
    EXPECT_NE(ok.output.find(good.string() + ": ok"), std::string::npos) << ok.output;

    ProcessResult mixed = runZephrin({"validate", bad.string(), good.string(), badEffect.string()});
    EXPECT_EQ(mixed.exitCode, 2) << mixed.output;
    EXPECT_NE(mixed.output.find(good.string() + ": ok"), std::string::npos) << mixed.output;
    for (const fs::path& file : {bad, badEffect}) {
        ProcessResult render = runZephrin({"render", file.string(), "-o", (dir / "never.png").string()});
        ASSERT_EQ(render.exitCode, 2);
        std::string message = render.output.substr(0, render.output.find('\n'));
        EXPECT_NE(mixed.output.find(message), std::string::npos) << "render said: " << message << "\n" << mixed.output;
    }
    EXPECT_NE(mixed.output.find("effects[0].params.Thickness"), std::string::npos) << mixed.output;
    EXPECT_FALSE(fs::exists(dir / "never.png"));
}

// Containers and farm slots hand out CPUs through the affinity; --threads narrows it further, and the
// renderer's worker count follows.
TEST_F(CommandLine, ThreadsNarrowTheCpusTheRendererUses) {
    fs::path layers = sourceFolder() / "tests/data/scenes/textured_layers.json";
    ProcessResult info = runZephrin({"--threads", "1", "info", layers.string()});
    ASSERT_EQ(info.exitCode, 0) << info.output;
    EXPECT_NE(info.output.find("CPUs this process may use: 1\n"), std::string::npos) << info.output;

    fs::path log = dir / "render.log";
    ProcessResult run = runZephrin({"render", layers.string(), "--threads", "1", "-o", (dir / "one.png").string()},
                                   {"SSR_RENDER_DEBUG=1", "SSR_RENDER_DEBUG_LOG=" + log.string()});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    // 180 rows would split into two bands of work on any machine with two CPUs to spare.
    EXPECT_NE(readTextFile(log).find(" workers=1 "), std::string::npos) << readTextFile(log);
}

TEST_F(CommandLine, ARunRefusedLateLeavesNoNewFolder) {
    fs::path badEffect = scene(R"({"format": "zephrin-scene", "version": 1, "composition": )" +
                                   std::string(kSmallComposition) + R"(, "layers": [{"type": "null",
                                   "effects": [{"matchName": "com.tavik.ZephrinSurface", "params": {"Nope": 1}}]}]})",
                               "late.json");
    ProcessResult run = runZephrin({"render", badEffect.string(), "-o", (dir / "new" / "deeper" / "f.png").string()});
    EXPECT_EQ(run.exitCode, 2) << run.output;
    EXPECT_FALSE(fs::exists(dir / "new")) << run.output;

    fs::path good = scene(compositionScene(kSmallComposition), "good.json");
    ProcessResult made = runZephrin({"render", good.string(), "-o", (dir / "made" / "f.png").string()});
    EXPECT_EQ(made.exitCode, 0) << made.output;
    EXPECT_TRUE(fs::exists(dir / "made" / "f.png"));
}

// Frames whose time the host cannot carry end the run with a message (the scene is refused before
// anything renders, or the sequence stops at the frame), never with an abort part way through.
TEST_F(CommandLine, AFrameTheHostRefusesEndsTheRunWithAMessage) {
    fs::path longScene = scene(
        compositionScene(R"({"name": "Long", "width": 16, "height": 16, "frameRate": 24, "duration": 100000})"),
        "long.json");
    ProcessResult run =
        runZephrin({"render", longScene.string(), "--frames", "2147483-2147484", "-o", (dir / "l.####.png").string()});
    EXPECT_TRUE(run.exitCode == 1 || run.exitCode == 2) << run.exitCode << "\n" << run.output;
    EXPECT_NE(run.output.find("zephrin: "), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("terminate called"), std::string::npos) << run.output;
}

TEST_F(CommandLine, RunningOutOfMemoryEndsWithAMessage) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers reserve more address space than the limit this test sets";
#else
    fs::path big = scene(
        compositionScene(R"({"name": "Big", "width": 30000, "height": 30000, "frameRate": 10, "duration": 1})"),
        "big.json");
    std::string command = "ulimit -v 3000000; exec '" + zephrinExecutable().string() + "' render '" + big.string() +
                          "' --bpc 32 -o '" + (dir / "big.exr").string() + "' 2>&1";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[4096];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, got);
    int status = ::pclose(pipe);
    ASSERT_TRUE(WIFEXITED(status)) << output;
    EXPECT_EQ(WEXITSTATUS(status), 1) << output;
    EXPECT_NE(output.find("out of memory"), std::string::npos) << output;
    EXPECT_FALSE(fs::exists(dir / "big.exr"));
#endif
}

}  // namespace
}  // namespace zephrin::test
