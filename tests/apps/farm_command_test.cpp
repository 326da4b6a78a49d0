// `zephrin farm slurm` without a cluster: the script it would submit, and what it refuses before
// anything reaches sbatch. The submission itself runs against a real cluster in tests/farm/.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "apps/zephrin_process.h"

namespace zephrin::test {
namespace {

namespace fs = std::filesystem;

const std::string kScene = R"({"format": "zephrin-scene", "version": 1,
  "composition": {"width": 96, "height": 54, "frameRate": 12, "duration": 1},
  "footage": {"card": {"solid": {"color": [1, 0, 0], "width": 40, "height": 30}}},
  "layers": [{"type": "av", "source": "card", "threeD": true}]})";

class FarmCommand : public ::testing::Test {
protected:
    void SetUp() override {
        dir = freshTestFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        scene = dir / "my shot.json";
        writeTextFile(scene, kScene);
    }
    void TearDown() override { fs::remove_all(dir); }
    ProcessResult farm(std::vector<std::string> extra, const std::vector<std::string>& env = {}) {
        std::vector<std::string> args = {"farm", "slurm", scene.string()};
        args.insert(args.end(), extra.begin(), extra.end());
        return runZephrin(args, env);
    }
    fs::path dir;
    fs::path scene;
};

TEST_F(FarmCommand, DryRunPrintsOneArrayTaskPerChunk) {
    const std::string output = (dir / "out" / "shot.####.png").string();
    ProcessResult run = farm({"--frames", "0-9", "--chunk", "4", "-o", output, "--partition", "render", "--dry-run"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    for (const std::string& expected :
         {std::string("#SBATCH --array=0-2\n"), std::string("#SBATCH --cpus-per-task=1\n"),
          std::string("#SBATCH --mem=320M\n"), std::string("#SBATCH --partition=render\n"),
          std::string("#SBATCH --job-name=zephrin-my_shot\n"), std::string("chunks=('0-3' '4-7' '8-9')\n"),
          "render '" + scene.string() + "'", "-o '" + output + "' --skip-existing --progress plain\n",
          "exec '" + zephrinExecutable().string() + "' --plugins '" + pluginFolder().string() + "'"}) {
        EXPECT_NE(run.output.find(expected), std::string::npos) << expected << "\nnot in:\n" << run.output;
    }
    EXPECT_FALSE(fs::exists(dir / "out")) << "a dry run wrote nothing";
}

TEST_F(FarmCommand, RefusesWhatEveryTaskWouldRefuse) {
    const std::string pattern = (dir / "shot.####.png").string();
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{"--frames", "0-20", "--chunk", "4", "-o", pattern}, "frame 20"},
        {{"--frames", "0-3", "--chunk", "0", "-o", pattern}, "--chunk"},
        {{"--frames", "3-1", "--chunk", "2", "-o", pattern}, "--frames 3-1"},
        {{"--frames", "0-3", "--chunk", "2", "-o", (dir / "shot.png").string()}, "frame number"},
        {{"--frames", "0-3", "--chunk", "2", "-o", (dir / "shot.####.gif").string()}, "unknown image format"},
        {{"--frames", "0-3", "--chunk", "2", "-o", pattern, "--partition", "a\nb"}, "--partition"},
    };
    for (const Case& c : cases) {
        ProcessResult run = farm(c.args);
        EXPECT_EQ(run.exitCode, 2) << c.message << "\n" << run.output;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
    }

    writeTextFile(scene, R"({"format": "zephrin-scene", "version": 1,
      "composition": {"width": 96, "height": 54, "frameRate": 12, "duration": 1},
      "footage": {"card": {"solid": {"color": [1, 0, 0], "width": 40, "height": 30}}},
      "layers": [{"type": "av", "source": "card",
                  "effects": [{"matchName": "com.tavik.ZephrinSurface", "params": {"No Such Control": 1}}]}]})");
    ProcessResult badParam = farm({"--frames", "0-3", "--chunk", "2", "-o", pattern, "--dry-run"});
    EXPECT_EQ(badParam.exitCode, 2) << badParam.output;
    EXPECT_NE(badParam.output.find("No Such Control"), std::string::npos) << badParam.output;
}

TEST_F(FarmCommand, MissingSbatchIsAFailureNotASubmission) {
    ProcessResult run = farm({"--frames", "0-3", "--chunk", "2", "-o", (dir / "shot.####.png").string()},
                             {"PATH=" + (dir / "no-slurm-here").string()});
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("sbatch not found"), std::string::npos) << run.output;

    // An sbatch that refuses the job (a full queue, a bad account) fails the command with its code.
    writeTextFile(dir / "bin" / "sbatch", "#!/bin/sh\necho 'sbatch: error: Batch job submission failed' >&2\nexit 1\n");
    fs::permissions(dir / "bin" / "sbatch", fs::perms::owner_all);
    ProcessResult refused = farm({"--frames", "0-3", "--chunk", "2", "-o", (dir / "shot.####.png").string()},
                                 {"PATH=" + (dir / "bin").string() + ":/usr/bin:/bin"});
    EXPECT_EQ(refused.exitCode, 1) << refused.output;
    EXPECT_NE(refused.output.find("Batch job submission failed"), std::string::npos) << refused.output;
    EXPECT_NE(refused.output.find("sbatch did not take the job (exit 1)"), std::string::npos) << refused.output;
}

}  // namespace
}  // namespace zephrin::test
