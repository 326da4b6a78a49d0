#include "apps/zephrin/cli.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <charconv>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "apps/zephrin/editor_command.h"
#include "apps/zephrin/farm_command.h"
#include "apps/zephrin/frame_spec.h"
#include "apps/zephrin/gpu_info_command.h"
#include "apps/zephrin/info_command.h"
#include "apps/zephrin/params_command.h"
#include "apps/zephrin/studio_command.h"
#include "apps/zephrin/render_command.h"
#include "apps/zephrin/schema_command.h"
#include "apps/zephrin/thread_limit.h"
#include "apps/zephrin/validate_command.h"
#include "host/scene_file.h"
#include "apps/zephrin/version_command.h"

namespace zephrin::app {
namespace {

namespace fs = std::filesystem;

// The largest downsample factor the host's render context carries.
constexpr int32_t kMaxDownsample = 32767;

fs::path executableFolder() {
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path() : self.parent_path();
}

// The bundled showcase: beside the sources in a build tree.
fs::path defaultScene() { return fs::path(ZEPHRIN_EXAMPLES_DIR) / "showcase.json"; }

std::optional<int64_t> wholeNumber(const std::string& text) {
    int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

// Range errors in plain numbers ("expected a whole number from 1 to 32767, got 0"): CLI11's own
// checks print the limits of a double.
CLI::Validator wholeNumberFrom(int64_t min, std::optional<int64_t> max, const std::string& what) {
    std::string expected = "expected " + what + " (a whole number from " + std::to_string(min) +
                           (max ? " to " + std::to_string(*max) : std::string(" up")) + ")";
    return CLI::Validator(
        [expected, min, max](std::string& text) -> std::string {
            std::optional<int64_t> value = wholeNumber(text);
            if (!value || *value < min || (max && *value > *max)) return expected + ", got " + text;
            return {};
        },
        "", "");
}

CLI::Validator oneOf(const std::vector<std::string>& names) {
    std::string list;
    for (size_t i = 0; i < names.size(); ++i) list += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
    return CLI::Validator(
        [names, list](std::string& text) -> std::string {
            for (const std::string& name : names)
                if (text == name) return {};
            return "expected " + list + ", got " + text;
        },
        "", "");
}

CLI::Validator frameSpecText() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            return parseFrameSpec(text).error;
        },
        "", "");
}

const char* const kOutputHelp =
    "Output image (.png 8/16-bit, .exr 32-bit float, .tif, .jpg). Several frames need a frame number in the "
    "name, zero-padded to the placeholder's width: shot.####.png -> shot.0012.png, shot.%04d.png -> "
    "shot.0012.png, shot.@@@.png -> shot.012.png";

const char* const kFramesHelp =
    "Frames to render, numbered as the composition numbers them: 5, 1-10, 1-10x2 (every second frame), "
    "or a list such as 1-10,20,30-40x2";

// The first word that is neither an option nor an option's value: the command the user meant.
std::string commandWord(const std::vector<std::string>& extras) {
    for (const std::string& word : extras)
        if (!word.empty() && word[0] != '-') return word;
    return {};
}

}  // namespace

int reportCommandFailure(std::exception_ptr failure, std::ostream& err) {
    try {
        std::rethrow_exception(failure);
    } catch (const host::SceneFileError& error) {
        err << "zephrin: " << error.what() << "\n";
        return kExitUsage;
    } catch (const std::exception& error) {
        err << "zephrin: " << error.what() << "\n";
    } catch (...) {
        err << "zephrin: stopped by an unknown error\n";
    }
    return kExitRenderFailure;
}

