// The farm recipes of docs/farm.md that run without a farm manager.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "apps/zephrin_process.h"

namespace zephrin::test {
namespace {

namespace fs = std::filesystem;

int runShell(const std::string& command, std::string& output) {
    std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return -1;
    char buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
    int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(FarmRecipes, XargsChunksMatchOneRender) {
    fs::path dir = freshTestFolder("FarmRecipesXargs");
    fs::path scene = dir / "shot.json";
    writeTextFile(scene, R"({"format": "zephrin-scene", "version": 1,
      "composition": {"width": 64, "height": 36, "frameRate": 12, "duration": 1, "background": [0, 0, 0, 1]},
      "footage": {"card": {"solid": {"color": [0.2, 0.6, 0.9], "width": 30, "height": 20}}},
      "layers": [{"type": "av", "source": "card", "threeD": true,
                  "transform": {"position": [32, 18, 0], "rotationY": {"keyframes": [[0, -40], [1, 40]]}}}]})");
    ProcessResult whole =
        runZephrin({"render", scene.string(), "--frames", "0-5", "-o", (dir / "whole" / "f.####.png").string()});
    ASSERT_EQ(whole.exitCode, 0) << whole.output;

    // The recipe as the documentation writes it, with this build's zephrin.
    const std::string recipe = "cd '" + dir.string() + "' && printf '%s\\n' 0-1 2-3 4-5 | xargs -P 3 -I{} '" +
                               zephrinExecutable().string() +
                               "' render shot.json --frames {} -o out/f.####.png --skip-existing --progress plain "
                               "--threads 1";
    std::string output;
    ASSERT_EQ(runShell(recipe, output), 0) << output;
    EXPECT_NE(output.find("Progress: 100%"), std::string::npos) << output;
    for (int frame = 0; frame < 6; ++frame) {
        std::string name = "f.000" + std::to_string(frame) + ".png";
        ASSERT_TRUE(fs::exists(dir / "out" / name)) << name;
        EXPECT_EQ(readTextFile(dir / "out" / name), readTextFile(dir / "whole" / name)) << name << " differs";
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace zephrin::test
