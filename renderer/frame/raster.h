// CPU rasterizer: near-plane clipping, projection, triangle set-up, band binning and the per-band
// pixel pass with four- or seven-sample coverage and centroid sampling.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "renderer/frame/frame_buffers.h"
#include "renderer/scene/frame_scene.h"

namespace zephrin {

// Every attribute of a mesh vertex plus its raster position and 1/z.
struct ProjectedVertex {
    SurfaceVertex vertex;
    double screenX = 0.0, screenY = 0.0;
    double inverseZ = 0.0;
};

struct PreparedTriangle {
    ProjectedVertex vertices[3];
    double area = 0.0;  // (y1 - y0)(x2 - x0) - (y2 - y0)(x1 - x0)
    Vec3 faceNormal{0.0, 0.0, -1.0};
    bool frontFacing = true;
    bool sevenSampleCoverage = false;
    int32_t surfaceIndex = 0;
    int32_t triangleIndex = 0;
    int32_t clipTriangle = 0;  // position in the near-plane fan (0 or 1)
    int32_t minX = 0, maxX = 0, minY = 0, maxY = 0;  // inclusive, clamped to the raster
};

// Prepared indices per band of rows, each list ascending.
struct RasterBands {
    std::vector<std::vector<int32_t>> bands;
};

// Up to four clipped corners.
struct ClippedPolygon {
    SurfaceVertex corners[4];
    int32_t count = 0;
};

// The raster camera: the scene camera with destWidth/destHeight replaced by the raster size.
std::optional<ProjectedVertex> projectVertex(const SceneCamera& camera, const SurfaceVertex& vertex);
ClippedPolygon clipToNearPlane(const SurfaceVertex& a, const SurfaceVertex& b, const SurfaceVertex& c);

std::vector<PreparedTriangle> prepareRaster(const SceneCamera& camera, const std::vector<SceneSurface>& surfaces,
                                            int32_t rasterWidth, int32_t rasterHeight);

int32_t rasterBandCount(int32_t rasterHeight);
RasterBands binRasterBands(const std::vector<PreparedTriangle>& prepared, int32_t rasterHeight, int32_t bandCount);

// Pixel pass over rows firstRow .. endRow-1 for the prepared indices of one band. Writes
// VisiblePixel records only when buffers.visiblePixels is allocated.
void rasterBand(const std::vector<SceneSurface>& surfaces, const std::vector<PreparedTriangle>& prepared,
                const std::vector<int32_t>& bandList, int32_t firstRow, int32_t endRow, FrameBuffers& buffers);

// The same-surface depth rule: true when the new fragment (depth z, face code f) replaces the stored
// one (depth zStored, face code fStored, alpha alphaStored).
bool sameSurfaceReplaces(double z, int32_t f, double zStored, int32_t fStored, double alphaStored);

}  // namespace zephrin
