// Lit reference scenes of the whole-frame benchmark: two bent layers over a floor under one
// shadow-casting spot light, in four variants (hard shadows, soft shadows, shadow maps, depth of
// field).
#include "light_scenes.h"

#include <filesystem>
#include <sstream>

namespace zephrin::bench {
namespace {

namespace fs = std::filesystem;

struct Variant {
    const char* name;
    double diffusion;
    const char* shadowMode;
    bool depthOfField;
};

constexpr Variant kVariants[] = {
    {"lit_hard_1080p", 0.0, "Ray Trace", false},
    {"lit_soft_1080p", 20.0, "Ray Trace", false},
    {"lit_mapfast_1080p", 0.0, "Map Fast", false},
    {"lit_dof_1080p", 0.0, "Ray Trace", true},
};

const Variant* findVariant(const std::string& name) {
    for (const Variant& v : kVariants) {
        if (name == v.name) return &v;
    }
    return nullptr;
}

}  // namespace

std::vector<std::string> lightBenchSceneNames() {
    std::vector<std::string> names;
    for (const Variant& v : kVariants) names.emplace_back(v.name);
    return names;
}

bool isLightBenchScene(const std::string& name) { return findVariant(name) != nullptr; }

std::string lightBenchSceneJson(const std::string& name, int32_t width, int32_t height) {
    const Variant* v = findVariant(name);
    if (v == nullptr) return {};
    const fs::path assets = fs::path(ZEPHRIN_SOURCE_DIR) / "examples" / "assets";
    const double s = width / 1920.0;
    std::ostringstream json;
    json << R"({"format": "zephrin-scene", "version": 1, "composition": {"name": "LitBench", "width": )" << width
         << R"(, "height": )" << height << R"(, "frameRate": 30, "duration": 1, "background": [0, 0, 0, 1]},
      "footage": {"card": {"file": ")"
         << (assets / "card.png").string() << R"("}, "emblem": {"file": ")" << (assets / "emblem.png").string()
         << R"("}, "floor": {"solid": {"color": [0.8, 0.78, 0.74], "width": 3000, "height": 2000}}},
      "layers": [
        {"name": "Camera", "type": "camera", "transform": {"position": [)"
         << 960 * s << ", " << 200 * s << ", " << -2000 * s << R"(], "pointOfInterest": [)" << 960 * s << ", "
         << 600 * s << R"(, 0]}, "camera": {"zoom": )" << 2000 * s << R"(, "depthOfField": )"
         << (v->depthOfField ? "true" : "false") << R"(, "focusDistance": )" << 2100 * s
         << R"(, "aperture": 60, "blurLevel": 100}},
        {"name": "Key", "type": "light", "light": {"lightType": "spot", "intensity": 8, "coneAngle": 90,
         "coneFeather": 50, "castsShadows": true, "shadowDarkness": 80, "shadowDiffusion": )"
         << v->diffusion << R"(}, "transform": {"position": [)" << 500 * s << ", " << -400 * s << ", " << -900 * s
         << R"(], "pointOfInterest": [)" << 960 * s << ", " << 800 * s << R"(, 100]}})";
    // Opaque images only: a caster with transparent texels turns shadow maps off.
    const char* sources[] = {"card", "card"};
    for (int i = 0; i < 2; ++i) {
        json << R"(, {"name": "Bent)" << i << R"(", "type": "av", "source": ")" << sources[i]
             << R"(", "threeD": true, "transform": {"position": [)" << (650 + i * 650) * s << ", " << 560 * s << ", "
             << i * 200 * s << R"(], "scale": [)" << 140 * s << ", " << 140 * s << R"(, 100], "rotationY": )"
             << (i == 0 ? -20 : 25) << R"(}, "material": {"castsShadows": "on"},
             "effects": [{"matchName": "com.tavik.ZephrinSurface", "params": {"Mode": "Free Mode",
               "Thickness": 20, "Point 2": [33, 15, 0], "Point 3": [67, 85, 0], "Shadow Mode": ")"
             << v->shadowMode << R"("}}]})";
    }
    json
        << R"(, {"name": "Floor", "type": "av", "source": "floor", "threeD": true, "transform": {"position": [)"
        << 960 * s << ", " << 900 * s << ", " << 300 * s << R"(], "scale": [)" << 100 * s << ", " << 100 * s
        << R"(, 100], "rotationX": 90}, "effects": [{"matchName": "com.tavik.ZephrinSurface", "params": {"Curve Amount": 0,
           "Thickness": 0, "Shadow Mode": ")"
        << v->shadowMode << R"("}}]}]})";
    return json.str();
}

}  // namespace zephrin::bench