int runCommandLine(int argc, char** argv) {
    CLI::App app{"Zephrin: bent, thick, lit 3D layers rendered through the Zephrin plug-ins in a stand-in host."};
    app.require_subcommand(0, 1);
    // Lets --plugins and --threads stand after the command name too.
    app.fallthrough();
    fs::path pluginDir = executableFolder();
    app.add_option("--plugins", pluginDir, "Folder the plug-ins are loaded from (default: beside zephrin)")
        ->check(CLI::ExistingDirectory);
    std::string threads;
    app.add_option("--threads", threads,
                   "Use at most N CPUs of those this process may run on (default: all of them)")
        ->check(wholeNumberFrom(1, kMaxThreadsOption, "a thread count"));
    bool showVersion = false;
    app.add_flag("--version", showVersion, "Print the program's, plug-ins' and scene format's versions");

    RenderOptions render;
    render.scene = defaultScene();
    std::string frame, frames, downsample, bits, progress = "auto";
    bool quiet = false;
    CLI::App* renderCommand = app.add_subcommand("render", "Render frames of a scene file to images");
    renderCommand->add_option("scene", render.scene, "Scene file (default: the bundled showcase)");
    renderCommand->add_option("-o,--output", render.output, kOutputHelp);
    auto* frameOption = renderCommand->add_option("--frame", frame, "One frame to render (default: the first)")
                            ->check(wholeNumberFrom(0, std::nullopt, "a frame number"));
    renderCommand->add_option("--frames", frames, kFramesHelp)->check(frameSpecText())->excludes(frameOption);
    renderCommand->add_option("--downsample", downsample, "Render at 1/N of the composition size")
        ->check(wholeNumberFrom(1, kMaxDownsample, "a downsample factor"));
    renderCommand->add_option("--bpc", bits, "Bits per channel: 8, 16 or 32")->check(oneOf({"8", "16", "32"}));
    renderCommand->add_flag("--skip-existing", render.skipExisting,
                            "Leave frames whose output file is already there (resuming a render)");
    auto* progressOption =
        renderCommand
            ->add_option("--progress", progress,
                         "auto (bar on a terminal, plain otherwise), bar, plain (\"Progress: NN%\" lines) or json "
                         "(one event per line on stdout)")
            ->check(oneOf({"auto", "bar", "plain", "json"}));
    renderCommand->add_flag("-q,--quiet", quiet, "Print nothing but errors (unless --progress names a mode)");

    fs::path infoScene;
    CLI::App* infoCommand = app.add_subcommand("info", "Print what the host sees in a scene file");
    infoCommand->add_option("scene", infoScene, "Scene file")->required();
    GpuInfoRequest gpuInfo;
    addGpuInfoFlag(*infoCommand, gpuInfo);

    ParamsOptions params;
    CLI::App* paramsCommand = app.add_subcommand("params", "List the effect's parameters as the host registered them");
    paramsCommand->add_option("--lang", params.language, "UI language the host reports: en or zh")
        ->check(oneOf({"en", "zh"}));
    paramsCommand->add_flag("--json", params.json, "Print JSON instead of text");

    EditorOptions editor;
    CLI::App* editorCommand =
        app.add_subcommand("editor", "Draw a layer's effect controls, or replay gestures on them and save the edits");
    editorCommand->add_option("scene", editor.scene, "Scene file")->required();
    editorCommand->add_option("--layer", editor.layer, "The layer whose effect is edited")->required();
    editorCommand->add_option("-o,--output", editor.output, "Panel image (.png), or with --actions the edited scene (.json)")
        ->required();
    editorCommand->add_option("--actions", editor.actions, "Gesture file to replay (see examples/gestures/bend.json)")
        ->check(CLI::ExistingFile);
    editorCommand->add_option("--panel", editor.panel, "With --actions: the panel image after the gestures (.png)");
    editorCommand->add_option("--width", editor.width, "Top View width in pixels")->check(CLI::Range(280, 1400));
    editorCommand->add_option("--height", editor.height, "Top View height in pixels")->check(CLI::Range(130, 900));
    editorCommand->add_option("--lang", editor.language, "UI language the host reports: en or zh")
        ->check(CLI::IsMember({"en", "zh"}));
    editorCommand->add_option("--frame", editor.frame, "Frame whose time the edits are made at (default 0)")
        ->check(CLI::NonNegativeNumber);

    StudioOptions studio;
    CLI::App* studioCommand =
        app.add_subcommand("studio", "Serve a local web page to edit a layer's effect controls with the mouse");
    studioCommand->add_option("scene", studio.scene, "Scene file")->required()->check(CLI::ExistingFile);
    studioCommand->add_option("--layer", studio.layer, "The layer whose effect is edited (default: the first with one)");
    studioCommand->add_option("-o,--output", studio.output, "Where Save writes the scene (default: SCENE.edited.json)");
    studioCommand->add_option("--port", studio.port, "Port on 127.0.0.1 (default: any free one)")->check(CLI::Range(0, 65535));
    studioCommand->add_option("--frame", studio.frame, "Frame shown and edited (default 0)")->check(CLI::NonNegativeNumber);
    studioCommand->add_option("--preview-downsample", studio.previewDownsample, "Preview at 1/N size (default 2)")
        ->check(CLI::PositiveNumber);

    std::vector<fs::path> validateScenes;
    CLI::App* validateCommand =
        app.add_subcommand("validate", "Check scene files as a render would, without rendering (exit 0 or 2)");
    validateCommand->add_option("scenes", validateScenes, "Scene files")->required();

    CLI::App* schemaCommand = app.add_subcommand("schema", "Print the scene format's JSON Schema (draft 2020-12)");

    CLI::App* versionCommand = app.add_subcommand("version", "Print the program's, plug-ins' and scene format's versions");

    FarmSlurmOptions farm;
    CLI::App* farmSlurmCommand = addFarmCommand(app, farm);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        // A mistyped command reaches CLI11 as an unexpected argument of the program itself.
        if (app.get_subcommands().empty() && dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr) {
            std::cerr << "zephrin: unknown command \"" << commandWord(app.remaining()) << "\" (commands: render, "
                      << "info, params, editor, studio, validate, schema, version, farm; see zephrin --help)\n";
            return kExitUsage;
        }
        if (error.get_exit_code() == 0) return app.exit(error);  // --help
        std::cerr << "zephrin: " << error.what() << " (see zephrin --help)\n";
        return kExitUsage;
    }

    if (!threads.empty()) {
        if (std::string problem = limitThreads(static_cast<int32_t>(*wholeNumber(threads))); !problem.empty()) {
            std::cerr << "zephrin: --threads: " << problem << "\n";
            return kExitRenderFailure;
        }
    }
    if (showVersion || *versionCommand) return runVersion(pluginDir, std::cout);
    if (*renderCommand) {
        if (!frame.empty()) render.frame = *wholeNumber(frame);
        if (!frames.empty()) render.frames = parseFrameSpec(frames).spec;
        if (!downsample.empty()) render.downsample = static_cast<int32_t>(*wholeNumber(downsample));
        if (!bits.empty()) render.bitsPerChannel = static_cast<int32_t>(*wholeNumber(bits));
        bool explicitProgress = progressOption->count() > 0;
        render.progress =
            *progressModeNamed(progress, quiet && !explicitProgress, ::isatty(STDERR_FILENO) != 0);
        render.pluginDir = pluginDir;
        return runRender(render);
    }
    if (*editorCommand) {
        editor.pluginDir = pluginDir;
        return runEditor(editor, std::cout, std::cerr);
    }
    if (*studioCommand) {
        studio.pluginDir = pluginDir;
        return runStudio(studio, std::cout, std::cerr);
    }
    if (*paramsCommand) {
        params.pluginDir = pluginDir;
        return runParams(params, std::cout);
    }
    if (*infoCommand) {
        if (gpuInfo.requested) return runGpuInfo(std::cout);
        return runInfo(infoScene, pluginDir, std::cout);
    }
    if (*validateCommand) return runValidate(validateScenes, pluginDir, std::cout);
    if (*schemaCommand) return runSchema(std::cout);
    if (*farmSlurmCommand) {
        farm.pluginDir = pluginDir;
        return runFarmSlurm(farm, std::cout, std::cerr);
    }
    std::cerr << "zephrin: a command is required: render, info, params, editor, studio, validate, schema, version "
                 "or farm (see zephrin --help)\n";
    return kExitUsage;
}

}  // namespace zephrin::app
