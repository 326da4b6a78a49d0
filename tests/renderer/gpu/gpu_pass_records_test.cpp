// What the raster and lighting shaders see of the records the host writes: one record of each kind,
// every field distinct, read back word for word through a probe built from the passes' own record
// declarations.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "gpu_test_device.h"
#include "renderer/gpu/embedded_shader.h"
#include "renderer/gpu/gpu_lighting_records.h"
#include "renderer/gpu/gpu_raster_records.h"

namespace zephrin {

const EmbeddedShader* findTestShader(std::string_view stem);

namespace {

// Fills a record with distinct words, each the bits of an ordinary float: integer fields pass bits
// through unchanged, and float fields never hold a denormal a device might flush to zero.
template <typename Record>
Record distinctRecord(uint32_t seed) {
    Record record{};
    uint32_t words[sizeof(Record) / 4];
    for (uint32_t i = 0; i < sizeof(Record) / 4; ++i) {
        const float value = static_cast<float>(seed * 100 + i) + 0.5f;
        std::memcpy(&words[i], &value, 4);
    }
    std::memcpy(&record, words, sizeof(Record));
    return record;
}

template <typename Record>
void appendWords(std::vector<uint32_t>& out, const Record& record) {
    const size_t at = out.size();
    out.resize(at + sizeof(Record) / 4);
    std::memcpy(out.data() + at, &record, sizeof(Record));
}

TEST(GpuPassRecords, ShadersSeeEveryFieldWhereTheHostWroteIt) {
    gputest::SoftwareDevicesAllowed allowed;
    GpuContext context;
    if (!gputest::openTestDevice(context)) GTEST_SKIP() << "no Vulkan device: " << context.failureReason;
    const EmbeddedShader* probe = findTestShader("pass_layout_probe");
    ASSERT_NE(probe, nullptr);
    GpuDevice& device = context.device;
    GpuPipeline pipeline;
    ASSERT_TRUE(createComputePipeline(device, probe->words, probe->wordCount, 8, sizeof(LightingParams), pipeline));

    const RasterTriangle triangles[2] = {{}, distinctRecord<RasterTriangle>(1)};
    const RasterTile tiles[2] = {{}, RasterTile{77, 88}};
    const RasterResult results[2] = {{}, RasterResult{-5, 0xA}};
    const LightingLight lights[2] = {{}, distinctRecord<LightingLight>(2)};
    const LightingSurface surfaces[2] = {{}, distinctRecord<LightingSurface>(3)};
    const LightingQuery queries[2] = {{}, distinctRecord<LightingQuery>(4)};
    const LightingResult shaded[2] = {{}, distinctRecord<LightingResult>(5)};
    const LightingParams params = distinctRecord<LightingParams>(6);

    std::vector<uint32_t> expected;
    appendWords(expected, triangles[1]);
    appendWords(expected, tiles[1]);
    appendWords(expected, results[1]);
    appendWords(expected, lights[1]);
    appendWords(expected, surfaces[1]);
    appendWords(expected, queries[1]);
    appendWords(expected, shaded[1]);
    appendWords(expected, params);

    GpuBuffer buffers[8];
    const std::pair<const void*, size_t> inputs[7] = {
        {triangles, sizeof triangles}, {tiles, sizeof tiles},     {results, sizeof results}, {lights, sizeof lights},
        {surfaces, sizeof surfaces},   {queries, sizeof queries}, {shaded, sizeof shaded}};
    for (int i = 0; i < 7; ++i) {
        ASSERT_TRUE(createBuffer(device, inputs[i].second, buffers[i]));
        ASSERT_TRUE(uploadToBuffer(device, buffers[i], inputs[i].first, inputs[i].second));
    }
    ASSERT_TRUE(createBuffer(device, expected.size() * 4, buffers[7]));
    ASSERT_TRUE(dispatchCompute(
        device, pipeline,
        {&buffers[0], &buffers[1], &buffers[2], &buffers[3], &buffers[4], &buffers[5], &buffers[6], &buffers[7]},
        &params, 1, 1, 1));
    std::vector<uint32_t> seen(expected.size());
    ASSERT_TRUE(readFromBuffer(device, buffers[7], seen.data(), seen.size() * 4));
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(seen[i], expected[i]) << "word " << i;

    for (GpuBuffer& buffer : buffers) destroyBuffer(device, buffer);
    destroyPipeline(device, pipeline);
    releaseGpuContext(context);
    gputest::expectNoValidationErrors(context);
}

}  // namespace
}  // namespace zephrin
