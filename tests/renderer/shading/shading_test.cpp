#include "renderer/raster/raster_band.h"
#include "renderer/shading/deferred_shading.h"
#include "renderer/shading/per_triangle_pass.h"
#include "renderer/shading/shade_point.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "renderer/runtime/frame_buffers.h"
#include "renderer/shading/shading_terms.h"
#include "renderer/shadows/shadow_bvh.h"

namespace zephrin {
namespace {

constexpr double kFocal = 80.0;

SceneCamera rasterCamera(int32_t width, int32_t height) {
    SceneCamera camera;
    camera.compWidth = camera.destWidth = width;
    camera.compHeight = camera.destHeight = height;
    camera.focal = kFocal;
    return camera;
}

// ---- shadePoint -------------------------------------------------------------------------------------

TEST(ShadePoint, UnlitPointsShowTheirBaseColourWithOpacity) {
    FrameScene scene;
    SceneSurface surface;
    surface.opacity = 0.5;
    ShadingFrame frame;
    frame.scene = &scene;
    ShadingPoint point;
    point.baseColor = packColor(204, 51, 102, 255);
    auto expectBase = [&](const char* why) {
        ShadingResult r = shadePoint(point, surface, frame);
        EXPECT_TRUE(shadesUnlit(point, surface, scene.lights)) << why;
        EXPECT_EQ((std::vector<double>{r.red, r.green, r.blue, r.alpha, r.minimumVisibility, r.blockerHint,
                                       r.slope.red, r.slope.green, r.slope.blue}),
                  (std::vector<double>{0.2, 0.4, 1.0, 0.4, 1.0, 0.0, 0.0, 0.0, 0.0}))
            << why;
        EXPECT_FALSE(r.lightTested) << why;
    };
    expectBase("no lights");
    scene.lights.push_back(SceneLight{});
    EXPECT_FALSE(shadesUnlit(point, surface, scene.lights));
    for (int32_t face : {kFaceSideFrontAlpha, kFaceSideThickness}) {
        point.faceCode = face;
        expectBase("side wall");
    }
    point.faceCode = kFaceFront;
    surface.acceptsLights = false;
    expectBase("accepts no lights");
    surface.opacity = 3.0;
    EXPECT_EQ(shadePoint(point, surface, frame).alpha, 1.0);
}

// ---- the two raster paths over random scenes --------------------------------------------------------

Vec3 rotate(const Vec3& p, double rx, double ry, double rz) {
    Vec3 a{p.x, p.y * std::cos(rx) - p.z * std::sin(rx), p.y * std::sin(rx) + p.z * std::cos(rx)};
    Vec3 b{a.x * std::cos(ry) + a.z * std::sin(ry), a.y, -a.x * std::sin(ry) + a.z * std::cos(ry)};
    return Vec3{b.x * std::cos(rz) - b.y * std::sin(rz), b.x * std::sin(rz) + b.y * std::cos(rz), b.z};
}

// Overlapping textured slabs at random angles and depths, some reaching through the near plane: a
// front grid, mostly a back grid a little behind it (or coincident) and walls joining the two.
struct RandomScene {
    FrameScene scene;
    std::vector<std::vector<PF_Pixel8>> images;  // rows padded past their width
    int32_t width, height;
    std::mt19937 rng;

    double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); }
    bool chance(double p) { return uniform(0.0, 1.0) < p; }
    int32_t pick(int32_t lo, int32_t hi) { return lo + static_cast<int32_t>(rng() % static_cast<uint32_t>(hi - lo + 1)); }

    RandomScene(uint32_t seed, int32_t w, int32_t h) : width(w), height(h), rng(seed) {
        scene.camera = rasterCamera(w, h);
        for (int32_t s = pick(2, 5); s > 0; --s) {
            SceneSurface surface;
            surface.kind = chance(0.5) ? kSurfaceBent : kSurfaceFlat;
            surface.opacity = chance(0.3) ? uniform(0.2, 1.0) : 1.0;
            BendControls& c = surface.controls;
            c.hasFrontLayer = true;
            c.tileCount = chance(0.3) ? pick(1, 2) : 0;
            c.tileMirror = chance(0.5);
            c.frontFlip = chance(0.3);
            c.thickness = chance(0.8) ? 20.0 : 0.0;
            c.thicknessColor = packColor(255, static_cast<uint8_t>(rng()), 90, 30);
            surface.frontTexture = randomTexture(chance(0.25));
            if (chance(0.3)) surface.backTexture = randomTexture(false);
            addSlab(surface);
            scene.surfaces.push_back(std::move(surface));
        }
    }

