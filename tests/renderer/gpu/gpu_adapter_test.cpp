#include "renderer/gpu/gpu_adapter.h"

#include <gtest/gtest.h>

#include <vector>

namespace zephrin {
namespace {

constexpr uint64_t kGiB = 1ull << 30;
constexpr uint64_t kMiB = 1ull << 20;

GpuAdapterDescription adapter(uint32_t vendor, uint64_t memory, const char* name, bool software = false) {
    return GpuAdapterDescription{vendor, memory, software, name};
}

TEST(GpuAdapter, IntegratedPartsLeaveNoAdapterToChoose) {
    const std::vector<GpuAdapterDescription> integrated = {
        adapter(0x1002, 2 * kGiB, "AMD Radeon(TM) Graphics"),
        adapter(0x1002, 2 * kGiB, "AMD Radeon Graphics (RADV RENOIR)"),
        adapter(0x1022, 2 * kGiB, "Radeon RX Vega 8"),
        adapter(0x8086, 2 * kGiB, "Intel(R) UHD Graphics 770"),
    };
    for (const GpuAdapterDescription& a : integrated) {
        EXPECT_FALSE(isAcceptableAdapter(a.vendorId, a.dedicatedVideoMemory, a.software, a.description))
            << a.description;
    }
    EXPECT_EQ(chooseAdapter(integrated, false), -1);
    EXPECT_EQ(adapterRefusal(integrated[0], false), "integrated AMD graphics");
    EXPECT_EQ(adapterRefusal(integrated[3], false), "integrated Intel graphics");
}

TEST(GpuAdapter, DiscretePartsOfTheThreeVendorsAreAccepted) {
    EXPECT_TRUE(isAcceptableAdapter(0x10DE, 80 * kGiB, false, "NVIDIA H100 80GB HBM3"));
    EXPECT_TRUE(isAcceptableAdapter(0x8086, 16 * kGiB, false, "Intel(R) Arc(tm) A770 Graphics (DG2)"));
    EXPECT_TRUE(isAcceptableAdapter(0x1002, 24 * kGiB, false, "AMD Radeon RX 7900 XTX (RADV NAVI31)"));
    EXPECT_FALSE(isAcceptableAdapter(0x5143, 8 * kGiB, false, "Adreno (TM) 740"));
    EXPECT_EQ(adapterRefusal(adapter(0x5143, 8 * kGiB, "Adreno (TM) 740"), false), "unsupported vendor 0x5143");
}

TEST(GpuAdapter, VirtualRemoteAndMirroringAdaptersAreRefusedWhateverTheVendor) {
    for (const char* name : {"NVIDIA Virtual GPU", "Parsec Virtual Display Adapter", "Microsoft Basic Display Adapter",
                             "DisplayLink USB Device", "Microsoft Remote Display Adapter", "ToDesk Virtual Display",
                             "Oray SunLogin Mirror Driver", "GameViewer Display", "spacedesk Graphics Adapter",
                             "Indirect Display Driver"}) {
        EXPECT_FALSE(isAcceptableAdapter(0x10DE, 8 * kGiB, false, name)) << name;
    }
    EXPECT_EQ(adapterRefusal(adapter(0x10DE, 8 * kGiB, "Parsec Virtual Display Adapter"), false),
              "virtual or remote adapter (\"virtual\")");
}

TEST(GpuAdapter, SoftwareAndSmallAdaptersAreRefused) {
    EXPECT_FALSE(isAcceptableAdapter(0x10DE, 8 * kGiB, true, "NVIDIA GeForce RTX 4090"));
    EXPECT_FALSE(isAcceptableAdapter(0x10DE, 512 * kMiB - 1, false, "NVIDIA GeForce GT 710"));
    EXPECT_TRUE(isAcceptableAdapter(0x10DE, 512 * kMiB, false, "NVIDIA GeForce GT 710"));
    EXPECT_EQ(adapterRefusal(adapter(0x10DE, 256 * kMiB, "NVIDIA GeForce GT 710"), false),
              "less than 512 MiB of dedicated memory");
}

TEST(GpuAdapter, MostMemoryWinsAndTheFirstWinsATie) {
    const std::vector<GpuAdapterDescription> twins = {adapter(0x10DE, 8 * kGiB, "NVIDIA GeForce RTX 3070"),
                                                      adapter(0x10DE, 8 * kGiB, "NVIDIA GeForce RTX 3070")};
    EXPECT_EQ(chooseAdapter(twins, false), 0);
    const std::vector<GpuAdapterDescription> mixed = {adapter(0x8086, 32 * kGiB, "Intel(R) UHD Graphics"),
                                                      adapter(0x10DE, 8 * kGiB, "NVIDIA GeForce RTX 3070"),
                                                      adapter(0x1002, 16 * kGiB, "AMD Radeon RX 6800")};
    // The integrated part's larger (shared) memory does not count: it is refused outright.
    EXPECT_EQ(chooseAdapter(mixed, false), 2);
}

TEST(GpuAdapter, BatchLimitFollowsTheAdaptersMemory) {
    EXPECT_EQ(batchLimitFor(3 * kGiB), 262144u);
    EXPECT_EQ(batchLimitFor(4 * kGiB - 1), 262144u);
    EXPECT_EQ(batchLimitFor(4 * kGiB), 524288u);
    EXPECT_EQ(batchLimitFor(8 * kGiB - 1), 524288u);
    EXPECT_EQ(batchLimitFor(8 * kGiB), 1048576u);
    EXPECT_EQ(batchLimitFor(80 * kGiB), 1048576u);
}

TEST(GpuAdapter, SoftwareSwitchAdmitsSoftwareDevicesOnly) {
    const GpuAdapterDescription lavapipe = adapter(0x10005, 2 * kGiB, "llvmpipe (LLVM 15.0.6, 256 bits)", true);
    EXPECT_EQ(adapterRefusal(lavapipe, false), "software adapter");
    EXPECT_EQ(adapterRefusal(lavapipe, true), "");
    EXPECT_EQ(chooseAdapter({lavapipe}, false), -1);
    EXPECT_EQ(chooseAdapter({lavapipe}, true), 0);
    // A real GPU beside it is still the one taken, whatever memory the software device reports.
    EXPECT_EQ(chooseAdapter({lavapipe, adapter(0x10DE, 1 * kGiB, "NVIDIA T400")}, true), 1);
    // The switch changes nothing for hardware: an unknown vendor stays refused, a virtual name too.
    EXPECT_FALSE(adapterRefusal(adapter(0x10005, 2 * kGiB, "some hardware"), true).empty());
    EXPECT_FALSE(adapterRefusal(adapter(0x10005, 2 * kGiB, "remote llvmpipe", true), true).empty());
}

}  // namespace
}  // namespace zephrin
