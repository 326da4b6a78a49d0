#include "apps/zephrin/slurm_job.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "apps/zephrin/frame_spec.h"
#include "apps/zephrin/job_resources.h"
#include "apps/zephrin_process.h"
#include "host/footage.h"

namespace zephrin::test {
namespace {

namespace fs = std::filesystem;
using namespace zephrin::app;

std::vector<int64_t> framesOf(const std::string& spec) {
    FrameSpecResult parsed = parseFrameSpec(spec);
    EXPECT_EQ(parsed.error, "") << spec;
    return expandFrameSpec(parsed.spec);
}

TEST(SlurmJob, ChunksReadBackAsTheSameFramesInOrder) {
    EXPECT_EQ(chunkFrameSpecs(framesOf("0-11"), 4), (std::vector<std::string>{"0-3", "4-7", "8-11"}));
    EXPECT_EQ(chunkFrameSpecs(framesOf("1001-1010"), 4), (std::vector<std::string>{"1001-1004", "1005-1008", "1009-1010"}));
    EXPECT_EQ(chunkFrameSpecs(framesOf("1-7x2,20"), 10), (std::vector<std::string>{"1-7x2,20"}));
    EXPECT_EQ(chunkFrameSpecs(framesOf("7,9"), 5), (std::vector<std::string>{"7,9"}));
    EXPECT_EQ(chunkFrameSpecs(framesOf("5,3,1"), 2), (std::vector<std::string>{"5,3", "1"}));
    EXPECT_EQ(chunkFrameSpecs(framesOf("4"), 100), (std::vector<std::string>{"4"}));

    // Random lists as farm users write them: runs, steps and single frames in any order.
    std::mt19937 random(15);
    for (int trial = 0; trial < 500; ++trial) {
        std::string spec;
        int items = 1 + static_cast<int>(random() % 5);
        for (int i = 0; i < items; ++i) {
            int64_t first = random() % 200;
            int64_t length = random() % 30;
            int64_t step = 1 + random() % 4;
            spec += (i == 0 ? "" : ",") + std::to_string(first);
            if (length > 0) spec += "-" + std::to_string(first + length) + (step > 1 ? "x" + std::to_string(step) : "");
        }
        std::vector<int64_t> frames = framesOf(spec);
        int64_t chunk = 1 + static_cast<int64_t>(random() % 9);
        std::vector<std::string> chunks = chunkFrameSpecs(frames, chunk);
        ASSERT_EQ(chunks.size(), (frames.size() + static_cast<size_t>(chunk) - 1) / static_cast<size_t>(chunk)) << spec;
        std::vector<int64_t> joined;
        for (const std::string& c : chunks) {
            std::vector<int64_t> part = framesOf(c);
            EXPECT_LE(part.size(), static_cast<size_t>(chunk)) << c;
            joined.insert(joined.end(), part.begin(), part.end());
        }
        ASSERT_EQ(joined, frames) << spec << " in chunks of " << chunk;
    }
}

TEST(SlurmJob, NamesAndPartitionsCannotBreakTheScript) {
    EXPECT_EQ(slurmJobName("/shows/my shot;rm -rf $HOME.json"), "zephrin-my_shot_rm_-rf__HOME");
    EXPECT_EQ(partitionProblem("render"), "");
    EXPECT_EQ(partitionProblem("render,gpu.big_1"), "");
    EXPECT_NE(partitionProblem("render\nrm -rf /"), "");
    EXPECT_NE(partitionProblem("render --mem=1"), "");
    EXPECT_NE(partitionProblem(""), "");
}

struct ScriptRun {
    int exitCode = -1;
    std::string output;
};

ScriptRun runScript(const fs::path& script, const std::string& environment) {
    ScriptRun run;
    std::string command = "env -i PATH=/usr/bin:/bin " + environment + " bash '" + script.string() + "' 2>&1";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, got);
    int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(SlurmJob, EachTaskRunsItsChunkWithEveryPathIntact) {
    fs::path dir = freshTestFolder("SlurmJobScript");
    // Stands in for zephrin: prints each argument it receives on a line of its own.
    fs::path printer = dir / "it's $(odd) `dir`" / "zephrin";
    writeTextFile(printer, "#!/bin/sh\nfor a in \"$@\"; do echo \"[$a]\"; done\n");
    fs::permissions(printer, fs::perms::owner_all);

    SlurmJob job;
    job.name = "zephrin-test";
    job.zephrin = printer;
    job.pluginDir = dir / "plug ins";
    job.scene = dir / "my \"scene\".json";
    job.output = (dir / "out $HOME" / "shot #1.####.png").string();
    job.chunks = {"0-3", "4-7", "8,10"};
    job.partition = "render";
    job.cpusPerTask = 3;
    job.memoryMiB = 512;
    const std::string script = slurmBatchScript(job);
    for (const char* line : {"#SBATCH --array=0-2\n", "#SBATCH --cpus-per-task=3\n", "#SBATCH --mem=512M\n",
                             "#SBATCH --partition=render\n", "#SBATCH --requeue\n"})
        EXPECT_NE(script.find(line), std::string::npos) << line << " missing from\n" << script;
    fs::path file = dir / "job.sh";
    writeTextFile(file, script);

    ScriptRun task = runScript(file, "SLURM_ARRAY_TASK_ID=2 SLURM_CPUS_PER_TASK=3");
    ASSERT_EQ(task.exitCode, 0) << task.output;
    const std::string expected = "[--plugins]\n[" + job.pluginDir.string() + "]\n[--threads]\n[3]\n[render]\n[" +
                                 job.scene.string() + "]\n[--frames]\n[8,10]\n[-o]\n[" + job.output +
                                 "]\n[--skip-existing]\n[--progress]\n[plain]\n";
    EXPECT_EQ(task.output, expected);

    // Outside Slurm the script refuses rather than rendering some chunk.
    ScriptRun outside = runScript(file, "");
    EXPECT_NE(outside.exitCode, 0);
    EXPECT_NE(outside.output.find("submit this script with sbatch"), std::string::npos) << outside.output;
    fs::remove_all(dir);
}

TEST(JobResources, RequestsGrowWithTheFrameAndTheFootage) {
    host::Composition tiny;
    tiny.width = 96;
    tiny.height = 54;
    JobResources small = estimateJobResources(tiny);
    EXPECT_EQ(small.cpus, 1);
    EXPECT_EQ(small.memoryMiB, 320);

    host::Composition hd = tiny;
    hd.width = 1920;
    hd.height = 1080;
    JobResources full = estimateJobResources(hd);
    EXPECT_EQ(full.cpus, 8);  // the renderer's worker ceiling
    EXPECT_GT(full.memoryMiB, small.memoryMiB);
    EXPECT_EQ(full.memoryMiB % 64, 0);

    hd.footage["plate"] =
        std::make_shared<host::Footage>(host::makeSolidFootage("plate", {1, 1, 1}, 8000, 8000));
    JobResources withPlate = estimateJobResources(hd);
    EXPECT_EQ(withPlate.cpus, 8);
    // 64 megapixels of footage at 48 bytes a pixel.
    EXPECT_GE(withPlate.memoryMiB - full.memoryMiB, 2900);
}

}  // namespace
}  // namespace zephrin::test
