#include "apps/zephrin/render_command.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <iostream>
#include <system_error>

#include "apps/zephrin/cli.h"
#include "apps/zephrin/image_writer.h"
#include "apps/zephrin/obj_check.h"
#include "apps/zephrin/output_path.h"
#include "apps/zephrin/progress_bar.h"
#include "host/host_session.h"
#include "host/scene_file.h"

namespace zephrin::app {
namespace {

namespace fs = std::filesystem;

int32_t frameCount(const host::Composition& comp) {
    // A frame exists for every frame start inside the duration; tiny float noise must not add one.
    double frames = std::ceil(comp.duration * comp.frameRate - 1e-6);
    return static_cast<int32_t>(std::max(1.0, frames));
}

std::string defaultOutput(const fs::path& scene, bool sequence) {
    std::string stem = scene.stem().string();
    return (fs::path("out") / (stem + (sequence ? ".####.png" : ".png"))).string();
}

// Refuses an output folder that cannot be written before any frame is rendered.
std::string outputFolderProblem(const fs::path& file) {
    fs::path parent = file.parent_path();
    if (parent.empty()) parent = ".";
    std::error_code ec;
    fs::create_directories(parent, ec);
    if (ec) return "cannot create folder " + parent.string() + ": " + ec.message();
    if (!fs::is_directory(parent, ec)) return parent.string() + " is not a folder";
    if (::access(parent.c_str(), W_OK) != 0) return "cannot write to folder " + parent.string();
    return {};
}

int fail(int code, const std::string& message) {
    std::cerr << "zephrin: " << message << "\n";
    return code;
}

}  // namespace

std::optional<FrameRange> parseFrameRange(const std::string& text) {
    size_t dash = text.find('-', 1);
    if (dash == std::string::npos) return std::nullopt;
    try {
        size_t used = 0;
        int first = std::stoi(text.substr(0, dash), &used);
        if (used != dash) return std::nullopt;
        std::string rest = text.substr(dash + 1);
        int last = std::stoi(rest, &used);
        if (used != rest.size() || first < 0 || last < first) return std::nullopt;
        return FrameRange{first, last};
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

int runRender(const RenderOptions& options) {
    host::Composition comp;
    try {
        comp = host::loadSceneFile(options.scene);
    } catch (const host::SceneFileError& error) {
        return fail(kExitUsage, error.what());
    }
    if (!options.quiet) warnAboutBrokenModels(comp, std::cerr);

    int32_t count = frameCount(comp);
    FrameRange range{0, 0};
    if (options.frames) range = *options.frames;
    if (options.frame) range = FrameRange{*options.frame, *options.frame};
    if (range.first < 0 || range.last >= count) {
        return fail(kExitUsage, options.scene.filename().string() + ": frame " +
                                    std::to_string(range.first < 0 ? range.first : range.last) +
                                    " is outside the composition (frames 0-" + std::to_string(count - 1) + ")");
    }
    bool sequence = range.last > range.first;

    std::string output = options.output.empty() ? defaultOutput(options.scene, sequence) : options.output;
    std::optional<OutputFormat> format = outputFormatFor(output);
    if (!format) return fail(kExitUsage, output + ": unknown image format (use .png, .exr, .tif or .jpg)");
    int32_t bits = options.bitsPerChannel.value_or(format->defaultBitsPerChannel);
    if (std::string problem = depthProblem(*format, bits); !problem.empty()) {
        return fail(kExitUsage, output + ": " + problem);
    }
    if (sequence && !hasFramePattern(output)) {
        return fail(kExitUsage, output + ": a frame range needs a #### frame-number pattern in the output name");
    }
    if (options.downsample < 1) return fail(kExitUsage, "--downsample must be at least 1");
    if (std::string problem = outputFolderProblem(expandFramePattern(output, range.first)); !problem.empty()) {
        return fail(kExitRenderFailure, output + ": " + problem);
    }

    host::PluginHostPtr pluginHost;
    try {
        pluginHost = host::openPluginHost(options.pluginDir);
    } catch (const std::exception& error) {
        return fail(kExitRenderFailure, error.what());
    }
    // Effect parameters are named by the effect's own list, so the file's last check waits for the plug-ins.
    try {
        host::prepareSceneEffects(*pluginHost, comp);
    } catch (const host::SceneFileError& error) {
        return fail(kExitUsage, error.what());
    } catch (const std::exception& error) {
        return fail(kExitRenderFailure, error.what());
    }

    int32_t total = range.last - range.first + 1;
    ProgressBar bar = startProgress(options.quiet ? 0 : total, stderr);
    for (int32_t frame = range.first; frame <= range.last; ++frame) {
        host::FrameRequest request;
        request.frame = frame;
        request.downsampleX = static_cast<int16_t>(std::min(options.downsample, 32767));
        request.downsampleY = request.downsampleX;
        request.bitsPerChannel = bits;
        host::FrameResult result = host::renderCompositionFrame(*pluginHost, comp, request);
        if (result.error != 0) {
            finishProgress(bar);
            return fail(kExitRenderFailure,
                        "frame " + std::to_string(frame) + ": the renderer returned error " + std::to_string(result.error));
        }
        fs::path target = expandFramePattern(output, frame);
        try {
            writeWorldImage(result.image, target, *format);
        } catch (const std::exception& error) {
            finishProgress(bar);
            return fail(kExitRenderFailure, error.what());
        }
        updateProgress(bar, frame - range.first + 1);
        if (!bar.enabled && !options.quiet) std::cout << "wrote " << target.string() << "\n";
    }
    finishProgress(bar);
    if (bar.enabled && !options.quiet) {
        std::cout << "wrote " << total << " frames to " << output << "\n";
    }
    return kExitOk;
}

}  // namespace zephrin::app
