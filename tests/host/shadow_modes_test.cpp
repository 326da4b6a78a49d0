// The shadow modes end to end: the receiving surface's "Shadow Mode" decides how its shadow is made, and
// the map modes shadow the same pixels ray tracing does, also when the light stands far from small
// casters. Rendered through both real plug-ins in the stand-in host.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/host_session.h"
#include "host/scene_file.h"

namespace zephrin::host {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const fs::path kPluginDir = ZEPHRIN_PLUGIN_DIR;
const fs::path kExamples = fs::path(ZEPHRIN_SOURCE_DIR) / "examples";

struct ScratchDir {
    fs::path path;
    ScratchDir() : path(fs::temp_directory_path() / ("zephrin-shadow-modes-" + std::to_string(getpid()))) {
        fs::create_directories(path);
    }
    ~ScratchDir() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

// Luminance of every pixel of an 8-bit frame, row-major.
struct Luma {
    int32_t width = 0, height = 0;
    std::vector<double> values;
    double at(int32_t x, int32_t y) const { return values[static_cast<size_t>(y) * width + x]; }
};

Luma renderLuma(const json& scene, const fs::path& dir, const std::string& name) {
    const fs::path file = dir / name;
    std::ofstream(file) << scene.dump(1);
    if (fs::exists(kExamples / "assets") && !fs::exists(dir / "assets")) {
        fs::copy(kExamples / "assets", dir / "assets", fs::copy_options::recursive);
    }
    PluginHostPtr host = openPluginHost(kPluginDir);
    const Composition comp = loadSceneFile(file);
    const FrameResult result = renderCompositionFrame(*host, comp, FrameRequest{});
    EXPECT_EQ(result.error, 0) << name;
    Luma luma;
    luma.width = result.image.width;
    luma.height = result.image.height;
    for (int32_t y = 0; y < luma.height; ++y) {
        const uint8_t* row = result.image.bytes.data() + static_cast<size_t>(y) * result.image.rowBytes;
        for (int32_t x = 0; x < luma.width; ++x) {
            const uint8_t* p = row + 4 * static_cast<size_t>(x);  // alpha, red, green, blue
            luma.values.push_back(0.2126 * p[1] + 0.7152 * p[2] + 0.0722 * p[3]);
        }
    }
    return luma;
}

// Pixels clearly darker than in the same frame rendered without the caster's shadow.
std::vector<bool> shadowMask(const Luma& shadowed, const Luma& unshadowed) {
    std::vector<bool> mask(shadowed.values.size(), false);
    for (size_t i = 0; i < mask.size(); ++i) mask[i] = shadowed.values[i] < 0.8 * unshadowed.values[i];
    return mask;
}

size_t countOf(const std::vector<bool>& mask) { return static_cast<size_t>(std::count(mask.begin(), mask.end(), true)); }

// Pixels of `mask` with no pixel of `other` within `radius` pixels.
size_t unmatched(const std::vector<bool>& mask, const std::vector<bool>& other, int32_t width, int32_t height,
                 int32_t radius) {
    size_t count = 0;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            if (!mask[static_cast<size_t>(y) * width + x]) continue;
            bool found = false;
            for (int32_t dy = -radius; dy <= radius && !found; ++dy) {
                for (int32_t dx = -radius; dx <= radius && !found; ++dx) {
                    const int32_t qx = x + dx, qy = y + dy;
                    found = qx >= 0 && qy >= 0 && qx < width && qy < height &&
                            other[static_cast<size_t>(qy) * width + qx];
                }
            }
            if (!found) ++count;
        }
    }
    return count;
}

