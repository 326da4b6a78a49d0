// The stand-in host's composition model: what a scene file describes and what the suites answer from.
// Plain records; evaluation at a time lives in animated_value.h and layer_transform.h.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/keyframe.h"

namespace zephrin::host {

using Color3 = std::array<double, 3>;  // 0..1
using Color4 = std::array<double, 4>;  // r, g, b, a 0..1

// A value that is constant or keyframed (held before the first and after the last key). A spatial
// property's keyframes trace a path in space (see keyframe.h); the property decides, not the file.
template <typename T>
struct Animated {
    T value{};
    std::vector<Keyframe<T>> keyframes;  // ascending time
    bool spatial = false;
};
using AnimatedNumber = Animated<double>;
using AnimatedVec3 = Animated<Vec3d>;

enum class FootageKind { Solid, Image, Obj };

struct FootageSequence;  // footage_sequence.h

struct Footage {
    std::string key;
    FootageKind kind = FootageKind::Solid;
    std::filesystem::path path;  // image or OBJ file, absolute
    int32_t width = 0, height = 0;
    Color3 solidColor{1.0, 1.0, 1.0};
    // Image pixels: straight (not premultiplied) r, g, b, a floats, row-major, top row first, covering
    // pixelsWidth x pixelsHeight at (pixelsX, pixelsY) of the width x height frame. Only the part of the
    // frame a file holds data for is stored (an EXR's data window may be a speck in a vast frame); the
    // rest of the frame is transparent.
    std::vector<float> pixels;
    int32_t pixelsX = 0, pixelsY = 0;
    int32_t pixelsWidth = 0, pixelsHeight = 0;
    // 8, 16 or 32: the precision of the source, which decides the world type a render lends.
    int32_t bitsPerChannel = 8;
    // Set for a numbered image sequence: the pixels above are its first file's, and each frame is
    // looked up by time (footageAtTime).
    std::shared_ptr<const FootageSequence> sequence;
};

enum class LayerType { AV, Camera, Light, Null };

enum class CastsShadows { Off = 0, On = 1, Only = 2 };

struct Material {
    CastsShadows castsShadows = CastsShadows::Off;
    bool acceptsShadows = true;
    bool acceptsLights = true;
    AnimatedNumber ambient{100.0, {}};            // percent
    AnimatedNumber diffuse{50.0, {}};             // percent
    AnimatedNumber specularIntensity{50.0, {}};   // percent
    AnimatedNumber specularShininess{5.0, {}};    // percent
    AnimatedNumber lightTransmission{0.0, {}};    // percent
};

struct Transform {
    AnimatedVec3 anchorPoint{{0.0, 0.0, 0.0}, {}, true};
    AnimatedVec3 position{{0.0, 0.0, 0.0}, {}, true};
    AnimatedVec3 scale{{100.0, 100.0, 100.0}, {}};  // percent
    AnimatedVec3 orientation{{0.0, 0.0, 0.0}, {}};  // degrees
    AnimatedNumber rotationX{0.0, {}};              // degrees
    AnimatedNumber rotationY{0.0, {}};
    AnimatedNumber rotationZ{0.0, {}};
    AnimatedNumber opacity{100.0, {}};  // percent
    bool hasPointOfInterest = false;    // cameras and lights that auto-orient toward it
    AnimatedVec3 pointOfInterest{{0.0, 0.0, 0.0}, {}, true};
};

struct CameraOptions {
    AnimatedNumber zoom{0.0, {}};  // pixels; 0 means the host's default for the composition
    AnimatedNumber depthOfField{0.0, {}};  // 0 off, 1 on
    AnimatedNumber focusDistance{2000.0, {}};
    AnimatedNumber aperture{25.0, {}};
    AnimatedNumber blurLevel{100.0, {}};  // percent
};

enum class LightKind { Parallel = 0, Spot = 1, Point = 2, Ambient = 3 };
enum class LightFalloff { None = 0, Smooth = 1, InverseSquareClamped = 2 };

struct LightOptions {
    LightKind lightType = LightKind::Point;
    AnimatedNumber intensity{100.0, {}};  // percent
    Animated<Color3> color{{1.0, 1.0, 1.0}, {}};
    AnimatedNumber coneAngle{90.0, {}};
    AnimatedNumber coneFeather{50.0, {}};
    LightFalloff falloff = LightFalloff::None;
    AnimatedNumber radius{500.0, {}};
    AnimatedNumber falloffDistance{500.0, {}};
    bool castsShadows = false;
    AnimatedNumber shadowDarkness{100.0, {}};  // percent
    AnimatedNumber shadowDiffusion{0.0, {}};   // pixels
};

// An effect as the scene file applies it; its parameters are resolved by the effect's own list
// once the effect plug-in is loaded.
struct EffectEntry {
    std::string matchName;
    std::string paramsJson;  // the scene file's "params" object, verbatim
    bool savedBeforeParams = false;
    bool enabled = true;
};

struct Layer {
    int32_t id = 0;     // unique, stable; never 0
    int32_t index = 0;  // 1-based position in the composition, top first
    std::string name;
    LayerType type = LayerType::AV;
    std::shared_ptr<const Footage> source;  // AV layers; null for camera, light and null layers
    bool threeD = false;
    bool videoOn = true;
    bool adjustment = false;
    bool guide = false;
    double inPoint = 0.0;                                       // seconds
    double outPoint = std::numeric_limits<double>::infinity();  // seconds
    int32_t parentId = 0;                                       // 0: no parent
    Transform transform;
    Material material;
    CameraOptions camera;
    LightOptions light;
    std::vector<EffectEntry> effects;
};

struct Composition {
    std::string name = "Composition";
    int32_t width = 1920, height = 1080;
    double frameRate = 30.0;
    double duration = 1.0;  // seconds
    // The number the first frame is shown and written with (1001 in many studios). Host time still
    // starts at 0: frame startFrame + n is at n / frameRate seconds.
    int64_t startFrame = 0;
    Color4 background{0.0, 0.0, 0.0, 0.0};
    std::map<std::string, std::shared_ptr<const Footage>> footage;
    std::vector<Layer> layers;  // top first; layers[i].index == i + 1
    std::filesystem::path sceneFile;
};

}  // namespace zephrin::host
