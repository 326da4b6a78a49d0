// GPU benchmark: one lit frame (a floor under four rippled sheets, about 100 000 triangles, a spot
// light with soft shadows and a parallel light with hard ones) painted with "GPU Acceleration" off
// and on. Prints the median paint total and frame stages of each, every GPU pass's own times
// (prepare, convert, upload, dispatch, readback), and how far the two frames differ.
//
// Usage: zephrin_gpu_bench [repeats] [width height]   (default 3 repeats at 3840 x 2160)
// On a software device (ZEPHRIN_GPU_ALLOW_SOFTWARE=1, Mesa's lavapipe) the numbers only show that
// the passes run and agree; pick a small size there.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "common/monotonic_clock.h"
#include "host_fixture.h"
#include "renderer/frame/frame_renderer.h"
#include "renderer/gpu/gpu_context.h"

namespace {

namespace fs = std::filesystem;
using namespace zephrin;

constexpr int32_t kGrid = 112;  // quads per side: 5 sheets x 2 x 112^2 = 125 440 triangles

// A sheet of kGrid x kGrid quads centred at (cx, cy), at depth z plus a ripple of `amplitude`.
SceneSurface rippledSheet(double cx, double cy, double z, double half, double amplitude, bool caster) {
    SceneSurface s;
    s.kind = kSurfaceBent;
    s.castsShadows = caster;
    s.controls.frontColor = packColor(255, 210, 190, 170);
    for (int32_t j = 0; j <= kGrid; ++j) {
        for (int32_t i = 0; i <= kGrid; ++i) {
            const double u = static_cast<double>(i) / kGrid, v = static_cast<double>(j) / kGrid;
            SurfaceVertex vertex;
            const double x = cx + (2.0 * u - 1.0) * half, y = cy + (2.0 * v - 1.0) * half;
            const double depth = z + amplitude * std::sin(6.0 * u) * std::cos(5.0 * v);
            vertex.worldPosition = vertex.cameraPosition = vertex.objectPosition = Vec3{x, y, depth};
            vertex.worldNormal = vertex.cameraNormal = Vec3{0.0, 0.0, -1.0};
            vertex.u = u;
            vertex.v = v;
            s.mesh.vertices.push_back(vertex);
        }
    }
    for (int32_t j = 0; j < kGrid; ++j) {
        for (int32_t i = 0; i < kGrid; ++i) {
            const int32_t a = j * (kGrid + 1) + i, b = a + 1, c = a + kGrid + 2, d = a + kGrid + 1;
            s.mesh.triangles.push_back(SurfaceTriangle{a, c, b, kFaceFront, 0});
            s.mesh.triangles.push_back(SurfaceTriangle{a, d, c, kFaceFront, 0});
        }
    }
    return s;
}

FrameScene benchScene(int32_t width, int32_t height, bool gpu) {
    FrameScene scene;
    scene.camera.compWidth = scene.camera.destWidth = width;
    scene.camera.compHeight = scene.camera.destHeight = height;
    scene.camera.focal = width * 0.52;
    scene.camera.view = identityMatrix();
    const double unit = width / 3840.0 * 1000.0;
    scene.surfaces.push_back(rippledSheet(0.0, 0.0, 2.0 * unit, 2.6 * unit, 0.0, false));
    const double spots[4][2] = {{-0.9, -0.5}, {0.9, -0.5}, {-0.9, 0.5}, {0.9, 0.5}};
    for (const auto& spot : spots) {
        scene.surfaces.push_back(rippledSheet(spot[0] * unit, spot[1] * unit, 1.6 * unit, 0.35 * unit, 0.05 * unit, true));
    }
    for (SceneSurface& s : scene.surfaces) s.controls.gpuAcceleration = gpu;
    SceneLight spot;
    spot.type = kLightSpot;
    spot.positionWorld = spot.positionCamera = Vec3{0.3 * unit, -1.2 * unit, 0.0};
    spot.directionWorld = spot.directionCamera = normalizeOr(Vec3{-0.3, 1.2, 2.0}, Vec3{});
    spot.intensity = 1.2;
    spot.coneAngle = 150.0;
    spot.castsShadows = true;
    spot.shadowDiffusion = 20.0;
    scene.lights.push_back(spot);
    SceneLight sun;
    sun.type = kLightParallel;
    sun.intensity = 0.5;
    sun.directionWorld = sun.directionCamera = normalizeOr(Vec3{0.4, 0.3, 1.0}, Vec3{});
    sun.castsShadows = true;
    scene.lights.push_back(sun);
    return scene;
}

std::map<std::string, double> stagesOf(const std::string& line) {
    std::map<std::string, double> stages;
    const size_t open = line.find("ms=(");
    if (open == std::string::npos) return stages;
    const std::string inside = line.substr(open + 4, line.find(')', open) - open - 4);
    const std::regex pair(R"(([A-Za-z]+):(-?[0-9.eE+-]+))");
    for (std::sregex_iterator it(inside.begin(), inside.end(), pair), end; it != end; ++it) {
        stages[(*it)[1]] = std::stod((*it)[2]);
    }
    return stages;
}

double median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

struct Samples {
    std::map<std::string, std::vector<double>> ms;
    std::vector<std::string> gpuLines;  // the first frame's GPU lines
    std::vector<float> pixels;          // the last frame
};

Samples paintRepeatedly(const FrameScene& scene, int32_t width, int32_t height, int repeats, const fs::path& log) {
    Samples samples;
    for (int i = 0; i <= repeats; ++i) {
        fs::remove(log);
        testhost::TestHost host;
        AEGP_WorldH world = host.addWorld(AEGP_WorldType_32, width, height, 0);
        const PR_InData in = host.inData();
        const int64_t start = nowNanoseconds();
        paint(&in, world, scene);
        const double total = millisecondsBetween(start, nowNanoseconds());
        std::ifstream lines(log);
        // The first frame compiles shaders and uploads the scene; it is left out of the medians.
        const bool counted = i > 0;
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind("RendererV2Frame:", 0) == 0 && counted) {
                for (auto& [stage, ms] : stagesOf(line)) samples.ms["frame." + stage].push_back(ms);
            } else if (line.rfind("RendererV2GPU", 0) == 0) {
                if (i == 1) samples.gpuLines.push_back(line);
                const std::string pass = line.substr(0, line.find(':'));
                if (counted) {
                    for (auto& [stage, ms] : stagesOf(line)) samples.ms[pass + "." + stage].push_back(ms);
                }
            }
        }
        if (counted) {
            samples.ms["paint"].push_back(total);
            const GpuContext& context = gpuContext();
            for (int32_t kind = 0; kind < kGpuPipelineCount; ++kind) {
                const GpuRunInfo& run = context.lastRuns[static_cast<size_t>(kind)];
                const std::string pass = std::string("pass") + std::to_string(kind);
                samples.ms[pass + ".upload"].push_back(run.uploadMs);
                samples.ms[pass + ".dispatch"].push_back(run.dispatchMs);
                samples.ms[pass + ".readback"].push_back(run.readbackMs);
            }
        }
        const host::HostWorld& pixels = host.world(world);
        samples.pixels.assign(reinterpret_cast<const float*>(pixels.bytes.data()),
                              reinterpret_cast<const float*>(pixels.bytes.data() + pixels.bytes.size()));
    }
    return samples;
}

}  // namespace

