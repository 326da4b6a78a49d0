// The renderer plug-in's outside: what the shared library exports and links, and the diagnostic lines
// a frame writes when the logging variables ask for them.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>

#include "apps/zephrin_process.h"

namespace zephrin::test {
namespace {

namespace fs = std::filesystem;

std::string runTool(const std::string& command) {
    std::string output;
    std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return output;
    char buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
    ::pclose(pipe);
    return output;
}

std::set<std::string> lines(const std::string& text) {
    std::set<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) result.insert(line);
    return result;
}

// The dynamic symbols a plug-in defines, leaving out what sanitizer builds add of their own.
std::set<std::string> exportedSymbols(const fs::path& plugin) {
    std::string symbols = runTool("nm -D --defined-only --format=posix '" + plugin.string() + "' | cut -d' ' -f1");
    std::set<std::string> exported;
    for (const std::string& name : lines(symbols)) {
        if (name.rfind("__asan", 0) == 0 || name.rfind("__ubsan", 0) == 0 || name.rfind("__sanitizer", 0) == 0 ||
            name.rfind("__lsan", 0) == 0)
            continue;
        exported.insert(name);
    }
    return exported;
}

TEST(RendererPlugin, ExportsOnlyTheEntryPoint) {
    fs::path plugin = pluginFolder() / "ZephrinRenderer.so";
    ASSERT_TRUE(fs::exists(plugin));
    EXPECT_EQ(exportedSymbols(plugin), std::set<std::string>{"EntryPointFunc"});
}

TEST(EffectPlugin, ExportsOnlyTheHostEntries) {
    fs::path plugin = pluginFolder() / "Zephrin.so";
    ASSERT_TRUE(fs::exists(plugin));
    EXPECT_EQ(exportedSymbols(plugin),
              (std::set<std::string>{"EffectMain", "PluginDataEntryFunction", "PluginDataEntryFunction2"}));
}

TEST(RendererPlugin, LinksNothingButTheRuntime) {
    fs::path plugin = pluginFolder() / "ZephrinRenderer.so";
    std::string dynamic = runTool("readelf -d '" + plugin.string() + "'");
    std::istringstream in(dynamic);
    const std::set<std::string> allowed = {"libstdc++.so.6", "libm.so.6",    "libgcc_s.so.1", "libc.so.6",
                                           "libasan.so.8",   "libubsan.so.1", "ld-linux-x86-64.so.2"};
    int needed = 0;
    for (std::string line; std::getline(in, line);) {
        size_t at = line.find("(NEEDED)");
        if (at == std::string::npos) continue;
        size_t open = line.find('[', at), close = line.find(']', at);
        ASSERT_NE(open, std::string::npos) << line;
        std::string library = line.substr(open + 1, close - open - 1);
        EXPECT_TRUE(allowed.count(library)) << "unexpected dependency " << library;
        ++needed;
    }
    EXPECT_GT(needed, 0) << dynamic;
}

class FrameLogs : public ::testing::Test {
protected:
    void SetUp() override { dir = freshTestFolder(::testing::UnitTest::GetInstance()->current_test_info()->name()); }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

bool hasLineStartingWith(const std::string& log, const std::string& prefix) {
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0) return true;
    return false;
}

TEST_F(FrameLogs, RenderChannelHoldsEveryStageLine) {
    fs::path log = dir / "render.log";
    ProcessResult run =
        runZephrin({"render", (sourceFolder() / "tests/data/scenes/textured_layers.json").string(), "-o",
                    (dir / "frame.png").string()},
                   {"SSR_RENDER_DEBUG=1", "SSR_RENDER_DEBUG_LOG=" + log.string()});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    std::string text = readTextFile(log);
    for (const char* prefix :
         {"RendererV2Frame: boot ", "RenderMode: hostInteractive=0 interactiveBuffer=0 dsf=1x1 bins=",
          "RendererV2Camera: active=1 focal=400 dof=0", "RendererV2Scene: surfaces=4 lights=0 interactive=0",
          "RendererV2CollectScene: ms=(camera:", "RendererV2Mesh: layer=", "RendererV2BuildSurfaces: surfaces=4 ms=(settings:",
          "RendererV2Frame: surfaces=4 tris=", "RendererV2RenderTotal: ms=(setup:"})
        EXPECT_TRUE(hasLineStartingWith(text, prefix)) << "no line starting with '" << prefix << "' in:\n" << text;
}

TEST_F(FrameLogs, DownsampledFrameIsInteractive) {
    fs::path log = dir / "render.log";
    ProcessResult run =
        runZephrin({"render", (sourceFolder() / "tests/data/scenes/textured_layers.json").string(), "-o",
                    (dir / "frame.png").string(), "--downsample", "2"},
                   {"SSR_RENDER_DEBUG=1", "SSR_RENDER_DEBUG_LOG=" + log.string()});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    std::string text = readTextFile(log);
    EXPECT_TRUE(hasLineStartingWith(text, "RenderMode: hostInteractive=1 interactiveBuffer=0 dsf=2x2")) << text;
    EXPECT_TRUE(hasLineStartingWith(text, "RendererV2Frame: surfaces=4 tris=")) << text;
    EXPECT_NE(text.find(" dst=160x90 raster=160x90 "), std::string::npos) << text;
}

// An OBJ footage layer renders as its model through the host's footage path, on every frame.
TEST_F(FrameLogs, ObjModelLoadsThroughTheHost) {
    fs::path log = dir / "render.log";
    ProcessResult run = runZephrin({"render", (sourceFolder() / "examples/obj_model.json").string(), "--frames", "0-1",
                                    "-o", (dir / "obj.####.png").string(), "--downsample", "4"},
                                   {"SSR_RENDER_DEBUG=1", "SSR_RENDER_DEBUG_LOG=" + log.string()});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    std::string text = readTextFile(log);
    EXPECT_TRUE(hasLineStartingWith(text, "RendererV2Obj: loaded verts=")) << text;
    EXPECT_NE(text.find("kind=2"), std::string::npos) << text;
    EXPECT_EQ(text.find("RendererV2Obj: fallback"), std::string::npos) << text;
}

TEST_F(FrameLogs, EntryChannelFollowsTheHostCallOrder) {
    fs::path log = dir / "entry.log";
    ProcessResult run =
        runZephrin({"render", (sourceFolder() / "tests/data/scenes/textured_layers.json").string(), "-o",
                    (dir / "frame.png").string()},
                   {"SSR_ENTRY_LOG=" + log.string()});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    std::string text = readTextFile(log);
    const char* order[] = {"EntryPointFunc called",      "AEGP_RegisterArtisan succeeded",
                           "AEGP_RegisterDeathHook succeeded", "Artie_GlobalSetup called",
                           "Artie_SetupInstance called", "Artie_FrameSetup called",
                           "Artie_RenderDispatch called", "Artie_FrameSetdown called",
                           "Artie_SetdownInstance called", "Artie_GlobalSetdown called",
                           "Artie_DeathHook called"};
    size_t from = 0;
    for (const char* line : order) {
        size_t at = text.find(std::string(line) + "\n", from);
        ASSERT_NE(at, std::string::npos) << "'" << line << "' missing or out of order in:\n" << text;
        from = at;
    }
}

}  // namespace
}  // namespace zephrin::test
