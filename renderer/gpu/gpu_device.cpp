#include "renderer/gpu/gpu_device.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/monotonic_clock.h"

namespace zephrin {
namespace {

// A GPU that has not finished one dispatch in this long is treated as hung (a driver's own
// watchdog usually fires earlier and reports the device lost).
constexpr uint64_t kFenceTimeoutNs = 60ull * 1000 * 1000 * 1000;

constexpr VkMemoryPropertyFlags kHostAccess = VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT | VK_MEMORY_PROPERTY_HOST_COHERENT_BIT;

// Memory types allowed by `typeBits` that have all of `required`, in the device's order.
void appendMemoryTypes(const VkPhysicalDeviceMemoryProperties& memory, uint32_t typeBits,
                       VkMemoryPropertyFlags required, std::vector<uint32_t>& out) {
    for (uint32_t i = 0; i < memory.memoryTypeCount; ++i) {
        if ((typeBits & (1u << i)) != 0 && (memory.memoryTypes[i].propertyFlags & required) == required &&
            std::find(out.begin(), out.end(), i) == out.end()) {
            out.push_back(i);
        }
    }
}

void noteResult(GpuDevice& device, VkResult result) {
    if (result == VK_ERROR_DEVICE_LOST) device.lost = true;
}

// Records commands into the device's one command buffer, submits them and waits.
template <typename Record>
bool submitAndWait(GpuDevice& device, Record record, double* wallMs = nullptr) {
    if (device.lost) return false;
    const VulkanApi& vk = device.api;
    if (vk.vkResetCommandBuffer(device.commands, 0) != VK_SUCCESS) return false;
    VkCommandBufferBeginInfo begin{};
    begin.sType = VK_STRUCTURE_TYPE_COMMAND_BUFFER_BEGIN_INFO;
    begin.flags = VK_COMMAND_BUFFER_USAGE_ONE_TIME_SUBMIT_BIT;
    if (vk.vkBeginCommandBuffer(device.commands, &begin) != VK_SUCCESS) return false;
    record(device.commands);
    if (vk.vkEndCommandBuffer(device.commands) != VK_SUCCESS) return false;
    if (vk.vkResetFences(device.device, 1, &device.fence) != VK_SUCCESS) return false;
    VkSubmitInfo submit{};
    submit.sType = VK_STRUCTURE_TYPE_SUBMIT_INFO;
    submit.commandBufferCount = 1;
    submit.pCommandBuffers = &device.commands;
    const int64_t start = nowNanoseconds();
    VkResult result = vk.vkQueueSubmit(device.queue, 1, &submit, device.fence);
    noteResult(device, result);
    if (result != VK_SUCCESS) return false;
    result = vk.vkWaitForFences(device.device, 1, &device.fence, VK_TRUE, kFenceTimeoutNs);
    if (wallMs != nullptr) *wallMs = millisecondsBetween(start, nowNanoseconds());
    if (result == VK_TIMEOUT) device.lost = true;
    noteResult(device, result);
    return result == VK_SUCCESS;
}

// Makes transfers and shader writes before it visible to everything after it.
void fullBarrier(const VulkanApi& vk, VkCommandBuffer commands) {
    VkMemoryBarrier barrier{};
    barrier.sType = VK_STRUCTURE_TYPE_MEMORY_BARRIER;
    barrier.srcAccessMask = VK_ACCESS_SHADER_WRITE_BIT | VK_ACCESS_TRANSFER_WRITE_BIT | VK_ACCESS_HOST_WRITE_BIT;
    barrier.dstAccessMask = VK_ACCESS_SHADER_READ_BIT | VK_ACCESS_SHADER_WRITE_BIT | VK_ACCESS_TRANSFER_READ_BIT |
                            VK_ACCESS_TRANSFER_WRITE_BIT | VK_ACCESS_HOST_READ_BIT;
    vk.vkCmdPipelineBarrier(commands, VK_PIPELINE_STAGE_ALL_COMMANDS_BIT, VK_PIPELINE_STAGE_ALL_COMMANDS_BIT, 0, 1,
                            &barrier, 0, nullptr, 0, nullptr);
}

bool createBufferWith(GpuDevice& device, VkDeviceSize bytes, bool hostOnly, GpuBuffer& out) {
    const VulkanApi& vk = device.api;
    out = GpuBuffer{};
    VkBufferCreateInfo info{};
    info.sType = VK_STRUCTURE_TYPE_BUFFER_CREATE_INFO;
    info.size = std::max(bytes, kMinGpuBufferBytes);
    info.usage = VK_BUFFER_USAGE_STORAGE_BUFFER_BIT | VK_BUFFER_USAGE_TRANSFER_SRC_BIT | VK_BUFFER_USAGE_TRANSFER_DST_BIT;
    info.sharingMode = VK_SHARING_MODE_EXCLUSIVE;
    if (vk.vkCreateBuffer(device.device, &info, nullptr, &out.buffer) != VK_SUCCESS) {
        out.buffer = VK_NULL_HANDLE;
        return false;
    }
    VkMemoryRequirements needs{};
    vk.vkGetBufferMemoryRequirements(device.device, out.buffer, &needs);
    // Device memory the CPU can also see saves a staging copy each way, but its heap may be small
    // (a 256 MiB window on many discrete cards): each kind is tried in turn until one has room.
    // The staging buffer itself wants host memory, preferably cached for readback.
    std::vector<uint32_t> types;
    if (hostOnly) {
        appendMemoryTypes(device.memory, needs.memoryTypeBits, kHostAccess | VK_MEMORY_PROPERTY_HOST_CACHED_BIT, types);
        appendMemoryTypes(device.memory, needs.memoryTypeBits, kHostAccess, types);
    } else {
        appendMemoryTypes(device.memory, needs.memoryTypeBits, VK_MEMORY_PROPERTY_DEVICE_LOCAL_BIT | kHostAccess, types);
        appendMemoryTypes(device.memory, needs.memoryTypeBits, VK_MEMORY_PROPERTY_DEVICE_LOCAL_BIT, types);
        appendMemoryTypes(device.memory, needs.memoryTypeBits, kHostAccess, types);
    }
    VkResult result = VK_ERROR_OUT_OF_DEVICE_MEMORY;
    uint32_t type = 0;
    for (uint32_t candidate : types) {
        VkMemoryAllocateInfo allocation{};
        allocation.sType = VK_STRUCTURE_TYPE_MEMORY_ALLOCATE_INFO;
        allocation.allocationSize = needs.size;
        allocation.memoryTypeIndex = candidate;
        result = vk.vkAllocateMemory(device.device, &allocation, nullptr, &out.memory);
        if (result == VK_SUCCESS) {
            type = candidate;
            break;
        }
        out.memory = VK_NULL_HANDLE;
        // A lost device fails every allocation; there is nothing left to try.
        if (result == VK_ERROR_DEVICE_LOST) break;
    }
    if (result == VK_SUCCESS) result = vk.vkBindBufferMemory(device.device, out.buffer, out.memory, 0);
    if (result == VK_SUCCESS) {
        const VkMemoryPropertyFlags flags = device.memory.memoryTypes[type].propertyFlags;
        if ((flags & kHostAccess) == kHostAccess) {
            result = vk.vkMapMemory(device.device, out.memory, 0, VK_WHOLE_SIZE, 0, &out.mapped);
            out.hostCached = (flags & VK_MEMORY_PROPERTY_HOST_CACHED_BIT) != 0;
        }
    }
    if (result != VK_SUCCESS) {
        noteResult(device, result);
        if (out.memory == VK_NULL_HANDLE) vk.vkDestroyBuffer(device.device, out.buffer, nullptr);
        else destroyBuffer(device, out);
        out = GpuBuffer{};
        return false;
    }
    out.size = info.size;
    return true;
}

bool ensureStaging(GpuDevice& device, size_t bytes) {
    if (device.staging.buffer != VK_NULL_HANDLE && device.staging.size >= bytes) return true;
    destroyBuffer(device, device.staging);
    // Doubling keeps a frame of growing batches from reallocating on every one.
    VkDeviceSize capacity = std::max<VkDeviceSize>(device.staging.size, 1u << 20);
    while (capacity < bytes) capacity *= 2;
    return createBufferWith(device, capacity, true, device.staging) && device.staging.mapped != nullptr;
}

}  // namespace

bool createBuffer(GpuDevice& device, VkDeviceSize bytes, GpuBuffer& out) {
    return createBufferWith(device, bytes, false, out);
}

void destroyBuffer(GpuDevice& device, GpuBuffer& buffer) {
    const VulkanApi& vk = device.api;
    if (device.device != VK_NULL_HANDLE) {
        if (buffer.mapped != nullptr) vk.vkUnmapMemory(device.device, buffer.memory);
        if (buffer.buffer != VK_NULL_HANDLE) vk.vkDestroyBuffer(device.device, buffer.buffer, nullptr);
        if (buffer.memory != VK_NULL_HANDLE) vk.vkFreeMemory(device.device, buffer.memory, nullptr);
    }
    buffer = GpuBuffer{};
}

bool ensureBufferSize(GpuDevice& device, VkDeviceSize bytes, GpuBuffer& buffer) {
    if (buffer.buffer != VK_NULL_HANDLE && buffer.size >= bytes) return true;
    destroyBuffer(device, buffer);
    return createBuffer(device, bytes, buffer);
}

bool uploadToBuffer(GpuDevice& device, GpuBuffer& buffer, const void* data, size_t bytes) {
    if (device.lost || bytes > buffer.size) return false;
    if (bytes == 0) return true;
    if (buffer.mapped != nullptr) {
        std::memcpy(buffer.mapped, data, bytes);
        return true;
    }
    if (!ensureStaging(device, bytes)) return false;
    std::memcpy(device.staging.mapped, data, bytes);
    const VulkanApi& vk = device.api;
    return submitAndWait(device, [&](VkCommandBuffer commands) {
        VkBufferCopy region{0, 0, bytes};
        vk.vkCmdCopyBuffer(commands, device.staging.buffer, buffer.buffer, 1, &region);
        fullBarrier(vk, commands);
    });
}

bool readFromBuffer(GpuDevice& device, const GpuBuffer& buffer, void* out, size_t bytes) {
    if (device.lost || bytes > buffer.size) return false;
    if (bytes == 0) return true;
    // CPU reads of uncached (write-combined) device memory crawl; the GPU copies those out instead.
    if (buffer.mapped != nullptr && (buffer.hostCached || !ensureStaging(device, bytes))) {
        std::memcpy(out, buffer.mapped, bytes);
        return true;
    }
    if (!ensureStaging(device, bytes)) return false;
    const VulkanApi& vk = device.api;
    const bool copied = submitAndWait(device, [&](VkCommandBuffer commands) {
        VkBufferCopy region{0, 0, bytes};
        vk.vkCmdCopyBuffer(commands, buffer.buffer, device.staging.buffer, 1, &region);
        fullBarrier(vk, commands);
    });
    if (!copied) return false;
    std::memcpy(out, device.staging.mapped, bytes);
    return true;
}

bool createComputePipeline(GpuDevice& device, const uint32_t* words, size_t wordCount, uint32_t bindingCount,
                           uint32_t pushConstantBytes, GpuPipeline& out) {
    const VulkanApi& vk = device.api;
    out = GpuPipeline{};
    out.bindingCount = bindingCount;
    out.pushConstantBytes = pushConstantBytes;
    auto fail = [&device, &out]() {
        destroyPipeline(device, out);
        return false;
    };
    if (words == nullptr || wordCount == 0) return fail();

    VkShaderModuleCreateInfo moduleInfo{};
    moduleInfo.sType = VK_STRUCTURE_TYPE_SHADER_MODULE_CREATE_INFO;
    moduleInfo.codeSize = wordCount * sizeof(uint32_t);
    moduleInfo.pCode = words;
    if (vk.vkCreateShaderModule(device.device, &moduleInfo, nullptr, &out.module) != VK_SUCCESS) return fail();

    std::vector<VkDescriptorSetLayoutBinding> bindings(bindingCount);
    for (uint32_t i = 0; i < bindingCount; ++i) {
        bindings[i].binding = i;
        bindings[i].descriptorType = VK_DESCRIPTOR_TYPE_STORAGE_BUFFER;
        bindings[i].descriptorCount = 1;
        bindings[i].stageFlags = VK_SHADER_STAGE_COMPUTE_BIT;
    }
    VkDescriptorSetLayoutCreateInfo setInfo{};
    setInfo.sType = VK_STRUCTURE_TYPE_DESCRIPTOR_SET_LAYOUT_CREATE_INFO;
    setInfo.bindingCount = bindingCount;
    setInfo.pBindings = bindings.data();
    if (vk.vkCreateDescriptorSetLayout(device.device, &setInfo, nullptr, &out.setLayout) != VK_SUCCESS) return fail();

    VkPushConstantRange push{VK_SHADER_STAGE_COMPUTE_BIT, 0, pushConstantBytes};
    VkPipelineLayoutCreateInfo layoutInfo{};
    layoutInfo.sType = VK_STRUCTURE_TYPE_PIPELINE_LAYOUT_CREATE_INFO;
    layoutInfo.setLayoutCount = 1;
    layoutInfo.pSetLayouts = &out.setLayout;
    layoutInfo.pushConstantRangeCount = pushConstantBytes > 0 ? 1 : 0;
    layoutInfo.pPushConstantRanges = &push;
    if (vk.vkCreatePipelineLayout(device.device, &layoutInfo, nullptr, &out.layout) != VK_SUCCESS) return fail();

    VkComputePipelineCreateInfo pipelineInfo{};
    pipelineInfo.sType = VK_STRUCTURE_TYPE_COMPUTE_PIPELINE_CREATE_INFO;
    pipelineInfo.stage.sType = VK_STRUCTURE_TYPE_PIPELINE_SHADER_STAGE_CREATE_INFO;
    pipelineInfo.stage.stage = VK_SHADER_STAGE_COMPUTE_BIT;
    pipelineInfo.stage.module = out.module;
    pipelineInfo.stage.pName = "main";
    pipelineInfo.layout = out.layout;
    if (vk.vkCreateComputePipelines(device.device, VK_NULL_HANDLE, 1, &pipelineInfo, nullptr, &out.pipeline) !=
        VK_SUCCESS) {
        out.pipeline = VK_NULL_HANDLE;
        return fail();
    }

    VkDescriptorSetAllocateInfo allocation{};
    allocation.sType = VK_STRUCTURE_TYPE_DESCRIPTOR_SET_ALLOCATE_INFO;
    allocation.descriptorPool = device.descriptorPool;
    allocation.descriptorSetCount = 1;
    allocation.pSetLayouts = &out.setLayout;
    if (vk.vkAllocateDescriptorSets(device.device, &allocation, &out.descriptors) != VK_SUCCESS) {
        out.descriptors = VK_NULL_HANDLE;
        return fail();
    }
    return true;
}

void destroyPipeline(GpuDevice& device, GpuPipeline& pipeline) {
    const VulkanApi& vk = device.api;
    if (device.device != VK_NULL_HANDLE) {
        if (pipeline.descriptors != VK_NULL_HANDLE) {
            vk.vkFreeDescriptorSets(device.device, device.descriptorPool, 1, &pipeline.descriptors);
        }
        if (pipeline.pipeline != VK_NULL_HANDLE) vk.vkDestroyPipeline(device.device, pipeline.pipeline, nullptr);
        if (pipeline.layout != VK_NULL_HANDLE) vk.vkDestroyPipelineLayout(device.device, pipeline.layout, nullptr);
        if (pipeline.setLayout != VK_NULL_HANDLE) {
            vk.vkDestroyDescriptorSetLayout(device.device, pipeline.setLayout, nullptr);
        }
        if (pipeline.module != VK_NULL_HANDLE) vk.vkDestroyShaderModule(device.device, pipeline.module, nullptr);
    }
    pipeline = GpuPipeline{};
}

bool dispatchCompute(GpuDevice& device, GpuPipeline& pipeline, std::initializer_list<const GpuBuffer*> buffers,
                     const void* pushConstants, uint32_t groupsX, uint32_t groupsY, uint32_t groupsZ,
                     double* dispatchMs) {
    const VulkanApi& vk = device.api;
    if (device.lost || pipeline.pipeline == VK_NULL_HANDLE || buffers.size() != pipeline.bindingCount) return false;
    std::vector<VkDescriptorBufferInfo> infos;
    infos.reserve(buffers.size());
    for (const GpuBuffer* buffer : buffers) {
        // A binding beyond the device's addressable range would read garbage, not fail.
        if (buffer == nullptr || buffer->buffer == VK_NULL_HANDLE || buffer->size > device.maxStorageBufferRange) {
            return false;
        }
        infos.push_back(VkDescriptorBufferInfo{buffer->buffer, 0, VK_WHOLE_SIZE});
    }
    std::vector<VkWriteDescriptorSet> writes(infos.size());
    for (size_t i = 0; i < infos.size(); ++i) {
        writes[i].sType = VK_STRUCTURE_TYPE_WRITE_DESCRIPTOR_SET;
        writes[i].dstSet = pipeline.descriptors;
        writes[i].dstBinding = static_cast<uint32_t>(i);
        writes[i].descriptorCount = 1;
        writes[i].descriptorType = VK_DESCRIPTOR_TYPE_STORAGE_BUFFER;
        writes[i].pBufferInfo = &infos[i];
    }
    // The set is only rewritten between waits, so the GPU never reads it while it changes.
    vk.vkUpdateDescriptorSets(device.device, static_cast<uint32_t>(writes.size()), writes.data(), 0, nullptr);
    return submitAndWait(
        device,
        [&](VkCommandBuffer commands) {
            fullBarrier(vk, commands);
            vk.vkCmdBindPipeline(commands, VK_PIPELINE_BIND_POINT_COMPUTE, pipeline.pipeline);
            vk.vkCmdBindDescriptorSets(commands, VK_PIPELINE_BIND_POINT_COMPUTE, pipeline.layout, 0, 1,
                                       &pipeline.descriptors, 0, nullptr);
            if (pipeline.pushConstantBytes > 0 && pushConstants != nullptr) {
                vk.vkCmdPushConstants(commands, pipeline.layout, VK_SHADER_STAGE_COMPUTE_BIT, 0,
                                      pipeline.pushConstantBytes, pushConstants);
            }
            vk.vkCmdDispatch(commands, groupsX, groupsY, groupsZ);
            fullBarrier(vk, commands);
        },
        dispatchMs);
}

void releaseGpuDevice(GpuDevice& device) {
    const VulkanApi& vk = device.api;
    if (device.device != VK_NULL_HANDLE) {
        // Nothing may still run on the GPU while its objects go; a lost device answers at once.
        vk.vkDeviceWaitIdle(device.device);
        destroyBuffer(device, device.staging);
        if (device.descriptorPool != VK_NULL_HANDLE) {
            vk.vkDestroyDescriptorPool(device.device, device.descriptorPool, nullptr);
        }
        if (device.fence != VK_NULL_HANDLE) vk.vkDestroyFence(device.device, device.fence, nullptr);
        // Destroying the pool frees its command buffer.
        if (device.commandPool != VK_NULL_HANDLE) vk.vkDestroyCommandPool(device.device, device.commandPool, nullptr);
        vk.vkDestroyDevice(device.device, nullptr);
    }
    if (device.instance != VK_NULL_HANDLE) {
        if (device.messenger != VK_NULL_HANDLE && vk.vkDestroyDebugUtilsMessengerEXT != nullptr) {
            vk.vkDestroyDebugUtilsMessengerEXT(device.instance, device.messenger, nullptr);
        }
        vk.vkDestroyInstance(device.instance, nullptr);
    }
    closeVulkanLoader(device.api);
    device.instance = VK_NULL_HANDLE;
    device.messenger = VK_NULL_HANDLE;
    device.physical = VK_NULL_HANDLE;
    device.device = VK_NULL_HANDLE;
    device.queue = VK_NULL_HANDLE;
    device.commandPool = VK_NULL_HANDLE;
    device.commands = VK_NULL_HANDLE;
    device.fence = VK_NULL_HANDLE;
    device.descriptorPool = VK_NULL_HANDLE;
    device.lost = false;
}

}  // namespace zephrin
