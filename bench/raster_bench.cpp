// Micro-benchmarks of the CPU rasterizer: preparation (clip, project, set-up), the band pixel pass
// with and without textures, and the frame's per-pixel arrays.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "renderer/post/blend.h"
#include "renderer/raster/raster_band.h"
#include "renderer/raster/raster_fragment.h"
#include "renderer/raster/raster_prepare.h"
#include "renderer/runtime/frame_buffers.h"
#include "renderer/texture/texture_sampling.h"
#include "sdk/AE_GeneralPlug.h"

namespace zephrin {
namespace {

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;

// Eight flat layers of 7x5 vertices (the flat grid), tilted and spread in depth, untextured.
std::vector<SceneSurface> makeSurfaces(SceneCamera& camera) {
    camera.compWidth = camera.destWidth = kWidth;
    camera.compHeight = camera.destHeight = kHeight;
    camera.focal = 1976.93;
    std::vector<SceneSurface> surfaces;
    for (int layer = 0; layer < 8; ++layer) {
        SceneSurface surface;
        double angle = (layer - 4) * 0.15;
        double width = 900, height = 600;
        for (int i = 0; i <= 4; ++i) {
            for (int j = 0; j <= 6; ++j) {
                SurfaceVertex v;
                double x = width * (j / 6.0 - 0.5), y = height * (i / 4.0 - 0.5);
                v.cameraPosition = {x * std::cos(angle) + (layer % 4 - 1.5) * 400, y + (layer / 4 - 0.5) * 500,
                                    1976.93 + x * std::sin(angle) + layer * 40};
                v.worldPosition = v.cameraPosition;
                v.u = j / 6.0;
                v.v = i / 4.0;
                surface.mesh.vertices.push_back(v);
            }
        }
        for (int i = 0; i < 4; ++i) {
            for (int j = 0; j < 6; ++j) {
                int a = i * 7 + j, b = a + 1, c = a + 7, d = c + 1;
                surface.mesh.triangles.push_back({a, b, c, kFaceFront, 0});
                surface.mesh.triangles.push_back({c, b, d, kFaceFront, 0});
            }
        }
        surfaces.push_back(std::move(surface));
    }
    return surfaces;
}

void BM_PrepareRaster(benchmark::State& state) {
    SceneCamera camera;
    std::vector<SceneSurface> surfaces = makeSurfaces(camera);
    for (auto _ : state) {
        std::vector<PreparedTriangle> prepared = prepareRaster(camera, surfaces, kWidth, kHeight);
        benchmark::DoNotOptimize(prepared.data());
    }
}
BENCHMARK(BM_PrepareRaster);

// An opaque 8-bit test card: smooth colour ramps, so that every bilinear lookup blends four texels.
struct TestCard {
    static constexpr int32_t kSize = 512;
    std::vector<PF_Pixel8> pixels;

    TestCard() : pixels(static_cast<size_t>(kSize) * kSize) {
        for (int32_t y = 0; y < kSize; ++y) {
            for (int32_t x = 0; x < kSize; ++x) {
                PF_Pixel8& p = pixels[static_cast<size_t>(y) * kSize + static_cast<size_t>(x)];
                p.alpha = 255;
                p.red = static_cast<A_u_char>(x / 2);
                p.green = static_cast<A_u_char>(y / 2);
                p.blue = static_cast<A_u_char>((x + y) / 4);
            }
        }
    }

    void attach(SceneSurface& surface) const {
        surface.frontTexture.worldType = AEGP_WorldType_8;
        surface.frontTexture.width = surface.frontTexture.height = kSize;
        surface.frontTexture.rowBytes = static_cast<int32_t>(kSize * sizeof(PF_Pixel8));
        surface.frontTexture.baseAddress = pixels.data();
        surface.controls.hasFrontLayer = true;
    }
};

// The eight layers prepared for the raster, optionally textured with the test card, and the 1080p
// arrays the raster writes.
struct RasterBenchScene {
    SceneCamera camera;
    TestCard card;  // outlives the surfaces that point into it
    std::vector<SceneSurface> surfaces;
    std::vector<PreparedTriangle> prepared;
    FrameBuffers buffers;

    explicit RasterBenchScene(bool textured) : surfaces(makeSurfaces(camera)) {
        if (textured) {
            for (SceneSurface& surface : surfaces) card.attach(surface);
        }
        prepared = prepareRaster(camera, surfaces, kWidth, kHeight);
        buffers.rasterWidth = kWidth;
        buffers.rasterHeight = kHeight;
    }
    RasterBenchScene(const RasterBenchScene&) = delete;
    RasterBenchScene& operator=(const RasterBenchScene&) = delete;