    SurfaceTexture randomTexture(bool opaque) {
        SurfaceTexture t;
        t.worldType = AEGP_WorldType_8;
        t.width = pick(2, 8);
        t.height = pick(2, 6);
        int32_t stride = t.width + pick(1, 3);
        t.rowBytes = stride * static_cast<int32_t>(sizeof(PF_Pixel8));
        std::vector<PF_Pixel8>& pixels = images.emplace_back(static_cast<size_t>(stride * t.height));
        for (PF_Pixel8& p : pixels) {
            uint32_t r = rng();
            auto alpha = static_cast<A_u_char>(opaque ? 255 : (r % 4 == 0 ? 0 : r >> 24));
            p = PF_Pixel8{alpha, static_cast<A_u_char>(r >> 8), static_cast<A_u_char>(r >> 16), static_cast<A_u_char>(r)};
        }
        t.baseAddress = pixels.data();
        return t;
    }

    void addSlab(SceneSurface& surface) {
        const double sizeX = uniform(20, 120), sizeY = uniform(20, 120);
        const double rx = uniform(-1.3, 1.3), ry = uniform(-1.3, 1.3), rz = uniform(-3.2, 3.2);
        const double z = chance(0.15) ? uniform(5, 30) : uniform(60, 260);
        const Vec3 center{uniform(-0.4, 0.4) * width * z / kFocal, uniform(-0.4, 0.4) * height * z / kFocal, z};
        const double thickness = chance(0.6) ? uniform(0.5, 6.0) : 0.0;
        const int32_t columns = pick(1, 4), rows = pick(1, 3), tiles = surface.controls.tileCount;
        const Vec3 normal = rotate(Vec3{0, 0, 1}, rx, ry, rz);
        SurfaceMesh& mesh = surface.mesh;
        auto addGrid = [&](double offset) {
            for (int32_t i = 0; i <= rows; ++i) {
                for (int32_t j = 0; j <= columns; ++j) {
                    double fx = static_cast<double>(j) / columns, fy = static_cast<double>(i) / rows;
                    SurfaceVertex v;
                    v.cameraPosition = rotate(Vec3{(fx - 0.5) * sizeX, (fy - 0.5) * sizeY, offset}, rx, ry, rz) + center;
                    v.worldPosition = v.cameraPosition;
                    v.cameraNormal = v.worldNormal = normalizeOr(normal + Vec3{uniform(-0.3, 0.3), 0, 0}, normal);
                    v.u = -tiles + (2.0 * tiles + 1.0) * fx;
                    v.v = fy;
                    mesh.vertices.push_back(v);
                }
            }
        };
        auto at = [&](int32_t layer, int32_t i, int32_t j) { return (layer * (rows + 1) + i) * (columns + 1) + j; };
        auto addQuad = [&](int32_t a, int32_t b, int32_t c, int32_t d, int32_t face) {
            mesh.triangles.push_back(SurfaceTriangle{a, b, c, face, static_cast<uint8_t>(chance(0.1))});
            mesh.triangles.push_back(SurfaceTriangle{c, b, d, face, 0});
        };
        addGrid(0.0);
        const bool slab = chance(0.7);
        if (slab) addGrid(thickness);
        for (int32_t i = 0; i < rows; ++i) {
            for (int32_t j = 0; j < columns; ++j) {
                addQuad(at(0, i, j), at(0, i, j + 1), at(0, i + 1, j), at(0, i + 1, j + 1), kFaceFront);
                if (slab) addQuad(at(1, i, j + 1), at(1, i, j), at(1, i + 1, j + 1), at(1, i + 1, j), kFaceBack);
            }
        }
        if (!slab) return;
        const int32_t wall = chance(0.5) ? kFaceSideFrontAlpha : kFaceSideThickness;
        for (int32_t j = 0; j < columns; ++j) {
            addQuad(at(0, 0, j), at(1, 0, j), at(0, 0, j + 1), at(1, 0, j + 1), wall);
            addQuad(at(1, rows, j), at(0, rows, j), at(1, rows, j + 1), at(0, rows, j + 1), wall);
        }
        for (int32_t i = 0; i < rows; ++i) {
            addQuad(at(1, i, 0), at(0, i, 0), at(1, i + 1, 0), at(0, i + 1, 0), wall);
            addQuad(at(0, i, columns), at(1, i, columns), at(0, i + 1, columns), at(1, i + 1, columns), wall);
        }
    }
};

