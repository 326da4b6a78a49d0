// A Slurm job array that renders a frame list in chunks: one array task per chunk, each a
// resumable `zephrin render` of its frames, so a requeued or restarted task redoes only what is missing.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace zephrin::app {

struct SlurmJob {
    std::string name;                     // job name, already safe for an #SBATCH line
    std::filesystem::path zephrin;        // the program each task runs, absolute
    std::filesystem::path pluginDir;      // absolute; empty: the tasks find the plug-ins beside zephrin
    std::filesystem::path scene;          // absolute
    std::string output;                   // absolute output pattern
    std::vector<std::string> chunks;      // one frame spec per array task
    std::string partition;                // empty: the cluster's default
    int32_t cpusPerTask = 1;
    int64_t memoryMiB = 1024;
};

// Splits frames (in render order) into chunks of at most `chunkSize`, each written as a frame spec
// ("0-3", "10-40x10", "7,9") that the render command reads back as the same frames in the same order.
std::vector<std::string> chunkFrameSpecs(const std::vector<int64_t>& frames, int64_t chunkSize);

// A job name Slurm accepts on an #SBATCH line: "zephrin-" and the scene's name with anything but
// letters, digits, '.', '_' and '-' replaced by '_'.
std::string slurmJobName(const std::filesystem::path& scene);

// Why a partition name cannot be put on an #SBATCH line (empty when it can): it would end the line
// or split the option.
std::string partitionProblem(const std::string& partition);

// Quotes a word for bash so that it reaches the program exactly as given.
std::string shellQuote(const std::string& word);

// The batch script for sbatch.
std::string slurmBatchScript(const SlurmJob& job);

}  // namespace zephrin::app
