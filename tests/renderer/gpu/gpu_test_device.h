// What the GPU tests share: the software switch that admits Mesa's lavapipe, device options with the
// validation layers on, and a check that they reported nothing.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "renderer/gpu/gpu_context.h"

namespace zephrin::gputest {

// Mesa's lavapipe loses 128 bytes each time the Vulkan loader unloads it (inside the driver's own
// libraries, nothing of ours). Kept resident for the test process, it is never unloaded, and the
// leak checker's report stays about this project's code.
inline void keepSoftwareDriverResident() {
    static void* const driver = ::dlopen("libvulkan_lvp.so", RTLD_NOW | RTLD_NODELETE);
    (void)driver;
}

// Admits software devices for the lifetime of a test (the switch is read when a context chooses
// its adapter), and clears it again.
struct SoftwareDevicesAllowed {
    SoftwareDevicesAllowed() {
        keepSoftwareDriverResident();
        ::setenv("ZEPHRIN_GPU_ALLOW_SOFTWARE", "1", 1);
    }
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
