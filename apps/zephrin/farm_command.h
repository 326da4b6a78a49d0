// `zephrin farm slurm`: renders a frame list on a Slurm cluster as a job array of resumable chunks.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <string>

namespace zephrin::app {

struct FarmSlurmOptions {
    std::filesystem::path scene;
    std::string frames;
    int64_t chunk = 0;
    std::string output;
    std::string partition;
    bool dryRun = false;
    std::filesystem::path pluginDir;
};

// Adds `farm` with its `slurm` command to the command line; returns the `slurm` command, which is
// selected when the user asked for it.
CLI::App* addFarmCommand(CLI::App& app, FarmSlurmOptions& options);

// Checks the scene, frames and output, then prints the batch script (dry run) or submits it with
// sbatch and prints the job id. Returns the process exit code; problems go to err.
int runFarmSlurm(const FarmSlurmOptions& options, std::ostream& out, std::ostream& err);

}  // namespace zephrin::app
