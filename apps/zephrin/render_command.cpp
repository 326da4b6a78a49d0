#include "apps/zephrin/render_command.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <limits>
#include <new>
#include <system_error>
#include <vector>

#include "apps/zephrin/cli.h"
#include "apps/zephrin/image_writer.h"
#include "apps/zephrin/obj_check.h"
#include "apps/zephrin/output_path.h"
#include "apps/zephrin/version_command.h"
#include "host/composition_time.h"
#include "host/host_session.h"
#include "host/scene_file.h"

namespace zephrin::app {
namespace {

namespace fs = std::filesystem;

std::string defaultOutput(const fs::path& scene, bool sequence) {
    std::string stem = scene.stem().string();
    return (fs::path("out") / (stem + (sequence ? ".####.png" : ".png"))).string();
}

// The folder a file goes to, judged without creating anything: a run refused later must not leave
// new folders behind. The folders are made when the first frame is written.
std::string outputFolderProblem(const fs::path& file) {
    fs::path folder = file.parent_path();
    if (folder.empty()) folder = ".";
    std::error_code ec;
    while (!fs::exists(folder, ec) && folder.has_relative_path() && folder.has_parent_path()) {
        folder = folder.parent_path();
    }
    if (!fs::exists(folder, ec)) return {};  // a relative path whose first folder is still to come: "."
    if (!fs::is_directory(folder, ec)) return folder.string() + " is not a folder";
    if (::access(folder.c_str(), W_OK | X_OK) != 0) return "cannot write to folder " + folder.string();
    return {};
}

// Folders this run made for its frames, removed again when the run fails before filling them.
struct MadeFolders {
    std::vector<fs::path> paths;  // outermost first

    void noteMissingBefore(const fs::path& file) {
        std::vector<fs::path> missing;
        std::error_code ec;
        for (fs::path folder = file.parent_path(); !folder.empty() && !fs::exists(folder, ec);
             folder = folder.parent_path()) {
            missing.push_back(folder);
            if (!folder.has_relative_path() || !folder.has_parent_path()) break;
        }
        paths.insert(paths.end(), missing.rbegin(), missing.rend());
    }

    // Only empty folders go: anything in them is someone's.
    void removeEmpty() const {
        for (auto it = paths.rbegin(); it != paths.rend(); ++it) {
            std::error_code ec;
            if (fs::is_empty(*it, ec)) fs::remove(*it, ec);
        }
    }
};

// A file left by an earlier run: complete, because frames only appear by renaming a finished file.
bool frameAlreadyWritten(const fs::path& target) {
    std::error_code ec;
    return fs::is_regular_file(target, ec) && fs::file_size(target, ec) > 0 && !ec;
}

struct RenderRun {
    const RenderOptions& options;
    ProgressReport report;
    MadeFolders madeFolders;

