#include "renderer/shadows/soft_shadows.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "renderer/runtime/scratch_arrays.h"

namespace zephrin {
namespace {

constexpr int32_t kWidth = 40;
constexpr int32_t kHeight = 12;

SceneLight diffuseLight(double diffusion) {
    SceneLight light;
    light.castsShadows = true;
    light.shadowDiffusion = diffusion;
    return light;
}

// A plane facing the camera at depth z (one triangle, large enough for every pixel's plane test).
SceneSurface planeAt(double z) {
    SceneSurface s;
    for (const Vec3& p : {Vec3{-1000.0, -1000.0, z}, Vec3{1000.0, -1000.0, z}, Vec3{0.0, 1000.0, z}}) {
        SurfaceVertex v;
        v.cameraPosition = p;
        s.mesh.vertices.push_back(v);
    }
    s.mesh.triangles.push_back(SurfaceTriangle{0, 1, 2, kFaceFront, 0});
    return s;
}

// One composition pixel per raster pixel at depth 100. Every pixel shows surface 0 at depth 100,
// marked, lit, with a grey colour; the left half (x < kWidth / 2) is in full shadow.
struct PostFrame {
    FrameBuffers b;
    SceneCamera camera;
    std::vector<SceneSurface> surfaces;
    std::vector<SceneLight> lights{diffuseLight(40.0)};  // R = 5
    RenderSettings settings;

