#include "renderer/gpu/gpu_context.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "renderer/gpu/embedded_shader.h"

namespace zephrin {
namespace {

struct GpuPipelineSpec {
    const char* stem;        // shaders/<stem>.comp
    uint32_t bindingCount;   // storage buffers, bindings 0..n-1
    uint32_t pushConstantBytes;
    const char* failureReason;
};

// In GpuPipelineKind order, which is also the order their failures are reported in. A shader this
// build does not embed leaves its pipeline empty; the pass that needs it then declines.
constexpr GpuPipelineSpec kGpuPipelineSpecs[kGpuPipelineCount] = {
    {"shadow_queries", 4, 16, "GPU shadow shader creation failed"},
    {"raster", 4, 32, "GPU raster shader creation failed"},
    {"lighting", 7, 80, "GPU lighting shader creation failed"},
};

constexpr const char* kValidationLayer = "VK_LAYER_KHRONOS_validation";
// Descriptor sets for the three passes and a few more (tests' probes); each holds a handful of
// storage buffers.
constexpr uint32_t kDescriptorSetCapacity = 16;
constexpr uint32_t kStorageDescriptorCapacity = kDescriptorSetCapacity * 8;

VKAPI_ATTR VkBool32 VKAPI_CALL countValidationMessage(VkDebugUtilsMessageSeverityFlagBitsEXT severity,
                                                      VkDebugUtilsMessageTypeFlagsEXT /*types*/,
                                                      const VkDebugUtilsMessengerCallbackDataEXT* data,
                                                      void* userData) {
    if ((severity & VK_DEBUG_UTILS_MESSAGE_SEVERITY_ERROR_BIT_EXT) == 0) return VK_FALSE;
    auto* device = static_cast<GpuDevice*>(userData);
    const char* message = data != nullptr && data->pMessage != nullptr ? data->pMessage : "";
    if (device->validationErrors.fetch_add(1) == 0) device->firstValidationError = message;
    std::fprintf(stderr, "Vulkan validation: %s\n", message);
    return VK_FALSE;
}

bool layerAvailable(const VulkanApi& vk, const char* name) {
    uint32_t count = 0;
    if (vk.vkEnumerateInstanceLayerProperties(&count, nullptr) != VK_SUCCESS) return false;
    std::vector<VkLayerProperties> layers(count);
    if (vk.vkEnumerateInstanceLayerProperties(&count, layers.data()) != VK_SUCCESS) return false;
    return std::any_of(layers.begin(), layers.begin() + count,
                       [name](const VkLayerProperties& layer) { return std::strcmp(layer.layerName, name) == 0; });
}

VkDebugUtilsMessengerCreateInfoEXT messengerInfo(GpuDevice& device) {
    VkDebugUtilsMessengerCreateInfoEXT info{};
    info.sType = VK_STRUCTURE_TYPE_DEBUG_UTILS_MESSENGER_CREATE_INFO_EXT;
    info.messageSeverity = VK_DEBUG_UTILS_MESSAGE_SEVERITY_WARNING_BIT_EXT | VK_DEBUG_UTILS_MESSAGE_SEVERITY_ERROR_BIT_EXT;
    info.messageType = VK_DEBUG_UTILS_MESSAGE_TYPE_GENERAL_BIT_EXT | VK_DEBUG_UTILS_MESSAGE_TYPE_VALIDATION_BIT_EXT;
    info.pfnUserCallback = countValidationMessage;
    info.pUserData = &device;
    return info;
}

// Opens the loader and creates the instance (with the validation layer when asked and installed).
bool openInstance(GpuDevice& device, const GpuDeviceOptions& options) {
    if (!openVulkanLoader(device.api, options.loaderName)) return false;
    VulkanApi& vk = device.api;
    const bool validation = options.validation && layerAvailable(vk, kValidationLayer);
    VkApplicationInfo application{};
    application.sType = VK_STRUCTURE_TYPE_APPLICATION_INFO;
    application.pApplicationName = "ZephrinRenderer";
    application.pEngineName = "Zephrin";
    application.apiVersion = VK_API_VERSION_1_0;
    const char* layers[] = {kValidationLayer};
    const char* extensions[] = {VK_EXT_DEBUG_UTILS_EXTENSION_NAME};
    VkDebugUtilsMessengerCreateInfoEXT messenger = messengerInfo(device);
    VkInstanceCreateInfo info{};
    info.sType = VK_STRUCTURE_TYPE_INSTANCE_CREATE_INFO;
    info.pApplicationInfo = &application;
    if (validation) {
        info.enabledLayerCount = 1;
        info.ppEnabledLayerNames = layers;
        info.enabledExtensionCount = 1;
        info.ppEnabledExtensionNames = extensions;
        // Chained here as well, so instance creation and destruction are checked too.
        info.pNext = &messenger;
    }
    if (vk.vkCreateInstance(&info, nullptr, &device.instance) != VK_SUCCESS) {
        device.instance = VK_NULL_HANDLE;
        return false;
    }
    if (!loadInstanceCalls(vk, device.instance)) {
        // Released here while its destroy call is known; the rest of the release skips it.
        if (vk.vkDestroyInstance != nullptr) vk.vkDestroyInstance(device.instance, nullptr);
        device.instance = VK_NULL_HANDLE;
        return false;
    }
    if (validation && vk.vkCreateDebugUtilsMessengerEXT != nullptr &&
        vk.vkCreateDebugUtilsMessengerEXT(device.instance, &messenger, nullptr, &device.messenger) != VK_SUCCESS) {
        device.messenger = VK_NULL_HANDLE;
    }
    return true;
}

GpuAdapterDescription describeAdapter(const VulkanApi& vk, VkPhysicalDevice physical) {
    VkPhysicalDeviceProperties properties{};
    vk.vkGetPhysicalDeviceProperties(physical, &properties);
    VkPhysicalDeviceMemoryProperties memory{};
    vk.vkGetPhysicalDeviceMemoryProperties(physical, &memory);
    GpuAdapterDescription adapter;
    adapter.vendorId = properties.vendorID;
    adapter.software = properties.deviceType == VK_PHYSICAL_DEVICE_TYPE_CPU;
    adapter.description.assign(properties.deviceName, strnlen(properties.deviceName, sizeof properties.deviceName));
    // The largest device-local heap stands for the adapter's own memory.
    for (uint32_t i = 0; i < memory.memoryHeapCount; ++i) {
        if ((memory.memoryHeaps[i].flags & VK_MEMORY_HEAP_DEVICE_LOCAL_BIT) != 0) {
            adapter.dedicatedVideoMemory = std::max<uint64_t>(adapter.dedicatedVideoMemory, memory.memoryHeaps[i].size);
        }
    }
    return adapter;
}

std::vector<VkPhysicalDevice> physicalDevices(const VulkanApi& vk, VkInstance instance) {
    uint32_t count = 0;
    if (vk.vkEnumeratePhysicalDevices(instance, &count, nullptr) != VK_SUCCESS || count == 0) return {};
    std::vector<VkPhysicalDevice> devices(count);
    const VkResult result = vk.vkEnumeratePhysicalDevices(instance, &count, devices.data());
    if (result != VK_SUCCESS && result != VK_INCOMPLETE) return {};
    devices.resize(count);
    return devices;
}

// The device, its compute queue, one command buffer with its fence and a descriptor pool.
bool openDevice(GpuDevice& device) {
    VulkanApi& vk = device.api;
    uint32_t familyCount = 0;
    vk.vkGetPhysicalDeviceQueueFamilyProperties(device.physical, &familyCount, nullptr);
    std::vector<VkQueueFamilyProperties> families(familyCount);
    vk.vkGetPhysicalDeviceQueueFamilyProperties(device.physical, &familyCount, families.data());
    bool found = false;
    for (uint32_t i = 0; i < familyCount && !found; ++i) {
        if ((families[i].queueFlags & VK_QUEUE_COMPUTE_BIT) != 0) {
            device.queueFamily = i;
            found = true;
        }
    }
    if (!found) return false;

    const float priority = 1.0f;
    VkDeviceQueueCreateInfo queue{};
    queue.sType = VK_STRUCTURE_TYPE_DEVICE_QUEUE_CREATE_INFO;
    queue.queueFamilyIndex = device.queueFamily;
    queue.queueCount = 1;
    queue.pQueuePriorities = &priority;
    VkDeviceCreateInfo info{};
    info.sType = VK_STRUCTURE_TYPE_DEVICE_CREATE_INFO;
    info.queueCreateInfoCount = 1;
    info.pQueueCreateInfos = &queue;
    if (vk.vkCreateDevice(device.physical, &info, nullptr, &device.device) != VK_SUCCESS) {
        device.device = VK_NULL_HANDLE;
        return false;
    }
    if (!loadDeviceCalls(vk, device.device)) {
        // Released here while its destroy call is known; the rest of the release skips it.
        if (vk.vkDestroyDevice != nullptr) vk.vkDestroyDevice(device.device, nullptr);
        device.device = VK_NULL_HANDLE;
        return false;
    }
    vk.vkGetDeviceQueue(device.device, device.queueFamily, 0, &device.queue);
    vk.vkGetPhysicalDeviceMemoryProperties(device.physical, &device.memory);
    VkPhysicalDeviceProperties properties{};
    vk.vkGetPhysicalDeviceProperties(device.physical, &properties);
    device.maxStorageBufferRange = properties.limits.maxStorageBufferRange;

    VkCommandPoolCreateInfo poolInfo{};
    poolInfo.sType = VK_STRUCTURE_TYPE_COMMAND_POOL_CREATE_INFO;
    poolInfo.flags = VK_COMMAND_POOL_CREATE_RESET_COMMAND_BUFFER_BIT;
    poolInfo.queueFamilyIndex = device.queueFamily;
    if (vk.vkCreateCommandPool(device.device, &poolInfo, nullptr, &device.commandPool) != VK_SUCCESS) {
        device.commandPool = VK_NULL_HANDLE;
        return false;
    }
    VkCommandBufferAllocateInfo commandInfo{};
    commandInfo.sType = VK_STRUCTURE_TYPE_COMMAND_BUFFER_ALLOCATE_INFO;
    commandInfo.commandPool = device.commandPool;
    commandInfo.level = VK_COMMAND_BUFFER_LEVEL_PRIMARY;
    commandInfo.commandBufferCount = 1;
    if (vk.vkAllocateCommandBuffers(device.device, &commandInfo, &device.commands) != VK_SUCCESS) return false;
    VkFenceCreateInfo fenceInfo{};
    fenceInfo.sType = VK_STRUCTURE_TYPE_FENCE_CREATE_INFO;
    if (vk.vkCreateFence(device.device, &fenceInfo, nullptr, &device.fence) != VK_SUCCESS) {
        device.fence = VK_NULL_HANDLE;
        return false;
    }
    VkDescriptorPoolSize poolSize{VK_DESCRIPTOR_TYPE_STORAGE_BUFFER, kStorageDescriptorCapacity};
    VkDescriptorPoolCreateInfo descriptorInfo{};
    descriptorInfo.sType = VK_STRUCTURE_TYPE_DESCRIPTOR_POOL_CREATE_INFO;
    descriptorInfo.flags = VK_DESCRIPTOR_POOL_CREATE_FREE_DESCRIPTOR_SET_BIT;
    descriptorInfo.maxSets = kDescriptorSetCapacity;
    descriptorInfo.poolSizeCount = 1;
    descriptorInfo.pPoolSizes = &poolSize;
    if (vk.vkCreateDescriptorPool(device.device, &descriptorInfo, nullptr, &device.descriptorPool) != VK_SUCCESS) {
        device.descriptorPool = VK_NULL_HANDLE;
        return false;
    }
    return true;
}

// The pipelines of every shader this build embeds; the reason of the first that fails, or null.
const char* createPipelines(GpuContext& context) {
    for (int32_t kind = 0; kind < kGpuPipelineCount; ++kind) {
        const GpuPipelineSpec& spec = kGpuPipelineSpecs[kind];
        const EmbeddedShader* shader = findEmbeddedShader(spec.stem);
        if (shader == nullptr) continue;
        if (!createComputePipeline(context.device, shader->words, shader->wordCount, spec.bindingCount,
                                   spec.pushConstantBytes, context.pipelines[static_cast<size_t>(kind)])) {
            return spec.failureReason;
        }
    }
    return nullptr;
}

bool failInitialisation(GpuContext& context, const char* reason, GpuRunInfo* info) {
    releaseGpuContext(context);
    context.initialised = true;
    context.ready = false;
    context.failureReason = reason;
    if (info != nullptr) reportAdapter(context, *info);
    return false;
}

GpuContext* processContext = nullptr;

// At exit (or when the host unloads the plug-in: a handler registered from a shared library runs
// when it is unloaded) the device goes before the driver does. A frame still holding
// the lock on another thread keeps its objects; the process is ending anyway.
void releaseProcessContext() {
    if (processContext == nullptr) return;
    std::unique_lock<std::mutex> held(processContext->lock, std::try_to_lock);
    if (held.owns_lock()) releaseGpuContext(*processContext);
}

}  // namespace

GpuContext::~GpuContext() { releaseGpuContext(*this); }

GpuContext& gpuContext() {
    // Never destroyed by the runtime: releaseProcessContext gives its Vulkan objects back at the
    // right moment, and the memory goes with the process.
    static GpuContext* const context = [] {
        processContext = new GpuContext();
        return processContext;
    }();
    return *context;
}

void reportAdapter(const GpuContext& context, GpuRunInfo& info) {
    info.adapterName = context.adapterName;
    info.failureReason = context.failureReason;
    info.dedicatedVideoMemory = context.dedicatedVideoMemory;
    info.batchLimit = context.batchLimit;
}

bool ensureGpuDevice(GpuContext& context, GpuRunInfo* info, const GpuDeviceOptions& options) {
    if (context.initialised) {
        if (info != nullptr) reportAdapter(context, *info);
        return context.ready;
    }
    context.initialised = true;

    GpuDevice& device = context.device;
    if (!openInstance(device, options)) return failInitialisation(context, kGpuLoaderUnavailableReason, info);
    const std::vector<VkPhysicalDevice> physicals = physicalDevices(device.api, device.instance);
    std::vector<GpuAdapterDescription> adapters;
    for (VkPhysicalDevice physical : physicals) adapters.push_back(describeAdapter(device.api, physical));
    const int32_t chosen = chooseAdapter(adapters, softwareAdaptersAllowed());
    if (chosen < 0) return failInitialisation(context, kGpuNoAdapterReason, info);
    const GpuAdapterDescription& adapter = adapters[static_cast<size_t>(chosen)];
    context.adapterName = adapter.description;
    context.dedicatedVideoMemory = adapter.dedicatedVideoMemory;
    context.batchLimit = batchLimitFor(adapter.dedicatedVideoMemory);
    device.physical = physicals[static_cast<size_t>(chosen)];
    if (!openDevice(device)) return failInitialisation(context, kGpuDeviceCreationReason, info);
    if (const char* reason = createPipelines(context)) return failInitialisation(context, reason, info);

    context.ready = true;
    context.failureReason.clear();
    // Registered after the driver has set up, so that it runs before the driver's own exit handlers.
    if (&context == processContext) std::atexit(releaseProcessContext);
    if (info != nullptr) reportAdapter(context, *info);
    return true;
}

bool failGpuPass(GpuContext& context, const char* reason) {
    context.failureReason = context.device.lost ? kGpuDeviceLostReason : reason;
    if (context.device.lost) context.ready = false;
    return false;
}

bool uploadShadowScene(GpuContext& context, const PackedShadowBvh& packed, bool& reused) {
    GpuShadowScene& scene = context.shadowScene;
    GpuDevice& device = context.device;
    const size_t nodeBytes = packed.nodes.size() * sizeof(PackedBvhNode);
    const size_t triangleBytes = packed.triangles.size() * sizeof(PackedShadowTriangle);
    reused = scene.nodeBuffer.buffer != VK_NULL_HANDLE && scene.triangleBuffer.buffer != VK_NULL_HANDLE &&
             scene.nodes.size() == packed.nodes.size() && scene.triangles.size() == packed.triangles.size() &&
             std::memcmp(scene.nodes.data(), packed.nodes.data(), nodeBytes) == 0 &&
             std::memcmp(scene.triangles.data(), packed.triangles.data(), triangleBytes) == 0;
    if (reused) return true;
    // Forget the old copy first: a failed upload must not be mistaken for the scene next frame.
    scene.nodes.clear();
    scene.triangles.clear();
    if (!ensureBufferSize(device, nodeBytes, scene.nodeBuffer) ||
        !ensureBufferSize(device, triangleBytes, scene.triangleBuffer) ||
        !uploadToBuffer(device, scene.nodeBuffer, packed.nodes.data(), nodeBytes) ||
        !uploadToBuffer(device, scene.triangleBuffer, packed.triangles.data(), triangleBytes)) {
        return false;
    }
    scene.nodes = packed.nodes;
    scene.triangles = packed.triangles;
    return true;
}

void releaseGpuContext(GpuContext& context) {
    GpuDevice& device = context.device;
    if (device.device != VK_NULL_HANDLE) device.api.vkDeviceWaitIdle(device.device);
    destroyBuffer(device, context.shadowScene.nodeBuffer);
    destroyBuffer(device, context.shadowScene.triangleBuffer);
    context.shadowScene = GpuShadowScene{};
    destroyBuffer(device, context.shadowBatch.queries);
    destroyBuffer(device, context.shadowBatch.results);
    context.shadowBatch = GpuShadowBatch{};
    for (GpuPipeline& pipeline : context.pipelines) destroyPipeline(device, pipeline);
    releaseGpuDevice(device);
    context.initialised = false;
    context.ready = false;
}

GpuAdapterSurvey surveyGpuAdapters(const GpuDeviceOptions& options) {
    GpuAdapterSurvey survey;
    GpuDevice device;
    if (!openInstance(device, options)) {
        survey.failureReason = kGpuLoaderUnavailableReason;
    } else {
        for (VkPhysicalDevice physical : physicalDevices(device.api, device.instance)) {
            survey.adapters.push_back(describeAdapter(device.api, physical));
        }
    }
    releaseGpuDevice(device);
    return survey;
}

}  // namespace zephrin