    int fail(int code, const std::string& message, std::optional<int64_t> frame = std::nullopt) {
        reportError(report, message, frame);
        madeFolders.removeEmpty();
        return code;
    }
};

std::vector<int64_t> requestedFrames(const RenderOptions& options, const host::Composition& comp,
                                     std::string& problem) {
    FrameSpec spec;
    if (options.frame) {
        spec.runs.push_back(FrameRun{*options.frame, *options.frame, 1});
    } else if (options.frames) {
        spec = *options.frames;
    } else {
        spec.runs.push_back(FrameRun{comp.startFrame, comp.startFrame, 1});
    }
    problem = frameSpecProblem(spec, FrameBounds{comp.startFrame, host::compositionFrameCount(comp)});
    return problem.empty() ? expandFrameSpec(spec) : std::vector<int64_t>{};
}

}  // namespace

int runRender(const RenderOptions& options) {
    RenderRun run{options, ProgressReport{}, MadeFolders{}};
    run.report.mode = options.progress;
    std::string sceneName = options.scene.filename().string();

    host::Composition comp;
    try {
        comp = host::loadSceneFile(options.scene);
    } catch (const host::SceneFileError& error) {
        return run.fail(kExitUsage, error.what());
    }
    if (options.progress != ProgressMode::Silent) warnAboutBrokenModels(comp, std::cerr);

    std::string frameProblem;
    std::vector<int64_t> frames = requestedFrames(options, comp, frameProblem);
    if (!frameProblem.empty()) return run.fail(kExitUsage, sceneName + ": " + frameProblem);
    bool sequence = frames.size() > 1;

    std::string output = options.output.empty() ? defaultOutput(options.scene, sequence) : options.output;
    std::optional<OutputFormat> format = outputFormatFor(output);
    if (!format) return run.fail(kExitUsage, output + ": unknown image format (use .png, .exr, .tif or .jpg)");
    int32_t bits = options.bitsPerChannel.value_or(format->defaultBitsPerChannel);
    if (std::string problem = depthProblem(*format, bits); !problem.empty()) {
        return run.fail(kExitUsage, output + ": " + problem);
    }
    if (sequence && !hasFramePattern(output)) {
        return run.fail(kExitUsage, output + ": several frames need a frame number in the output name "
                                             "(shot.####.png, shot.%04d.png or shot.@@@@.png)");
    }
    if (options.downsample < 1) return run.fail(kExitUsage, "--downsample must be at least 1");
    if (std::string problem = outputFolderProblem(expandFramePattern(output, frames.front())); !problem.empty()) {
        return run.fail(kExitRenderFailure, output + ": " + problem);
    }

    host::PluginHostPtr pluginHost;
    try {
        pluginHost = host::openPluginHost(options.pluginDir);
    } catch (const std::exception& error) {
        return run.fail(kExitRenderFailure, error.what());
    }
    // Effect parameters are named by the effect's own list, so the file's last check waits for the plug-ins.
    try {
        host::prepareSceneEffects(*pluginHost, comp);
    } catch (const host::SceneFileError& error) {
        return run.fail(kExitUsage, error.what());
    } catch (const std::exception& error) {
        return run.fail(kExitRenderFailure, error.what());
    }

    FrameMetadata metadata{comp.name, 0, "Zephrin " + std::string(kProgramVersion)};
    reportStart(run.report, static_cast<int64_t>(frames.size()), output);
    for (int64_t frame : frames) {
        fs::path target = expandFramePattern(output, frame);
        if (options.skipExisting && frameAlreadyWritten(target)) {
            reportFrameSkipped(run.report, frame, target.string());
            continue;
        }
        reportFrameStarted(run.report, frame);
        auto started = std::chrono::steady_clock::now();
        int64_t index = frame - comp.startFrame;
        if (index > std::numeric_limits<int32_t>::max()) {
            return run.fail(kExitUsage, "beyond the last frame the host can time", frame);
        }
        host::FrameRequest request;
        request.frame = static_cast<int32_t>(index);
        request.downsampleX = static_cast<int16_t>(std::min(options.downsample, 32767));
        request.downsampleY = request.downsampleX;
        request.bitsPerChannel = bits;
        host::FrameResult result;
        try {
            result = host::renderCompositionFrame(*pluginHost, comp, request);
        } catch (const std::bad_alloc&) {
            return run.fail(kExitRenderFailure, "out of memory", frame);
        } catch (const std::exception& error) {
            return run.fail(kExitRenderFailure, error.what(), frame);
        }
        if (result.error != 0) {
            return run.fail(kExitRenderFailure, "the renderer returned error " + std::to_string(result.error), frame);
        }
        metadata.frame = frame;
        run.madeFolders.noteMissingBefore(target);
        try {
            writeWorldImage(result.image, target, *format, metadata);
        } catch (const std::bad_alloc&) {
            return run.fail(kExitRenderFailure, "out of memory", frame);
        } catch (const std::exception& error) {
            return run.fail(kExitRenderFailure, error.what(), frame);
        }
        double milliseconds =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
        reportFrameWritten(run.report, frame, target.string(), milliseconds);
    }
    finishReport(run.report);
    return kExitOk;
}

}  // namespace zephrin::app
