#include "renderer/shading/shading_terms.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "lit_scene.h"
#include "renderer/shading/shade_point.h"
#include "renderer/shadows/shadow_rays.h"

namespace zephrin {
namespace {

using littest::hexOf;
using littest::LitScene;
using littest::valuesOf;

// Colours pinned to the bit: the pictures of stored projects must not drift when the shading is
// rearranged for speed, so every operation and its order stays. Points in the caster's shadow, in
// the feathered cone edge, outside both spot cones, and turned away from every light.
TEST(ShadingTerms, ColoursStayTheSameToTheBit) {
    LitScene s;
    const std::vector<ShadingPoint> points = {
        s.pointAt(0.0, 0.0), s.pointAt(-5.0, 8.0), s.pointAt(140.0, -60.0), s.pointAt(390.0, 390.0),
        s.pointAt(10.0, 20.0, Vec3{0.2, -0.1, -0.9}), s.pointAt(10.0, 20.0, Vec3{0.0, 0.0, 1.0})};
    const std::vector<std::string> expected = {
        "0x1.30b6f0da964cbp-2 0x1.842ccafe84632p-3 0x1.ca97b960bd2f4p-4 0x1p+0 0x0p+0 0x1.4c5fd5bb093c3p-1 "
        "0x1.67a48792b4d9ap-1 0x1.69e0bd106ad84p-1 0x1.0c5f9aa4a1914p-1 0x1p+0 ",
        "0x1.324e6958f2a9ap-2 0x1.86404bc9bbb88p-3 0x1.cd2d78f921c85p-4 0x1p+0 0x0p+0 0x1.4c6d2af162059p-1 "
        "0x1.66d8cb5386ab3p-1 0x1.70f4735ea758dp-1 0x1.12d2ea36684ecp-1 0x1p+0 ",
        "0x1.7bb52a7763e29p-1 0x1.fc0edb26ae87cp-2 0x1.47d141a42e2a4p-2 0x1p+0 0x1p+0 0x0p+0 "
        "0x1.40232b8451af3p-1 0x1.b492dc69657d4p-2 0x1.2293d9a2fc3a4p-2 0x1p+0 ",
        "0x1.b5b31d16eccbep-2 0x1.12c3eb875585ap-2 0x1.3842ce373ee15p-3 0x1p+0 0x1p+0 0x0p+0 "
        "0x1.3e8f1f30c8652p-2 0x1.968fd99418f65p-3 0x1.db8ffc69b602ap-4 0x1p+0 ",
        "0x1.015657d73a1ep-2 0x1.3df8294fa5cb2p-3 0x1.67950ac88e014p-4 0x1p+0 0x0p+0 0x1.4c52988ca408ep-1 "
        "0x1.795cc427df426p-1 0x1.04b80f5d27ac4p-1 0x1.61bea3ebc5b83p-2 0x1p+0 ",
        "0x1.dc8ff798919b1p-4 0x1.1deffaf52429ep-4 0x1.29eb40098f8p-5 0x1p+0 0x0p+0 0x0p+0 "
        "0x1.490e129403038p-3 0x1.8addafe4d06aap-4 0x1.9b6970d040124p-5 0x1p+0 ",
    };
    const ShadingTerms terms = shadingTermsOf(s.scene);
    ShadingFrame withTerms = s.frame;
    withTerms.terms = &terms;
    const SceneSurface& receiver = s.scene.surfaces[0];
    ASSERT_EQ(points.size(), expected.size());
    for (size_t i = 0; i < points.size(); ++i) {
        EXPECT_EQ(hexOf(valuesOf(shadePoint(points[i], receiver, s.frame))), expected[i]) << "point " << i;
        // The frame's own terms and the many-point entry give the same bits.
        EXPECT_EQ(hexOf(valuesOf(shadePoint(points[i], receiver, withTerms))), expected[i]) << "point " << i;
        const ShadingResult full = shadePointWithTerms(points[i], receiver, terms.surfaces[0], terms, withTerms, true);
        EXPECT_EQ(hexOf(valuesOf(full)), expected[i]) << "point " << i;
        // Without the slope only the slope is left out.
        ShadingResult lean = shadePointWithTerms(points[i], receiver, terms.surfaces[0], terms, withTerms, false);
        EXPECT_EQ((std::vector<double>{lean.slope.red, lean.slope.green, lean.slope.blue}),
                  (std::vector<double>{0.0, 0.0, 0.0}));
        lean.slope = full.slope;
        EXPECT_EQ(hexOf(valuesOf(lean)), expected[i]) << "point " << i;
    }
}

TEST(ShadingTerms, FrameTermsOfAnotherSceneAreNotUsed) {
    // Terms built for a frame with other lights cannot be indexed by this frame's lights: the point
    // is shaded with terms of its own, as without any.
    LitScene s;
    FrameScene other;
    other.lights.push_back(SceneLight{});
    const ShadingTerms stale = shadingTermsOf(other);
    ShadingFrame frame = s.frame;
    frame.terms = &stale;
    const ShadingPoint point = s.pointAt(-5.0, 8.0);
    EXPECT_EQ(valuesOf(shadePoint(point, s.scene.surfaces[0], frame)),
              valuesOf(shadePoint(point, s.scene.surfaces[0], s.frame)));
}

TEST(ShadingTerms, SurfaceTermsKeepTheModelsLimits) {
    SceneSurface surface;
    surface.material = LayerMaterial{9.0, -1.0, std::nan(""), 300.0};
    surface.controls.specular = 1000.0;
    SurfaceShadingTerms k = surfaceShadingTerms(surface, false);
    EXPECT_EQ(k.ambient, kMaxMaterialCoefficient);
    EXPECT_EQ(k.diffuse, 0.0);
    EXPECT_EQ(k.specular, 0.0);
    EXPECT_EQ(k.shininess, kMaxShininessExponent);
    EXPECT_EQ(k.wholeShininess, 128u);
    EXPECT_EQ(k.specularScale, kMaxSpecularScale);
    EXPECT_EQ(k.ambientGain, kAmbientBaseGain * kMaxMaterialCoefficient);
    // Only whole exponents take the repeated squaring; a NaN shininess is the lowest exponent.
    surface.material = LayerMaterial{0.1, 0.5, 0.5, 7.5};
    k = surfaceShadingTerms(surface, true);
    EXPECT_EQ(k.wholeShininess, 0u);
    EXPECT_EQ(k.ambientGain, kAmbientFloor);
    surface.material.shininess = std::nan("");
    EXPECT_EQ(surfaceShadingTerms(surface, true).wholeShininess, 1u);
}

TEST(LightVisibility, AFrameWithoutCastersIsShadowedByMapsAlone) {
    LitScene s;
    const ShadowBvh empty;
    VisibilityQuery query;
    query.point = Vec3{0.0, 0.0, 0.0};
    query.normal = Vec3{0.0, 0.0, -1.0};
    for (const SceneLight& light : s.scene.lights) {
        for (ShadowMode mode : {ShadowMode::Auto, ShadowMode::MapFast, ShadowMode::Hybrid}) {
            query.shadowMode = mode;
            double hint = -1.0;
            EXPECT_EQ(lightVisibility(nullptr, light, shadowLightTerms(light), query, &hint), 1.0);
            EXPECT_EQ(hint, 0.0);
            EXPECT_EQ(lightVisibility(empty, light, query, nullptr), 1.0);
        }
    }
    // With casters the same query is in full shadow: the caster lies between the spot and the origin,
    // and a darkness of 0.8 with its gain is full darkness.
    query.shadowMode = ShadowMode::Auto;
    EXPECT_EQ(lightVisibility(s.bvh, s.scene.lights[1], query, nullptr), 0.0);
}

TEST(LightVisibility, NoDarknessIsFullLightButKeepsTheSoftShadowsHint) {
    LitScene s;
    VisibilityQuery query;
    query.point = Vec3{0.0, 0.0, 0.0};
    query.normal = Vec3{0.0, 0.0, -1.0};
    query.receiver = ShadowReceiver{0, 0};
    for (double diffusion : {0.0, 10.0}) {
        SceneLight light = s.scene.lights[1];  // the spot behind the caster
        light.shadowDiffusion = diffusion;
        double darkHint = -1.0, lightHint = -1.0;
        EXPECT_EQ(lightVisibility(s.bvh, light, query, &darkHint), 0.0);
        for (double darkness : {0.0, -2.0, std::nan("")}) {
            light.shadowDarkness = darkness;
            EXPECT_EQ(lightVisibility(s.bvh, light, query, &lightHint), 1.0) << darkness;
            EXPECT_EQ(lightVisibility(s.bvh, light, query, nullptr), 1.0) << darkness;
            // The contact-hardening hint measures the blocker whatever the darkness.
            EXPECT_EQ(lightHint, darkHint) << darkness;
        }
        EXPECT_EQ(darkHint > 0.0, diffusion > 0.0);
    }
}

}  // namespace
}  // namespace zephrin
