// The frame's lights, taken from the composition's light layers at the frame time.
#pragma once

#include <string>
#include <vector>

#include "common/matrix4.h"
#include "renderer/scene/frame_scene.h"
#include "sdk/AE_GeneralPlug.h"

namespace zephrin {

// What the host delivered for one light layer; every field starts at the value a light gets when the
// host does not deliver it.
struct LightReadings {
    int32_t type = kLightPoint;
    Vec3 color{1.0, 1.0, 1.0};
    double rawIntensity = 100.0;  // host percent (or a fraction up to 1.5)
    double coneAngle = 90.0;      // degrees
    double coneFeather = 0.0;     // percent
    double falloffType = 0.0;     // the stream's number
    double falloffRadius = 0.0;
    double falloffDistance = 500.0;
    bool castsShadows = false;
    double rawShadowDarkness = 100.0;
    double shadowDiffusion = 0.0;
    Matrix4 layerToWorld = identityMatrix();
    bool hasPosition = false;
    Vec3 position;
    bool hasPointOfInterest = false;
    Vec3 pointOfInterest;
};

struct ConvertedLight {
    SceneLight light;
    bool directionFromPointOfInterest = false;  // logged as dirSource=poi, else xform
};

// Host intensity to 0..16: percent above 1.5 in magnitude, a fraction otherwise; non-finite gives 0.
double lightIntensity(double raw);
// Host shadow darkness to 0..1, read the same way.
double lightShadowDarkness(double raw);

// Converts one light layer's readings; `view` is the scene's world -> camera matrix.
ConvertedLight convertLight(const LightReadings& readings, const Matrix4& view);

std::string formatLightLine(const ConvertedLight& converted, double rawIntensity);

// Appends one SceneLight per light layer that is on, in composition layer order. A failure leaves
// the lights gathered so far; the caller does not depend on the result.
bool collectLights(const PR_InData* inData, PR_RenderContextH renderContext, const Matrix4& view,
                   std::vector<SceneLight>& lights);

}  // namespace zephrin
