// Whole-frame benchmark: renders reference scenes through the renderer plug-in in the stand-in host,
// repeats each frame, and prints the median of every stage the frame log reports, plus the peak
// memory of the process that rendered the scene.
//
// Usage: zephrin_frame_bench [repeats] [name part]   (default 15 repeats, every scene)
//        zephrin_frame_bench --write-scene NAME FILE  (writes a lit scene's file at 1920x1080, so that
//        its picture can be rendered and compared byte for byte before and after a change)
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "host/host_session.h"
#include "host/scene_file.h"
#include "light_scenes.h"

namespace {

namespace fs = std::filesystem;
using namespace zephrin;

struct BenchScene {
    std::string name;
    int32_t width, height, downsample;
};

// Eight flat textured 3D layers at different angles and depths, scaled to the composition size.
std::string eightLayerScene(int32_t width, int32_t height) {
    fs::path assets = fs::path(ZEPHRIN_SOURCE_DIR) / "examples" / "assets";
    double s = width / 1920.0;
    std::ostringstream json;
    json << R"({"format": "zephrin-scene", "version": 1, "composition": {"name": "Bench", "width": )" << width
         << R"(, "height": )" << height << R"(, "frameRate": 30, "duration": 1, "background": [0, 0, 0, 1]},
      "footage": {"card": {"file": ")"
         << (assets / "card.png").string() << R"("}, "emblem": {"file": ")" << (assets / "emblem.png").string()
         << R"("}, "tiles": {"file": ")" << (assets / "tiles.png").string() << R"("}},
      "layers": [{"name": "Camera", "type": "camera", "transform": {"position": [)"
         << 960 * s << ", " << 540 * s << ", " << -2000 * s << R"(], "pointOfInterest": [)" << 960 * s << ", "
         << 540 * s << R"(, 0]}, "camera": {"zoom": )" << 2000 * s << "}}";
    const char* sources[] = {"card", "emblem", "tiles"};
    for (int i = 0; i < 8; ++i) {
        json << R"(, {"name": "L)" << i << R"(", "type": "av", "source": ")" << sources[i % 3]
             << R"(", "threeD": true, "transform": {"position": [)" << (300 + (i % 4) * 440) * s << ", "
             << (300 + (i / 4) * 480) * s << ", " << (i * 60 - 200) * s << R"(], "scale": [)" << 180 * s << ", "
             << 180 * s << R"(, 100], "rotationY": )" << (i * 17 % 70 - 35) << R"(, "rotationX": )" << (i * 11 % 30 - 15)
             << "}}";
    }
    json << "]}";
    return json.str();
}

std::map<std::string, double> parseStages(const std::string& line, const std::string& marker) {
    std::map<std::string, double> stages;
    size_t open = line.find(marker);
    if (open == std::string::npos) return stages;
    size_t close = line.find(')', open);
    std::string inside = line.substr(open + marker.size(), close - open - marker.size());
    std::regex pair(R"(([A-Za-z]+):(-?[0-9.eE+-]+))");
    for (std::sregex_iterator it(inside.begin(), inside.end(), pair), end; it != end; ++it)
        stages[(*it)[1]] = std::stod((*it)[2]);
    return stages;
}

double median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

// Runs in a child process so that the peak memory belongs to this scene alone.
int benchScene(const BenchScene& scene, int repeats, const fs::path& dir) {
    fs::path sceneFile = dir / (scene.name + ".json");
    std::ofstream(sceneFile) << (bench::isLightBenchScene(scene.name)
                                     ? bench::lightBenchSceneJson(scene.name, scene.width, scene.height)
                                     : eightLayerScene(scene.width, scene.height));
    fs::path log = dir / (scene.name + ".log");
    ::setenv("SSR_RENDER_DEBUG", "1", 1);
    ::setenv("SSR_RENDER_DEBUG_LOG", log.c_str(), 1);

    host::Composition comp = host::loadSceneFile(sceneFile);
    auto pluginHost = host::openPluginHost(fs::path(ZEPHRIN_PLUGIN_DIR));
    host::FrameRequest request;
    request.downsampleX = request.downsampleY = static_cast<int16_t>(scene.downsample);
    for (int i = 0; i < repeats + 1; ++i) {
        host::FrameResult result = host::renderCompositionFrame(*pluginHost, comp, request);
        if (result.error != 0) {
            std::fprintf(stderr, "%s: frame failed with error %d\n", scene.name.c_str(), result.error);
            return 1;
        }
    }

    std::map<std::string, std::vector<double>> samples;
    std::ifstream in(log);
    int frameLine = 0;
    for (std::string line; std::getline(in, line);) {
        // The first frame warms caches and is left out.
        if (line.rfind("RendererV2Frame: surfaces=", 0) == 0 && frameLine++ > 0) {
            for (auto& [stage, ms] : parseStages(line, "ms=(")) samples[stage].push_back(ms);
        } else if (line.rfind("RendererV2RenderTotal: ", 0) == 0 && frameLine > 1) {
            for (auto& [stage, ms] : parseStages(line, "ms=(")) samples["frame." + stage].push_back(ms);
        }
    }
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("\n%s (%dx%d, downsample %d, %d repeats): median ms\n", scene.name.c_str(), scene.width, scene.height,
                scene.downsample, repeats);
    for (const char* stage : {"buffers", "shadowMaps", "raster", "rasterPrep", "geometry", "gpuShadow", "shade",
                              "shadowPost", "dof", "blend", "frame.setup", "frame.collect", "frame.paint",
                              "frame.dispose", "frame.total"}) {
        std::printf("  %-14s %9.3f\n", stage, median(samples[stage]));
    }
    std::printf("  peak memory    %6.1f MiB\n", usage.ru_maxrss / 1024.0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--write-scene") {
        const std::string json = argc > 3 ? bench::lightBenchSceneJson(argv[2], 1920, 1080) : std::string();
        if (json.empty()) {
            std::fprintf(stderr, "usage: zephrin_frame_bench --write-scene LIT_SCENE_NAME FILE\n");
            return 2;
        }
        std::ofstream out(argv[3]);
        out << json;
        return out ? 0 : 1;
    }
    int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    fs::path dir = fs::temp_directory_path() / ("zephrin_frame_bench_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::vector<BenchScene> scenes = {{"layers8_1080p", 1920, 1080, 1},
                                      {"layers8_1080p_downsample2", 1920, 1080, 2},
                                      {"layers8_4k", 3840, 2160, 1}};
    for (const std::string& name : bench::lightBenchSceneNames()) scenes.push_back({name, 1920, 1080, 1});
    int failures = 0;
    const std::string only = argc > 2 ? argv[2] : "";
    for (const BenchScene& scene : scenes) {
        if (scene.name.find(only) == std::string::npos) continue;
        std::fflush(stdout);
        pid_t child = ::fork();
        if (child == 0) {
            int code = 1;
            try {
                code = benchScene(scene, repeats, dir);
            } catch (const std::exception& error) {
                std::fprintf(stderr, "%s: %s\n", scene.name.c_str(), error.what());
            }
            std::fflush(stdout);
            ::_exit(code);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++failures;
    }
    fs::remove_all(dir);
    return failures == 0 ? 0 : 1;
}
