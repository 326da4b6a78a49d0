#include "apps/zephrin/cli.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>

#include "apps/zephrin/editor_command.h"
#include "apps/zephrin/gpu_info_command.h"
#include "apps/zephrin/info_command.h"
#include "apps/zephrin/params_command.h"
#include "apps/zephrin/studio_command.h"
#include "apps/zephrin/render_command.h"

namespace zephrin::app {
namespace {

namespace fs = std::filesystem;

fs::path executableFolder() {
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path() : self.parent_path();
}

// The bundled showcase: beside the sources in a build tree.
fs::path defaultScene() { return fs::path(ZEPHRIN_EXAMPLES_DIR) / "showcase.json"; }

}  // namespace

int runCommandLine(int argc, char** argv) {
    CLI::App app{"Zephrin: bent, thick, lit 3D layers rendered through the Zephrin plug-ins in a stand-in host."};
    app.require_subcommand(1);
    // Lets --plugins stand after the command name too.
    app.fallthrough();
    fs::path pluginDir = executableFolder();
    app.add_option("--plugins", pluginDir, "Folder the plug-ins are loaded from (default: beside zephrin)")
        ->check(CLI::ExistingDirectory);

    RenderOptions render;
    render.scene = defaultScene();
    std::string frames;
    CLI::App* renderCommand = app.add_subcommand("render", "Render frames of a scene file to images");
    renderCommand->add_option("scene", render.scene, "Scene file (default: the bundled showcase)");
    renderCommand->add_option("-o,--output", render.output,
                              "Output image; #### becomes the frame number (.png 8/16-bit, .exr 32-bit float, .tif, .jpg)");
    auto* frameOption = renderCommand->add_option("--frame", render.frame, "Frame to render (default 0)")
                            ->check(CLI::NonNegativeNumber);
    renderCommand->add_option("--frames", frames, "Frame range A-B, inclusive")->excludes(frameOption);
    renderCommand->add_option("--downsample", render.downsample, "Render at 1/N of the composition size")
        ->check(CLI::PositiveNumber);
    renderCommand->add_option("--bpc", render.bitsPerChannel, "Bits per channel: 8, 16 or 32")
        ->check(CLI::IsMember({8, 16, 32}));
    renderCommand->add_flag("-q,--quiet", render.quiet, "Print nothing but errors");

    fs::path infoScene;
    CLI::App* infoCommand = app.add_subcommand("info", "Print what the host sees in a scene file");
    infoCommand->add_option("scene", infoScene, "Scene file")->required();
    GpuInfoRequest gpuInfo;
    addGpuInfoFlag(*infoCommand, gpuInfo);

    ParamsOptions params;
    CLI::App* paramsCommand = app.add_subcommand("params", "List the effect's parameters as the host registered them");
    paramsCommand->add_option("--lang", params.language, "UI language the host reports: en or zh")
        ->check(CLI::IsMember({"en", "zh"}));
    paramsCommand->add_flag("--json", params.json, "Print JSON instead of text");

    EditorOptions editor;
    CLI::App* editorCommand =
        app.add_subcommand("editor", "Draw a layer's effect controls, or replay gestures on them and save the edits");
    editorCommand->add_option("scene", editor.scene, "Scene file")->required();
    editorCommand->add_option("--layer", editor.layer, "The layer whose effect is edited")->required();
    editorCommand->add_option("-o,--output", editor.output, "Panel image (.png), or with --actions the edited scene (.json)")
        ->required();
    editorCommand->add_option("--actions", editor.actions, "Gesture file to replay (see examples/gestures_bend.json)")
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

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        int code = app.exit(error);
        return code == 0 ? kExitOk : kExitUsage;
    }

    if (*renderCommand) {
        if (!frames.empty()) {
            render.frames = parseFrameRange(frames);
            if (!render.frames) {
                std::cerr << "zephrin: --frames " << frames << ": expected A-B with 0 <= A <= B\n";
                return kExitUsage;
            }
        }
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
    if (gpuInfo.requested) return runGpuInfo(std::cout);
    return runInfo(infoScene, pluginDir, std::cout);
}

}  // namespace zephrin::app
