// Deferred shading of winners that take no lights: the pass reads each run of one winner's pixels
// through one lookup of its prepared triangle, and writes the kept colour without shading it. And
// rows shaded one by one as the band raster finishes them, lit or not, give the whole pass's picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <utility>
#include <vector>

#include "renderer/raster/raster_band.h"
#include "renderer/raster/raster_prepare.h"
#include "renderer/runtime/frame_buffers.h"
#include "renderer/shading/deferred_shading.h"
#include "renderer/shading/shade_point.h"
#include "renderer/shadows/shadow_bvh.h"

namespace zephrin {
namespace {

constexpr int32_t kWidth = 40, kHeight = 24;
constexpr double kFocal = 50.0;

// A camera-space corner that the raster camera projects to raster point (sx, sy).
SurfaceVertex cornerAt(double sx, double sy, double z, double u, double v) {
    SurfaceVertex vertex;
    vertex.cameraPosition = vertex.worldPosition =
        Vec3{(sx - kWidth * 0.5) * z / kFocal, (sy - kHeight * 0.5) * z / kFocal, z};
    vertex.cameraNormal = vertex.worldNormal = Vec3{0.0, 0.0, -1.0};
    vertex.u = u;
    vertex.v = v;
    return vertex;
}

// A textured card (two triangles, partly transparent opacity) and a solid triangle in front of part
// of it, rasterized as the tile path does.
struct UnlitFrame {
    std::vector<PF_Pixel8> image = std::vector<PF_Pixel8>(8 * 8);
    FrameScene scene;
    SceneCamera camera;
    std::vector<PreparedTriangle> prepared;
    ShadowBvh bvh;
    FrameBuffers buffers;
    bool shadowPost = false;

    UnlitFrame() {
        std::mt19937 rng(5);
        for (PF_Pixel8& p : image) {
            p = PF_Pixel8{static_cast<A_u_char>(128 + rng() % 128), static_cast<A_u_char>(rng()),
                          static_cast<A_u_char>(rng()), static_cast<A_u_char>(rng())};
        }
        SceneSurface card;
        card.frontTexture.worldType = AEGP_WorldType_8;
        card.frontTexture.width = card.frontTexture.height = 8;
        card.frontTexture.rowBytes = 8 * sizeof(PF_Pixel8);
        card.frontTexture.baseAddress = image.data();
        card.controls.hasFrontLayer = true;
        card.opacity = 0.7;
        card.mesh.vertices = {cornerAt(2, 2, 100, 0, 0), cornerAt(36, 2, 100, 1, 0), cornerAt(2, 21, 100, 0, 1),
                              cornerAt(36, 21, 100, 1, 1)};
        card.mesh.triangles = {SurfaceTriangle{0, 1, 2, kFaceFront, 0}, SurfaceTriangle{2, 1, 3, kFaceFront, 0}};
        SceneSurface solid;
        solid.opacity = 0.9;
        solid.mesh.vertices = {cornerAt(20, 0, 50, 0, 0), cornerAt(40, 10, 50, 0, 0), cornerAt(24, 24, 50, 0, 0)};
        solid.mesh.triangles = {SurfaceTriangle{0, 1, 2, kFaceFront, 0}};
        scene.surfaces.push_back(std::move(card));
        scene.surfaces.push_back(std::move(solid));
        camera.compWidth = camera.destWidth = kWidth;
        camera.compHeight = camera.destHeight = kHeight;
        camera.focal = kFocal;
        prepared = prepareRaster(camera, scene.surfaces, kWidth, kHeight);
        buffers.rasterWidth = kWidth;
        buffers.rasterHeight = kHeight;
        rasterize(buffers, 1, nullptr);
    }

    // A soft-shadowed spot light in front of the card, which the solid triangle shadows in part, and
    // the shadow-post arrays that soft shadows write.
    void light() {
        SceneLight spot;
        spot.type = kLightSpot;
        spot.positionWorld = spot.positionCamera = Vec3{10.0, -8.0, 0.0};
        spot.directionWorld = spot.directionCamera = Vec3{0.0, 0.1, 1.0};
        spot.coneAngle = 120.0;
        spot.coneFeather = 40.0;
        spot.intensity = 0.02;
        spot.castsShadows = true;
        spot.shadowDiffusion = 30.0;
        scene.lights.push_back(spot);
        scene.surfaces[1].castsShadows = true;
        bvh = buildShadowBvh(scene.surfaces, scene.lights);
        shadowPost = true;
        rasterize(buffers, 1, nullptr);
    }

    ShadingFrame shadingFrame(FrameBuffers& target) const {
        ShadingFrame frame;
        frame.scene = &scene;
        frame.rasterCamera = &camera;
        frame.prepared = &prepared;
        frame.buffers = &target;
        frame.shadowBvh = bvh.triangles.empty() ? nullptr : &bvh;
        frame.keepsShadowPost = shadowPost;
        return frame;
    }

    // Fresh arrays rasterized in `bandCount` bands, each row handed to rowFinished where one is given.
    void rasterize(FrameBuffers& target, int32_t bandCount, const RowFinished* rowFinished) const {
        target.rasterWidth = kWidth;
        target.rasterHeight = kHeight;
        allocateFrameBuffers(target, FrameBufferSet{true, true, false, shadowPost});
        const RasterBands bands = binRasterBands(prepared, kHeight, bandCount);
        for (int32_t b = 0; b < bandCount; ++b) {
            rasterBand(scene.surfaces, prepared, bands.bands[static_cast<size_t>(b)],
                       rasterBandFirstRow(b, kHeight, bandCount), rasterBandFirstRow(b + 1, kHeight, bandCount),
                       target, rowFinished != nullptr ? *rowFinished : RowFinished{});
        }
    }

