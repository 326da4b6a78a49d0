// Which graphics adapter the GPU passes may run on. Only discrete parts with enough memory of their
// own are worth the transfers: integrated graphics share the CPU's memory bandwidth, and virtual,
// remote-desktop and mirroring adapters either have no real GPU behind them or a slow path to it.
// Plain functions over adapter descriptions, so every rule is testable without a device.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zephrin {

// One adapter as the device enumeration reports it, in enumeration order.
struct GpuAdapterDescription {
    uint32_t vendorId = 0;
    uint64_t dedicatedVideoMemory = 0;  // bytes: the largest device-local memory heap
    bool software = false;              // a CPU implementation (Mesa lavapipe, SwiftShader)
    std::string description;            // the device name, UTF-8
};

// Why an adapter was refused; empty when it is acceptable.
std::string adapterRefusal(const GpuAdapterDescription& adapter, bool allowSoftware);

// The production rules: no software adapters, at least 512 MiB, no virtual or remote adapters,
// NVIDIA, Intel Arc and discrete AMD only.
bool isAcceptableAdapter(uint32_t vendorId, uint64_t dedicatedVideoMemory, bool software,
                         const std::string& description);

// The acceptable adapter with the most memory (the first enumerated on a tie), or -1.
// allowSoftware (tests only) lets a software adapter through the software and vendor rules; it is
// chosen only where no hardware adapter is acceptable.
int32_t chooseAdapter(const std::vector<GpuAdapterDescription>& adapters, bool allowSoftware);

// Largest number of queries or pixels one dispatch takes, by the adapter's memory.
uint32_t batchLimitFor(uint64_t dedicatedVideoMemory);

// The environment switch that admits software adapters (ZEPHRIN_GPU_ALLOW_SOFTWARE=1): a testing
// aid that lets CI run the compute passes on Mesa's lavapipe. Read where the adapter is chosen only.
bool softwareAdaptersAllowed();

}  // namespace zephrin
