// The Vulkan calls the GPU passes make, as a table of function pointers filled from the loader
// library opened at run time. The plug-in links nothing but the C/C++ runtime, so a machine without
// Vulkan loads it all the same and renders on the CPU; the Vulkan headers are needed at build time
// only (VK_NO_PROTOTYPES keeps every direct call out).
//
// The table is plain data on purpose: a test swaps one entry for a call that fails, to see the
// failure turn into a CPU fallback with its reason.
#pragma once

#ifndef VK_NO_PROTOTYPES
#define VK_NO_PROTOTYPES
#endif
#include <vulkan/vulkan_core.h>

#include <string>

namespace zephrin {

// The loader's soname, the one every Vulkan installation on Linux provides.
inline constexpr const char* kVulkanLoaderName = "libvulkan.so.1";

#define ZEPHRIN_VULKAN_INSTANCE_CALLS(X)        \
    X(vkDestroyInstance)                        \
    X(vkEnumeratePhysicalDevices)               \
    X(vkGetPhysicalDeviceProperties)            \
    X(vkGetPhysicalDeviceMemoryProperties)      \
    X(vkGetPhysicalDeviceQueueFamilyProperties) \
    X(vkCreateDevice)                           \
    X(vkGetDeviceProcAddr)

#define ZEPHRIN_VULKAN_DEVICE_CALLS(X) \
    X(vkDestroyDevice)                 \
    X(vkGetDeviceQueue)                \
    X(vkDeviceWaitIdle)                \
    X(vkCreateBuffer)                  \
    X(vkDestroyBuffer)                 \
    X(vkGetBufferMemoryRequirements)   \
    X(vkAllocateMemory)                \
    X(vkFreeMemory)                    \
    X(vkBindBufferMemory)              \
    X(vkMapMemory)                     \
    X(vkUnmapMemory)                   \
    X(vkCreateShaderModule)            \
    X(vkDestroyShaderModule)           \
    X(vkCreateDescriptorSetLayout)     \
    X(vkDestroyDescriptorSetLayout)    \
    X(vkCreatePipelineLayout)          \
    X(vkDestroyPipelineLayout)         \
    X(vkCreateComputePipelines)        \
    X(vkDestroyPipeline)               \
    X(vkCreateDescriptorPool)          \
    X(vkDestroyDescriptorPool)         \
    X(vkAllocateDescriptorSets)        \
    X(vkFreeDescriptorSets)            \
    X(vkUpdateDescriptorSets)          \
    X(vkCreateCommandPool)             \
    X(vkDestroyCommandPool)            \
    X(vkAllocateCommandBuffers)        \
    X(vkResetCommandBuffer)            \
    X(vkBeginCommandBuffer)            \
    X(vkEndCommandBuffer)              \
    X(vkCmdBindPipeline)               \
    X(vkCmdBindDescriptorSets)         \
    X(vkCmdPushConstants)              \
    X(vkCmdDispatch)                   \
    X(vkCmdCopyBuffer)                 \
    X(vkCmdPipelineBarrier)            \
    X(vkCreateFence)                   \
    X(vkDestroyFence)                  \
    X(vkResetFences)                   \
    X(vkWaitForFences)                 \
    X(vkQueueSubmit)

#define ZEPHRIN_VULKAN_MEMBER(name) PFN_##name name = nullptr;

struct VulkanApi {
    void* library = nullptr;  // dlopen handle of the loader
    PFN_vkGetInstanceProcAddr vkGetInstanceProcAddr = nullptr;
    PFN_vkCreateInstance vkCreateInstance = nullptr;
    PFN_vkEnumerateInstanceLayerProperties vkEnumerateInstanceLayerProperties = nullptr;
    PFN_vkEnumerateInstanceExtensionProperties vkEnumerateInstanceExtensionProperties = nullptr;
    ZEPHRIN_VULKAN_INSTANCE_CALLS(ZEPHRIN_VULKAN_MEMBER)
    // Present only when the debug-utils extension was enabled (validation in tests).
    PFN_vkCreateDebugUtilsMessengerEXT vkCreateDebugUtilsMessengerEXT = nullptr;
    PFN_vkDestroyDebugUtilsMessengerEXT vkDestroyDebugUtilsMessengerEXT = nullptr;
    ZEPHRIN_VULKAN_DEVICE_CALLS(ZEPHRIN_VULKAN_MEMBER)
};

#undef ZEPHRIN_VULKAN_MEMBER

// Opens the loader and fills the calls that need no instance. False (and nothing held) when the
// library or its entry point is missing.
bool openVulkanLoader(VulkanApi& api, const std::string& libraryName);

// Fills the instance-level calls; false when one is missing.
bool loadInstanceCalls(VulkanApi& api, VkInstance instance);

// Fills the device-level calls; false when one is missing.
bool loadDeviceCalls(VulkanApi& api, VkDevice device);

// Closes the loader and clears the table.
void closeVulkanLoader(VulkanApi& api);

}  // namespace zephrin