    PostFrame() {
        b.rasterWidth = kWidth;
        b.rasterHeight = kHeight;
        FrameBufferSet set;
        set.triangleIds = true;
        set.shadowPost = true;
        allocateFrameBuffers(b, set);
        camera.compWidth = camera.destWidth = kWidth;
        camera.compHeight = camera.destHeight = kHeight;
        camera.focal = 100.0;
        surfaces.push_back(planeAt(100.0));
        surfaces.push_back(planeAt(300.0));
        for (size_t i = 0; i < b.pixelCount(); ++i) {
            b.depth[i] = 100.0;
            b.surfaceIndex[i] = 0;
            b.triangleIndex[i] = 0;
            b.shadowMark[i] = 1;
            double v = static_cast<int32_t>(i % kWidth) < kWidth / 2 ? 0.0 : 1.0;
            b.shadowVisibility[i] = b.filteredVisibility[i] = v;
            b.radiusField[i] = v < 0.5 ? 1.0 : 0.0;
            for (int c = 0; c < 3; ++c) b.color[4 * i + c] = 0.5;
            b.color[4 * i + 3] = 1.0;
        }
    }
    size_t at(int32_t x, int32_t y) const { return static_cast<size_t>(y * kWidth + x); }
    double filtered(int32_t x) const { return b.filteredVisibility[at(x, kHeight / 2)]; }
    void filter() { filterShadows(b, camera, surfaces, lights, settings); }
};

TEST(SoftShadows, BlurRadiusFollowsDiffusionWithCaps) {
    RenderSettings settings;
    EXPECT_EQ(shadowBlurRadius({diffuseLight(0.0)}, settings), 0);
    EXPECT_EQ(shadowBlurRadius({diffuseLight(2.0)}, settings), 0);  // 1 % of the range
    EXPECT_EQ(shadowBlurRadius({diffuseLight(20.0)}, settings), 3);
    EXPECT_EQ(shadowBlurRadius({diffuseLight(200.0)}, settings), 24);
    EXPECT_EQ(shadowBlurRadius({diffuseLight(1e9)}, settings), 24);
    SceneLight noShadows = diffuseLight(200.0);
    noShadows.castsShadows = false;
    EXPECT_EQ(shadowBlurRadius({noShadows, diffuseLight(20.0)}, settings), 3);
    settings.interactive = true;
    EXPECT_EQ(shadowBlurRadius({diffuseLight(200.0)}, settings), 10);
    settings.quickPreview = true;
    EXPECT_EQ(shadowBlurRadius({diffuseLight(200.0)}, settings), 4);
}

TEST(SoftShadows, KernelsAreUnnormalisedGaussians) {
    auto kernels = shadowKernels(6);
    ASSERT_EQ(kernels.size(), 7u);
    EXPECT_EQ(kernels[0], std::vector<double>{1.0});
    for (size_t r = 1; r < kernels.size(); ++r) {
        ASSERT_EQ(kernels[r].size(), 2 * r + 1);
        EXPECT_EQ(kernels[r][r], 1.0);
        double sigma = std::max(0.42 * static_cast<double>(r), 1.0);
        EXPECT_NEAR(kernels[r][0], std::exp(-0.5 * (r / sigma) * (r / sigma)), 1e-15);
        EXPECT_EQ(kernels[r][0], kernels[r][2 * r]);
    }
}

TEST(SoftShadows, CrossReceiverWeightSeparatesDepthSteps) {
    PostFrame f;
    const size_t p = f.at(10, 5), q = f.at(11, 5);
    EXPECT_EQ(crossReceiverWeight(f.b, f.camera, f.surfaces, p, q), 1.0);  // same surface
    f.b.surfaceIndex[q] = 1;                                               // coplanar other surface
    EXPECT_NEAR(crossReceiverWeight(f.b, f.camera, f.surfaces, p, q), 1.0, 1e-9);
    f.b.depth[q] = 300.0;  // far behind: a depth step
    EXPECT_EQ(crossReceiverWeight(f.b, f.camera, f.surfaces, p, q), 0.0);
    f.b.depth[q] = 100.0;
    f.b.surfaceIndex[q] = -1;  // empty pixel
    EXPECT_EQ(crossReceiverWeight(f.b, f.camera, f.surfaces, p, q), 0.0);
    // A plane at right angles to the view gives no weight.
    f.b.surfaceIndex[q] = 1;
    SceneSurface edgeOn;
    for (const Vec3& v : {Vec3{0.0, -1000.0, 0.0}, Vec3{0.0, 1000.0, 0.0}, Vec3{0.0, 0.0, 1000.0}}) {
        SurfaceVertex vertex;
        vertex.cameraPosition = v;
        edgeOn.mesh.vertices.push_back(vertex);
    }
    edgeOn.mesh.triangles.push_back(SurfaceTriangle{0, 1, 2, kFaceFront, 0});
    f.surfaces[1] = std::move(edgeOn);
    EXPECT_EQ(crossReceiverWeight(f.b, f.camera, f.surfaces, p, q), 0.0);
}

TEST(SoftShadows, FilterSoftensAnEdgeOnOneSurface) {
    PostFrame f;
    f.filter();
    const int32_t edge = kWidth / 2;
    EXPECT_EQ(f.filtered(0), 0.0);
    EXPECT_EQ(f.filtered(kWidth - 1), 1.0);
    EXPECT_GT(f.filtered(edge - 1), 0.0);
    EXPECT_LT(f.filtered(edge), 1.0);
    for (int32_t x = 1; x < kWidth; ++x) EXPECT_GE(f.filtered(x), f.filtered(x - 1)) << x;
    // The unfiltered visibility is kept for recomposition.
    EXPECT_EQ(f.b.shadowVisibility[f.at(edge - 1, 3)], 0.0);
}

// With a full blocker hint the lit side takes the whole radius R = 5 up to R pixels from the edge:
// the pixel R away still sees the last shadowed one under its kernel, the next sees none and stays
// exactly lit. Both blur directions, edge across rows and across columns.
TEST(SoftShadows, TheBlurReachesExactlyTheRadiusPastAnEdge) {
    PostFrame across;
    across.filter();
    const int32_t edge = kWidth / 2;
    for (int32_t x = edge; x < edge + 5; ++x) {
        EXPECT_EQ(across.b.radiusField[across.at(x, 4)], 1.0) << x;
        EXPECT_LT(across.filtered(x), 1.0) << x;
    }
    EXPECT_EQ(across.b.radiusField[across.at(edge + 5, 4)], 0.0);
    EXPECT_EQ(across.filtered(edge + 5), 1.0);

    PostFrame down;  // the top half in shadow
    for (int32_t y = 0; y < kHeight; ++y) {
        for (int32_t x = 0; x < kWidth; ++x) {
            const size_t i = down.at(x, y);
            const double v = y < kHeight / 2 ? 0.0 : 1.0;
            down.b.shadowVisibility[i] = down.b.filteredVisibility[i] = v;
            down.b.radiusField[i] = v < 0.5 ? 1.0 : 0.0;
        }
    }
    down.filter();
    const int32_t x = kWidth / 3;
    for (int32_t y = kHeight / 2; y < kHeight / 2 + 5; ++y) {
        EXPECT_LT(down.b.filteredVisibility[down.at(x, y)], 1.0) << y;
        EXPECT_GT(down.b.filteredVisibility[down.at(x, y)], down.b.filteredVisibility[down.at(x, y - 1)]) << y;
    }
    EXPECT_EQ(down.b.filteredVisibility[down.at(x, kHeight / 2 + 5)], 1.0);
    EXPECT_EQ(down.b.filteredVisibility[down.at(x, 0)], 0.0);
}

// Lit rows 3..7 between two shadowed bands whose blocker hints differ: each lit pixel takes the hint
// of the nearer band, and row 5, as near to both, takes the upper one's. Hints that differ by more
// than 1/R are smoothed afterwards, so the lower band's hint then rises.
TEST(SoftShadows, LitPixelsTakeTheNearestBandsHintAndTiesGoUp) {
    auto bands = [](double lowerHint) {
        PostFrame f;
        for (int32_t y = 0; y < kHeight; ++y) {
            for (int32_t x = 0; x < kWidth; ++x) {
                const size_t i = f.at(x, y);
                const bool shadowed = y <= 2 || y >= 8;
                f.b.shadowVisibility[i] = f.b.filteredVisibility[i] = shadowed ? 0.0 : 1.0;
                f.b.radiusField[i] = !shadowed ? 0.0 : (y <= 2 ? 1.0 : lowerHint);
            }
        }
        f.filter();
        return f;
    };
    const PostFrame close = bands(0.9);  // within 1/R = 0.2: no smoothing
    const int32_t x = kWidth / 2;
    EXPECT_EQ(close.b.radiusField[close.at(x, 4)], 1.0);
    EXPECT_EQ(close.b.radiusField[close.at(x, 5)], 1.0);
    EXPECT_EQ(close.b.radiusField[close.at(x, 6)], 0.9);
    EXPECT_EQ(close.b.radiusField[close.at(x, 7)], 0.9);

    const PostFrame apart = bands(0.4);
    EXPECT_GT(apart.b.radiusField[apart.at(x, 6)], 0.4);
    EXPECT_LT(apart.b.radiusField[apart.at(x, 5)], 1.0);
}

TEST(SoftShadows, ContactEdgesAreSeededWithoutABlockerHint) {
    PostFrame f;
    std::fill(f.b.radiusField.begin(), f.b.radiusField.end(), 0.0);
    f.filter();
    EXPECT_GT(f.filtered(kWidth / 2 - 1), 0.0);
    EXPECT_LT(f.filtered(kWidth / 2), 1.0);
}

TEST(SoftShadows, ShadowsDoNotBleedAcrossADepthStep) {
    PostFrame f;
    for (int32_t y = 0; y < kHeight; ++y) {
        for (int32_t x = kWidth / 2; x < kWidth; ++x) {
            f.b.surfaceIndex[f.at(x, y)] = 1;
            f.b.depth[f.at(x, y)] = 300.0;
        }
    }
    f.filter();
    for (int32_t x = 0; x < kWidth; ++x) EXPECT_EQ(f.filtered(x), x < kWidth / 2 ? 0.0 : 1.0) << x;
}

TEST(SoftShadows, SideFacesAreNeitherBlurredNorSources) {
    PostFrame f;
    // An unmarked (side-wall) lit column inside the shadow, and an unmarked shadowed one in the light.
    for (int32_t y = 0; y < kHeight; ++y) {
        f.b.shadowMark[f.at(5, y)] = 0;
        f.b.shadowVisibility[f.at(5, y)] = f.b.filteredVisibility[f.at(5, y)] = 1.0;
        f.b.shadowMark[f.at(34, y)] = 0;
        f.b.shadowVisibility[f.at(34, y)] = f.b.filteredVisibility[f.at(34, y)] = 0.0;
    }
    f.filter();
    EXPECT_EQ(f.filtered(5), 1.0);
    EXPECT_EQ(f.filtered(34), 0.0);
    for (int32_t x : {3, 4, 6, 7}) EXPECT_EQ(f.filtered(x), 0.0) << x;
    for (int32_t x : {32, 33, 35, 36}) EXPECT_EQ(f.filtered(x), 1.0) << x;
}

// Most of the filter's scratch arrays are taken without being filled, since every element it reads
// is written first. A read of an element left over from earlier use would make the result depend on
// what the spare arrays held: here NaN or a large count in every element. The frame has shadow
// bands of two hints far apart (so the radius field is smoothed), a second surface behind a depth
// step, unmarked pixels and partial visibility.
TEST(SoftShadows, TheResultDoesNotDependOnWhatTheScratchArraysHeld) {
    const auto filtered = [] {
        PostFrame f;
        for (int32_t y = 0; y < kHeight; ++y) {
            for (int32_t x = 0; x < kWidth; ++x) {
                const size_t i = f.at(x, y);
                const bool shadowed = y <= 2 || y >= 8 || (x > 30 && y > 4);
                const double v = !shadowed ? 1.0 : (x % 7 == 0 ? 0.3 : 0.0);
                f.b.shadowVisibility[i] = f.b.filteredVisibility[i] = v;
                f.b.radiusField[i] = !shadowed ? 0.0 : (y <= 2 ? 1.0 : 0.3);
                if (x >= 26 && x < 30) {
                    f.b.surfaceIndex[i] = 1;
                    f.b.depth[i] = 300.0;
                }
                if ((x * 5 + y * 3) % 17 == 0) f.b.shadowMark[i] = 0;
            }
        }
        f.filter();
        return f;
    };
    releaseScratchArrays();
    const PostFrame fresh = filtered();
    const size_t n = fresh.b.pixelCount();
    EXPECT_NE(fresh.b.filteredVisibility, fresh.b.shadowVisibility);
    for (const double leftOver : {std::numeric_limits<double>::quiet_NaN(), 1e300}) {
        SCOPED_TRACE(leftOver);
        releaseScratchArrays();
        {
            // As many spares of the frame's size as the filter holds at once, left with garbage.
            ScratchArray<double> a(n, leftOver), b(n, leftOver), c(n, leftOver);
            ScratchArray<int32_t> d(n, 1 << 30), e(n, 1 << 30);
        }
        const PostFrame reused = filtered();
        EXPECT_EQ(std::memcmp(reused.b.filteredVisibility.data(), fresh.b.filteredVisibility.data(), n * sizeof(double)),
                  0);
        EXPECT_EQ(std::memcmp(reused.b.radiusField.data(), fresh.b.radiusField.data(), n * sizeof(double)), 0);
    }
    releaseScratchArrays();
}

// Awkward frames for the narrowed walk, which visits only the pixels near a shadow: shadows touching
// every border of the frame, one-pixel shadows in the corners, two shadows far apart in one row with
// lit pixels between them, runs broken by another surface and by empty and unmarked pixels, and
// fields and visibilities that are NaN, negative, tiny, above 1 or infinite.
enum class Layout { Scattered, Corners, FarApart };

void lay(PostFrame& f, Layout layout) {
    uint32_t state = 12345u + static_cast<uint32_t>(layout);
    const auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const double fields[] = {0.0, 1e-300, 1e-9, 0.3, 1.0, nan, -0.5, 2.0, inf, 0.7};
    const double visibilities[] = {0.0, 0.2, 0.5, 0.994, 0.996, nan, -0.5, 1.5, 1.0, 0.0};
    for (int32_t y = 0; y < kHeight; ++y) {
        for (int32_t x = 0; x < kWidth; ++x) {
            const size_t i = f.at(x, y);
            bool shadowed = false;
            switch (layout) {
                case Layout::Scattered: shadowed = next() % 3 == 0; break;
                case Layout::Corners:
                    shadowed = (x == 0 && y == 0) || (x == kWidth - 1 && y == kHeight - 1) ||
                               (x >= kWidth - 3 && y >= 4 && y <= 6) || (y == 0 && x >= 10 && x <= 12);
                    break;
                case Layout::FarApart: shadowed = y >= 3 && y <= 8 && (x <= 4 || (x >= 33 && x <= 36)); break;
            }
            const uint32_t pick = next();
            f.b.shadowVisibility[i] = f.b.filteredVisibility[i] = shadowed ? visibilities[pick % 10] : 1.0;
            f.b.radiusField[i] = shadowed || pick % 11 == 0 ? fields[(pick / 10) % 10] : 0.0;
            if (pick % 13 == 0) f.b.shadowMark[i] = 0;
            if (x >= 20 && x < 23 && y % 4 != 0) {  // a strip of a second surface: coplanar or behind
                f.b.surfaceIndex[i] = 1;
                f.b.depth[i] = y < kHeight / 2 ? 100.0 : 300.0;
            }
            if (pick % 29 == 0) {
                f.b.surfaceIndex[i] = -1;
                f.b.depth[i] = inf;
            }
        }
    }
}

TEST(SoftShadows, TheNarrowWalkMatchesTheWholeFrameBitForBit) {
    for (const Layout layout : {Layout::Scattered, Layout::Corners, Layout::FarApart}) {
        for (const double diffusion : {5.0, 20.0, 40.0, 200.0}) {  // R = 1, 3, 5 and the cap of 24
            SCOPED_TRACE(testing::Message() << "layout " << static_cast<int>(layout) << ", diffusion " << diffusion);
            PostFrame narrow, whole;
            for (PostFrame* f : {&narrow, &whole}) {
                f->lights = {diffuseLight(diffusion)};
                lay(*f, layout);
            }
            narrow.filter();
            filterShadows(whole.b, whole.camera, whole.surfaces, whole.lights, whole.settings,
                          ShadowFilterWalk::WholeFrame);
            const size_t n = narrow.b.pixelCount();
            EXPECT_EQ(std::memcmp(narrow.b.filteredVisibility.data(), whole.b.filteredVisibility.data(),
                                  n * sizeof(double)),
                      0);
            EXPECT_EQ(std::memcmp(narrow.b.radiusField.data(), whole.b.radiusField.data(), n * sizeof(double)), 0);
            // The frame is blurred at all, not left as it was.
            EXPECT_NE(std::memcmp(narrow.b.filteredVisibility.data(), narrow.b.shadowVisibility.data(),
                                  n * sizeof(double)),
                      0);
        }
    }
}

TEST(SoftShadows, HardShadowsAreLeftAlone) {
    PostFrame f;
    f.lights = {diffuseLight(0.0)};
    f.filter();
    EXPECT_EQ(f.filtered(kWidth / 2 - 1), 0.0);
    EXPECT_EQ(f.filtered(kWidth / 2), 1.0);
}

TEST(SoftShadows, RecompositionMovesColourAlongTheSlope) {
    PostFrame f;
    const size_t p = f.at(3, 3), unmarked = f.at(4, 3);
    f.b.shadowVisibility[p] = 0.2;
    f.b.filteredVisibility[p] = 0.7;
    f.b.slope[3 * p + 0] = 0.4f;
    f.b.slope[3 * p + 1] = -0.4f;
    f.b.slope[3 * p + 2] = 2.0f;
    f.b.shadowMark[unmarked] = 0;
    f.b.filteredVisibility[unmarked] = 1.0;
    f.b.slope[3 * unmarked] = 1.0f;
    recomposeShadows(f.b);
    EXPECT_NEAR(f.b.color[4 * p + 0], 0.5 + 0.4 * 0.5, 1e-6);
    EXPECT_NEAR(f.b.color[4 * p + 1], 0.5 - 0.4 * 0.5, 1e-6);
    EXPECT_EQ(f.b.color[4 * p + 2], 1.0);  // clamped
    EXPECT_EQ(f.b.color[4 * p + 3], 1.0);
    EXPECT_EQ(f.b.color[4 * unmarked], 0.5);
}

}  // namespace
}  // namespace zephrin
