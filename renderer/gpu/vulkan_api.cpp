#include "renderer/gpu/vulkan_api.h"

#include <dlfcn.h>

namespace zephrin {

bool openVulkanLoader(VulkanApi& api, const std::string& libraryName) {
    api = VulkanApi{};
    // RTLD_LOCAL: the loader's symbols must not leak into the host's namespace, where another
    // plug-in may carry its own Vulkan.
    api.library = dlopen(libraryName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (api.library == nullptr) return false;
    api.vkGetInstanceProcAddr =
        reinterpret_cast<PFN_vkGetInstanceProcAddr>(dlsym(api.library, "vkGetInstanceProcAddr"));
    if (api.vkGetInstanceProcAddr == nullptr) {
        closeVulkanLoader(api);
        return false;
    }
    api.vkCreateInstance =
        reinterpret_cast<PFN_vkCreateInstance>(api.vkGetInstanceProcAddr(nullptr, "vkCreateInstance"));
    api.vkEnumerateInstanceLayerProperties = reinterpret_cast<PFN_vkEnumerateInstanceLayerProperties>(
        api.vkGetInstanceProcAddr(nullptr, "vkEnumerateInstanceLayerProperties"));
    api.vkEnumerateInstanceExtensionProperties = reinterpret_cast<PFN_vkEnumerateInstanceExtensionProperties>(
        api.vkGetInstanceProcAddr(nullptr, "vkEnumerateInstanceExtensionProperties"));
    if (api.vkCreateInstance == nullptr || api.vkEnumerateInstanceLayerProperties == nullptr ||
        api.vkEnumerateInstanceExtensionProperties == nullptr) {
        closeVulkanLoader(api);
        return false;
    }
    return true;
}

bool loadInstanceCalls(VulkanApi& api, VkInstance instance) {
    bool complete = true;
#define ZEPHRIN_LOAD(name)                                                                  \
    api.name = reinterpret_cast<PFN_##name>(api.vkGetInstanceProcAddr(instance, #name)); \
    complete = complete && api.name != nullptr;
    ZEPHRIN_VULKAN_INSTANCE_CALLS(ZEPHRIN_LOAD)
#undef ZEPHRIN_LOAD
    api.vkCreateDebugUtilsMessengerEXT = reinterpret_cast<PFN_vkCreateDebugUtilsMessengerEXT>(
        api.vkGetInstanceProcAddr(instance, "vkCreateDebugUtilsMessengerEXT"));
    api.vkDestroyDebugUtilsMessengerEXT = reinterpret_cast<PFN_vkDestroyDebugUtilsMessengerEXT>(
        api.vkGetInstanceProcAddr(instance, "vkDestroyDebugUtilsMessengerEXT"));
    return complete;
}

bool loadDeviceCalls(VulkanApi& api, VkDevice device) {
    bool complete = true;
#define ZEPHRIN_LOAD(name)                                                             \
    api.name = reinterpret_cast<PFN_##name>(api.vkGetDeviceProcAddr(device, #name)); \
    complete = complete && api.name != nullptr;
    ZEPHRIN_VULKAN_DEVICE_CALLS(ZEPHRIN_LOAD)
#undef ZEPHRIN_LOAD
    return complete;
}

void closeVulkanLoader(VulkanApi& api) {
    if (api.library != nullptr) dlclose(api.library);
    api = VulkanApi{};
}

}  // namespace zephrin
