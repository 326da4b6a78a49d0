// What the GPU tests share: the software switch that admits Mesa's lavapipe, device options with the
// validation layers on, and a check that they reported nothing.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>

#include "renderer/gpu/gpu_context.h"

namespace zephrin::gputest {

// Admits software devices for the lifetime of a test (the switch is read when a context chooses
// its adapter), and restores what was set before.
struct SoftwareDevicesAllowed {
    SoftwareDevicesAllowed() { ::setenv("ZEPHRIN_GPU_ALLOW_SOFTWARE", "1", 1); }
    ~SoftwareDevicesAllowed() { ::unsetenv("ZEPHRIN_GPU_ALLOW_SOFTWARE"); }
};

inline GpuDeviceOptions validatedOptions() {
    GpuDeviceOptions options;
    options.validation = true;
    return options;
}

// Opens a context on this machine's device with validation on; skips the test where the machine
// has no Vulkan device at all.
inline bool openTestDevice(GpuContext& context) {
    const std::lock_guard<std::mutex> held(context.lock);
    return ensureGpuDevice(context, nullptr, validatedOptions());
}

inline void expectNoValidationErrors(const GpuContext& context) {
    EXPECT_EQ(context.device.validationErrors.load(), 0u) << context.device.firstValidationError;
}

}  // namespace zephrin::gputest
