#include "renderer/raster/raster_band.h"
#include "renderer/raster/raster_prepare.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "renderer/raster/raster_fragment.h"
#include "renderer/runtime/frame_buffers.h"
#include "renderer/texture/texture_sampling.h"

namespace zephrin {
namespace {

constexpr double kFocal = 100.0;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Identity view; comp size = raster size, so a point at depth z lands at focal * x / z + W / 2.
SceneCamera rasterCamera(int32_t width, int32_t height) {
    SceneCamera camera;
    camera.compWidth = camera.destWidth = width;
    camera.compHeight = camera.destHeight = height;
    camera.focal = kFocal;
    return camera;
}

SurfaceVertex cameraVertex(double x, double y, double z, Vec3 normal = {0, 0, 1}, double u = 0.0) {
    SurfaceVertex vertex;
    vertex.cameraPosition = vertex.worldPosition = Vec3{x, y, z};
    vertex.cameraNormal = vertex.worldNormal = normal;
    vertex.u = u;
    return vertex;
}

// A vertex that projects to raster point (sx, sy) at view depth z.
SurfaceVertex screenVertex(const SceneCamera& camera, double sx, double sy, double z) {
    return cameraVertex((sx - camera.compWidth * 0.5) * z / kFocal, (sy - camera.compHeight * 0.5) * z / kFocal, z);
}

void addTriangle(SceneSurface& surface, const SurfaceVertex& a, const SurfaceVertex& b, const SurfaceVertex& c,
                 int32_t faceCode = kFaceFront) {
    auto base = static_cast<int32_t>(surface.mesh.vertices.size());
    surface.mesh.vertices.insert(surface.mesh.vertices.end(), {a, b, c});
    surface.mesh.triangles.push_back(SurfaceTriangle{base, base + 1, base + 2, faceCode, 0});
}

// A triangle given in raster pixels at one depth.
void addScreenTriangle(SceneSurface& surface, const SceneCamera& camera, double x0, double y0, double x1, double y1,
                       double x2, double y2, double z, int32_t faceCode = kFaceFront) {
    addTriangle(surface, screenVertex(camera, x0, y0, z), screenVertex(camera, x1, y1, z),
                screenVertex(camera, x2, y2, z), faceCode);
}

// Preparation, binning and the band raster, as the tile path runs them.
FrameBuffers rasterize(const std::vector<SceneSurface>& surfaces, int32_t width, int32_t height,
                       bool visiblePixels = false, int32_t bandCount = 1) {
    FrameBuffers buffers;
    buffers.rasterWidth = width;
    buffers.rasterHeight = height;
    allocateFrameBuffers(buffers, FrameBufferSet{true, true, visiblePixels, false});
    std::vector<PreparedTriangle> prepared = prepareRaster(rasterCamera(width, height), surfaces, width, height);
    RasterBands bands = binRasterBands(prepared, height, bandCount);
    for (int32_t b = 0; b < bandCount; ++b) {
        rasterBand(surfaces, prepared, bands.bands[static_cast<size_t>(b)], rasterBandFirstRow(b, height, bandCount),
                   rasterBandFirstRow(b + 1, height, bandCount), buffers);
    }
    return buffers;
}

size_t pixelAt(const FrameBuffers& buffers, int32_t x, int32_t y) {
    return static_cast<size_t>(y * buffers.rasterWidth + x);
}

TEST(NearPlaneClip, CornersBehindMakeAQuadATriangleOrNothing) {
    // One corner behind: a quad whose two new corners lie exactly on the plane, attributes carried.
    ClippedPolygon quad = clipToNearPlane(cameraVertex(0, 0, 1, {0, 0, -1}, 0.0), cameraVertex(2, 0, 1, {0, 0, -1}, 1.0),
                                          cameraVertex(0, 2, 0, {1, 0, 0}, 0.5));
    ASSERT_EQ(quad.count, 4);
    const SurfaceVertex& bc = quad.corners[1];  // halfway from the second corner to the third
    EXPECT_EQ(bc.cameraPosition.z, kNearPlaneZ);
    EXPECT_EQ(quad.corners[2].cameraPosition.z, kNearPlaneZ);
    EXPECT_DOUBLE_EQ(bc.cameraPosition.x, 1.0);
    EXPECT_DOUBLE_EQ(bc.u, 0.75);
    EXPECT_NEAR(bc.cameraNormal.x, std::sqrt(0.5), 1e-12);
    EXPECT_NEAR(length(bc.worldNormal), 1.0, 1e-12);
    // Normals that cancel at the crossing keep the first endpoint's normal.
    ClippedPolygon cancelling = clipToNearPlane(cameraVertex(0, 0, 1, {0, 0, -1}), cameraVertex(2, 0, 1, {0, 0, -1}),
                                                cameraVertex(0, 2, 0, {0, 0, 1}));
    EXPECT_EQ(cancelling.corners[1].cameraNormal.z, -1.0);

    EXPECT_EQ(clipToNearPlane(cameraVertex(0, 0, 4), cameraVertex(1, 0, 0), cameraVertex(0, 1, -1)).count, 3);
    EXPECT_EQ(clipToNearPlane(cameraVertex(0, 0, 0.4), cameraVertex(1, 0, 0), cameraVertex(0, 1, -1)).count, 0);

    // Preparation fans the quad into clip triangles 0 and 1 and drops the one wholly behind.
    std::vector<SceneSurface> surfaces(1);
    addTriangle(surfaces[0], cameraVertex(-5, -5, 10), cameraVertex(5, -5, 10), cameraVertex(0, 5, 0.1));
    addTriangle(surfaces[0], cameraVertex(-5, -5, 0.2), cameraVertex(5, -5, 0.3), cameraVertex(0, 5, 0.1));
    std::vector<PreparedTriangle> prepared = prepareRaster(rasterCamera(64, 64), surfaces, 64, 64);
    ASSERT_EQ(prepared.size(), 2u);
    EXPECT_EQ(prepared[0].clipTriangle, 0);
    EXPECT_EQ(prepared[1].clipTriangle, 1);
    EXPECT_EQ(prepared[1].triangleIndex, 0);
}

TEST(PrepareRaster, SetsUpAreaFacingFlagsAndClampedBounds) {
    SceneCamera camera = rasterCamera(10, 10);
    std::vector<SceneSurface> surfaces(2);
    addScreenTriangle(surfaces[0], camera, 1.5, 1.5, 6.2, 1.5, 1.5, 5.7, 100);
    addScreenTriangle(surfaces[0], camera, 1.5, 1.5, 1.5, 5.7, 6.2, 1.5, 100);
    addScreenTriangle(surfaces[1], camera, -4, -3, 30, -3, -4, 12.5, 100);
    surfaces[1].mesh.triangles[0].fineCoverage = 1;
    addScreenTriangle(surfaces[1], camera, 1, 1, 5, 1, 1, 5, 100);
    std::vector<PreparedTriangle> prepared = prepareRaster(camera, surfaces, 10, 10);
    ASSERT_EQ(prepared.size(), 4u);
    const PreparedTriangle& t = prepared[0];
    EXPECT_NEAR(t.area, -4.2 * 4.7, 1e-9);
    EXPECT_NEAR(t.faceNormal.z, 1.0, 1e-12);
    EXPECT_FALSE(t.frontFacing);  // its normal points away from the camera
    EXPECT_TRUE(prepared[1].frontFacing);
    EXPECT_EQ((std::vector<int32_t>{t.minX, t.maxX, t.minY, t.maxY}), (std::vector<int32_t>{1, 7, 1, 6}));
    const PreparedTriangle& big = prepared[2];
    EXPECT_EQ((std::vector<int32_t>{big.minX, big.maxX, big.minY, big.maxY}), (std::vector<int32_t>{0, 9, 0, 9}));
    // One fine triangle gives its whole surface the seven-sample pattern.
    EXPECT_FALSE(prepared[1].sevenSampleCoverage);
    EXPECT_TRUE(prepared[3].sevenSampleCoverage);
}

TEST(PrepareRaster, DropsDegenerateHiddenAndMalformedTriangles) {
    SceneCamera camera = rasterCamera(10, 10);
    std::vector<SceneSurface> surfaces(3);
    addScreenTriangle(surfaces[0], camera, 1, 1, 5, 5, 3, 3, 10);  // no area
    addScreenTriangle(surfaces[0], camera, 1, 1, 5, 1, 1, 5, 10);
    surfaces[0].mesh.triangles.back().c = 99;  // an index past the vertex array
    addTriangle(surfaces[0], screenVertex(camera, 1, 1, 10), screenVertex(camera, 5, 1, 10), cameraVertex(kNaN, 0, 10));
    addScreenTriangle(surfaces[1], camera, 1, 1, 5, 1, 1, 5, 10);
    surfaces[1].renders = false;  // shadow only
    addScreenTriangle(surfaces[2], camera, 1, 1, 5, 1, 1, 5, 10);
    std::vector<PreparedTriangle> prepared = prepareRaster(camera, surfaces, 10, 10);
    ASSERT_EQ(prepared.size(), 1u);
    EXPECT_EQ(prepared[0].surfaceIndex, 2);
}

TEST(PrepareRaster, BentSurfacesCullZeroThicknessWallsAndBackFacesInTheCullRange) {
    SceneCamera camera = rasterCamera(10, 10);
    std::vector<SceneSurface> surfaces(1);
    SceneSurface& s = surfaces[0];
    addScreenTriangle(s, camera, 1, 1, 6, 1, 1, 6, 10, kFaceFront);  // back facing
    addScreenTriangle(s, camera, 1, 1, 1, 6, 6, 1, 10, kFaceFront);  // front facing
    addScreenTriangle(s, camera, 1, 1, 6, 1, 1, 6, 10, kFaceBack);
    addScreenTriangle(s, camera, 1, 1, 6, 1, 1, 6, 10, kFaceSideFrontAlpha);
    addScreenTriangle(s, camera, 1, 1, 6, 1, 1, 6, 10, kFaceSideThickness);
    auto kept = [&]() {
        std::vector<int32_t> indices;
        for (const PreparedTriangle& t : prepareRaster(camera, surfaces, 10, 10)) indices.push_back(t.triangleIndex);
        return indices;
    };
    const std::vector<int32_t> all{0, 1, 2, 3, 4};
    s.kind = kSurfaceBent;
    s.controls.thickness = 0.0;
    EXPECT_EQ(kept(), (std::vector<int32_t>{0, 1, 2, 4}));
    s.controls.thickness = 10.0;
    EXPECT_EQ(kept(), all);
    s.cullRangeBegin = 1;
    s.cullRangeEnd = 5;
    EXPECT_EQ(kept(), (std::vector<int32_t>{1, 3, 4}));
    s.cullRangeEnd = 15;  // begin + end past the vertex count
    EXPECT_EQ(kept(), all);
    s.kind = kSurfaceFlat;
    s.cullRangeEnd = 5;
    s.controls.thickness = 0.0;
    EXPECT_EQ(kept(), all);
}

TEST(BinRasterBands, RowRuleAgreesWithBandRangesAndListsAreAscending) {
    for (int32_t height = 1; height <= 300; ++height) {
        for (int32_t bands = 1; bands <= 8; ++bands) {
            for (int32_t y = 0; y < height; ++y) {
                int32_t b = rasterBandOfRow(y, height, bands);
                ASSERT_LE(rasterBandFirstRow(b, height, bands), y) << height << " " << bands << " " << y;
                ASSERT_GT(rasterBandFirstRow(b + 1, height, bands), y) << height << " " << bands << " " << y;
            }
        }
    }
    std::vector<PreparedTriangle> prepared(4);
    prepared[0].minY = 90, prepared[0].maxY = 210;
    prepared[1].minY = 0, prepared[1].maxY = 99;
    prepared[2].minY = 100, prepared[2].maxY = 100;
    prepared[3].minY = 250, prepared[3].maxY = 299;
    RasterBands bands = binRasterBands(prepared, 300, 3);
    EXPECT_EQ(bands.bands, (std::vector<std::vector<int32_t>>{{0, 1}, {0, 2}, {0, 3}}));
}

TEST(RasterBands, WorkersTakeSeveralBandsOfAtLeastTheMinimumHeightOnlyWhenTheyShare) {
    for (int32_t height : {1, 63, 64, 200, 1080, 2160, 100000}) {
        EXPECT_EQ(rasterBandsPerWorker(height, 1), 1) << height;
        for (int32_t workers = 2; workers <= 8; ++workers) {
            const int32_t perWorker = rasterBandsPerWorker(height, workers);
            ASSERT_GE(perWorker, 1);
            ASSERT_LE(perWorker, kMaxRasterBandsPerWorker);
            const int32_t bands = workers * perWorker;
            // Thin bands only where the frame is too short for more than one band per worker.
            if (perWorker > 1) {
                EXPECT_GE(height / bands, kMinRasterBandRows) << height << " " << workers;
            }
            if (height >= workers * kMinRasterBandRows * kMaxRasterBandsPerWorker) {
                EXPECT_EQ(perWorker, kMaxRasterBandsPerWorker) << height << " " << workers;
            }
        }
    }
    EXPECT_EQ(rasterBandsPerWorker(1080, 2), 8);
}

TEST(Coverage, MasksFollowTheFourAndSevenSamplePatterns) {
    SceneCamera camera = rasterCamera(10, 10);
    std::vector<SceneSurface> surfaces(1);
    addScreenTriangle(surfaces[0], camera, 0, 0, 5.5, 0, 5.5, 10, 10);  // right edge at x = 5.5
    std::vector<PreparedTriangle> four = prepareRaster(camera, surfaces, 10, 10);
    EXPECT_EQ(coverPixel(four[0], 4, 1).mask, 0x0f);
    PixelCoverage edge = coverPixel(four[0], 5, 8);
    EXPECT_EQ(edge.mask, 0x05);  // the left column of samples
    EXPECT_DOUBLE_EQ(edge.centroidX, 5.25);
    EXPECT_DOUBLE_EQ(edge.centroidY, 8.5);
    EXPECT_EQ(coverPixel(four[0], 7, 1).mask, 0);

    surfaces[0].mesh.triangles[0].fineCoverage = 1;
    std::vector<PreparedTriangle> seven = prepareRaster(camera, surfaces, 10, 10);
    EXPECT_EQ(coverPixel(seven[0], 4, 1).mask, 0xff);
    // Samples at x + 0.2 and on the edge at x + 0.5 are inside, those at x + 0.8 are not.
    EXPECT_EQ(coverPixel(seven[0], 5, 8).mask, kSevenSampleMaskBit | 0x01 | 0x02 | 0x04 | 0x10 | 0x20);
}

TEST(SameSurfaceRule, DepthBandThenFacePriorities) {
    EXPECT_TRUE(sameSurfaceReplaces(10.0, kFaceSideFrontAlpha, 11.0, kFaceFront, 1.0));
    EXPECT_FALSE(sameSurfaceReplaces(11.0, kFaceSideThickness, 10.0, kFaceFront, 1.0));
    // A thickness wall shows through a nearly transparent front, back or side texel in front of it.
    EXPECT_TRUE(sameSurfaceReplaces(11.0, kFaceSideThickness, 10.0, kFaceFront, 0.4));
    EXPECT_FALSE(sameSurfaceReplaces(11.0, kFaceSideThickness, 10.0, kFaceObj, 0.4));
    const double z = 1000.0, close = 1000.0 + 0.5e-3;  // within the band of 1e-6 * 1000
    EXPECT_TRUE(sameSurfaceReplaces(close, kFaceSideThickness, z, kFaceFront, 1.0));
    EXPECT_TRUE(sameSurfaceReplaces(close, kFaceSideThickness, z, kFaceBack, 1.0));
    EXPECT_FALSE(sameSurfaceReplaces(z, kFaceFront, close, kFaceSideThickness, 1.0));
    EXPECT_FALSE(sameSurfaceReplaces(z, kFaceSideFrontAlpha, close, kFaceFront, 1.0));
    EXPECT_TRUE(sameSurfaceReplaces(close, kFaceBack, z, kFaceSideFrontAlpha, 1.0));
    EXPECT_TRUE(sameSurfaceReplaces(z, kFaceFront, close, kFaceBack, 1.0));
    EXPECT_FALSE(sameSurfaceReplaces(z, kFaceFront, z, kFaceFront, 1.0));
    // The band never narrows below 1e-5.
    EXPECT_TRUE(sameSurfaceReplaces(1.0 + 0.9e-5, kFaceSideThickness, 1.0, kFaceFront, 1.0));
    EXPECT_FALSE(sameSurfaceReplaces(1.0 + 1.1e-5, kFaceSideThickness, 1.0, kFaceFront, 1.0));
}

TEST(RasterBand, AdjacentTrianglesOfOneSurfaceUniteTheirMasks) {
    SceneCamera camera = rasterCamera(12, 12);
    // Two triangles meet on x + y = 11, through pixel (5, 5); neither covers it alone.
    for (double secondDepth : {100.00001, 90.0}) {
        std::vector<SceneSurface> surfaces(1);
        addScreenTriangle(surfaces[0], camera, 2, 2, 9, 2, 2, 9, 100);
        addScreenTriangle(surfaces[0], camera, 2, 9, 9, 2, 9, 9, secondDepth);
        FrameBuffers buffers = rasterize(surfaces, 12, 12);
        size_t p = pixelAt(buffers, 5, 5);
        EXPECT_EQ(buffers.coverage[p], 0x0f) << secondDepth;
        // Within the depth band the nearer of two equal faces stays; a clearly nearer one takes over.
        EXPECT_EQ(buffers.triangleIndex[p], secondDepth < 100.0 ? 1 : 0);
    }
}

TEST(RasterBand, CoplanarFaceCodesResolveByPriority) {
    SceneCamera camera = rasterCamera(12, 12);
    auto winner = [&](int32_t firstFace, int32_t secondFace) {
        std::vector<SceneSurface> surfaces(1);
        addScreenTriangle(surfaces[0], camera, 1, 1, 9, 1, 1, 9, 100, firstFace);
        addScreenTriangle(surfaces[0], camera, 1, 1, 9, 1, 1, 9, 100, secondFace);
        FrameBuffers buffers = rasterize(surfaces, 12, 12);
        return buffers.triangleIndex[pixelAt(buffers, 3, 3)];
    };
    EXPECT_EQ(winner(kFaceFront, kFaceSideThickness), 1);
    EXPECT_EQ(winner(kFaceSideThickness, kFaceBack), 0);
    EXPECT_EQ(winner(kFaceFront, kFaceSideFrontAlpha), 0);
    EXPECT_EQ(winner(kFaceSideFrontAlpha, kFaceFront), 1);
}

TEST(RasterBand, RowByRowWalkGivesEveryPixelWhatATriangleByTriangleWalkGives) {
    // Overlapping triangles of two surfaces that start on different rows, mostly within one depth band
    // so that face priorities and ties, which depend on the order in which a pixel meets its
    // fragments, decide many pixels.
    constexpr int32_t kSize = 48;
    const SceneCamera camera = rasterCamera(kSize, kSize);
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> coordinate(-4.0, kSize + 4.0), extent(1.0, 30.0), jitter(0.0, 5e-5);
    std::uniform_int_distribution<int32_t> pick(0, 3);
    const int32_t faces[4] = {kFaceFront, kFaceBack, kFaceSideThickness, kFaceSideFrontAlpha};
    std::vector<SceneSurface> surfaces(2);
    for (int i = 0; i < 300; ++i) {
        const double x = coordinate(rng), y = coordinate(rng), w = extent(rng), h = extent(rng);
        const double z = pick(rng) == 0 ? 100.5 : 100.0 + (pick(rng) == 0 ? 0.0 : jitter(rng));
        addScreenTriangle(surfaces[static_cast<size_t>(i % 2)], camera, x, y, x + w, y + 0.3 * h, x + 0.2 * w, y + h, z,
                          faces[pick(rng)]);
    }
    for (int32_t bandCount : {1, 3}) {
        const FrameBuffers rows = rasterize(surfaces, kSize, kSize, false, bandCount);

        FrameBuffers reference;
        reference.rasterWidth = reference.rasterHeight = kSize;
        allocateFrameBuffers(reference, FrameBufferSet{true, true, false, false});
        const std::vector<PreparedTriangle> prepared = prepareRaster(camera, surfaces, kSize, kSize);
        WinnerIndices winners;
        bindWinnerIndices(reference, 0, kSize, winners);
        for (size_t i = 0; i < prepared.size(); ++i) {
            forEachCoveredPixelInRows(prepared[i], 0, kSize, [&](int32_t x, int32_t y, const PixelCoverage& coverage) {
                WinningFragment won;
                rasterizeFragment(surfaces, prepared[i], static_cast<int32_t>(i), coverage, x, y, reference, winners,
                                  won);
            });
        }
        EXPECT_EQ(rows.depth, reference.depth) << bandCount;
        EXPECT_EQ(rows.coverage, reference.coverage) << bandCount;
        EXPECT_EQ(rows.color, reference.color) << bandCount;
        EXPECT_EQ(rows.surfaceIndex, reference.surfaceIndex) << bandCount;
        EXPECT_EQ(rows.triangleIndex, reference.triangleIndex) << bandCount;
        EXPECT_EQ(rows.preparedIndex, reference.preparedIndex) << bandCount;
        EXPECT_EQ(rows.winnerMask, reference.winnerMask) << bandCount;
    }
}

TEST(RasterBand, TransparentFragmentsAreNotWrittenAndHideNothing) {
    SceneCamera camera = rasterCamera(8, 8);
    std::vector<PF_Pixel8> clear(4 * 2, PF_Pixel8{0, 255, 255, 255});  // 2 x 2, rows of 4 pixels
    std::vector<SceneSurface> surfaces(2);
    addScreenTriangle(surfaces[0], camera, 0, 0, 8, 0, 0, 8, 50);
    SurfaceTexture& texture = surfaces[0].frontTexture;
    texture.worldType = AEGP_WorldType_8;
    texture.width = texture.height = 2;
    texture.rowBytes = 4 * sizeof(PF_Pixel8);
    texture.baseAddress = clear.data();
    addScreenTriangle(surfaces[1], camera, 0, 0, 8, 0, 0, 8, 80);
    FrameBuffers buffers = rasterize(surfaces, 8, 8);
    size_t p = pixelAt(buffers, 2, 2);
    EXPECT_EQ(buffers.surfaceIndex[p], 1);
    EXPECT_NEAR(buffers.depth[p], 80.0, 1e-9);
    EXPECT_EQ(buffers.color[4 * p + 3], 1.0);
}

// Every row of every prepared triangle through the row loops the processor gets (wide where it has
// AVX2), through the band raster and through the portable loops, with the deferred-shading records
// (pixel by pixel), with the tile path's arrays only, and with the fewest arrays (whole blocks at a
// time where the processor has AVX2): every array must come out the same bit for bit. Rows go in two
// halves, each with its own winner indices: where the frame keeps no triangle indices, the second
// half's start at a pixel offset.
void expectWideRowsWriteWhatPortableRowsWrite(const SceneCamera& camera, const std::vector<SceneSurface>& surfaces,
                                              int32_t size, size_t minDrawn) {
    const std::vector<PreparedTriangle> prepared = prepareRaster(camera, surfaces, size, size);
    const RasterBands bands = binRasterBands(prepared, size, 2);
    auto rasterizeWith = [&](const FrameBufferSet& set, bool portable) {
        FrameBuffers buffers;
        buffers.rasterWidth = buffers.rasterHeight = size;
        allocateFrameBuffers(buffers, set);
        for (const int32_t firstRow : {0, size / 2}) {
            const int32_t endRow = firstRow == 0 ? size / 2 : size;
            WinnerIndices winners;
            bindWinnerIndices(buffers, firstRow, endRow, winners);
            const RasterTargets targets = rasterTargets(buffers, winners);
            for (size_t i = 0; i < prepared.size(); ++i) {
                const PreparedTriangle& triangle = prepared[i];
                const SceneSurface& surface = surfaces[static_cast<size_t>(triangle.surfaceIndex)];
                for (int32_t y = std::max(triangle.minY, firstRow); y <= std::min(triangle.maxY, endRow - 1); ++y) {
                    if (portable) {
                        rasterizeTriangleRowPortable(surface, triangle, static_cast<int32_t>(i), y, targets);
                    } else {
                        rasterizeTriangleRow(surface, triangle, static_cast<int32_t>(i), y, targets);
                    }
                }
            }
        }
        return buffers;
    };
    // The band raster's rows, with each surface's face colouring decided once per band.
    auto rasterizeBands = [&](const FrameBufferSet& set) {
        FrameBuffers buffers;
        buffers.rasterWidth = buffers.rasterHeight = size;
        allocateFrameBuffers(buffers, set);
        for (int32_t b = 0; b < 2; ++b) {
            rasterBand(surfaces, prepared, bands.bands[static_cast<size_t>(b)], rasterBandFirstRow(b, size, 2),
                       rasterBandFirstRow(b + 1, size, 2), buffers);
        }
        return buffers;
    };
    for (const FrameBufferSet set : {FrameBufferSet{true, true, true, false}, FrameBufferSet{true, true, false, false},
                                     FrameBufferSet{false, false, false, false}}) {
        const FrameBuffers portable = rasterizeWith(set, true);
        for (const FrameBuffers& wide : {rasterizeWith(set, false), rasterizeBands(set)}) {
            size_t drawn = 0;
            for (int32_t index : portable.surfaceIndex) drawn += index >= 0 ? 1 : 0;
            EXPECT_GT(drawn, minDrawn);
            EXPECT_EQ(wide.depth, portable.depth);
            EXPECT_EQ(wide.coverage, portable.coverage);
            EXPECT_EQ(wide.color, portable.color);
            EXPECT_EQ(wide.surfaceIndex, portable.surfaceIndex);
            EXPECT_EQ(wide.triangleIndex, portable.triangleIndex);
            EXPECT_EQ(wide.clipTriangle, portable.clipTriangle);
            EXPECT_EQ(wide.preparedIndex, portable.preparedIndex);
            EXPECT_EQ(wide.packedColor, portable.packedColor);
            EXPECT_EQ(wide.winnerMask, portable.winnerMask);
            ASSERT_EQ(wide.visiblePixels.size(), portable.visiblePixels.size());
            if (set.visiblePixels) {
                EXPECT_EQ(std::memcmp(wide.visiblePixels.data(), portable.visiblePixels.data(),
                                      wide.visiblePixels.size() * sizeof(VisiblePixel)),
                          0);
            }
        }
    }
}

// A 16 x 16 image of random colours whose left half is opaque and whose right half has random
// alphas, the faintest of them 0: blocks of lookups that read only opaque texels and blocks that
// do not, and fragments too transparent to draw.
std::vector<PF_Pixel8> halfOpaqueImage(std::mt19937& rng) {
    std::vector<PF_Pixel8> image(16 * 16);
    std::uniform_int_distribution<int> byte(0, 255);
    for (PF_Pixel8& p : image) {
        const int random = byte(rng);
        const int alpha = (&p - image.data()) % 16 < 8 ? 255 : random;
        p = PF_Pixel8{static_cast<A_u_char>(alpha < 40 ? 0 : alpha), static_cast<A_u_char>(byte(rng)),
                      static_cast<A_u_char>(byte(rng)), static_cast<A_u_char>(byte(rng))};
    }
    return image;
}

// Three surfaces showing the image on their front: the second flipped, the third at 60 % opacity.
std::vector<SceneSurface> texturedSurfaces(const std::vector<PF_Pixel8>& image) {
    std::vector<SceneSurface> surfaces(3);
    for (size_t s = 0; s < surfaces.size(); ++s) {
        SurfaceTexture& texture = surfaces[s].frontTexture;
        texture.worldType = AEGP_WorldType_8;
        texture.width = texture.height = 16;
        texture.rowBytes = 16 * sizeof(PF_Pixel8);
        texture.baseAddress = image.data();
        surfaces[s].controls.hasFrontLayer = true;
        surfaces[s].controls.frontFlip = s == 1;
        surfaces[s].opacity = s == 2 ? 0.6 : 1.0;
    }
    return surfaces;
}

TEST(RasterBand, WideAndPortableRowLoopsWriteTheSameArrays) {
    // Textured, partly transparent surfaces at a few depths (ties included), most wide enough for long
    // interior runs of every length modulo four and some narrow enough to be walked column by column:
    // the wide loops must leave every array exactly as the portable loops do, whichever arrays the
    // frame keeps. The image's left half is opaque, so that whole blocks read only opaque texels.
    constexpr int32_t kSize = 64;
    const SceneCamera camera = rasterCamera(kSize, kSize);
    std::mt19937 rng(11);
    const std::vector<PF_Pixel8> image = halfOpaqueImage(rng);
    std::uniform_real_distribution<double> coordinate(-8.0, kSize + 8.0), extent(12.0, 60.0), narrow(1.0, 10.0),
        unit(0.0, 1.0);
    std::uniform_int_distribution<int32_t> pick(0, 3);
    std::vector<SceneSurface> surfaces = texturedSurfaces(image);
    // The first surface also takes the lookups that do not go straight to the 8-bit image.
    const int32_t faces[4] = {kFaceFront, kFaceFront, kFaceBack, kFaceSideFrontAlpha};
    for (int i = 0; i < 160; ++i) {
        const double x = coordinate(rng), y = coordinate(rng);
        const double w = i % 4 == 3 ? narrow(rng) : extent(rng), h = extent(rng);
        const double z = 100.0 + 10.0 * pick(rng);
        const size_t s = static_cast<size_t>(i % 3);
        addScreenTriangle(surfaces[s], camera, x, y, x + w, y + 0.2 * h, x + 0.1 * w, y + h, z,
                          s == 0 ? faces[pick(rng)] : kFaceFront);
        for (size_t k = surfaces[s].mesh.vertices.size() - 3; k < surfaces[s].mesh.vertices.size(); ++k) {
            surfaces[s].mesh.vertices[k].u = 1.2 * unit(rng) - 0.1;
            surfaces[s].mesh.vertices[k].v = unit(rng);
        }
    }
    expectWideRowsWriteWhatPortableRowsWrite(camera, surfaces, kSize, kSize * kSize / 2);
    if (!wideCoverage()) GTEST_SKIP() << "no AVX2 here: both calls took the portable loop";
}

TEST(RasterBand, WideAndPortableLoopsAgreeOnSmallTrianglesSliversAndMeshEdges) {
    // What a finely tessellated bent slab gives the raster: a mesh of cells a pixel or two wide whose
    // triangles share edges (pixels covered by several triangles of one surface, most of them edge
    // pixels with one to three samples covered), triangles under a pixel, slivers, seven-sample
    // triangles and triangles reaching past the image, front, back and side faces within one depth
    // band, so that the same-surface rule decides many pixels. The wide edge loop takes the covered
    // pixels of a row four at a time; every array must still come out as the portable loop leaves it.
    constexpr int32_t kSize = 40;
    const SceneCamera camera = rasterCamera(kSize, kSize);
    std::mt19937 rng(23);
    const std::vector<PF_Pixel8> image = halfOpaqueImage(rng);
    std::vector<SceneSurface> surfaces = texturedSurfaces(image);
    std::uniform_real_distribution<double> unit(0.0, 1.0), coordinate(-4.0, kSize + 4.0), tiny(0.05, 1.2),
        sliver(4.0, 30.0), thin(0.02, 0.4), nearDepth(0.0, 4e-5);
    std::uniform_int_distribution<int32_t> pick(0, 3);
    auto textureCorners = [&](SceneSurface& surface) {
        for (size_t k = surface.mesh.vertices.size() - 3; k < surface.mesh.vertices.size(); ++k) {
            surface.mesh.vertices[k].u = 1.2 * unit(rng) - 0.1;
            surface.mesh.vertices[k].v = unit(rng);
        }
    };

    // A jittered grid of cells 1.1 to 2.5 pixels wide over the image and past its right and bottom
    // edges, its depth varying across it; the u, v of a vertex are its place in the grid.
    constexpr int32_t kCells = 22;
    const double cell = (kSize + 6.0) / kCells;
    std::vector<SurfaceVertex> grid;
    for (int32_t j = 0; j <= kCells; ++j) {
        for (int32_t i = 0; i <= kCells; ++i) {
            const double sx = -1.0 + i * cell + 0.4 * cell * (unit(rng) - 0.5);
            const double sy = -1.0 + j * cell + 0.4 * cell * (unit(rng) - 0.5);
            SurfaceVertex vertex = screenVertex(camera, sx, sy, 100.0 + 0.05 * i + 0.02 * j);
            vertex.u = static_cast<double>(i) / kCells;
            vertex.v = static_cast<double>(j) / kCells;
            grid.push_back(vertex);
        }
    }
    auto at = [&](int32_t i, int32_t j) { return grid[static_cast<size_t>(j * (kCells + 1) + i)]; };
    for (int32_t j = 0; j < kCells; ++j) {
        for (int32_t i = 0; i < kCells; ++i) {
            addTriangle(surfaces[0], at(i, j), at(i + 1, j), at(i, j + 1));
            addTriangle(surfaces[0], at(i + 1, j), at(i + 1, j + 1), at(i, j + 1),
                        pick(rng) == 0 ? kFaceBack : kFaceFront);
        }
    }
    // Triangles under a pixel and slivers on the second surface, in the mesh's depth band or just off
    // it, with every face code.
    const int32_t faces[4] = {kFaceFront, kFaceBack, kFaceSideThickness, kFaceSideFrontAlpha};
    for (int n = 0; n < 300; ++n) {
        const double x = coordinate(rng), y = coordinate(rng);
        const double z = 100.0 + nearDepth(rng) + (pick(rng) == 0 ? 1.0 : 0.0);
        if (n % 2 == 0) {
            addScreenTriangle(surfaces[1], camera, x, y, x + tiny(rng), y + 0.3 * tiny(rng), x + 0.2 * tiny(rng),
                              y + tiny(rng), z, faces[pick(rng)]);
        } else {
            const double length = sliver(rng), width = thin(rng);
            const bool wide = pick(rng) < 2;
            addScreenTriangle(surfaces[1], camera, x, y, wide ? x + length : x + width, wide ? y + width : y + length,
                              x + width, y + width, z, faces[pick(rng)]);
        }
        textureCorners(surfaces[1]);
    }
    // Small triangles with the seven-sample pattern on the third surface.
    for (int n = 0; n < 120; ++n) {
        const double x = coordinate(rng), y = coordinate(rng), w = 6.0 * tiny(rng), h = 6.0 * tiny(rng);
        addScreenTriangle(surfaces[2], camera, x, y, x + w, y + 0.3 * h, x + 0.2 * w, y + h, 99.0 + 2.0 * unit(rng));
        textureCorners(surfaces[2]);
    }
    surfaces[2].mesh.triangles[0].fineCoverage = 1;

    expectWideRowsWriteWhatPortableRowsWrite(camera, surfaces, kSize, kSize * kSize / 2);

    // The cases above are really there: partly covered pixels, masks merged from several triangles of
    // one surface, and seven-sample masks.
    const FrameBuffers buffers = rasterize(surfaces, kSize, kSize);
    size_t partial = 0, merged = 0, seven = 0;
    for (size_t p = 0; p < buffers.pixelCount(); ++p) {
        const uint8_t mask = buffers.coverage[p];
        if ((mask & kSevenSampleMaskBit) != 0) {
            ++seven;
        } else if (mask != 0 && mask != 0x0f) {
            ++partial;
        }
        if (buffers.winnerMask[p] != mask) ++merged;
    }
    EXPECT_GT(partial, 20u);
    EXPECT_GT(merged, 100u);
    EXPECT_GT(seven, 20u);
    if (!wideCoverage()) GTEST_SKIP() << "no AVX2 here: both calls took the portable loop";
}

TEST(RasterBand, WideLoopsColourEveryKindOfFaceAsFaceColourDoes) {
    // The wide loops decide once per surface and face code how its fragments are coloured: the direct
    // 8-bit front lookup, the front matte that a back face or wall borrows, a colour that does not
    // depend on the texture coordinates (solid images, missing images, thickness walls), or
    // faceColour itself. Surfaces that reach each case, with every face code on each, must come out
    // as the portable loops (which always ask faceColour) leave them.
    constexpr int32_t kSize = 48;
    const SceneCamera camera = rasterCamera(kSize, kSize);
    std::mt19937 rng(31);
    const std::vector<PF_Pixel8> picture = halfOpaqueImage(rng);
    const std::vector<PF_Pixel8> solid(16 * 16, PF_Pixel8{200, 10, 120, 250});
    const std::vector<PF_Pixel8> clear(16 * 16, PF_Pixel8{0, 90, 80, 70});
    auto attach = [](SurfaceTexture& texture, const std::vector<PF_Pixel8>& image) {
        texture.worldType = AEGP_WorldType_8;
        texture.width = texture.height = 16;
        texture.rowBytes = 16 * sizeof(PF_Pixel8);
        texture.baseAddress = image.data();
        noteUniformTexels(texture);
    };
    std::vector<SceneSurface> surfaces(7);
    for (SceneSurface& surface : surfaces) {
        surface.controls.hasFrontLayer = true;
        surface.controls.frontColor = packColor(255, 40, 50, 60);
        surface.controls.backColor = packColor(180, 70, 80, 90);
        surface.controls.thicknessColor = packColor(20, 200, 100, 0);
    }
    attach(surfaces[0].frontTexture, solid);    // a solid front, borrowed by the back and the walls
    attach(surfaces[1].frontTexture, clear);    // a wholly transparent solid front
    // surfaces[2]: no image at all, fallback colours only
    attach(surfaces[3].frontTexture, picture);  // a picture in front and behind: faceColour's lookups
    attach(surfaces[3].backTexture, picture);
    attach(surfaces[4].frontTexture, picture);  // a solid back before a picture: no matte to borrow
    attach(surfaces[4].backTexture, solid);
    attach(surfaces[5].frontTexture, picture);  // tiled: the front lookup is not the direct one
    surfaces[5].controls.tileCount = 2;
    attach(surfaces[6].frontTexture, picture);  // a picture whose matte the back and walls borrow
    surfaces[6].controls.frontFlip = true;
    surfaces[6].opacity = 0.7;

    EXPECT_TRUE(faceColouring(surfaces[0], kFaceFront).constant);
    EXPECT_TRUE(faceColouring(surfaces[0], kFaceBack).constant);
    EXPECT_TRUE(faceColouring(surfaces[1], kFaceSideFrontAlpha).constant);
    EXPECT_TRUE(faceColouring(surfaces[2], kFaceBack).constant);
    EXPECT_TRUE(faceColouring(surfaces[3], kFaceSideThickness).constant);
    EXPECT_FALSE(faceColouring(surfaces[3], kFaceBack).constant);
    EXPECT_EQ(faceColouring(surfaces[3], kFaceBack).matte.frontImage8, nullptr);
    EXPECT_TRUE(faceColouring(surfaces[4], kFaceBack).constant);
    EXPECT_TRUE(faceColouring(surfaces[4], kFaceSideFrontAlpha).constant);
    for (const int32_t face : {kFaceFront, kFaceSideFrontAlpha}) {
        const FaceColouring tiled = faceColouring(surfaces[5], face);
        EXPECT_EQ(tiled.lookup.frontImage8, nullptr);
        EXPECT_EQ(tiled.matte.frontImage8, nullptr);
        EXPECT_FALSE(tiled.constant);
    }
    EXPECT_NE(faceColouring(surfaces[6], kFaceBack).matte.frontImage8, nullptr);
    EXPECT_NE(faceColouring(surfaces[6], kFaceSideFrontAlpha).matte.frontImage8, nullptr);

    // Each surface a band of rows: narrow triangles (edge pixels only) and wide ones (interior runs)
    // of every face code, overlapping within one depth band.
    const int32_t faces[5] = {kFaceFront, kFaceBack, kFaceSideFrontAlpha, kFaceObj, kFaceSideThickness};
    std::uniform_real_distribution<double> unit(0.0, 1.0), wide(8.0, 40.0), narrow(0.5, 6.0);
    for (size_t s = 0; s < surfaces.size(); ++s) {
        const double top = -2.0 + static_cast<double>(s) * (kSize + 4.0) / static_cast<double>(surfaces.size());
        for (int n = 0; n < 30; ++n) {
            const double x = -4.0 + (kSize + 8.0) * unit(rng), y = top + 4.0 * unit(rng);
            const double w = n % 2 == 0 ? narrow(rng) : wide(rng), h = 3.0 + 8.0 * unit(rng);
            addScreenTriangle(surfaces[s], camera, x, y, x + w, y + 0.3 * h, x + 0.2 * w, y + h,
                              100.0 + 2e-5 * unit(rng), faces[n % 5]);
            for (size_t k = surfaces[s].mesh.vertices.size() - 3; k < surfaces[s].mesh.vertices.size(); ++k) {
                surfaces[s].mesh.vertices[k].u = 1.4 * unit(rng) - 0.2;
                surfaces[s].mesh.vertices[k].v = unit(rng);
            }
        }
    }
    expectWideRowsWriteWhatPortableRowsWrite(camera, surfaces, kSize, kSize * kSize / 4);
    if (!wideCoverage()) GTEST_SKIP() << "no AVX2 here: both calls took the portable loop";
}

TEST(RasterBand, OneByOneRasterAndTrianglesOffTheRaster) {
    std::vector<SceneSurface> covering(1);
    addScreenTriangle(covering[0], rasterCamera(1, 1), -1, -1, 3, -1, -1, 3, 10);
    FrameBuffers single = rasterize(covering, 1, 1);
    EXPECT_EQ(single.surfaceIndex[0], 0);
    EXPECT_EQ(single.coverage[0], 0x0f);
    EXPECT_EQ(single.preparedIndex[0], 0);

    // Entirely right of the raster: the clamped bounds are valid, but no sample is inside.
    std::vector<SceneSurface> outside(1);
    addScreenTriangle(outside[0], rasterCamera(10, 10), 20, 2, 30, 2, 20, 8, 10);
    FrameBuffers buffers = rasterize(outside, 10, 10);
    for (size_t p = 0; p < buffers.pixelCount(); ++p) {
        ASSERT_EQ(buffers.surfaceIndex[p], -1);
        ASSERT_EQ(buffers.coverage[p], 0);
    }
}

TEST(RasterBand, VisiblePixelNormalsFaceTheCamera) {
    SceneCamera camera = rasterCamera(8, 8);
    auto normalAt = [&](int32_t kind, bool reversed, double vertexNormalZ) {
        std::vector<SceneSurface> surfaces(1);
        if (reversed) {
            addScreenTriangle(surfaces[0], camera, 0, 0, 0, 8, 8, 0, 50);
        } else {
            addScreenTriangle(surfaces[0], camera, 0, 0, 8, 0, 0, 8, 50);
        }
        for (SurfaceVertex& v : surfaces[0].mesh.vertices) v.cameraNormal = v.worldNormal = Vec3{0, 0, vertexNormalZ};
        surfaces[0].kind = kind;
        surfaces[0].opacity = 0.5;
        surfaces[0].controls.frontColor = packColor(255, 51, 102, 255);
        FrameBuffers buffers = rasterize(surfaces, 8, 8, true);
        const VisiblePixel& record = buffers.visiblePixels[pixelAt(buffers, 2, 2)];
        EXPECT_EQ((std::vector<float>{record.baseColor[0], record.baseColor[1], record.baseColor[2], record.alpha}),
                  (std::vector<float>{0.2f, 0.4f, 1.0f, 0.5f}));
        EXPECT_NEAR(record.worldPosition[2], 50.0f, 1e-3);
        return record.worldNormal[2];
    };
    // A plain layer shows its lit side to the camera from the front and from behind.
    EXPECT_EQ(normalAt(kSurfaceFlat, false, 1.0), -1.0f);
    EXPECT_EQ(normalAt(kSurfaceFlat, true, -1.0), -1.0f);
    // A bent surface keeps the face's own side; normals only turn to agree with the face.
    EXPECT_EQ(normalAt(kSurfaceBent, false, -1.0), 1.0f);
    EXPECT_EQ(normalAt(kSurfaceBent, true, 1.0), -1.0f);
}

}  // namespace
}  // namespace zephrin
