// OBJ models: parsing a 100 000-triangle file and a cache hit on an unchanged file.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "renderer/geometry/obj/obj_cache.h"
#include "renderer/geometry/obj/obj_parser.h"
#include "renderer/geometry/obj/obj_paths.h"

namespace {

// A wavy height field of n x n cells, two triangles each, with texcoords and normals as an exporter
// writes them.
std::string heightFieldObj(int n) {
    std::ostringstream out;
    out.precision(6);
    for (int i = 0; i <= n; ++i)
        for (int j = 0; j <= n; ++j)
            out << "v " << j * 0.01 << " " << 0.05 * std::sin(i * 0.1) * std::cos(j * 0.1) << " " << i * 0.01 << "\n";
    for (int i = 0; i <= n; ++i)
        for (int j = 0; j <= n; ++j)
            out << "vt " << static_cast<double>(j) / n << " " << static_cast<double>(i) / n << "\n";
    out << "vn 0 1 0\n";
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            const int a = i * (n + 1) + j + 1;
            const int b = a + 1, c = a + n + 2, d = a + n + 1;
            out << "f " << a << "/" << a << "/1 " << b << "/" << b << "/1 " << c << "/" << c << "/1\n";
            out << "f " << a << "/" << a << "/1 " << c << "/" << c << "/1 " << d << "/" << d << "/1\n";
        }
    }
    return out.str();
}

// 224 x 224 cells: 100 352 triangles.
constexpr int kCells = 224;

const std::string& modelText() {
    static const std::string text = heightFieldObj(kCells);
    return text;
}

std::wstring writeModel() {
    const std::filesystem::path file = std::filesystem::temp_directory_path() / "zephrin_obj_bench.obj";
    std::ofstream(file, std::ios::binary) << modelText();
    return zephrin::wideFromUtf8(file.string());
}

void BM_ObjParse100kTriangles(benchmark::State& state) {
    const std::string& text = modelText();
    size_t triangles = 0;
    for (auto _ : state) {
        auto g = zephrin::parseObjBytes(text);
        triangles = g->faces.size();
        benchmark::DoNotOptimize(g);
    }
    state.counters["triangles/s"] =
        benchmark::Counter(static_cast<double>(triangles), benchmark::Counter::kIsIterationInvariantRate);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ObjParse100kTriangles)->Unit(benchmark::kMillisecond);

void BM_ObjParse100kTrianglesFromFile(benchmark::State& state) {
    const std::wstring path = writeModel();
    size_t triangles = 0;
    for (auto _ : state) {
        auto g = zephrin::parseObj(path);
        triangles = g->faces.size();
        benchmark::DoNotOptimize(g);
    }
    state.counters["triangles/s"] =
        benchmark::Counter(static_cast<double>(triangles), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ObjParse100kTrianglesFromFile)->Unit(benchmark::kMillisecond);

void BM_ObjCacheHit(benchmark::State& state) {
    const std::wstring path = writeModel();
    zephrin::clearObjCache();
    bool hit = false;
    zephrin::loadObjCached(path, hit);
    for (auto _ : state) {
        auto g = zephrin::loadObjCached(path, hit);
        benchmark::DoNotOptimize(g);
    }
    if (!hit) state.SkipWithError("the cache missed");
    zephrin::clearObjCache();
}
BENCHMARK(BM_ObjCacheHit)->Unit(benchmark::kMicrosecond);

}  // namespace
