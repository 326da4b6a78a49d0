// Micro-benchmarks of the Free Mode slab: the mesh at the default settings and at the full caps (with
// the memory cost under the latter), and the raster of a 1080p frame of four bent layers at the
// default settings (unlit: mesh building, preparation and the banded pixel pass, as paint runs them).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "renderer/geometry/free_mode_mesh.h"
#include "renderer/geometry/mesh_storage.h"
#include "renderer/raster/raster_band.h"
#include "renderer/raster/raster_prepare.h"
#include "renderer/runtime/worker_pool.h"
#include "sdk/AE_Effect.h"

namespace zephrin {
namespace {

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;
constexpr double kFocal = 1976.93;

// A gentle S with a little twist, as a user draws it in the Top View.
std::vector<BendControlPoint> wave() {
    std::vector<BendControlPoint> points(4);
    const double xs[4] = {0.0, 0.33, 0.67, 1.0};
    const double ys[4] = {0.0, 0.6, -0.6, 0.1};
    for (int i = 0; i < 4; ++i) {
        points[static_cast<size_t>(i)].x = xs[i];
        points[static_cast<size_t>(i)].y = ys[i];
        points[static_cast<size_t>(i)].twist = i == 2 ? 20.0 : 0.0;
    }
    return points;
}

// Default controls of a freshly applied effect: 160 x 8, thickness on.
BendControls defaultControls() {
    BendControls controls;
    controls.subdivisionX = 160;
    controls.subdivisionY = 8;
    controls.thickness = 1.0;
    return controls;
}

// One mesh per iteration, built as a frame builds it. In a sequence of frames the previous frame's
// mesh arrays come back for the next one; `firstFrame` empties that store before every build, as
// for the first frame after start-up. The memory it frees is taken again at once, so this does not
// see what a virtual machine whose balloon reports free memory to its host adds: memory that stood
// free for a few seconds (whole 2 MiB blocks, so huge pages above all) is first written again
// through the host's own page faults, several times the cost of the kernel's.
// How long freed memory stays free before the next build in the cold-start variant: past the 2 s after
// which a reporting balloon hands free blocks back to its host.
constexpr auto kColdStartPause = std::chrono::seconds(3);

// A 512 x 512 emblem: an opaque ring with a star cut out of its middle, on a transparent ground.
// Its outline gives the slab contour walls, vertices and triangles past the slab's own.
struct CutOutImage {
    static constexpr int32_t kSize = 512;
    std::vector<PF_Pixel8> pixels;

