#include "renderer/gpu/gpu_adapter.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace zephrin {
namespace {

// Less than this cannot hold a 4K frame's buffers beside the scene.
constexpr uint64_t kMinDedicatedVideoMemory = 0x20000000ull;  // 512 MiB
constexpr uint64_t kSmallAdapterMemory = 0x100000000ull;      // 4 GiB
constexpr uint64_t kMediumAdapterMemory = 0x200000000ull;     // 8 GiB
constexpr uint32_t kSmallBatchLimit = 262144;
constexpr uint32_t kMediumBatchLimit = 524288;
constexpr uint32_t kLargeBatchLimit = 1048576;

constexpr uint32_t kVendorNvidia = 0x10DE;
constexpr uint32_t kVendorIntel = 0x8086;
constexpr uint32_t kVendorAmd = 0x1002;
constexpr uint32_t kVendorAmdAlternate = 0x1022;

// Virtual, remote-desktop and display-mirroring adapters, by the words in their names.
constexpr std::array<std::string_view, 12> kVirtualAdapterWords = {
    "virtual", "remote",   "basic display", "mirror", "indirect display", "todesk",
    "oray",    "sunlogin", "gameviewer",    "parsec", "spacedesk",        "displaylink"};
// AMD's integrated parts, which share the vendor id of its discrete cards.
constexpr std::array<std::string_view, 3> kAmdIntegratedWords = {"radeon(tm) graphics", "radeon graphics", "vega"};

std::string lowerCase(const std::string& text) {
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

std::string hexId(uint32_t id) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), digits[id & 0xF]);
        id >>= 4;
    } while (id != 0);
    while (text.size() < 4) text.insert(text.begin(), '0');
    return "0x" + text;
}

}  // namespace

std::string adapterRefusal(const GpuAdapterDescription& adapter, bool allowSoftware) {
    const bool softwareAdmitted = adapter.software && allowSoftware;
    if (adapter.software && !softwareAdmitted) return "software adapter";
    if (adapter.dedicatedVideoMemory < kMinDedicatedVideoMemory) return "less than 512 MiB of dedicated memory";
    const std::string name = lowerCase(adapter.description);
    for (std::string_view word : kVirtualAdapterWords) {
        if (name.find(word) != std::string::npos) return "virtual or remote adapter (\"" + std::string(word) + "\")";
    }
    if (softwareAdmitted) return {};
    switch (adapter.vendorId) {
        case kVendorNvidia:
            return {};
        case kVendorIntel:
            return name.find("arc") != std::string::npos ? std::string() : "integrated Intel graphics";
        case kVendorAmd:
        case kVendorAmdAlternate:
            for (std::string_view word : kAmdIntegratedWords) {
                if (name.find(word) != std::string::npos) return "integrated AMD graphics";
            }
            return {};
        default:
            return "unsupported vendor " + hexId(adapter.vendorId);
    }
}

bool isAcceptableAdapter(uint32_t vendorId, uint64_t dedicatedVideoMemory, bool software,
                         const std::string& description) {
    return adapterRefusal(GpuAdapterDescription{vendorId, dedicatedVideoMemory, software, description}, false).empty();
}

int32_t chooseAdapter(const std::vector<GpuAdapterDescription>& adapters, bool allowSoftware) {
    // Hardware first: a software device admitted for testing never displaces a real GPU.
    for (const bool software : {false, true}) {
        int32_t chosen = -1;
        for (size_t i = 0; i < adapters.size(); ++i) {
            if (adapters[i].software != software || !adapterRefusal(adapters[i], allowSoftware).empty()) continue;
            // Strictly more: the first enumerated adapter wins a tie.
            if (chosen < 0 ||
                adapters[i].dedicatedVideoMemory > adapters[static_cast<size_t>(chosen)].dedicatedVideoMemory) {
                chosen = static_cast<int32_t>(i);
            }
        }
        if (chosen >= 0) return chosen;
    }
    return -1;
}

uint32_t batchLimitFor(uint64_t dedicatedVideoMemory) {
    if (dedicatedVideoMemory < kSmallAdapterMemory) return kSmallBatchLimit;
    if (dedicatedVideoMemory < kMediumAdapterMemory) return kMediumBatchLimit;
    return kLargeBatchLimit;
}

bool softwareAdaptersAllowed() {
    const char* value = std::getenv("ZEPHRIN_GPU_ALLOW_SOFTWARE");
    return value != nullptr && std::strcmp(value, "1") == 0;
}

}  // namespace zephrin