// A 30 px card 20 px in front of a wall that receives its shadow, lit by a hard spot light that
// stands some 600 px away: far more than four times the casters' size.
json farSpotScene(const std::string& shadowMode, bool casterCasts) {
    return json::parse(R"({
      "format": "zephrin-scene", "version": 1,
      "composition": {"name": "far spot", "width": 320, "height": 240, "frameRate": 24, "duration": 1,
                      "background": [0, 0, 0, 1]},
      "footage": {"chip": {"solid": {"color": [0.9, 0.2, 0.2], "width": 30, "height": 30}},
                  "wall": {"solid": {"color": [0.8, 0.8, 0.8], "width": 400, "height": 300}}},
      "layers": [
        {"name": "Camera", "type": "camera",
         "transform": {"position": [160, 120, -700], "pointOfInterest": [160, 120, 0]},
         "camera": {"zoom": 700}},
        {"name": "Spot", "type": "light",
         "light": {"lightType": "spot", "intensity": 4, "coneAngle": 40, "coneFeather": 0, "falloff": "none",
                   "castsShadows": true, "shadowDarkness": 100, "shadowDiffusion": 0},
         "transform": {"position": [-200, 60, -480], "pointOfInterest": [160, 120, 0]}},
        {"name": "Chip", "type": "av", "source": "chip", "threeD": true,
         "transform": {"position": [140, 110, 0]}, "material": {"castsShadows": "on"}},
        {"name": "Wall", "type": "av", "source": "wall", "threeD": true,
         "transform": {"position": [160, 120, 20]},
         "effects": [{"matchName": "com.tavik.ZephrinSurface",
                      "params": {"Thickness": 0, "Shadow Softness": 0}}]}
      ]})")
        .patch(json::array(
            {{{"op", "add"}, {"path", "/layers/3/effects/0/params/Shadow Mode"}, {"value", shadowMode}},
             {{"op", "replace"}, {"path", "/layers/2/material/castsShadows"}, {"value", casterCasts ? "on" : "off"}}}));
}

TEST(ShadowModes, MapShadowsOfAFarSpotLightFallWhereRaysDo) {
    ScratchDir dir;
    const Luma lit = renderLuma(farSpotScene("Ray Trace", false), dir.path, "lit.json");
    const Luma rays = renderLuma(farSpotScene("Ray Trace", true), dir.path, "rays.json");
    const Luma map = renderLuma(farSpotScene("Map Fast", true), dir.path, "map.json");
    const std::vector<bool> rayShadow = shadowMask(rays, lit);
    const std::vector<bool> mapShadow = shadowMask(map, lit);

    // The chip's shadow is hundreds of pixels in both; before the map's far plane reached the casters,
    // Map Fast had none at all.
    ASSERT_GT(countOf(rayShadow), 300u);
    ASSERT_GT(countOf(mapShadow), 300u);
    // Same pixels, up to the map's texels: a map texel covers under two pixels of the wall here.
    const int32_t footprint = 3;
    EXPECT_EQ(unmatched(rayShadow, mapShadow, lit.width, lit.height, footprint), 0u);
    EXPECT_EQ(unmatched(mapShadow, rayShadow, lit.width, lit.height, footprint), 0u);
}

// The bundled example puts one receiver per mode side by side under one light. Rendering it once more
// with every receiver on "Ray Trace" shows which of them the mode changed.
TEST(ShadowModes, ExampleShowsEachModeOnItsOwnReceiver) {
    ScratchDir dir;
    json scene = json::parse(std::ifstream(kExamples / "shadow_modes.json"));
    const Luma asBundled = renderLuma(scene, dir.path, "bundled.json");
    std::vector<std::string> modes;
    for (json& layer : scene["layers"]) {
        if (!layer.contains("effects")) continue;
        json& params = layer["effects"][0]["params"];
        modes.push_back(params["Shadow Mode"].get<std::string>());
        params["Shadow Mode"] = "Ray Trace";
    }
    ASSERT_EQ(modes, (std::vector<std::string>{"Auto", "Map Fast", "Ray Trace", "Hybrid"}));
    const Luma allRays = renderLuma(scene, dir.path, "all-rays.json");

    // The receivers stand in four columns of equal width, left to right in the order above.
    std::vector<double> change(modes.size(), 0.0);
    for (int32_t y = 0; y < asBundled.height; ++y) {
        for (int32_t x = 0; x < asBundled.width; ++x) {
            const size_t column = static_cast<size_t>(x) * modes.size() / static_cast<size_t>(asBundled.width);
            change[column] += std::abs(asBundled.at(x, y) - allRays.at(x, y));
        }
    }
    // "Auto" traces rays as "Ray Trace" does; the map modes make a shadow of their own. (The ray-traced
    // receivers move by a hair: the soft-shadow filter blends across the coplanar receivers beside them.)
    const double rayChange = std::max(change[0], change[2]);
    EXPECT_GT(change[1], 20.0 * rayChange) << change[0] << " " << change[1] << " " << change[2] << " " << change[3];
    EXPECT_GT(change[3], 20.0 * rayChange) << change[0] << " " << change[1] << " " << change[2] << " " << change[3];
}

}  // namespace
}  // namespace zephrin::host
