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