    CutOutImage() : pixels(static_cast<size_t>(kSize) * kSize, PF_Pixel8{0, 0, 0, 0}) {
        const double c = (kSize - 1) * 0.5;
        for (int32_t y = 0; y < kSize; ++y) {
            for (int32_t x = 0; x < kSize; ++x) {
                const double r = std::hypot(x - c, y - c), a = std::atan2(y - c, x - c);
                const double star = 90.0 + 40.0 * std::cos(5.0 * a);
                if (r <= 240.0 && r > star) pixels[static_cast<size_t>(y) * kSize + x] = PF_Pixel8{255, 200, 120, 40};
            }
        }
    }
    SurfaceTexture texture() const {
        SurfaceTexture t;
        t.worldType = AEGP_WorldType_8;
        t.width = t.height = kSize;
        t.rowBytes = static_cast<int32_t>(kSize * sizeof(PF_Pixel8));
        t.baseAddress = pixels.data();
        return t;
    }
};

void buildMesh(benchmark::State& state, const BendControls& controls, bool firstFrame = false, bool coldStart = false,
               const SurfaceTexture& frontTexture = SurfaceTexture{}) {
    const std::vector<BendControlPoint> points = wave();
    MeshPlacement placement;
    placement.width = 1000;
    placement.height = 500;
    size_t vertices = 0;
    releaseRecycledMeshStorage();
    for (auto _ : state) {
        if (firstFrame) {
            state.PauseTiming();
            releaseRecycledMeshStorage();
            if (coldStart) std::this_thread::sleep_for(kColdStartPause);
            state.ResumeTiming();
        }
        SceneSurface surface;
        surface.kind = kSurfaceBent;
        surface.controls = controls;
        surface.frontTexture = frontTexture;
        buildFreeModeMesh(surface, points, placement);
        vertices = surface.mesh.vertices.size();
        benchmark::DoNotOptimize(surface.mesh.vertices.data());
        recycleMeshStorage(surface.mesh);
    }
    releaseRecycledMeshStorage();
    state.counters["vertices"] = static_cast<double>(vertices);
}

void BM_FreeModeMeshDefault(benchmark::State& state) { buildMesh(state, defaultControls()); }
BENCHMARK(BM_FreeModeMeshDefault)->Unit(benchmark::kMillisecond);

BendControls fullCapControls() {
    BendControls controls = defaultControls();
    controls.subdivisionX = 640;
    controls.subdivisionY = 64;
    controls.tileCount = 10;
    controls.thickness = 120.0;
    return controls;
}

void BM_FreeModeMeshFullCaps(benchmark::State& state) { buildMesh(state, fullCapControls()); }
BENCHMARK(BM_FreeModeMeshFullCaps)->Unit(benchmark::kMillisecond);

void BM_FreeModeMeshFullCapsFirstFrame(benchmark::State& state) { buildMesh(state, fullCapControls(), true); }
BENCHMARK(BM_FreeModeMeshFullCapsFirstFrame)->Unit(benchmark::kMillisecond);

// A full-cap layer whose front image has cut-out edges: contour walls on top of the slab.
void BM_FreeModeMeshFullCapsCutOut(benchmark::State& state) {
    const CutOutImage image;
    BendControls controls = fullCapControls();
    controls.hasFrontLayer = true;
    buildMesh(state, controls, false, false, image.texture());
}
BENCHMARK(BM_FreeModeMeshFullCapsCutOut)->Unit(benchmark::kMillisecond);

void BM_FreeModeMeshFullCapsCutOutFirstFrame(benchmark::State& state) {
    const CutOutImage image;
    BendControls controls = fullCapControls();
    controls.hasFrontLayer = true;
    buildMesh(state, controls, true, false, image.texture());
}
BENCHMARK(BM_FreeModeMeshFullCapsCutOutFirstFrame)->Unit(benchmark::kMillisecond);

// The first frame with its memory left free a while before, as at start-up: a few iterations only,
// each waits kColdStartPause untimed.
void BM_ColdFreeModeMeshFullCaps(benchmark::State& state) { buildMesh(state, fullCapControls(), true, true); }
BENCHMARK(BM_ColdFreeModeMeshFullCaps)->Unit(benchmark::kMillisecond)->Iterations(3);

// What the full-cap mesh costs before any geometry: reserving, filling and freeing vertex and
// triangle arrays of its size. Fresh memory of this size is mostly page faults, so this is the floor
// under BM_FreeModeMeshFullCaps on the machine at hand.
void BM_FreeModeMeshFullCapsMemoryFloor(benchmark::State& state) {
    const size_t columns = (2 * kMaxTiles + 1) * kMaxSubdivisionX + 1, rows = kMaxSubdivisionY + 1;
    const size_t vertexCount = columns * rows * 2;
    const size_t triangleCount = (columns - 1) * (rows - 1) * 4 + (columns - 1 + rows - 1) * 4;
    for (auto _ : state) {
        SurfaceMesh mesh;
        mesh.vertices.reserve(vertexCount);
        mesh.triangles.reserve(triangleCount);
        SurfaceVertex vertex;
        for (size_t n = 0; n < vertexCount; ++n) {
            vertex.u = static_cast<double>(n);
            mesh.vertices.push_back(vertex);
        }
        for (size_t n = 0; n < triangleCount; ++n) {
            const int32_t index = static_cast<int32_t>(n);
            mesh.triangles.push_back(SurfaceTriangle{index, index, index, kFaceFront, 0});
        }
        benchmark::DoNotOptimize(mesh.vertices.data());
        benchmark::DoNotOptimize(mesh.triangles.data());
    }
}
BENCHMARK(BM_FreeModeMeshFullCapsMemoryFloor)->Unit(benchmark::kMillisecond);

// Four 1000 x 500 bent layers side by side in front of the camera, each placed by its own transform.
std::vector<SceneSurface> fourBentLayers() {
    std::vector<SceneSurface> surfaces;
    const std::vector<BendControlPoint> points = wave();
    for (int layer = 0; layer < 4; ++layer) {
        SceneSurface surface;
        surface.kind = kSurfaceBent;
        surface.controls = defaultControls();
        MeshPlacement placement;
        placement.width = 1000;
        placement.height = 500;
        const double angle = (layer - 1.5) * 0.3;
        const double scale = 0.8;
        LayerTransform& t = placement.layerToCamera;
        t.rotationScale[0][0] = std::cos(angle) * scale;
        t.rotationScale[0][2] = std::sin(angle) * scale;
        t.rotationScale[1][1] = scale;
        t.rotationScale[2][0] = -std::sin(angle) * scale;
        t.rotationScale[2][2] = std::cos(angle) * scale;
        t.translation = Vec3{(layer % 2 - 0.9) * 800.0, (layer / 2 - 0.9) * 450.0, kFocal + layer * 150.0};
        placement.layerToWorld = t;
        buildFreeModeMesh(surface, points, placement);
        surfaces.push_back(std::move(surface));
    }
    return surfaces;
}

void BM_FourBentLayersFrame(benchmark::State& state) {
    SceneCamera camera;
    camera.compWidth = camera.destWidth = kWidth;
    camera.compHeight = camera.destHeight = kHeight;
    camera.focal = kFocal;
    FrameBuffers buffers;
    buffers.rasterWidth = kWidth;
    buffers.rasterHeight = kHeight;
    const int32_t bandCount = rasterBandCount(kHeight);
    for (auto _ : state) {
        const std::vector<SceneSurface> surfaces = fourBentLayers();
        const size_t n = buffers.pixelCount();
        buffers.depth.assign(n, INFINITY);
        buffers.coverage.assign(n, 0);
        buffers.color.assign(n * 4, 0.0);
        buffers.surfaceIndex.assign(n, -1);
        buffers.triangleIndex.assign(n, -1);
        buffers.clipTriangle.assign(n, -1);
        buffers.preparedIndex.assign(n, -1);
        const std::vector<PreparedTriangle> prepared = prepareRaster(camera, surfaces, kWidth, kHeight);
        const RasterBands bands = binRasterBands(prepared, kHeight, bandCount);
        auto body = [&](uint32_t begin, uint32_t end) {
            for (uint32_t b = begin; b < end; ++b) {
                const int32_t band = static_cast<int32_t>(b);
                rasterBand(surfaces, prepared, bands.bands[b], rasterBandFirstRow(band, kHeight, bandCount),
                           rasterBandFirstRow(band + 1, kHeight, bandCount), buffers);
            }
        };
        parallelFor(static_cast<uint32_t>(bandCount), 1, body);
        benchmark::DoNotOptimize(buffers.depth.data());
    }
}
BENCHMARK(BM_FourBentLayersFrame)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zephrin
