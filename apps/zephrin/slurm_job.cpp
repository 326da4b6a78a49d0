#include "apps/zephrin/slurm_job.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace zephrin::app {
namespace {

// One run of evenly spaced, ascending frames: "a", "a-b" or "a-bxN"; two frames with a gap are
// clearer as "a,b".
std::string runSpec(int64_t first, int64_t last, int64_t step) {
    if (first == last) return std::to_string(first);
    if (step == 1) return std::to_string(first) + "-" + std::to_string(last);
    if (last - first == step) return std::to_string(first) + "," + std::to_string(last);
    return std::to_string(first) + "-" + std::to_string(last) + "x" + std::to_string(step);
}

std::string compactSpec(const std::vector<int64_t>& frames, std::size_t begin, std::size_t end) {
    std::string spec;
    std::size_t i = begin;
    while (i < end) {
        std::size_t j = i;
        int64_t step = 0;
        // Frames listed out of order or repeated start a new run: a run only ever climbs.
        if (i + 1 < end && frames[i + 1] > frames[i]) {
            step = frames[i + 1] - frames[i];
            j = i + 1;
            while (j + 1 < end && frames[j + 1] - frames[j] == step) ++j;
        }
        if (!spec.empty()) spec += ",";
        spec += runSpec(frames[i], frames[j], step == 0 ? 1 : step);
        i = j + 1;
    }
    return spec;
}

}  // namespace

std::vector<std::string> chunkFrameSpecs(const std::vector<int64_t>& frames, int64_t chunkSize) {
    std::vector<std::string> chunks;
    const std::size_t size = static_cast<std::size_t>(std::max<int64_t>(chunkSize, 1));
    for (std::size_t begin = 0; begin < frames.size(); begin += size) {
        chunks.push_back(compactSpec(frames, begin, std::min(frames.size(), begin + size)));
    }
    return chunks;
}

std::string slurmJobName(const std::filesystem::path& scene) {
    std::string name = "zephrin-" + scene.stem().string();
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_' && c != '-') c = '_';
    }
    return name;
}

std::string partitionProblem(const std::string& partition) {
    if (partition.empty()) return "expected a partition name";
    for (char c : partition) {
        // A comma separates partitions the job may run in.
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-' && c != '.' && c != ',') {
            return "a partition name holds letters, digits, '_', '-' and '.' only";
        }
    }
    return {};
}

std::string shellQuote(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

std::string slurmBatchScript(const SlurmJob& job) {
    std::ostringstream s;
    s << "#!/bin/bash\n";
    s << "#SBATCH --job-name=" << job.name << "\n";
    s << "#SBATCH --array=0-" << (job.chunks.empty() ? 0 : job.chunks.size() - 1) << "\n";
    s << "#SBATCH --ntasks=1\n";
    s << "#SBATCH --cpus-per-task=" << job.cpusPerTask << "\n";
    s << "#SBATCH --mem=" << job.memoryMiB << "M\n";
    // Every task skips the frames already on disk, so running one again is always safe.
    s << "#SBATCH --requeue\n";
    if (!job.partition.empty()) s << "#SBATCH --partition=" << job.partition << "\n";
    s << "\n# Rendered by `zephrin farm slurm`: " << job.chunks.size() << " chunk"
      << (job.chunks.size() == 1 ? "" : "s") << " of " << job.scene.filename().string() << ".\n";
    s << "set -euo pipefail\n";
    s << ": \"${SLURM_ARRAY_TASK_ID:?submit this script with sbatch}\"\n";
    s << "chunks=(";
    for (std::size_t i = 0; i < job.chunks.size(); ++i) s << (i == 0 ? "" : " ") << shellQuote(job.chunks[i]);
    s << ")\n";
    // exec: a cancelled or preempted task's SIGTERM reaches the renderer, which removes its partial file.
    s << "exec " << shellQuote(job.zephrin.string());
    if (!job.pluginDir.empty()) s << " --plugins " << shellQuote(job.pluginDir.string());
    s << " --threads \"${SLURM_CPUS_PER_TASK:-" << job.cpusPerTask << "}\"";
    s << " render " << shellQuote(job.scene.string()) << " --frames \"${chunks[$SLURM_ARRAY_TASK_ID]}\" -o "
      << shellQuote(job.output) << " --skip-existing --progress plain\n";
    return s.str();
}

}  // namespace zephrin::app
