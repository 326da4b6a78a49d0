// The Vulkan side of the GPU context: instance, device, queue, one command buffer with its fence,
// and the small helpers every compute pass is built from (buffers with upload and readback, a
// compute pipeline from embedded SPIR-V, one dispatch and wait). Every call runs under the
// GpuContext lock, so none of this is thread-safe on its own.
//
// Adding a pass:
//   1. Put its GLSL under renderer/gpu/shaders/NAME.comp (local size 64x1x1 for per-query work,
//      8x8x1 for per-pixel work). It is compiled and embedded by file stem; records shared with the
//      shadow shader (the packed BVH and its walk) are in shaders/shadow_bvh_*.glsl. Declare records
//      with scalar members and float[3] arrays, never vec3: std430 aligns a vec3 to 16 bytes and
//      would shift every field after it.
//   2. Give it a row in kGpuPipelineSpecs (gpu_context.cpp): stem, storage-buffer count (bindings
//      0..n-1 in the order the shader declares them), push-constant bytes (its Params block, at most
//      128) and the reason logged when the driver refuses it.
//   3. In the pass: lock the context, ensureGpuDevice, keep reusable GpuBuffers in GpuContext (grow
//      with ensureBufferSize; destroy them in releaseGpuContext), share the packed BVH through
//      uploadShadowScene, then uploadToBuffer, dispatchCompute, readFromBuffer. A false from any
//      helper means the CPU renders: return failGpuPass(context, "the pass's reason"), which keeps
//      a lost device's own reason. Store the run in context.lastRuns[kind] for the benchmark.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "renderer/gpu/vulkan_api.h"

namespace zephrin {

// A storage buffer in device memory. `mapped` is set when that memory is also visible to the CPU
// (software devices, resizable-BAR GPUs): uploads and readbacks then copy directly.
struct GpuBuffer {
    VkBuffer buffer = VK_NULL_HANDLE;
    VkDeviceMemory memory = VK_NULL_HANDLE;
    VkDeviceSize size = 0;
    void* mapped = nullptr;
    bool hostCached = false;  // mapped memory the CPU reads at full speed
};

struct GpuPipeline {
    VkShaderModule module = VK_NULL_HANDLE;
    VkDescriptorSetLayout setLayout = VK_NULL_HANDLE;
    VkPipelineLayout layout = VK_NULL_HANDLE;
    VkPipeline pipeline = VK_NULL_HANDLE;
    VkDescriptorSet descriptors = VK_NULL_HANDLE;
    uint32_t bindingCount = 0;
    uint32_t pushConstantBytes = 0;
};

struct GpuDevice {
    VulkanApi api;
    VkInstance instance = VK_NULL_HANDLE;
    VkDebugUtilsMessengerEXT messenger = VK_NULL_HANDLE;
    VkPhysicalDevice physical = VK_NULL_HANDLE;
    VkPhysicalDeviceMemoryProperties memory{};
    VkDeviceSize maxStorageBufferRange = 0;
    VkDevice device = VK_NULL_HANDLE;
    uint32_t queueFamily = 0;
    VkQueue queue = VK_NULL_HANDLE;
    VkCommandPool commandPool = VK_NULL_HANDLE;
    VkCommandBuffer commands = VK_NULL_HANDLE;
    VkFence fence = VK_NULL_HANDLE;
    VkDescriptorPool descriptorPool = VK_NULL_HANDLE;
    GpuBuffer staging;  // host-visible, grown on demand, for devices whose buffers are not mapped
    bool lost = false;  // a lost device is never used again in this process
    // Validation messages of error severity (validation is on in tests only).
    std::atomic<uint32_t> validationErrors{0};
    std::string firstValidationError;
};

// Storage buffers hold at least this much: Vulkan refuses empty buffers.
constexpr VkDeviceSize kMinGpuBufferBytes = 16;

// A storage buffer of `bytes` (at least kMinGpuBufferBytes). False, and `out` empty, on failure.
bool createBuffer(GpuDevice& device, VkDeviceSize bytes, GpuBuffer& out);
void destroyBuffer(GpuDevice& device, GpuBuffer& buffer);
// Destroys `buffer` and creates it again when it holds fewer than `bytes`.
bool ensureBufferSize(GpuDevice& device, VkDeviceSize bytes, GpuBuffer& buffer);

// Copies bytes into the start of the buffer (directly, or through the staging buffer).
bool uploadToBuffer(GpuDevice& device, GpuBuffer& buffer, const void* data, size_t bytes);
// Copies the first `bytes` of the buffer out, after all submitted work has finished.
bool readFromBuffer(GpuDevice& device, const GpuBuffer& buffer, void* out, size_t bytes);

// A compute pipeline over `bindingCount` storage buffers (bindings 0..n-1 of set 0) and a push
// constant block of `pushConstantBytes` (0 for none).
bool createComputePipeline(GpuDevice& device, const uint32_t* words, size_t wordCount, uint32_t bindingCount,
                           uint32_t pushConstantBytes, GpuPipeline& out);
void destroyPipeline(GpuDevice& device, GpuPipeline& pipeline);

// Binds the buffers in order, pushes the constants, dispatches the groups and waits for the end.
// dispatchMs, when given, receives the GPU wall time of the submission.
bool dispatchCompute(GpuDevice& device, GpuPipeline& pipeline, std::initializer_list<const GpuBuffer*> buffers,
                     const void* pushConstants, uint32_t groupsX, uint32_t groupsY, uint32_t groupsZ,
                     double* dispatchMs = nullptr);

// Destroys every object of the device, the instance last, and closes the loader.
void releaseGpuDevice(GpuDevice& device);

}  // namespace zephrin
