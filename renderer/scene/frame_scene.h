// One frame's scene: everything the frame renderer reads, collected from the host from scratch
// every frame.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/matrix4.h"
#include "common/vec3.h"
#include "renderer/scene/bend_controls.h"
#include "renderer/scene/mesh_arrays.h"
#include "sdk/AE_GeneralPlug.h"

namespace zephrin {

struct SceneCamera {
    Matrix4 view = identityMatrix();  // world -> camera
    double compWidth = 1.0, compHeight = 1.0;
    double destWidth = 1.0, destHeight = 1.0;
    double focal = 1.0;
    bool dofEnabled = false;
    double focusDistance = 0.0;
    double aperture = 0.0;
    double blurLevel = 0.0;
};

// The camera looks along +z; nothing nearer than this projects.
constexpr double kNearPlaneZ = 0.5;

struct ProjectedPoint {
    double x = 0.0, y = 0.0;  // destination pixels
    double inverseZ = 0.0;
};

// Projects a camera-space point into destination pixels; false behind the near plane or for a
// non-finite depth.
inline bool projectToDestination(const SceneCamera& camera, const Vec3& p, ProjectedPoint& out) {
    if (!std::isfinite(p.z) || p.z < kNearPlaneZ) return false;
    double invZ = 1.0 / p.z;
    out.x = (camera.focal * p.x * invZ + camera.compWidth * 0.5) * camera.destWidth /
            (camera.compWidth > 1.0 ? camera.compWidth : 1.0);
    out.y = (camera.focal * p.y * invZ + camera.compHeight * 0.5) * camera.destHeight /
            (camera.compHeight > 1.0 ? camera.compHeight : 1.0);
    out.inverseZ = invZ;
    return true;
}

enum LightType : int32_t { kLightParallel = 0, kLightSpot = 1, kLightPoint = 2, kLightAmbient = 3 };

struct SceneLight {
    int32_t type = kLightPoint;
    Vec3 positionWorld;
    Vec3 directionWorld{0.0, 0.0, 1.0};
    Vec3 positionCamera;
    Vec3 directionCamera{0.0, 0.0, 1.0};
    Vec3 color{1.0, 1.0, 1.0};
    double intensity = 1.0;
    double coneAngle = 90.0;
    double coneFeather = 50.0;
    int32_t falloffType = 0;
    double falloffRadius = 500.0;
    double falloffDistance = 500.0;
    bool castsShadows = false;
    double shadowDarkness = 1.0;
    double shadowDiffusion = 0.0;
};

struct SurfaceVertex {
    Vec3 objectPosition;
    Vec3 cameraPosition;
    Vec3 worldPosition;
    Vec3 cameraNormal{0.0, 0.0, -1.0};
    Vec3 worldNormal{0.0, 0.0, -1.0};
    double u = 0.0, v = 0.0;
};

enum FaceCode : int32_t {
    kFaceFront = 0,
    kFaceBack = 1,
    kFaceSideFrontAlpha = 2,  // side wall that takes its alpha from the front texture
    kFaceObj = 3,
    kFaceSideThickness = 4  // side wall painted in the thickness colour
};

struct SurfaceTriangle {
    int32_t a = 0, b = 0, c = 0;
    int32_t faceCode = kFaceFront;
    uint8_t fineCoverage = 0;  // needs the seven-sample coverage
};

struct SurfaceMesh {
    MeshArray<SurfaceVertex> vertices;
    MeshArray<SurfaceTriangle> triangles;
};

struct UvRect {
    double uMin = 0.0, vMin = 0.0, uMax = 1.0, vMax = 1.0;
};

struct SurfaceTexture {
    AEGP_WorldH world = nullptr;
    AEGP_RenderLayerContextH renderedContext = nullptr;
    bool ownedWorld = false;
    AEGP_WorldType worldType = AEGP_WorldType_NONE;
    int32_t width = 0, height = 0;
    int32_t rowBytes = 0;
    const void* baseAddress = nullptr;
    UvRect uvRect;
    bool alphaSource = false;
    // An 8-bit image whose every texel is the same (a solid layer): its samples need no arithmetic.
    bool uniform8 = false;
    PackedColor uniformColor = 0;  // that texel, when uniform8

    bool hasPixels() const { return baseAddress != nullptr && width > 0 && height > 0; }
};

// Clears handles, flags and pixel access and puts uvRect back to the whole image.
inline void resetTexture(SurfaceTexture& texture) { texture = SurfaceTexture{}; }

enum SurfaceKind : int32_t { kSurfaceFlat = 0, kSurfaceBent = 1, kSurfaceObj = 2 };

struct LayerMaterial {
    double ambient = 1.0;
    double diffuse = 0.75;
    double specular = 0.4;
    double shininess = 24.0;
};

struct SceneSurface {
    SurfaceMesh mesh;
    int32_t kind = kSurfaceFlat;
    AEGP_LayerH layer = nullptr;
    AEGP_RenderLayerContextH layerContext = nullptr;
    SurfaceTexture frontTexture;
    SurfaceTexture backTexture;
    int32_t layerWidth = 1, layerHeight = 1;
    LayerMaterial material;
    BendControls controls;
    double opacity = 1.0;
    bool castsShadows = false;
    bool shadowOnly = false;
    bool renders = true;
    bool acceptsShadows = true;
    bool acceptsLights = true;
    double lightTransmission = 0.0;
    bool hasLayerBounds = false;
    double layerBounds[4] = {0.0, 0.0, 0.0, 0.0};  // left, top, right, bottom
    int32_t cullRangeBegin = 0, cullRangeEnd = -1;
    std::wstring objPath;

    SceneSurface() = default;
    SceneSurface(SceneSurface&&) = default;
    SceneSurface& operator=(SceneSurface&&) = default;
    SceneSurface(const SceneSurface&) = delete;
    SceneSurface& operator=(const SceneSurface&) = delete;
};

struct RenderSettings {
    int16_t downsampleX = 1, downsampleY = 1;
    bool interactive = false;
    bool quickPreview = false;
};

struct FrameScene {
    SceneCamera camera;
    std::vector<SceneLight> lights;
    std::vector<SceneSurface> surfaces;
    RenderSettings settings;
};

// Empties lights and surfaces and puts camera and settings back to their start values.
void resetScene(FrameScene& scene);

// In an interactive render every surface's shadow quality is 1; otherwise it is kept within 1..4.
void applyShadowQualityCap(FrameScene& scene);

}  // namespace zephrin
