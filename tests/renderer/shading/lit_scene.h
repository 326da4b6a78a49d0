// A small lit scene for the shading tests: a receiver, a caster and every kind of light.
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "renderer/scene/frame_scene.h"
#include "renderer/shading/shade_point.h"
#include "renderer/shading/shading_frame.h"
#include "renderer/shadows/shadow_bvh.h"
#include "renderer/texture/texture_sampling.h"

namespace zephrin::littest {

// A receiving square at z = 0 and a caster square at z = -50 in front of it, under every kind of
// light the model knows: a soft-shadowed point light, spots with and without feather and falloff, a
// parallel light and an ambient one, most of them casting shadows.
struct LitScene {
    FrameScene scene;
    ShadowBvh bvh;
    ShadingFrame frame;

    static SceneSurface square(double z, double half) {
        SceneSurface s;
        const double corners[4][2] = {{-half, -half}, {half, -half}, {half, half}, {-half, half}};
        for (const auto& c : corners) {
            SurfaceVertex v;
            v.worldPosition = v.cameraPosition = Vec3{c[0], c[1], z};
            s.mesh.vertices.push_back(v);
        }
        s.mesh.triangles.push_back(SurfaceTriangle{0, 1, 2, kFaceFront, 0});
        s.mesh.triangles.push_back(SurfaceTriangle{0, 2, 3, kFaceFront, 0});
        return s;
    }

    LitScene() {
        SceneSurface receiver = square(0.0, 400.0);
        receiver.material = LayerMaterial{0.8, 0.9, 0.6, 10.5};  // fractional shininess: std::pow
        receiver.controls.specular = 150.0;
        scene.surfaces.push_back(std::move(receiver));
        SceneSurface caster = square(-50.0, 40.0);
        caster.castsShadows = true;
        caster.acceptsShadows = false;
        scene.surfaces.push_back(std::move(caster));

        SceneLight point;
        point.positionWorld = point.positionCamera = Vec3{-120.0, 60.0, -180.0};
        point.falloffType = 2;
        point.falloffDistance = 150.0;
        point.castsShadows = true;
        point.shadowDiffusion = 10.0;
        point.shadowDarkness = 1.0;
        point.intensity = 0.03;
        scene.lights.push_back(point);

        SceneLight spot;
        spot.type = kLightSpot;
        spot.positionWorld = spot.positionCamera = Vec3{30.0, -20.0, -300.0};
        spot.directionWorld = spot.directionCamera = Vec3{-0.1, 0.05, 1.0};
        spot.coneAngle = 70.0;
        spot.coneFeather = 30.0;
        spot.falloffType = 1;
        spot.falloffRadius = 100.0;
        spot.falloffDistance = 600.0;
        spot.castsShadows = true;
        spot.shadowDarkness = 0.8;
        spot.intensity = 0.02;
        spot.color = Vec3{1.0, 0.8, 0.6};
        scene.lights.push_back(spot);

        SceneLight sun;
        sun.type = kLightParallel;
        sun.directionWorld = sun.directionCamera = Vec3{0.3, -0.2, 1.0};
        sun.castsShadows = true;
        sun.intensity = 0.08;
        scene.lights.push_back(sun);

        SceneLight hardSpot = spot;
        hardSpot.coneFeather = 0.0;
        hardSpot.castsShadows = false;
        hardSpot.intensity = 0.01;
        hardSpot.positionWorld = hardSpot.positionCamera = Vec3{-60.0, 0.0, -250.0};
        scene.lights.push_back(hardSpot);

        SceneLight ambient;
        ambient.type = kLightAmbient;
        ambient.intensity = 0.1;
        ambient.color = Vec3{0.9, 0.9, 1.0};
        scene.lights.push_back(ambient);

        bvh = buildShadowBvh(scene.surfaces, scene.lights);
        frame.scene = &scene;
        frame.shadowBvh = &bvh;
    }

    // A point of the receiver seen from the eye at (0, 0, -400).
    ShadingPoint pointAt(double x, double y, const Vec3& normal = Vec3{0.0, 0.0, -1.0}) const {
        ShadingPoint p;
        p.worldPosition = Vec3{x, y, 0.0};
        p.cameraPosition = Vec3{x, y, 400.0};
        p.worldNormal = p.cameraNormal = normal;
        p.baseColor = packColor(255, 200, 120, 60);
        p.surfaceIndex = 0;
        p.triangleIndex = 0;
        return p;
    }
};

// Every field of a result, and their exact bits as text, so that a mismatch shows which one.
inline std::vector<double> valuesOf(const ShadingResult& r) {
    return {r.red, r.green, r.blue, r.alpha, r.minimumVisibility, r.blockerHint, r.slope.red, r.slope.green,
            r.slope.blue, r.lightTested ? 1.0 : 0.0};
}

inline std::string hexOf(const std::vector<double>& values) {
    std::string text;
    char buffer[40];
    for (double v : values) {
        std::snprintf(buffer, sizeof buffer, "%a ", v);
        text += buffer;
    }
    return text;
}

}  // namespace zephrin::littest
