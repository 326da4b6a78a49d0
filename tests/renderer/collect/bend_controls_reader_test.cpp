#include "renderer/collect/bend_controls_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "common/effect_contract.h"
#include "common/host_suites.h"
#include "host_fixture.h"
#include "render_log_capture.h"
#include "renderer/geometry/free_mode_mesh.h"

namespace zephrin {
namespace {

using Host = testhost::TestHost;
using test::LogCapture;
namespace pos = param;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr AEGP_PluginID kPluginId = 7;

// An effect's parameter streams by position, every one there but holding nothing readable until a test
// writes it, so the reader keeps its defaults for the rest.
struct Params {
    std::vector<host::EffectStream> streams = std::vector<host::EffectStream>(pos::kCount);

    Params& number(int position, double value) {
        streams.at(static_cast<size_t>(position)) = testhost::numberStream(value);
        return *this;
    }
    Params& point(int position, double x, double y, double z) {
        streams.at(static_cast<size_t>(position)) = testhost::pointStream(x, y, z);
        return *this;
    }
    Params& color(int position, double red, double green, double blue) {
        streams.at(static_cast<size_t>(position)) = testhost::colorStream(red, green, blue);
        return *this;
    }
    Params& layerId(int position, int32_t id) {
        streams.at(static_cast<size_t>(position)) = testhost::layerIdStream(id);
        return *this;
    }
};

// A composition of 3D solids with the given ids, whose effects the tests apply, and a frame of it.
struct Layers {
    Host host;
    host::Composition comp;
    PR_RenderContextH rc = nullptr;
    A_Time time{0, 1};

    explicit Layers(std::initializer_list<int32_t> ids) {
        comp.width = 100;
        comp.height = 50;
        for (int32_t id : ids) testhost::addLayer(comp, testhost::makeLayer(id)).threeD = true;
        rc = host.beginFrame(comp);
        time = host.frame(rc).time;
    }

