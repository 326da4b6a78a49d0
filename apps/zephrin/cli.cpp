#include "apps/zephrin/cli.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>

#include "apps/zephrin/gpu_info_command.h"
#include "apps/zephrin/info_command.h"
#include "apps/zephrin/params_command.h"
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
    if (*paramsCommand) {
        params.pluginDir = pluginDir;
        return runParams(params, std::cout);
    }
    if (gpuInfo.requested) return runGpuInfo(std::cout);
    return runInfo(infoScene, pluginDir, std::cout);
}

}  // namespace zephrin::app