    // Fresh arrays as the tile path keeps them.
    void allocateBuffers() { allocateFrameBuffers(buffers, FrameBufferSet{true, true, false, false}); }
};

// One band over the whole raster, with the tile path's arrays freshly allocated (outside the timing).
void runRasterBand(benchmark::State& state, bool textured) {
    RasterBenchScene scene(textured);
    RasterBands bands = binRasterBands(scene.prepared, kHeight, 1);
    for (auto _ : state) {
        state.PauseTiming();
        scene.allocateBuffers();
        state.ResumeTiming();
        rasterBand(scene.surfaces, scene.prepared, bands.bands[0], 0, kHeight, scene.buffers);
        benchmark::DoNotOptimize(scene.buffers.depth.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(scene.buffers.pixelCount()));
}

void BM_RasterBand(benchmark::State& state) { runRasterBand(state, false); }
BENCHMARK(BM_RasterBand)->Unit(benchmark::kMillisecond);

void BM_RasterBandTextured(benchmark::State& state) { runRasterBand(state, true); }
BENCHMARK(BM_RasterBandTextured)->Unit(benchmark::kMillisecond);

// The textured layers' rows triangle by triangle, with the interior pixels taken by the loop the
// processor gets (four at a time where it has AVX2) or by the portable loop: the two side by side.
void runTriangleRows(benchmark::State& state, bool portable) {
    RasterBenchScene scene(true);
    for (auto _ : state) {
        state.PauseTiming();
        scene.allocateBuffers();
        WinnerIndices winners;
        bindWinnerIndices(scene.buffers, 0, kHeight, winners);
        const RasterTargets targets = rasterTargets(scene.buffers, winners);
        state.ResumeTiming();
        for (size_t i = 0; i < scene.prepared.size(); ++i) {
            const PreparedTriangle& triangle = scene.prepared[i];
            const SceneSurface& surface = scene.surfaces[static_cast<size_t>(triangle.surfaceIndex)];
            for (int32_t y = triangle.minY; y <= triangle.maxY; ++y) {
                if (portable) {
                    rasterizeTriangleRowPortable(surface, triangle, static_cast<int32_t>(i), y, targets);
                } else {
                    rasterizeTriangleRow(surface, triangle, static_cast<int32_t>(i), y, targets);
                }
            }
        }
        benchmark::DoNotOptimize(scene.buffers.depth.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(scene.buffers.pixelCount()));
}

void BM_TriangleRowsChosen(benchmark::State& state) { runTriangleRows(state, false); }
BENCHMARK(BM_TriangleRowsChosen)->Unit(benchmark::kMillisecond);

void BM_TriangleRowsPortable(benchmark::State& state) { runTriangleRows(state, true); }
BENCHMARK(BM_TriangleRowsPortable)->Unit(benchmark::kMillisecond);

constexpr PF_Pixel8 kFloorTexel{255, 204, 199, 189};

// What the lit frames give the raster: two bent, textured slabs cut into tall narrow columns (about
// 6 by 45 pixels each, most of their pixels edge pixels of narrow triangles), their back faces
// showing where the bend turns away, over a solid floor of larger triangles.
std::vector<SceneSurface> makeSlabSurfaces(SceneCamera& camera, const TestCard& card) {
    camera.compWidth = camera.destWidth = kWidth;
    camera.compHeight = camera.destHeight = kHeight;
    camera.focal = 1976.93;
    constexpr int32_t kColumns = 110, kRows = 12;
    constexpr double kThickness = 20.0;
    std::vector<SceneSurface> surfaces;
    for (int slab = 0; slab < 2; ++slab) {
        SceneSurface surface;
        surface.kind = kSurfaceBent;
        card.attach(surface);
        // Front then back vertices of a strip bent into an S along x.
        for (int side = 0; side < 2; ++side) {
            for (int i = 0; i <= kRows; ++i) {
                for (int j = 0; j <= kColumns; ++j) {
                    const double t = static_cast<double>(j) / kColumns;
                    const double bend = std::sin(t * 6.28318530718) * 250.0;
                    SurfaceVertex v;
                    v.cameraPosition = {(slab == 0 ? -720.0 : 80.0) + 640.0 * t, -300.0 + 600.0 * i / kRows,
                                        2200.0 + bend + side * kThickness + slab * 150.0};
                    v.worldPosition = v.cameraPosition;
                    v.cameraNormal = v.worldNormal = {0.0, 0.0, side == 0 ? -1.0 : 1.0};
                    v.u = t;
                    v.v = static_cast<double>(i) / kRows;
                    surface.mesh.vertices.push_back(v);
                }
            }
        }
        const int32_t sideOffset = (kRows + 1) * (kColumns + 1);
        for (int side = 0; side < 2; ++side) {
            for (int i = 0; i < kRows; ++i) {
                for (int j = 0; j < kColumns; ++j) {
                    const int32_t a = side * sideOffset + i * (kColumns + 1) + j, b = a + 1, c = a + kColumns + 1,
                                  d = c + 1;
                    const int32_t face = side == 0 ? kFaceFront : kFaceBack;
                    surface.mesh.triangles.push_back({a, b, c, face, 0});
                    surface.mesh.triangles.push_back({c, b, d, face, 0});
                }
            }
        }
        surfaces.push_back(std::move(surface));
    }
    // The floor: a plain grid of larger triangles below and behind the slabs, in one solid colour.
    SceneSurface floor;
    floor.frontTexture.worldType = AEGP_WorldType_8;
    floor.frontTexture.width = floor.frontTexture.height = 1;
    floor.frontTexture.rowBytes = static_cast<int32_t>(sizeof(PF_Pixel8));
    floor.frontTexture.baseAddress = &kFloorTexel;
    floor.controls.hasFrontLayer = true;
    noteUniformTexels(floor.frontTexture);
    for (int i = 0; i <= 8; ++i) {
        for (int j = 0; j <= 20; ++j) {
            SurfaceVertex v;
            v.cameraPosition = {-1400.0 + 140.0 * j, 300.0, 1900.0 + 150.0 * i};
            v.worldPosition = v.cameraPosition;
            v.cameraNormal = v.worldNormal = {0.0, -1.0, 0.0};
            v.u = j / 20.0;
            v.v = i / 8.0;
            floor.mesh.vertices.push_back(v);
        }
    }
    for (int i = 0; i < 8; ++i) {
        for (int j = 0; j < 20; ++j) {
            const int32_t a = i * 21 + j, b = a + 1, c = a + 21, d = c + 1;
            floor.mesh.triangles.push_back({a, b, c, kFaceFront, 0});
            floor.mesh.triangles.push_back({c, b, d, kFaceFront, 0});
        }
    }
    surfaces.push_back(std::move(floor));
    return surfaces;
}

void BM_RasterBandLitSlabs(benchmark::State& state) {
    SceneCamera camera;
    TestCard card;
    const std::vector<SceneSurface> surfaces = makeSlabSurfaces(camera, card);
    const std::vector<PreparedTriangle> prepared = prepareRaster(camera, surfaces, kWidth, kHeight);
    const RasterBands bands = binRasterBands(prepared, kHeight, 1);
    FrameBuffers buffers;
    buffers.rasterWidth = kWidth;
    buffers.rasterHeight = kHeight;
    for (auto _ : state) {
        state.PauseTiming();
        allocateFrameBuffers(buffers, FrameBufferSet{true, true, false, false});
        state.ResumeTiming();
        rasterBand(surfaces, prepared, bands.bands[0], 0, kHeight, buffers);
        benchmark::DoNotOptimize(buffers.depth.data());
    }
    state.counters["triangles"] = static_cast<double>(prepared.size());
}
BENCHMARK(BM_RasterBandLitSlabs)->Unit(benchmark::kMillisecond);

// A 1080p raster of partly covered, partly transparent colours over an 8-bit destination, one row
// at a time as the blend takes a raster of the destination's size, the wide way and the portable one.
void runBlendRows8(benchmark::State& state, bool wide) {
    std::vector<double> colour(4 * static_cast<size_t>(kWidth) * kHeight, 0.0);
    for (size_t p = 0; p < colour.size() / 4; ++p) {
        if (p % 5 == 0) continue;  // uncovered
        colour[4 * p] = static_cast<double>(p % 255) / 255.0;
        colour[4 * p + 1] = 0.5;
        colour[4 * p + 2] = 0.25;
        colour[4 * p + 3] = p % 3 == 0 ? 0.5 : 1.0;
    }
    std::vector<PF_Pixel8> destination(static_cast<size_t>(kWidth) * kHeight, PF_Pixel8{255, 10, 20, 30});
    for (auto _ : state) {
        for (int32_t y = 0; y < kHeight; ++y) {
            PF_Pixel8* row = destination.data() + static_cast<size_t>(y) * kWidth;
            const double* c = colour.data() + 4 * static_cast<size_t>(y) * kWidth;
            if (wide) {
                blendRow8Wide(row, c, kWidth);
            } else {
                blendRow8Portable(row, c, kWidth);
            }
        }
        benchmark::DoNotOptimize(destination.data());
    }
}

void BM_BlendRows8Wide(benchmark::State& state) {
    if (!wideBlend()) {
        state.SkipWithError("no AVX2 on this processor");
        return;
    }
    runBlendRows8(state, true);
}
BENCHMARK(BM_BlendRows8Wide)->Unit(benchmark::kMillisecond);

void BM_BlendRows8Portable(benchmark::State& state) { runBlendRows8(state, false); }
BENCHMARK(BM_BlendRows8Portable)->Unit(benchmark::kMillisecond);

// Sizing and filling the tile path's per-pixel arrays for one 1080p frame.
void BM_AllocateFrameBuffers(benchmark::State& state) {
    for (auto _ : state) {
        FrameBuffers buffers;
        buffers.rasterWidth = kWidth;
        buffers.rasterHeight = kHeight;
        allocateFrameBuffers(buffers, FrameBufferSet{true, true, false, false});
        benchmark::DoNotOptimize(buffers.color.data());
    }
}
BENCHMARK(BM_AllocateFrameBuffers)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zephrin
