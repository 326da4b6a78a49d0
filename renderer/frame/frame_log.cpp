#include "renderer/frame/frame_log.h"

#include <sstream>

#include "common/monotonic_clock.h"

namespace zephrin {
namespace {

constexpr uint64_t kBytesPerMegabyte = 1ull << 20;

}  // namespace

std::string formatFrameLine(const FrameSummary& s) {
    const FrameStamps& t = s.stamps;
    std::ostringstream line;
    line << "RendererV2Frame: surfaces=" << s.surfaces << " tris=" << s.triangles << " lights=" << s.lights
         << " dst=" << s.destWidth << "x" << s.destHeight << " raster=" << s.rasterWidth << "x" << s.rasterHeight
         << " workers=" << s.workers << " ms=(buffers:" << millisecondsBetween(t.start, t.buffers)
         << ",shadowMaps:" << millisecondsBetween(t.buffers, t.shadowMaps)
         << ",raster:" << millisecondsBetween(t.shadowMaps, t.shade)
         << ",rasterPrep:" << millisecondsBetween(t.rasterPrepStart, t.rasterPrep)
         << ",geometry:" << millisecondsBetween(t.rasterPrep, t.geometry)
         << ",gpuShadow:" << millisecondsBetween(t.geometry, t.gpuShadow)
         << ",shade:" << millisecondsBetween(t.gpuShadow, t.shade)
         << ",shadowPost:" << millisecondsBetween(t.shade, t.shadowPost)
         << ",dof:" << millisecondsBetween(t.shadowPost, t.dof) << ",blend:" << millisecondsBetween(t.dof, t.blend)
         << ") quickPreview=" << (s.quickPreview ? 1 : 0) << " rasterScale=" << s.rasterScale
         << " gpuRaster=" << (s.gpuRasterUsed ? 1 : 0) << " gpuLighting=" << (s.gpuLightingUsed ? 1 : 0)
         << " type=" << s.worldType;
    return line.str();
}

std::string formatShadowMapLine(size_t lightIndex, int32_t lightType, const ShadowMap& map) {
    std::ostringstream line;
    line << "RendererV2ShadowMap: light=" << lightIndex << " type=" << lightType << " size=" << map.width << "x"
         << map.height << " valid=" << (map.valid ? 1 : 0);
    return line.str();
}

std::string formatGpuRasterLine(const GpuRunInfo& info, size_t pixels, size_t preparedTriangles) {
    std::ostringstream line;
    line << "RendererV2GPURaster: adapter=" << info.adapterName
         << " vramMB=" << info.dedicatedVideoMemory / kBytesPerMegabyte << " pixels=" << pixels
         << " tris=" << preparedTriangles << " dispatchMs=" << info.dispatchMs;
    return line.str();
}

std::string formatGpuRasterFallbackLine(const std::string& reason) {
    return "RendererV2GPURaster: fallback=cpu reason=" + (reason.empty() ? std::string("dispatch failed") : reason);
}

}  // namespace zephrin
