#include "apps/zephrin/gpu_info_command.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <ostream>

#include "apps/zephrin/cli.h"
#include "renderer/gpu/gpu_adapter.h"
#include "renderer/gpu/gpu_context.h"

namespace zephrin::app {
namespace {

constexpr uint64_t kBytesPerMegabyte = 1ull << 20;

std::string hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

}  // namespace

void addGpuInfoFlag(CLI::App& infoCommand, GpuInfoRequest& request) {
    CLI::Option* scene = infoCommand.get_option("scene");
    scene->required(false);
    infoCommand.add_flag("--gpu", request.requested, "Print the GPU adapters and whether the GPU passes can use them")
        ->excludes(scene);
    infoCommand.require_option(1);
}

int runGpuInfo(std::ostream& out) {
    const bool allowSoftware = softwareAdaptersAllowed();
    const GpuAdapterSurvey survey = surveyGpuAdapters();
    if (!survey.failureReason.empty()) {
        out << "Vulkan loader (" << kVulkanLoaderName << "): not available\n"
            << "GPU acceleration: off (" << survey.failureReason << "); frames render on the CPU.\n";
        return kExitOk;
    }
    out << "Vulkan loader (" << kVulkanLoaderName << "): " << survey.adapters.size() << " adapter"
        << (survey.adapters.size() == 1 ? "" : "s") << "\n";
    const int32_t chosen = chooseAdapter(survey.adapters, allowSoftware);
    for (size_t i = 0; i < survey.adapters.size(); ++i) {
        const GpuAdapterDescription& adapter = survey.adapters[i];
        out << "  " << i << ". " << adapter.description << "  vendor " << hex(adapter.vendorId) << ", "
            << adapter.dedicatedVideoMemory / kBytesPerMegabyte << " MiB" << (adapter.software ? ", software" : "")
            << "\n     ";
        const std::string refusal = adapterRefusal(adapter, allowSoftware);
        if (static_cast<int32_t>(i) == chosen) {
            out << "taken (batches of up to " << batchLimitFor(adapter.dedicatedVideoMemory) << ")";
            if (adapter.software) out << "; a software device, admitted by ZEPHRIN_GPU_ALLOW_SOFTWARE for testing";
        } else if (refusal.empty()) {
            out << "acceptable, but another adapter has more memory";
        } else {
            out << "refused: " << refusal;
        }
        out << "\n";
    }
    if (chosen < 0) {
        out << "GPU acceleration: off (" << kGpuNoAdapterReason << "); frames render on the CPU.\n";
    } else {
        out << "GPU acceleration: on, on " << survey.adapters[static_cast<size_t>(chosen)].description << ".\n";
    }
    return kExitOk;
}

}  // namespace zephrin::app
