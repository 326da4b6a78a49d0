#include "renderer/shading/shade_pair.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "lit_scene.h"
#include "renderer/shading/shading_terms.h"
#include "renderer/shadows/shadow_bvh.h"
#include "renderer/shadows/shadow_rays.h"

namespace zephrin {
namespace {

using littest::hexOf;
using littest::LitScene;
using littest::valuesOf;

// Receivers of whole and fractional shininess, with and without shadows, opaque and not.
std::vector<SceneSurface> receivers() {
    std::vector<SceneSurface> surfaces;
    for (double shininess : {24.0, 7.0, 1.0, 10.5, 128.0}) {
        SceneSurface s = LitScene::square(0.0, 400.0);
        s.material = LayerMaterial{0.8, 0.9, 0.6, shininess};
        s.controls.specular = 150.0;
        surfaces.push_back(std::move(s));
    }
    surfaces[1].acceptsShadows = false;
    surfaces[2].opacity = 0.6;
    surfaces[2].controls.specular = 0.0;
    surfaces[4].material = LayerMaterial{2.0, 0.3, 1.5, 128.0};
    return surfaces;
}

Vec3 unit(const Vec3& v) { return v * (1.0 / length(v)); }
// Some unit vector at right angles to `v`.
Vec3 across(const Vec3& v) {
    const Vec3 other = std::abs(v.x) < 0.9 ? Vec3{1.0, 0.0, 0.0} : Vec3{0.0, 1.0, 0.0};
    return unit(cross(v, other));
}

// Points that take every branch of the loop: random ones over and around the receiver, some behind
// the lights, with zero, huge and NaN normals, at a light's very position, with the eye at the point,
// on both sides of each spot's cone and feather edges, and facing a parallel light at about kMinFacing.
std::vector<ShadingPoint> edgeAndRandomPoints(const LitScene& s, std::mt19937& rng) {
    auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<ShadingPoint> points;
    for (int i = 0; i < 400; ++i) {
        const double z = i % 5 == 0 ? uniform(-400.0, 50.0) : 0.0;
        ShadingPoint p = s.pointAt(uniform(-450.0, 450.0), uniform(-450.0, 450.0));
        p.worldPosition.z = z;
        p.cameraPosition = p.worldPosition + Vec3{0.0, 0.0, 400.0};
        p.baseColor = static_cast<PackedColor>(rng());
        p.worldNormal = unit(Vec3{uniform(-0.6, 0.6), uniform(-0.6, 0.6), uniform(-1.0, 0.4)});
        p.cameraNormal = i % 3 == 0 ? unit(Vec3{uniform(-1, 1), uniform(-1, 1), uniform(-1, 1)}) : p.worldNormal;
        points.push_back(p);
    }
    for (const Vec3& odd : {Vec3{}, Vec3{1e300, 1e300, 0.0}, Vec3{nan, 0.0, -1.0}, Vec3{0.0, 0.0, 1e-12}}) {
        ShadingPoint p = s.pointAt(12.0, -30.0, odd);
        points.push_back(p);
        p.cameraNormal = Vec3{0.0, 0.3, -1.0};
        points.push_back(p);
    }
    for (const SceneLight& light : s.scene.lights) {
        ShadingPoint p = s.pointAt(0.0, 0.0);
        p.worldPosition = light.positionWorld;
        p.cameraPosition = light.positionCamera;
        points.push_back(p);
    }
    ShadingPoint atEye = s.pointAt(5.0, 5.0);
    atEye.cameraPosition = Vec3{};
    points.push_back(atEye);
    for (const SceneLight& light : s.scene.lights) {
        if (light.type != kLightSpot) continue;
        const SpotConeShape cone = spotConeShape(light);
        const Vec3 side = across(cone.axis);
        for (double edge : {cone.outer, cone.inner}) {
            for (double nudge : {-1e-9, 0.0, 1e-9}) {
                const double c = std::min(edge + nudge, 1.0), sine = std::sqrt(1.0 - c * c);
                ShadingPoint p = s.pointAt(0.0, 0.0);
                p.worldPosition = light.positionWorld + (cone.axis * c + side * sine) * 250.0;
                p.cameraPosition = p.worldPosition + Vec3{0.0, 0.0, 400.0};
                points.push_back(p);
            }
        }
    }
    for (const SceneLight& light : s.scene.lights) {
        if (light.type != kLightParallel) continue;
        const Vec3 toward = unit(-light.directionWorld);
        for (double facing :
             {-kMinFacing, 0.0, kMinFacing * (1.0 - 1e-9), kMinFacing, kMinFacing * (1.0 + 1e-9), 2.0 * kMinFacing}) {
            points.push_back(s.pointAt(30.0, 40.0, across(toward) + toward * facing));
        }
    }
    return points;
}

// Every light alone (a lone key light is the paired loop's case) and all of them together.
std::vector<std::vector<SceneLight>> lightSets(const std::vector<SceneLight>& all) {
    std::vector<std::vector<SceneLight>> sets = {all};
    for (const SceneLight& light : all) sets.push_back({light});
    return sets;
}

TEST(ShadeLitPoints, GiveEachPointTheSinglePointsShadingToTheBitInPairsAndInFours) {
    LitScene s;
    const std::vector<SceneSurface> surfaces = receivers();
    std::vector<SurfaceShadingTerms> surfaceTerms;
    for (const SceneSurface& surface : surfaces) surfaceTerms.push_back(surfaceShadingTerms(surface, true));
    // Under one light that is not ambient, every receiver but the fractional one takes the paired loop,
    // with itself and with the others.
    for (const SceneLight& light : s.scene.lights) {
        for (size_t i = 0; i < surfaces.size(); ++i) {
            EXPECT_EQ(shadesAsPair(surfaceTerms[i], surfaceTerms[0], {light}), i != 3 && light.type != kLightAmbient);
        }
    }
    EXPECT_FALSE(shadesAsPair(surfaceTerms[0], surfaceTerms[0], s.scene.lights));
    std::mt19937 rng(16);
    const std::vector<ShadingPoint> points = edgeAndRandomPoints(s, rng);

    size_t compared = 0, shadowed = 0, reached = 0, wideRuns = 0;
    const std::vector<std::vector<SceneLight>> sets = lightSets(s.scene.lights);
    for (size_t set = 0; set < sets.size(); ++set) {
        const std::vector<SceneLight>& lights = sets[set];
        LitScene lit;
        lit.scene.lights = lights;
        lit.bvh = buildShadowBvh(lit.scene.surfaces, lit.scene.lights);
        const ShadingTerms terms = shadingTermsOf(lit.scene);
        for (int variant = 0; variant < 4; ++variant) {
            ShadingFrame frame = lit.frame;
            frame.terms = &terms;
            frame.anyHitShadows = variant >= 2;
            const bool withSlope = variant % 2 == 0;
            // Each way keeps its own memos, fed the same run of rays.
            std::vector<ShadowRayMemo> singleMemos(lights.size()), pairMemos(lights.size()), wideMemos(lights.size());
            // Runs of one to seven points: fours, pairs and odd ones left over. Every third run has one
            // surface throughout (one exponent in every lane), the others mix them, the fractional
            // exponent (which no lane loop takes) among them.
            size_t run = 0;
            for (size_t first = 0; first < points.size(); ++run) {
                const size_t count = std::min<size_t>(1 + run % 7, points.size() - first);
                std::vector<LitPoint> queued;
                for (size_t i = first; i < first + count; ++i) {
                    const size_t surface = run % 3 == 0 ? run / 3 % surfaces.size() : (i + i / 7) % surfaces.size();
                    LitPoint q;
                    q.point = points[i];
                    q.surface = &surfaces[surface];
                    q.surfaceTerms = &surfaceTerms[surface];
                    queued.push_back(q);
                }
                std::vector<ShadingResult> single, pair(count), wide(count);
                for (LitPoint& q : queued) {
                    q.point.shadowMemos = singleMemos.data();
                    single.push_back(
                        shadeLitPointWithTerms(q.point, *q.surface, *q.surfaceTerms, terms, frame, withSlope));
                }
                for (LitPoint& q : queued) q.point.shadowMemos = pairMemos.data();
                shadeLitPoints(queued.data(), count, terms, frame, withSlope, pair.data(), false);
                for (LitPoint& q : queued) q.point.shadowMemos = wideMemos.data();
                shadeLitPoints(queued.data(), count, terms, frame, withSlope, wide.data(), true);
                for (size_t i = 0; i < count; ++i) {
                    const std::string expected = hexOf(valuesOf(single[i]));
                    ASSERT_EQ(hexOf(valuesOf(pair[i])), expected)
                        << "paired: point " << first + i << ", light set " << set << ", variant " << variant;
                    ASSERT_EQ(hexOf(valuesOf(wide[i])), expected)
                        << "wide: point " << first + i << ", light set " << set << ", variant " << variant;
                    shadowed += single[i].lightTested && single[i].minimumVisibility < 1.0 ? 1 : 0;
                    reached += single[i].lightTested && single[i].minimumVisibility > 0.0 ? 1 : 0;
                }
                compared += count;
                wideRuns += count >= 4 && lights.size() == 1 ? 1 : 0;
                first += count;
            }
        }
    }
    EXPECT_GT(wideRuns, 100u);
    // The points reach the shadows and the light alike, not only one of them.
    EXPECT_GT(shadowed, compared / 20);
    EXPECT_GT(reached, compared / 20);
}

// Triangles whose corners carry every kind of normal the interpolation must reproduce: ordinary
// ones, zero, tiny, huge and NaN normals (the fallback), corners whose normals cancel out, and face
// normals on either side, front and back facing.
std::vector<PreparedTriangle> fragmentTriangles(std::mt19937& rng) {
    auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    auto randomVec = [&](double scale) { return Vec3{uniform(-1, 1), uniform(-1, 1), uniform(-1, 1)} * scale; };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Vec3 odd[] = {Vec3{}, Vec3{0.0, 0.0, 1e-12}, Vec3{1e300, -1e300, 1e300}, Vec3{nan, 0.0, -1.0},
                        Vec3{0.0, std::numeric_limits<double>::infinity(), 0.0}};
    std::vector<PreparedTriangle> triangles;
    for (int t = 0; t < 40; ++t) {
        PreparedTriangle triangle;
        for (int corner = 0; corner < 3; ++corner) {
            SurfaceVertex& v = triangle.vertices[corner].vertex;
            v.worldPosition = randomVec(500.0);
            v.cameraPosition = randomVec(500.0) + Vec3{0.0, 0.0, 800.0};
            v.worldNormal = randomVec(1.0);
            v.cameraNormal = t % 4 == 0 ? randomVec(3.0) : v.worldNormal;
        }
        if (t % 5 == 1) triangle.vertices[t % 3].vertex.worldNormal = odd[t / 5 % 5];
        if (t % 5 == 2) triangle.vertices[(t + 1) % 3].vertex.cameraNormal = odd[(t / 5 + 2) % 5];
        if (t % 7 == 3) {
            // Opposite corners: the normals cancel where their weights are equal.
            triangle.vertices[1].vertex.worldNormal = -triangle.vertices[0].vertex.worldNormal;
            triangle.vertices[1].vertex.cameraNormal = -triangle.vertices[0].vertex.cameraNormal;
        }
        triangle.faceNormal = t % 6 == 5 ? Vec3{} : randomVec(1.0);
        triangle.frontFacing = t % 3 != 0;
        triangle.surfaceIndex = t % 2;
        triangle.triangleIndex = t;
        triangles.push_back(triangle);
    }
    return triangles;
}

// The point's positions and normals as their bit patterns (NaN payloads and signed zeros included).
std::string geometryBits(const ShadingPoint& p) {
    std::string text;
    for (const Vec3* v : {&p.worldPosition, &p.cameraPosition, &p.worldNormal, &p.cameraNormal}) {
        for (double c : {v->x, v->y, v->z}) {
            uint64_t bits = 0;
            std::memcpy(&bits, &c, sizeof bits);
            text += std::to_string(bits) + ' ';
        }
    }
    return text;
}

TEST(FillFragmentPoints, GiveEachPointTheSingleFragmentsPositionsAndNormalsToTheBit) {
    std::mt19937 rng(4);
    auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    const std::vector<PreparedTriangle> triangles = fragmentTriangles(rng);
    // Flat surfaces turn the normals of back faces round; bent ones do not.
    SceneSurface flat = LitScene::square(0.0, 100.0), bent = LitScene::square(0.0, 100.0);
    bent.kind = kSurfaceBent;
    const SceneSurface* surfaces[2] = {&flat, &bent};
    std::vector<LitPoint> points;
    for (int i = 0; i < 1500; ++i) {
        // Runs of points on one triangle (the lanes share its corners) between points on mixed ones.
        const size_t t = i % 16 < 8 ? static_cast<size_t>(i / 16) % triangles.size() : rng() % triangles.size();
        LitPoint p;
        p.triangle = &triangles[t];
        p.surface = surfaces[triangles[t].surfaceIndex];
        double w0 = uniform(-0.2, 1.0), w1 = uniform(-0.2, 1.0);
        if (i % 11 == 0) w0 = w1 = 0.5;                                   // on the cancelling corners' edge
        if (i % 13 == 0) w0 = w1 = 0.0;                                   // a corner
        if (i % 17 == 0) w0 = std::numeric_limits<double>::denorm_min();  // next to nothing
        p.weights.weights[0] = w0;
        p.weights.weights[1] = w1;
        p.weights.weights[2] = i % 19 == 0 ? 0.0 : 1.0 - w0 - w1;
        p.weights.depth = uniform(1.0, 900.0);
        points.push_back(p);
    }
    size_t flipped = 0, fallback = 0;
    std::vector<std::string> expected;
    for (const LitPoint& p : points) {
        ShadingPoint single;
        fillFragmentShadingPoint(single, *p.triangle, *p.surface, p.weights, kFaceFront, 0, 0, nullptr);
        expected.push_back(geometryBits(single));
        fallback += single.worldNormal.z == -1.0 || single.cameraNormal.z == -1.0 ? 1 : 0;
        flipped += single.worldNormal.z == 1.0 || single.cameraNormal.z == 1.0 ? 1 : 0;
    }
    for (bool wide : {false, true}) {
        // Batches of every length, so that fours, pairs and a last odd point all occur.
        std::vector<LitPoint> filled = points;
        for (size_t first = 0, run = 0; first < filled.size(); ++run) {
            const size_t count = std::min<size_t>(1 + run % 9, filled.size() - first);
            fillFragmentPoints(filled.data() + first, count, wide);
            first += count;
        }
        for (size_t i = 0; i < filled.size(); ++i) {
            ASSERT_EQ(geometryBits(filled[i].point), expected[i]) << (wide ? "wide" : "paired") << ", point " << i;
        }
    }
    // The fallback direction occurs turned both ways.
    EXPECT_GT(fallback, 10u);
    EXPECT_GT(flipped, 10u);
}

}  // namespace
}  // namespace zephrin
