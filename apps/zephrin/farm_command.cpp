#include "apps/zephrin/farm_command.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <optional>
#include <vector>

#include "apps/zephrin/cli.h"
#include "apps/zephrin/frame_spec.h"
#include "apps/zephrin/job_resources.h"
#include "apps/zephrin/obj_check.h"
#include "apps/zephrin/output_path.h"
#include "apps/zephrin/slurm_job.h"
#include "host/composition_time.h"
#include "host/host_session.h"
#include "host/scene_file.h"

extern char** environ;

namespace zephrin::app {
namespace {

namespace fs = std::filesystem;

struct Submission {
    std::string jobId;
    std::string error;  // empty when sbatch took the job
};

// Removes the script file however submission ends; sbatch keeps its own copy of the script.
struct TemporaryFile {
    std::string path;
    ~TemporaryFile() {
        if (!path.empty()) ::unlink(path.c_str());
    }
};

std::string writeTemporaryScript(const std::string& script, TemporaryFile& file) {
    std::string pattern = (fs::temp_directory_path() / "zephrin-slurm-XXXXXX").string();
    int fd = ::mkstemp(pattern.data());
    if (fd < 0) return std::string("cannot write the batch script: ") + std::strerror(errno);
    file.path = pattern;
    std::size_t written = 0;
    while (written < script.size()) {
        ssize_t n = ::write(fd, script.data() + written, script.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ::close(fd);
            return std::string("cannot write the batch script: ") + std::strerror(errno);
        }
        written += static_cast<std::size_t>(n);
    }
    return ::close(fd) == 0 ? std::string() : std::string("cannot write the batch script: ") + std::strerror(errno);
}

// sbatch --parsable prints "id" or "id;cluster".
std::optional<std::string> parsedJobId(const std::string& printed) {
    std::string id = printed.substr(0, printed.find_first_of(";\r\n"));
    if (id.empty() || !std::all_of(id.begin(), id.end(), [](unsigned char c) { return std::isdigit(c) != 0; }))
        return std::nullopt;
    return id;
}

// Runs sbatch without a shell, so no path or name in the job is ever read as shell syntax here.
Submission submitWithSbatch(const std::string& script) {
    TemporaryFile file;
    if (std::string error = writeTemporaryScript(script, file); !error.empty()) return {{}, error};
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return {{}, std::string("cannot run sbatch: ") + std::strerror(errno)};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    std::string program = "sbatch", parsable = "--parsable";
    std::vector<char*> argv = {program.data(), parsable.data(), file.path.data(), nullptr};
    pid_t pid = 0;
    int spawnError = ::posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (spawnError != 0) {
        ::close(pipeFds[0]);
        if (spawnError == ENOENT) return {{}, "sbatch not found: is Slurm installed and on PATH?"};
        return {{}, std::string("cannot run sbatch: ") + std::strerror(spawnError)};
    }
    std::string printed;
    char buffer[4096];
    while (true) {
        ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        printed.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipeFds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return {{}, "sbatch did not take the job (exit " +
                        std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status)) + ")"};
    }
    std::optional<std::string> id = parsedJobId(printed);
    if (!id) return {{}, "sbatch printed no job id: " + printed};
    return {*id, {}};
}

fs::path runningExecutable() {
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path("zephrin") : self;
}

int fail(std::ostream& err, int code, const std::string& message) {
    err << "zephrin: " << message << "\n";
    return code;
}

}  // namespace

CLI::App* addFarmCommand(CLI::App& app, FarmSlurmOptions& options) {
    CLI::App* farm = app.add_subcommand("farm", "Render on a farm: the frames split into resumable chunks");
    farm->require_subcommand(1);
    CLI::App* slurm = farm->add_subcommand(
        "slurm", "Submit a Slurm job array, one task per chunk; each task renders with --skip-existing");
    slurm->add_option("scene", options.scene, "Scene file")->required();
    slurm->add_option("--frames", options.frames, "Frames to render: 5, 1-10, 1-10x2 or a list such as 1-10,20")
        ->required();
    slurm->add_option("--chunk", options.chunk, "Frames per array task")->required();
    slurm->add_option("-o,--output", options.output, "Output pattern with a frame number, e.g. out/shot.####.png")
        ->required();
    slurm->add_option("--partition", options.partition, "Slurm partition (default: the cluster's default)");
    slurm->add_flag("--dry-run", options.dryRun, "Print the batch script instead of submitting it");
    return slurm;
}

int runFarmSlurm(const FarmSlurmOptions& options, std::ostream& out, std::ostream& err) {
    FrameSpecResult frames = parseFrameSpec(options.frames);
    if (!frames.error.empty()) return fail(err, kExitUsage, "--frames " + options.frames + ": " + frames.error);
    if (options.chunk < 1) return fail(err, kExitUsage, "--chunk: expected frames per task, 1 or more");
    if (!options.partition.empty()) {
        if (std::string problem = partitionProblem(options.partition); !problem.empty())
            return fail(err, kExitUsage, "--partition " + options.partition + ": " + problem);
    }

    host::Composition comp;
    try {
        comp = host::loadSceneFile(options.scene);
    } catch (const host::SceneFileError& error) {
        return fail(err, kExitUsage, error.what());
    }
    if (std::string problem = frameSpecProblem(frames.spec, FrameBounds{comp.startFrame, host::compositionFrameCount(comp)});
        !problem.empty()) {
        return fail(err, kExitUsage, options.scene.filename().string() + ": " + problem);
    }
    std::vector<int64_t> list = expandFrameSpec(frames.spec);

    if (!outputFormatFor(options.output)) {
        return fail(err, kExitUsage, options.output + ": unknown image format (use .png, .exr, .tif or .jpg)");
    }
    if (list.size() > 1 && !hasFramePattern(options.output)) {
        return fail(err, kExitUsage, options.output + ": several frames need a frame number in the output name (####)");
    }

    // A scene the tasks would refuse is refused here, once, instead of in every task on the farm.
    try {
        host::PluginHostPtr pluginHost = host::openPluginHost(options.pluginDir);
        host::prepareSceneEffects(*pluginHost, comp);
    } catch (const host::SceneFileError& error) {
        return fail(err, kExitUsage, error.what());
    } catch (const std::exception& error) {
        return fail(err, kExitRenderFailure, error.what());
    }
    warnAboutBrokenModels(comp, err);

    SlurmJob job;
    job.name = slurmJobName(options.scene);
    job.zephrin = runningExecutable();
    job.pluginDir = fs::absolute(options.pluginDir).lexically_normal();
    job.scene = fs::absolute(options.scene).lexically_normal();
    job.output = fs::absolute(options.output).lexically_normal().string();
    job.chunks = chunkFrameSpecs(list, options.chunk);
    job.partition = options.partition;
    JobResources resources = estimateJobResources(comp);
    job.cpusPerTask = resources.cpus;
    job.memoryMiB = resources.memoryMiB;

    const std::string script = slurmBatchScript(job);
    if (options.dryRun) {
        out << script;
        return kExitOk;
    }
    Submission submission = submitWithSbatch(script);
    if (!submission.error.empty()) return fail(err, kExitRenderFailure, submission.error);
    out << submission.jobId << "\n";
    err << "Submitted job " << submission.jobId << ": " << job.chunks.size() << " task"
        << (job.chunks.size() == 1 ? "" : "s") << " of up to " << options.chunk << " frames, " << job.cpusPerTask
        << " CPU" << (job.cpusPerTask == 1 ? "" : "s") << " and " << job.memoryMiB << " MiB each\n";
    return kExitOk;
}

}  // namespace zephrin::app