    host::EffectInstance& apply(size_t layer, const Params& params,
                                const std::string& matchName = kBendEffectMatchName) {
        return testhost::addEffect(host.state, comp, layer, matchName, params.streams);
    }
};

bool allEffectHandlesReturned(const host::HandleAccounting& counts) {
    return counts.effectsLent == counts.effectsReturned && counts.streamsLent == counts.streamsReturned &&
           counts.streamValuesLent == counts.streamValuesReturned;
}

struct ReadResult {
    bool read = false;
    bool hasEffect = false;
    BendControls controls;
    std::vector<BendControlPoint> points;
};

ReadResult readLayer(Layers& layers, size_t layer, double width = 1000, double height = 500) {
    HostSuites suites(layers.host.basic());
    ReadResult r;
    r.controls = defaultBendControls(layers.comp.layers[layer].id);
    r.read = readBendControls(suites, kPluginId, layers.host.layer(layers.rc, layer), layers.time, width, height,
                              r.controls, r.points, r.hasEffect);
    const host::HandleAccounting counts = layers.host.accounting();
    EXPECT_TRUE(allEffectHandlesReturned(counts));
    EXPECT_EQ(counts.badHandles, 0);
    return r;
}

// A bend effect whose four points are written in centred pixels, rotations zero except a slope.
Params writtenEffect() {
    Params e;
    e.number(pos::kPointCount, 3);
    const double xs[4] = {-500, -170, 170, 500};
    for (int i = 0; i < 4; ++i) {
        e.point(pos::kFirstPoint + i, xs[i], i == 1 ? 125.0 : 0.0, 0.0);
        e.point(pos::kFirstRotation + i, i == 2 ? 30.0 : 0.0, 0.0, 0.0);
    }
    return e;
}

TEST(ReadBendControls, LayerWithoutTheEffectKeepsEveryDefault) {
    Layers layers{3, 4};
    Params blur;
    blur.streams.resize(5);
    layers.apply(0, blur, "com.other.Blur");
    const ReadResult r = readLayer(layers, 0);
    EXPECT_FALSE(r.read);
    EXPECT_FALSE(r.hasEffect);
    EXPECT_TRUE(r.points.empty());
    EXPECT_EQ(r.controls.subdivisionX, 96);
    EXPECT_EQ(r.controls.frontLayerId, 3);

    layers.apply(1, writtenEffect());
    layers.host.failEffectList(4);
    EXPECT_FALSE(readLayer(layers, 1).hasEffect);
}

TEST(ReadBendControls, OnlyTheFirstBendEffectCountsAndItMustBeActiveAndInstalled) {
    for (const bool missing : {false, true}) {
        Layers layers{3};
        host::EffectInstance& first = layers.apply(0, writtenEffect());
        if (missing) {
            layers.host.flagEffectMissing(first);
        } else {
            first.active = false;
        }
        layers.apply(0, writtenEffect());
        const ReadResult r = readLayer(layers, 0);
        EXPECT_FALSE(r.hasEffect) << "missing " << missing;
        EXPECT_FALSE(r.read) << "missing " << missing;
    }
}

TEST(ReadBendControls, EffectWithoutAReadableMatchNameIsKnownByItsPointStreams) {
    Layers layers{3};
    Params small;
    small.streams.resize(20);
    layers.apply(0, small, "com.other.Glow");
    host::EffectInstance& renamed = layers.apply(0, writtenEffect());
    layers.host.failEffectMatchName(renamed);
    const ReadResult r = readLayer(layers, 0);
    EXPECT_TRUE(r.hasEffect);
    EXPECT_TRUE(r.read);
    EXPECT_EQ(r.points.size(), 4u);
}

TEST(ReadBendControls, PointsRotationsAndHandlesBecomeControlPoints) {
    LogCapture log;
    Layers layers{3};
    Params e = writtenEffect();
    e.point(pos::kFirstHandle + 2, 0.1, 0.2, 1e-7);
    layers.apply(0, e);
    const ReadResult r = readLayer(layers, 0, 1000, 500);
    ASSERT_EQ(r.points.size(), 4u);
    EXPECT_NEAR(r.points[0].x, 0.0, 1e-12);
    EXPECT_NEAR(r.points[1].y, 0.5, 1e-12);
    EXPECT_NEAR(r.points[2].slope, 0.5, 1e-12);
    EXPECT_EQ(r.points[2].outLength, 0.1);
    EXPECT_EQ(r.points[2].inSlope, 0.0);
    EXPECT_EQ(log.renderLines("RendererV2Mesh: control point=").size(), 4u);
    EXPECT_EQ(log.renderLines("RendererV2Mesh: controls count=4 ").size(), 1u);
}

TEST(ReadBendControls, UnreadablePointsAreSkippedButUnreadableRotationsAreZero) {
    Layers layers{3};
    Params e = writtenEffect();
    e.streams[pos::kFirstRotation + 2] = host::EffectStream{};
    host::EffectInstance& effect = layers.apply(0, e);
    layers.host.failEffectStream(effect, pos::kFirstPoint + 1);
    const ReadResult r = readLayer(layers, 0, 1000, 500);
    ASSERT_EQ(r.points.size(), 3u);
    EXPECT_NEAR(r.points[1].x, 0.67, 1e-12);
    EXPECT_EQ(r.points[1].slope, 0.0);
}

TEST(ReadBendControls, TwoPointsOnAClosedCurveReadFour) {
    Layers layers{3};
    Params e = writtenEffect();
    e.number(pos::kPointCount, 1).number(pos::kCloseEndpoints, 1);
    layers.apply(0, e);
    const ReadResult r = readLayer(layers, 0);
    EXPECT_EQ(r.points.size(), 4u);
    EXPECT_EQ(r.points.back().x, r.points.front().x);
}

TEST(ReadBendControls, CommonSyncStateChoosesWhichMirroredControlsLead) {
    Layers layers{3};
    Params e = writtenEffect();
    e.number(pos::kFreeTileCount, 4).number(pos::kTileCount, 2);
    e.number(pos::kFreeMotion, 30).number(pos::kAnimation, 150).number(pos::kPathMotion, 70);
    e.number(pos::kFreeBendDirection, 10).number(pos::kBendDirection, 45);
    host::EffectInstance& effect = layers.apply(0, e);
    ReadResult r = readLayer(layers, 0);
    EXPECT_EQ(r.controls.tileCount, 3);
    EXPECT_EQ(r.controls.motion, 30.0);
    EXPECT_EQ(r.controls.bendDirection, 10.0);

    effect.streams[pos::kCommonSyncState] = testhost::numberStream(1);
    r = readLayer(layers, 0);
    EXPECT_EQ(r.controls.tileCount, 1);
    EXPECT_EQ(r.controls.motion, 150.0);
    EXPECT_EQ(r.controls.bendDirection, 45.0);

    effect.streams[pos::kCommonSyncState] = testhost::numberStream(0);
    effect.streams[pos::kMode] = testhost::numberStream(2);
    r = readLayer(layers, 0);
    EXPECT_EQ(r.controls.motion, 70.0);
}

TEST(ReadBendControls, ValuesAreClampedConvertedOrKeepTheirDefaults) {
    Layers layers{3};
    Params e = writtenEffect();
    e.number(pos::kSubdivisionX, 1000).number(pos::kSubdivisionY, 7.5).number(pos::kThickness, kNaN);
    e.number(pos::kTwistAmount, -kInf).number(pos::kShadowMode, 2.49).number(pos::kMode, 1e300);
    e.color(pos::kThicknessColor, 1.0, 0.5, -3.0).layerId(pos::kFrontLayer, 0).layerId(pos::kBackLayer, 9);
    e.layerId(pos::kPathLayer, 0).number(pos::kPathLayerIndex, 7.5);
    e.number(pos::kSpecular, 55.0);
    e.point(pos::kCurveAmount, 1, 2, 3);  // a stream of the wrong type
    host::EffectInstance& effect = layers.apply(0, e);
    layers.host.failEffectStream(effect, pos::kSpecular);
    const ReadResult r = readLayer(layers, 0);
    EXPECT_EQ(r.controls.subdivisionX, 640);
    EXPECT_EQ(r.controls.subdivisionY, 8);
    EXPECT_EQ(r.controls.thickness, 1.0);
    EXPECT_EQ(r.controls.twistAmount, 65.0);
    EXPECT_EQ(r.controls.shadowMode, ShadowMode::MapFast);
    EXPECT_EQ(r.controls.specular, 120.0);
    EXPECT_EQ(r.controls.curveAmount, 100.0);
    EXPECT_EQ(r.controls.thicknessColor, packColor(255, 255, 128, 0));
    EXPECT_EQ(r.controls.frontLayerId, 0);
    EXPECT_FALSE(r.controls.hasFrontLayer);
    EXPECT_EQ(r.controls.backLayerId, 9);
    EXPECT_EQ(r.controls.pathLayerRef, 8);
    // Scroll Mode (the clamp of a huge mode) drops motion and tiles.
    EXPECT_EQ(r.controls.mode, 3);
    EXPECT_EQ(r.controls.motion, 0.0);

    effect.streams[pos::kPathLayer] = testhost::layerIdStream(5);
    EXPECT_EQ(readLayer(layers, 0).controls.pathLayerRef, -5);
}

TEST(ReadBendControls, CurlAnglesAreRepairedAndSyncCopiesTheLeftCurl) {
    Layers layers{3};
    Params e = writtenEffect();
    e.number(pos::kLeftEnabled + 2, 90.0 * 65536.0).number(pos::kLeftEnabled + 3, 500.0);
    e.number(pos::kRightEnabled, 1).number(pos::kRightEnabled + 2, 9000.0).number(pos::kRightEnabled + 1, 1);
    host::EffectInstance& effect = layers.apply(0, e);
    ReadResult r = readLayer(layers, 0);
    EXPECT_EQ(r.controls.leftCurl.curlAngle, 90.0);
    EXPECT_EQ(r.controls.leftCurl.tilt, 180.0);
    EXPECT_EQ(r.controls.rightCurl.curlAngle, 9000.0);
    EXPECT_TRUE(r.controls.rightCurl.enabled);

    effect.streams[pos::kSyncLeftRight] = testhost::numberStream(1);
    effect.streams[pos::kLeftEnabled] = testhost::numberStream(0);
    r = readLayer(layers, 0);
    EXPECT_FALSE(r.controls.rightCurl.enabled);
    EXPECT_EQ(r.controls.rightCurl.curlAngle, 90.0);
    EXPECT_EQ(r.controls.rightCurl.direction, 2);
}

TEST(ReadBendControls, ClosedLoopPhaseRunsAgainstTheSpeedAndStopsFreeModeMotion) {
    Layers layers{3};
    layers.time = A_Time{45, 30};  // 1.5 s
    Params e = writtenEffect();
    e.number(pos::kCloseEndpoints, 1).number(pos::kLoopMoveSpeed, 50).number(pos::kFreeMotion, 150);
    e.number(pos::kFreeMotionDirection, 2);
    layers.apply(0, e);
    const ReadResult r = readLayer(layers, 0);
    EXPECT_NEAR(r.controls.loopPhase, 0.25, 1e-12);
    EXPECT_EQ(r.controls.motion, 0.0);
    EXPECT_EQ(r.controls.motionDirection, 1);
    EXPECT_EQ(wrapPhase(kNaN), 0.0);
    EXPECT_EQ(frameSeconds(A_Time{5, 0}), 0.0);
}

TEST(FixedPointRepair, SixteenSixteenAnglesReadAsDegrees) {
    EXPECT_EQ(repairFixedPoint(90.0 * 65536.0, 0.0), 90.0);
    EXPECT_EQ(repairFixedPoint(-720.0 * 65536.0, 0.0), -720.0);
    EXPECT_EQ(repairFixedPoint(9000.0, 0.0), 9000.0);
    EXPECT_EQ(repairFixedPoint(90.0 * 65536.0 + 1000.0, 0.0), 90.0 * 65536.0 + 1000.0);
    EXPECT_EQ(repairFixedPoint(kNaN, 12.0), 12.0);
}

// Every value the host can hold, in every stream the effect has, gives a sound mesh.
TEST(ReadBendControls, RandomParameterSetsAlwaysGiveASoundMesh) {
    std::mt19937 rng(20261207);
    const double specials[] = {kNaN, kInf, -kInf, 1e300, -1e300, 0.0, 1.0, -1.0, 90.0 * 65536.0, 1e-7, 12.0, 640.0};
    const AEGP_StreamType types[] = {AEGP_StreamType_OneD,  AEGP_StreamType_ThreeD_SPATIAL, AEGP_StreamType_TwoD,
                                     AEGP_StreamType_COLOR, AEGP_StreamType_LAYER_ID,       AEGP_StreamType_NO_DATA};
    const double sizes[] = {0.0, 1.0, 37.0, 1920.0, 1e7, kNaN};
    std::uniform_int_distribution<int> pickSpecial(0, std::size(specials) - 1), pickType(0, std::size(types) - 1),
        pickSize(0, std::size(sizes) - 1), coin(0, 3);
    std::uniform_real_distribution<double> plain(-2000.0, 2000.0);
    const auto value = [&] { return coin(rng) == 0 ? plain(rng) : specials[pickSpecial(rng)]; };

    for (int trial = 0; trial < 60; ++trial) {
        Layers layers{3};
        Params e;
        std::vector<int32_t> refused;
        for (size_t position = 0; position < e.streams.size(); ++position) {
            host::EffectStream& stream = e.streams[position];
            stream.type = types[pickType(rng)];
            stream.value.four_d = AEGP_FourDVal{value(), value(), value(), value()};
            if (stream.type == AEGP_StreamType_LAYER_ID) stream.value.layer_id = static_cast<int32_t>(plain(rng));
            if (coin(rng) == 0 && coin(rng) == 0) refused.push_back(static_cast<int32_t>(position));
        }
        // Keep the grids small enough to sweep quickly; the caps themselves are covered elsewhere.
        e.number(pos::kSubdivisionX, 8 + trial % 40).number(pos::kSubdivisionY, 1 + trial % 5);
        host::EffectInstance& effect = layers.apply(0, e);
        for (int32_t position : refused) layers.host.failEffectStream(effect, position);
        const double width = sizes[pickSize(rng)], height = sizes[pickSize(rng)];
        const ReadResult r = readLayer(layers, 0, width, height);
        ASSERT_TRUE(r.hasEffect);
        ASSERT_FALSE(r.points.empty());

        SceneSurface surface;
        surface.kind = kSurfaceBent;
        surface.controls = r.controls;
        MeshPlacement placement;
        placement.width = std::isfinite(width) ? std::max(width, 1.0) : 1.0;
        placement.height = std::isfinite(height) ? std::max(height, 1.0) : 1.0;
        buildFreeModeMesh(surface, r.points, placement);
        const SurfaceMesh& mesh = surface.mesh;
        for (const SurfaceVertex& v : mesh.vertices) {
            ASSERT_TRUE(isFinite(v.objectPosition) && isFinite(v.cameraPosition) && isFinite(v.worldNormal))
                << "trial " << trial;
            ASSERT_TRUE(std::isfinite(v.u) && std::isfinite(v.v)) << "trial " << trial;
        }
        const auto valid = [&](int32_t i) { return i >= 0 && static_cast<size_t>(i) < mesh.vertices.size(); };
        for (const SurfaceTriangle& t : mesh.triangles) {
            ASSERT_TRUE(valid(t.a) && valid(t.b) && valid(t.c)) << "trial " << trial;
        }
    }
}

}  // namespace
}  // namespace zephrin