    void shade(FrameBuffers& target) const { shadeVisiblePixels(shadingFrame(target), 0, kHeight); }
};

TEST(DeferredUnlit, WinnersShowTheirKeptColourAndRecordsThatDisagreeAreLeftAsTheRasterWroteThem) {
    const UnlitFrame f;
    ASSERT_EQ(f.prepared.size(), 3u);
    FrameBuffers clean = f.buffers;
    f.shade(clean);

    // Inside long runs of one winner: records whose surface, triangle or clip index disagree with their
    // prepared triangle, prepared indices that name nothing, and a hole; each is followed by pixels of
    // the same run, which must still be shaded.
    FrameBuffers tampered = f.buffers;
    const int32_t y = 6;
    auto at = [](int32_t x, int32_t row) { return static_cast<size_t>(row) * kWidth + static_cast<size_t>(x); };
    ASSERT_EQ(tampered.preparedIndex[at(4, y)], tampered.preparedIndex[at(16, y)]);
    const std::vector<size_t> altered = {at(5, y), at(8, y), at(11, y), at(13, y), at(15, y)};
    tampered.triangleIndex[altered[0]] ^= 1;
    tampered.surfaceIndex[altered[1]] = 1;
    tampered.clipTriangle[altered[2]] = 1;
    tampered.preparedIndex[altered[3]] = static_cast<int32_t>(f.prepared.size());
    tampered.preparedIndex[altered[4]] = -1;
    f.shade(tampered);

    size_t shaded = 0;
    for (size_t p = 0; p < clean.pixelCount(); ++p) {
        const double* colour = &clean.color[4 * p];
        const double* raster = &f.buffers.color[4 * p];
        const double* kept = &tampered.color[4 * p];
        const bool wasAltered = std::find(altered.begin(), altered.end(), p) != altered.end();
        if (wasAltered) {
            EXPECT_EQ(std::vector<double>(kept, kept + 4), std::vector<double>(raster, raster + 4)) << "pixel " << p;
            continue;
        }
        EXPECT_EQ(std::vector<double>(kept, kept + 4), std::vector<double>(colour, colour + 4)) << "pixel " << p;
        if (clean.preparedIndex[p] < 0) continue;
        // Bit for bit what shading an unlit point gives.
        const SceneSurface& surface = f.scene.surfaces[static_cast<size_t>(clean.surfaceIndex[p])];
        const ShadingResult expected = unlitShading(clean.packedColor[p], surface);
        EXPECT_EQ(std::vector<double>(colour, colour + 4),
                  (std::vector<double>{expected.red, expected.green, expected.blue, expected.alpha}))
            << "pixel " << p;
        ++shaded;
    }
    EXPECT_GT(shaded, static_cast<size_t>(kWidth * kHeight / 2));
    // Both surfaces won somewhere, the card with both of its triangles.
    std::vector<bool> won(f.prepared.size(), false);
    for (int32_t index : clean.preparedIndex) {
        if (index >= 0) won[static_cast<size_t>(index)] = true;
    }
    EXPECT_EQ(won, std::vector<bool>(f.prepared.size(), true));
}

TEST(DeferredRows, RowsShadedAsTheBandFinishesThemGiveThePictureOfTheDeferredPass) {
    // Each row is shaded only once every triangle of its band has drawn it, whichever band it lies in:
    // unlit, and under a soft-shadowed light, whose rays, shadow marks and slopes must come out as the
    // whole pass after the raster leaves them.
    for (const bool lit : {false, true}) {
        SCOPED_TRACE(lit ? "lit" : "unlit");
        UnlitFrame f;
        if (lit) f.light();
        FrameBuffers deferred = f.buffers;
        f.shade(deferred);
        FrameBuffers byRow;
        const ShadingFrame frame = f.shadingFrame(byRow);
        std::vector<int32_t> rows;
        struct Context {
            const ShadingFrame* frame;
            std::vector<int32_t>* rows;
        } context{&frame, &rows};
        const RowFinished rowFinished{[](const void* c, int32_t y) {
                                          const auto& own = *static_cast<const Context*>(c);
                                          own.rows->push_back(y);
                                          shadeVisiblePixels(*own.frame, y, y + 1);
                                      },
                                      &context};
        f.rasterize(byRow, 3, &rowFinished);
        std::vector<int32_t> everyRow(kHeight);
        for (int32_t y = 0; y < kHeight; ++y) everyRow[static_cast<size_t>(y)] = y;
        EXPECT_EQ(rows, everyRow);
        EXPECT_EQ(byRow.color, deferred.color);
        EXPECT_EQ(byRow.depth, deferred.depth);
        EXPECT_EQ(byRow.preparedIndex, deferred.preparedIndex);
        EXPECT_EQ(byRow.shadowVisibility, deferred.shadowVisibility);
        EXPECT_EQ(byRow.radiusField, deferred.radiusField);
        EXPECT_EQ(byRow.slope, deferred.slope);
        EXPECT_EQ(byRow.shadowMark, deferred.shadowMark);
        if (!lit) continue;
        // The light reached the card and the triangle's shadow fell on part of it.
        const auto shadowed = std::count_if(deferred.shadowVisibility.begin(), deferred.shadowVisibility.end(),
                                            [](double v) { return v < 0.5; });
        const auto marked = std::count(deferred.shadowMark.begin(), deferred.shadowMark.end(), 1);
        EXPECT_GT(shadowed, 10);
        EXPECT_GT(marked, shadowed);
    }
}

}  // namespace
}  // namespace zephrin