// Row slices as the worker pool hands them out, run one after another.
template <typename Body>
void overRowSlices(int32_t rows, int32_t slices, Body body) {
    for (int32_t k = 0; k < slices; ++k) body(rows * k / slices, rows * (k + 1) / slices);
}

struct Render {
    FrameBuffers buffers;
    std::vector<PreparedTriangle> prepared;
    ShadingFrame frame;

    Render(const RandomScene& r, const FrameBufferSet& set) {
        buffers.rasterWidth = r.width;
        buffers.rasterHeight = r.height;
        allocateFrameBuffers(buffers, set);
        frame.scene = &r.scene;
        frame.rasterCamera = &r.scene.camera;
        frame.prepared = &prepared;
        frame.buffers = &buffers;
    }
};

// Tile path: preparation, bands, band raster, deferred shading in three row slices.
FrameBuffers renderTilePath(const RandomScene& r, int32_t bandCount, bool shadowPost = false,
                            const ShadingTerms* terms = nullptr, const ShadowBvh* casters = nullptr) {
    Render render(r, FrameBufferSet{true, true, false, shadowPost});
    render.frame.terms = terms;
    render.frame.shadowBvh = casters;
    render.prepared = prepareRaster(r.scene.camera, r.scene.surfaces, r.width, r.height);
    RasterBands bands = binRasterBands(render.prepared, r.height, bandCount);
    for (int32_t b = 0; b < bandCount; ++b) {
        rasterBand(r.scene.surfaces, render.prepared, bands.bands[static_cast<size_t>(b)],
                   rasterBandFirstRow(b, r.height, bandCount), rasterBandFirstRow(b + 1, r.height, bandCount),
                   render.buffers);
    }
    overRowSlices(r.height, 3, [&](int32_t first, int32_t end) { shadeVisiblePixels(render.frame, first, end); });
    return std::move(render.buffers);
}

// Per-row path: without lights a single pass that shades at once, with no index arrays in the frame;
// with lights a visibility pass, then a pass that shades the winners.
FrameBuffers renderPerRowPath(const RandomScene& r, int32_t slices, const ShadowBvh* casters = nullptr) {
    const bool lit = !r.scene.lights.empty();
    Render render(r, FrameBufferSet{lit, false, false, false});
    render.frame.shadowBvh = casters;
    for (PerTrianglePass pass : {PerTrianglePass::Visibility, PerTrianglePass::ShadeWinners,
                                 PerTrianglePass::ShadeAtOnce}) {
        if (lit == (pass == PerTrianglePass::ShadeAtOnce)) continue;
        overRowSlices(r.height, slices,
                      [&](int32_t first, int32_t end) { rasterizePerTriangle(render.frame, pass, first, end); });
    }
    return std::move(render.buffers);
}

// Exactly the same picture: winners, masks, depths and colours.
size_t countDifferences(const FrameBuffers& a, const FrameBuffers& b, uint32_t seed) {
    size_t differing = 0;
    for (size_t p = 0; p < a.pixelCount(); ++p) {
        bool same = a.surfaceIndex[p] == b.surfaceIndex[p] && a.coverage[p] == b.coverage[p] &&
                    (a.depth[p] == b.depth[p] || (std::isinf(a.depth[p]) && std::isinf(b.depth[p])));
        for (size_t c = 4 * p; c < 4 * p + 4; ++c) same = same && a.color[c] == b.color[c];
        if (!same && differing++ < 3) {
            ADD_FAILURE() << "seed " << seed << " pixel " << p << ": surface " << a.surfaceIndex[p] << " / "
                          << b.surfaceIndex[p] << ", depth " << a.depth[p] << " / " << b.depth[p] << ", alpha "
                          << a.color[4 * p + 3] << " / " << b.color[4 * p + 3];
        }
    }
    return differing;
}

TEST(PerTrianglePath, ShowsTheTilePathsPictureWithAndWithoutLights) {
    size_t covered = 0;
    for (uint32_t seed = 1; seed <= 32; ++seed) {
        RandomScene r(seed, 72, 150);
        if (seed % 2 == 0) r.scene.lights.push_back(SceneLight{});
        FrameBuffers tile = renderTilePath(r, 1 + static_cast<int32_t>(seed % 3));
        FrameBuffers row = renderPerRowPath(r, 1 + static_cast<int32_t>(seed % 4));
        EXPECT_EQ(countDifferences(tile, row, seed), 0u) << "seed " << seed;
        if (r.scene.lights.empty()) {
            EXPECT_TRUE(row.triangleIndex.empty());
        } else {
            EXPECT_EQ(tile.triangleIndex, row.triangleIndex) << "seed " << seed;
            EXPECT_EQ(tile.clipTriangle, row.clipTriangle) << "seed " << seed;
        }
        for (int32_t s : tile.surfaceIndex) covered += s >= 0 ? 1 : 0;
    }
    EXPECT_GT(covered, 32u * 72u * 150u / 10u);  // the scenes are not empty pictures
}

