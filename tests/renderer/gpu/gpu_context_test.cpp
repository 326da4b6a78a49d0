#include "renderer/gpu/gpu_context.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string_view>
#include <vector>

#include "gpu_test_device.h"
#include "renderer/gpu/embedded_shader.h"
#include "renderer/gpu/gpu_shadows.h"

namespace zephrin {
// The probe shaders embedded in the test executable.
const EmbeddedShader* findTestShader(std::string_view stem);

namespace {
using gputest::SoftwareDevicesAllowed;

TEST(GpuContext, MissingLoaderFallsBackOnceWithItsReason) {
    GpuContext context;
    GpuDeviceOptions options;
    options.loaderName = "libzephrin-no-such-vulkan.so.1";
    const std::lock_guard<std::mutex> held(context.lock);
    GpuRunInfo info;
    EXPECT_FALSE(ensureGpuDevice(context, &info, options));
    EXPECT_EQ(info.failureReason, "DXGI factory unavailable");
    EXPECT_TRUE(context.initialised);
    // Never retried: a later call with a working loader reports the stored failure.
    GpuRunInfo again;
    EXPECT_FALSE(ensureGpuDevice(context, &again));
    EXPECT_EQ(again.failureReason, "DXGI factory unavailable");
    EXPECT_EQ(context.device.instance, VK_NULL_HANDLE);
}

TEST(GpuContext, ProductionRulesRefuseSoftwareDevicesWithTheirReason) {
    ::unsetenv("ZEPHRIN_GPU_ALLOW_SOFTWARE");
    gputest::keepSoftwareDriverResident();
    const GpuAdapterSurvey survey = surveyGpuAdapters();
    if (!survey.failureReason.empty()) GTEST_SKIP() << "no Vulkan loader: " << survey.failureReason;
    bool anyAcceptable = false;
    for (const GpuAdapterDescription& adapter : survey.adapters) {
        if (adapter.software) {
            EXPECT_EQ(adapterRefusal(adapter, false), "software adapter") << adapter.description;
        }
        anyAcceptable = anyAcceptable || adapterRefusal(adapter, false).empty();
    }
    GpuContext context;
    GpuRunInfo info;
    const std::lock_guard<std::mutex> held(context.lock);
    EXPECT_EQ(ensureGpuDevice(context, &info, gputest::validatedOptions()), anyAcceptable);
    if (!anyAcceptable) {
        EXPECT_EQ(info.failureReason, "no discrete DXGI adapter");
    }
    gputest::expectNoValidationErrors(context);
}

TEST(GpuContext, SoftwareSwitchOpensTheDeviceWithItsPipelines) {
    SoftwareDevicesAllowed allowed;
    GpuContext context;
    if (!gputest::openTestDevice(context)) GTEST_SKIP() << "no Vulkan device: " << context.failureReason;
    EXPECT_TRUE(context.ready);
    EXPECT_TRUE(context.failureReason.empty());
    EXPECT_FALSE(context.adapterName.empty());
    EXPECT_EQ(context.batchLimit, batchLimitFor(context.dedicatedVideoMemory));
    EXPECT_NE(context.pipelines[kGpuShadowPipeline].pipeline, VK_NULL_HANDLE);
    GpuRunInfo info;
    {
        const std::lock_guard<std::mutex> held(context.lock);
        EXPECT_TRUE(ensureGpuDevice(context, &info));
    }
    EXPECT_EQ(info.adapterName, context.adapterName);
    EXPECT_EQ(info.batchLimit, context.batchLimit);
    releaseGpuContext(context);
    // Destroying the device reports any object left behind.
    gputest::expectNoValidationErrors(context);
}

VKAPI_ATTR VkResult VKAPI_CALL refusePipeline(VkDevice, VkPipelineCache, uint32_t, const VkComputePipelineCreateInfo*,
                                              const VkAllocationCallbacks*, VkPipeline*) {
    return VK_ERROR_OUT_OF_DEVICE_MEMORY;
}

TEST(GpuContext, AShaderTheDriverRefusesLeavesNothingBehind) {
    SoftwareDevicesAllowed allowed;
    GpuContext context;
    if (!gputest::openTestDevice(context)) GTEST_SKIP() << "no Vulkan device: " << context.failureReason;
    const EmbeddedShader* shader = findEmbeddedShader("shadow_queries");
    ASSERT_NE(shader, nullptr);
    const PFN_vkCreateComputePipelines create = context.device.api.vkCreateComputePipelines;
    context.device.api.vkCreateComputePipelines = refusePipeline;
    GpuPipeline pipeline;
    EXPECT_FALSE(createComputePipeline(context.device, shader->words, shader->wordCount, 4, 16, pipeline));
    EXPECT_EQ(pipeline.pipeline, VK_NULL_HANDLE);
    EXPECT_EQ(pipeline.module, VK_NULL_HANDLE);
    context.device.api.vkCreateComputePipelines = create;
    // The module and layouts made before the refusal are gone: the device's destruction says so.
    releaseGpuContext(context);
    gputest::expectNoValidationErrors(context);
}

// Discrete cards keep most buffers where the CPU cannot map them, or maps them uncached; this
// device maps everything, so the test takes the mapping away to walk the staging copies.
TEST(GpuContext, StagedTransfersCarryTheSameBytes) {
    SoftwareDevicesAllowed allowed;
    GpuContext context;
    if (!gputest::openTestDevice(context)) GTEST_SKIP() << "no Vulkan device: " << context.failureReason;
    GpuDevice& device = context.device;
    std::vector<uint32_t> data(300000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint32_t>(i * 2654435761u);
    const size_t bytes = data.size() * sizeof(uint32_t);
    GpuBuffer unmapped, uncached;
    ASSERT_TRUE(createBuffer(device, bytes, unmapped));
    ASSERT_TRUE(createBuffer(device, bytes, uncached));
    if (unmapped.mapped != nullptr) {
        device.api.vkUnmapMemory(device.device, unmapped.memory);
        unmapped.mapped = nullptr;
    }
    uncached.hostCached = false;

    ASSERT_TRUE(uploadToBuffer(device, unmapped, data.data(), bytes));
    ASSERT_TRUE(uploadToBuffer(device, uncached, data.data(), bytes));
    std::vector<uint32_t> back(data.size()), back2(data.size());
    ASSERT_TRUE(readFromBuffer(device, unmapped, back.data(), bytes));
    ASSERT_TRUE(readFromBuffer(device, uncached, back2.data(), bytes));
    EXPECT_EQ(back, data);
    EXPECT_EQ(back2, data);
    EXPECT_GE(device.staging.size, bytes);
    EXPECT_FALSE(uploadToBuffer(device, unmapped, data.data(), bytes + 1'000'000'000));  // beyond the buffer

    destroyBuffer(device, unmapped);
    destroyBuffer(device, uncached);
    releaseGpuContext(context);
    gputest::expectNoValidationErrors(context);
}

// Two records of each kind, the second with a distinct value in every field; the probe reads back
// the second one.
TEST(GpuContext, ShadersSeeTheRecordsAsTheHostWritesThem) {
    SoftwareDevicesAllowed allowed;
    GpuContext context;
    if (!gputest::openTestDevice(context)) GTEST_SKIP() << "no Vulkan device: " << context.failureReason;
    const EmbeddedShader* probe = findTestShader("layout_probe");
    ASSERT_NE(probe, nullptr);
    GpuDevice& device = context.device;
    GpuPipeline pipeline;
    ASSERT_TRUE(createComputePipeline(device, probe->words, probe->wordCount, 4, 0, pipeline));

    PackedBvhNode nodes[2] = {};
    nodes[1] = PackedBvhNode{{1.5f, -2.25f, 3.125f}, 7, {4.5f, 5.75f, -6.0f}, 9, 11, 13};
    PackedShadowTriangle triangles[2] = {};
    triangles[1] = PackedShadowTriangle{{0.5f, 1.5f, 2.5f}, 0x05ABCDEFu, {-3.5f, 4.5f, 5.5f}, {6.5f, -7.5f, 8.5f}};
    GpuShadowQuery queries[2] = {};
    queries[1] = GpuShadowQuery{{10.0f, 20.0f, 30.0f}, 40.0f, {0.6f, 0.0f, -0.8f}, kNearestHitBit | 0x03000042u};

    GpuBuffer nodeBuffer, triangleBuffer, queryBuffer, seenBuffer;
    ASSERT_TRUE(createBuffer(device, sizeof nodes, nodeBuffer));
    ASSERT_TRUE(createBuffer(device, sizeof triangles, triangleBuffer));
    ASSERT_TRUE(createBuffer(device, sizeof queries, queryBuffer));
    ASSERT_TRUE(createBuffer(device, 28 * sizeof(uint32_t), seenBuffer));
    ASSERT_TRUE(uploadToBuffer(device, nodeBuffer, nodes, sizeof nodes));
    ASSERT_TRUE(uploadToBuffer(device, triangleBuffer, triangles, sizeof triangles));
    ASSERT_TRUE(uploadToBuffer(device, queryBuffer, queries, sizeof queries));
    ASSERT_TRUE(dispatchCompute(device, pipeline, {&nodeBuffer, &triangleBuffer, &queryBuffer, &seenBuffer}, nullptr,
                                1, 1, 1));
    uint32_t seen[28] = {};
    ASSERT_TRUE(readFromBuffer(device, seenBuffer, seen, sizeof seen));

    uint32_t expected[28] = {};
    std::memcpy(expected, &nodes[1], 40);
    std::memcpy(expected + 10, &triangles[1], 40);
    std::memcpy(expected + 20, &queries[1], 32);
    for (int i = 0; i < 28; ++i) EXPECT_EQ(seen[i], expected[i]) << "word " << i;

    for (GpuBuffer* buffer : {&nodeBuffer, &triangleBuffer, &queryBuffer, &seenBuffer}) destroyBuffer(device, *buffer);
    destroyPipeline(device, pipeline);
    releaseGpuContext(context);
    gputest::expectNoValidationErrors(context);
}

}  // namespace
}  // namespace zephrin