int main(int argc, char** argv) {
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const int32_t width = argc > 3 ? std::max(16, std::atoi(argv[2])) : 3840;
    const int32_t height = argc > 3 ? std::max(16, std::atoi(argv[3])) : 2160;
    const fs::path log = fs::temp_directory_path() / ("zephrin_gpu_bench_" + std::to_string(::getpid()) + ".log");
    ::setenv("SSR_RENDER_DEBUG", "1", 1);
    ::setenv("SSR_RENDER_DEBUG_LOG", log.c_str(), 1);

    const FrameScene cpuScene = benchScene(width, height, false);
    size_t triangles = 0;
    for (const SceneSurface& s : cpuScene.surfaces) triangles += s.mesh.triangles.size();
    std::printf("GPU bench: %dx%d, %zu triangles, %zu lights, %d repeats (median ms)\n", width, height, triangles,
                cpuScene.lights.size(), repeats);
    const Samples cpu = paintRepeatedly(cpuScene, width, height, repeats, log);
    const Samples gpu = paintRepeatedly(benchScene(width, height, true), width, height, repeats, log);
    fs::remove(log);

    std::printf("  %-24s %10s %10s\n", "", "GPU off", "GPU on");
    for (const char* stage : {"paint", "frame.raster", "frame.geometry", "frame.gpuShadow", "frame.shade",
                              "frame.shadowPost"}) {
        std::printf("  %-24s %10.2f %10.2f\n", stage, median(cpu.ms.at(stage)), median(gpu.ms.at(stage)));
    }
    const GpuContext& context = gpuContext();
    std::printf("adapter: %s\n", context.ready ? context.adapterName.c_str() : context.failureReason.c_str());
    for (const std::string& line : gpu.gpuLines) std::printf("  %s\n", line.c_str());
    const char* passNames[kGpuPipelineCount] = {"shadow queries", "raster", "lighting"};
    for (int32_t kind = 0; kind < kGpuPipelineCount; ++kind) {
        const std::string pass = std::string("pass") + std::to_string(kind);
        std::printf("  %-16s upload %9.2f  dispatch %9.2f  readback %9.2f\n", passNames[kind],
                    median(gpu.ms.at(pass + ".upload")), median(gpu.ms.at(pass + ".dispatch")),
                    median(gpu.ms.at(pass + ".readback")));
    }
    for (const auto& [stage, values] : gpu.ms) {
        if (stage.rfind("RendererV2GPU", 0) == 0) std::printf("  %-34s %10.2f\n", stage.c_str(), median(values));
    }
    float worst = 0.0f;
    for (size_t i = 0; i < std::min(cpu.pixels.size(), gpu.pixels.size()); ++i) {
        worst = std::max(worst, std::fabs(cpu.pixels[i] - gpu.pixels[i]));
    }
    std::printf("largest channel difference GPU on/off: %g (%s)\n", worst, worst <= 1.0f / 255.0f ? "same" : "DIFFERS");
    return worst <= 1.0f / 255.0f ? 0 : 1;
}
