// Scenes for the GPU pass tests: seeded random opaque meshes on screen, seen through an identity
// camera whose comp size is the raster size, and the CPU band raster they are held against.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "renderer/raster/raster_band.h"
#include "renderer/raster/raster_prepare.h"
#include "renderer/runtime/frame_buffers.h"
#include "renderer/scene/frame_scene.h"

namespace zephrin::gputest {

constexpr double kFocal = 100.0;

inline SceneCamera screenCamera(int32_t width, int32_t height) {
    SceneCamera camera;
    camera.compWidth = camera.destWidth = width;
    camera.compHeight = camera.destHeight = height;
    camera.focal = kFocal;
    return camera;
}

// A vertex that projects to raster point (sx, sy) at view depth z; world and camera space agree.
inline SurfaceVertex screenVertex(const SceneCamera& camera, double sx, double sy, double z, double u = 0.0,
                                  double v = 0.0) {
    SurfaceVertex vertex;
    vertex.cameraPosition = vertex.worldPosition =
        Vec3{(sx - camera.compWidth * 0.5) * z / kFocal, (sy - camera.compHeight * 0.5) * z / kFocal, z};
    vertex.cameraNormal = vertex.worldNormal = Vec3{0.0, 0.0, -1.0};
    vertex.u = u;
    vertex.v = v;
    return vertex;
}

// A grid of cells over a random rectangle of the raster, corners jittered and at depths that tilt
// across it, each cell split along a random diagonal: shared edges everywhere, and surfaces that
// cross one another in depth.
inline SceneSurface randomGridSurface(std::mt19937_64& rng, const SceneCamera& camera, int32_t faceCode) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double w = camera.compWidth, h = camera.compHeight;
    const double x0 = w * 0.4 * unit(rng) - 3.0, x1 = w * (0.6 + 0.4 * unit(rng)) + 3.0;
    const double y0 = h * 0.4 * unit(rng) - 3.0, y1 = h * (0.6 + 0.4 * unit(rng)) + 3.0;
    const double zBase = 150.0 + 100.0 * unit(rng), zTiltX = 60.0 * (unit(rng) - 0.5),
                 zTiltY = 60.0 * (unit(rng) - 0.5);
    const int columns = 2 + static_cast<int>(unit(rng) * 6.0), rows = 2 + static_cast<int>(unit(rng) * 6.0);
    SceneSurface surface;
    surface.kind = kSurfaceBent;
    for (int j = 0; j <= rows; ++j) {
        for (int i = 0; i <= columns; ++i) {
            double fx = static_cast<double>(i) / columns, fy = static_cast<double>(j) / rows;
            if (i > 0 && i < columns) fx += (unit(rng) - 0.5) * 0.3 / columns;
            if (j > 0 && j < rows) fy += (unit(rng) - 0.5) * 0.3 / rows;
            const double z = zBase + zTiltX * (fx - 0.5) + zTiltY * (fy - 0.5);
            surface.mesh.vertices.push_back(screenVertex(camera, x0 + (x1 - x0) * fx, y0 + (y1 - y0) * fy, z, fx, fy));
        }
    }
    auto corner = [columns](int i, int j) { return j * (columns + 1) + i; };
    for (int j = 0; j < rows; ++j) {
        for (int i = 0; i < columns; ++i) {
            const int a = corner(i, j), b = corner(i + 1, j), c = corner(i + 1, j + 1), d = corner(i, j + 1);
            if (unit(rng) < 0.5) {
                surface.mesh.triangles.push_back(SurfaceTriangle{a, b, c, faceCode, 0});
                surface.mesh.triangles.push_back(SurfaceTriangle{a, c, d, faceCode, 0});
            } else {
                surface.mesh.triangles.push_back(SurfaceTriangle{a, b, d, faceCode, 0});
                surface.mesh.triangles.push_back(SurfaceTriangle{b, c, d, faceCode, 0});
            }
        }
    }
    surface.controls.frontColor = packColor(255, static_cast<uint8_t>(rng() & 0xff), 128, 40);
    surface.controls.backColor = packColor(255, 30, static_cast<uint8_t>(rng() & 0xff), 200);
    return surface;
}

// The frame's per-pixel buffers for the tile path, empty as before a raster.
inline FrameBuffers freshBuffers(int32_t width, int32_t height, bool visiblePixels) {
    FrameBuffers buffers;
    buffers.rasterWidth = width;
    buffers.rasterHeight = height;
    allocateFrameBuffers(buffers, FrameBufferSet{true, true, visiblePixels, false});
    return buffers;
}

// The CPU band raster over the prepared triangles, as the tile path runs it.
inline void bandRaster(const std::vector<SceneSurface>& surfaces, const std::vector<PreparedTriangle>& prepared,
                       FrameBuffers& buffers, int32_t bandCount = 3) {
    const RasterBands bands = binRasterBands(prepared, buffers.rasterHeight, bandCount);
    for (int32_t b = 0; b < bandCount; ++b) {
        rasterBand(surfaces, prepared, bands.bands[static_cast<size_t>(b)],
                   rasterBandFirstRow(b, buffers.rasterHeight, bandCount),
                   rasterBandFirstRow(b + 1, buffers.rasterHeight, bandCount), buffers);
    }
}

}  // namespace zephrin::gputest