TEST(DeferredShading, WritesShadowPostBuffersOnlyWhenTheFrameHasThem) {
    RandomScene r(7, 48, 48);
    FrameBuffers plain = renderTilePath(r, 1);
    FrameBuffers post = renderTilePath(r, 1, true);
    EXPECT_TRUE(plain.shadowVisibility.empty());
    EXPECT_EQ(countDifferences(plain, post, 7), 0u);
    size_t marked = 0;
    for (size_t p = 0; p < post.pixelCount(); ++p) {
        ASSERT_EQ(post.shadowVisibility[p] + post.filteredVisibility[p] + post.radiusField[p] + post.slope[3 * p], 2.0);
        int32_t face = -1;
        if (post.surfaceIndex[p] >= 0) {
            const SceneSurface& surface = r.scene.surfaces[static_cast<size_t>(post.surfaceIndex[p])];
            face = surface.mesh.triangles[static_cast<size_t>(post.triangleIndex[p])].faceCode;
        }
        // Side walls take no part in shadow filtering; neither do empty pixels.
        bool filtered = face == kFaceFront || face == kFaceBack;
        ASSERT_EQ(post.shadowMark[p], filtered ? 1 : 0) << "face " << face;
        marked += post.shadowMark[p];
    }
    EXPECT_GT(marked, 0u);
}

TEST(DeferredShading, FrameTermsGiveThePictureOfTermsWorkedOutPerPoint) {
    // Shadow-casting slabs of different materials under a spot, a parallel light and an ambient one,
    // with and without the shadow-post buffers: the frame's terms must reach every surface by its own
    // index, as the per-row path, which works them out for each point, shows.
    for (uint32_t seed = 40; seed < 46; ++seed) {
        RandomScene r(seed, 64, 64);
        for (size_t i = 0; i < r.scene.surfaces.size(); ++i) {
            SceneSurface& surface = r.scene.surfaces[i];
            surface.castsShadows = i % 2 == 0;
            surface.material = LayerMaterial{0.2 * static_cast<double>(i), 0.9, 0.5, 4.0 + 3.5 * static_cast<double>(i)};
        }
        SceneLight spot;
        spot.type = kLightSpot;
        spot.positionWorld = spot.positionCamera = Vec3{20.0, -30.0, -40.0};
        spot.directionWorld = spot.directionCamera = Vec3{0.0, 0.1, 1.0};
        spot.castsShadows = true;
        spot.intensity = 0.05;
        SceneLight sun;
        sun.type = kLightParallel;
        sun.directionWorld = sun.directionCamera = Vec3{-0.2, 0.3, 1.0};
        sun.castsShadows = true;
        sun.shadowDiffusion = 15.0;
        sun.intensity = 0.2;
        SceneLight ambient;
        ambient.type = kLightAmbient;
        ambient.intensity = 0.1;
        r.scene.lights = {spot, sun, ambient};
        const ShadowBvh casters = buildShadowBvh(r.scene.surfaces, r.scene.lights);
        const ShadingTerms terms = shadingTermsOf(r.scene);
        const FrameBuffers perPoint = renderPerRowPath(r, 2, &casters);
        for (bool shadowPost : {false, true}) {
            FrameBuffers own = renderTilePath(r, 2, shadowPost, nullptr, &casters);
            FrameBuffers framed = renderTilePath(r, 2, shadowPost, &terms, &casters);
            EXPECT_EQ(countDifferences(perPoint, framed, seed), 0u);
            EXPECT_EQ(countDifferences(own, framed, seed), 0u);
            EXPECT_EQ(own.slope, framed.slope) << "seed " << seed;
            EXPECT_EQ(own.shadowVisibility, framed.shadowVisibility) << "seed " << seed;
            if (!shadowPost) continue;
            // The slope is written where the frame keeps it: some lit pixel has one.
            bool sloped = false;
            for (float v : framed.slope) sloped = sloped || v != 0.0f;
            EXPECT_TRUE(sloped) << "seed " << seed;
        }
    }
}

}  // namespace
}  // namespace zephrin
