// The suites as a plug-in meets them: through the C tables, against a composition built in code.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "host/footage.h"
#include "host/render_context.h"
#include "host/suites/camera_suite.h"
#include "host/suites/canvas_suite.h"
#include "host/suites/comp_suite.h"
#include "host/suites/footage_suite.h"
#include "host/suites/host_state.h"
#include "host/suites/item_suite.h"
#include "host/suites/layer_suite.h"
#include "host/suites/light_suite.h"
#include "host/suites/memory_suite.h"
#include "host/suites/register_suite.h"
#include "host/suites/stream_suite.h"
#include "host/suites/world_suite.h"

namespace zephrin::host {
namespace {

constexpr AEGP_PluginID kPlugin = 7;

Layer makeLayer(int32_t id, std::string name, LayerType type) {
    Layer layer;
    layer.id = id;
    layer.name = std::move(name);
    layer.type = type;
    return layer;
}

// Top first: two cameras that do not count at time 0, the active camera, a spot light, a 3D solid
// parented to a null, a 2D 16-bit image and a guide adjustment layer.
Composition makeComposition() {
    Composition comp;
    comp.width = 64;
    comp.height = 48;
    comp.frameRate = 25.0;
    auto paper = std::make_shared<Footage>(makeSolidFootage("paper", {0.25, 0.5, 1.0}, 40, 20));
    auto logo = std::make_shared<Footage>();
    logo->key = "logo";
    logo->kind = FootageKind::Image;
    logo->path = "/tmp/assets/logo \xC3\xBC.png";
    logo->width = 2;
    logo->height = 1;
    logo->bitsPerChannel = 16;
    logo->pixels = {1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 1.0f, 0.0f, 0.25f};
    comp.footage["paper"] = paper;
    comp.footage["logo"] = logo;

    Layer off = makeLayer(10, "Camera Off", LayerType::Camera);
    off.videoOn = false;
    Layer late = makeLayer(11, "Camera Late", LayerType::Camera);
    late.inPoint = 5.0;
    late.camera.zoom.value = 900.0;
    Layer camera = makeLayer(12, "Camera", LayerType::Camera);
    camera.camera.zoom.value = 1500.0;
    camera.camera.depthOfField.value = 1.0;
    camera.transform.hasPointOfInterest = true;
    camera.transform.pointOfInterest.value = {32.0, 24.0, 0.0};
    camera.transform.position.value = {32.0, 24.0, -1500.0};
    Layer key = makeLayer(13, "Key", LayerType::Light);
    key.light.lightType = LightKind::Spot;
    key.light.intensity.value = 150.0;
    key.light.color.value = {1.0, 0.5, 0.25};
    key.light.falloff = LightFalloff::Smooth;
    key.light.castsShadows = true;
    Layer solid = makeLayer(14, "Paper", LayerType::AV);
    solid.source = paper;
    solid.threeD = true;
    solid.parentId = 15;
    solid.transform.opacity.value = 75.0;
    solid.transform.rotationY.keyframes = {{0.0, -20.0}, {4.0, 20.0}};
    solid.material.castsShadows = CastsShadows::Only;
    solid.material.acceptsLights = false;
    Layer null = makeLayer(15, "Null", LayerType::Null);
    null.outPoint = 2.0;
    Layer image = makeLayer(16, "Logo", LayerType::AV);
    image.source = logo;
    Layer guide = makeLayer(17, "Guide", LayerType::AV);
    guide.source = paper;
    guide.guide = true;
    guide.adjustment = true;
    for (Layer* layer : {&off, &late, &camera, &key, &solid, &null, &image, &guide}) comp.layers.push_back(*layer);
    for (size_t i = 0; i < comp.layers.size(); ++i) comp.layers[i].index = static_cast<int32_t>(i + 1);
    return comp;
}

A_Time secondsTime(double seconds) { return A_Time{static_cast<A_long>(std::lround(seconds * 1000)), 1000}; }

struct SuitesTest : ::testing::Test {
    HostState state;
    Composition comp = makeComposition();
    PR_RenderContextH rc = nullptr;
    const AEGP_CanvasSuite10& canvas = canvasSuite10();
    const AEGP_LayerSuite11& layers = layerSuite11();
    const AEGP_WorldSuite3& worlds = worldSuite();
    const AEGP_StreamSuite7& streams = streamSuite7();
    A_Time t0{0, 1000};

    void SetUp() override {
        state.echoMessages = false;
        state.pluginIds.push_back(kPlugin);
        ASSERT_TRUE(activateHostState(state));
        rc = begin(FrameRequest{});
    }
    void TearDown() override {
        if (rc != nullptr) endRenderContext(state, handleValue(rc));
        deactivateHostState(state);
    }

    PR_RenderContextH begin(const FrameRequest& request) {
        return toHandle<PR_RenderContextH>(beginRenderContext(state, comp, request).handle);
    }
    AEGP_CompH compHandle() {
        AEGP_CompH compH = nullptr;
        EXPECT_EQ(canvas.AEGP_GetCompToRender(rc, &compH), A_Err_NONE);
        return compH;
    }
    AEGP_LayerH layerAt(A_long index) {
        AEGP_LayerH layer = nullptr;
        EXPECT_EQ(layers.AEGP_GetCompLayerByIndex(compHandle(), index, &layer), A_Err_NONE);
        return layer;
    }
    AEGP_RenderLayerContextH contextAt(A_long index) {
        AEGP_RenderLayerContextH context = nullptr;
        EXPECT_EQ(canvas.AEGP_GetNthLayerContextToRender(rc, index, &context), A_Err_NONE);
        return context;
    }
    A_Err stream(A_long index, AEGP_LayerStream which, AEGP_StreamVal& value, AEGP_StreamType& type,
                 A_Time time = A_Time{0, 1000}) {
        return streams.AEGP_GetLayerStreamValue(layerAt(index), which, AEGP_LTimeMode_CompTime, &time, 0, &value,
                                                &type);
    }
    double number(A_long index, AEGP_LayerStream which, A_Time time = A_Time{0, 1000}) {
        AEGP_StreamVal value{};
        AEGP_StreamType type = AEGP_StreamType_NO_DATA;
        EXPECT_EQ(stream(index, which, value, type, time), A_Err_NONE) << "stream " << which;
        EXPECT_EQ(type, AEGP_StreamType_OneD);
        return value.one_d;
    }
};

TEST_F(SuitesTest, CanvasDescribesTheFrame) {
    AEGP_CompH compH = compHandle();
    ASSERT_NE(compH, nullptr);
    AEGP_ItemH item = nullptr;
    ASSERT_EQ(compSuite9().AEGP_GetItemFromComp(compH, &item), A_Err_NONE);
    A_long width = 0, height = 0;
    ASSERT_EQ(itemSuite10().AEGP_GetItemDimensions(item, &width, &height), A_Err_NONE);
    EXPECT_EQ(width, 64);
    EXPECT_EQ(height, 48);
    AEGP_ItemType itemType = AEGP_ItemType_NONE;
    EXPECT_EQ(itemSuite10().AEGP_GetItemType(item, &itemType), A_Err_NONE);
    EXPECT_EQ(itemType, AEGP_ItemType_COMP);

    // Every layer, top first, whatever its type: the renderer filters for itself.
    A_long count = 0;
    ASSERT_EQ(canvas.AEGP_GetNumLayersToRender(rc, &count), A_Err_NONE);
    ASSERT_EQ(count, 8);
    for (A_long i = 0; i < count; ++i) {
        AEGP_LayerH layer = nullptr;
        ASSERT_EQ(canvas.AEGP_GetLayerFromLayerContext(rc, contextAt(i), &layer), A_Err_NONE);
        AEGP_LayerIDVal id = 0;
        ASSERT_EQ(layers.AEGP_GetLayerID(layer, &id), A_Err_NONE);
        EXPECT_EQ(id, comp.layers[static_cast<size_t>(i)].id);
    }
    AEGP_RenderLayerContextH beyond = reinterpret_cast<AEGP_RenderLayerContextH>(0x1);
    EXPECT_EQ(canvas.AEGP_GetNthLayerContextToRender(rc, count, &beyond), A_Err_PARAMETER);
    EXPECT_EQ(beyond, nullptr);

    A_Time time{}, step{};
    ASSERT_EQ(canvas.AEGP_GetCompRenderTime(rc, &time, &step), A_Err_NONE);
    EXPECT_EQ(time.value, 0);
    EXPECT_EQ(step.scale, 25000u);
    EXPECT_EQ(step.value, 1000);
    AEGP_DownsampleFactor dsf{0, 0};
    EXPECT_EQ(canvas.AEGP_GetRenderDownsampleFactor(rc, &dsf), A_Err_NONE);
    EXPECT_EQ(dsf.xS, 1);
    AEGP_WorldH interactive = reinterpret_cast<AEGP_WorldH>(0x1);
    EXPECT_EQ(canvasSuite14().AEGP_GetInteractiveCachedBuffer(rc, &interactive), A_Err_NONE);
    EXPECT_EQ(interactive, nullptr);

    AEGP_WorldH destination = nullptr;
    ASSERT_EQ(canvas.AEGP_GetCompDestinationBuffer(rc, compH, &destination), A_Err_NONE);
    A_long dw = 0, dh = 0;
    A_u_long rowBytes = 0;
    EXPECT_EQ(worlds.AEGP_GetSize(destination, &dw, &dh), A_Err_NONE);
    EXPECT_EQ(worlds.AEGP_GetRowBytes(destination, &rowBytes), A_Err_NONE);
    EXPECT_EQ(dw, 64);
    EXPECT_GT(rowBytes, 64u * sizeof(PF_Pixel8));
    EXPECT_EQ(state.accounting.worldsLent, 0);  // the destination is the host's, never lent
}

TEST_F(SuitesTest, InteractiveBufferAndDownsampleComeFromTheRequest) {
    FrameRequest request;
    request.downsampleX = 2;
    request.downsampleY = 4;
    request.bitsPerChannel = 16;
    request.offerInteractiveBuffer = true;
    PR_RenderContextH other = begin(request);
    AEGP_WorldH buffer = nullptr;
    ASSERT_EQ(canvasSuite14().AEGP_GetInteractiveCachedBuffer(other, &buffer), A_Err_NONE);
    ASSERT_NE(buffer, nullptr);
    A_long w = 0, h = 0;
    EXPECT_EQ(worlds.AEGP_GetSize(buffer, &w, &h), A_Err_NONE);
    EXPECT_EQ(w, 32);
    EXPECT_EQ(h, 12);
    AEGP_WorldType type = AEGP_WorldType_NONE;
    EXPECT_EQ(worlds.AEGP_GetType(buffer, &type), A_Err_NONE);
    EXPECT_EQ(type, AEGP_WorldType_16);
    AEGP_DownsampleFactor dsf{};
    EXPECT_EQ(canvas.AEGP_GetRenderDownsampleFactor(other, &dsf), A_Err_NONE);
    EXPECT_EQ(dsf.xS, 2);
    EXPECT_EQ(dsf.yS, 4);

    // A layer context of one frame is no context of another.
    AEGP_RenderLayerContextH foreign = nullptr;
    ASSERT_EQ(canvas.AEGP_GetNthLayerContextToRender(other, 0, &foreign), A_Err_NONE);
    AEGP_LayerH layer = nullptr;
    EXPECT_EQ(canvas.AEGP_GetLayerFromLayerContext(rc, foreign, &layer), A_Err_PARAMETER);
    endRenderContext(state, handleValue(other));
    // Its buffer went with it.
    EXPECT_EQ(worlds.AEGP_GetSize(buffer, &w, &h), A_Err_PARAMETER);
}

TEST_F(SuitesTest, LayerTypesFlagsAndIdentity) {
    struct Expected {
        A_long index;
        AEGP_ObjectType type;
        AEGP_LayerFlags flags;
    };
    const Expected expected[] = {
        {0, AEGP_ObjectType_CAMERA, AEGP_LayerFlag_LAYER_IS_3D},
        {3, AEGP_ObjectType_LIGHT, AEGP_LayerFlag_VIDEO_ACTIVE | AEGP_LayerFlag_LAYER_IS_3D},
        {4, AEGP_ObjectType_AV, AEGP_LayerFlag_VIDEO_ACTIVE | AEGP_LayerFlag_LAYER_IS_3D},
        {5, AEGP_ObjectType_AV, AEGP_LayerFlag_VIDEO_ACTIVE | AEGP_LayerFlag_NULL_LAYER},
        {6, AEGP_ObjectType_AV, AEGP_LayerFlag_VIDEO_ACTIVE},
        {7, AEGP_ObjectType_AV,
         AEGP_LayerFlag_VIDEO_ACTIVE | AEGP_LayerFlag_GUIDE_LAYER | AEGP_LayerFlag_ADJUSTMENT_LAYER},
    };
    for (const Expected& e : expected) {
        AEGP_LayerH layer = layerAt(e.index);
        AEGP_ObjectType type = AEGP_ObjectType_NONE;
        AEGP_LayerFlags flags = 0;
        A_long index = -1;
        A_Boolean is3D = 2;
        EXPECT_EQ(layers.AEGP_GetLayerObjectType(layer, &type), A_Err_NONE);
        EXPECT_EQ(layers.AEGP_GetLayerFlags(layer, &flags), A_Err_NONE);
        EXPECT_EQ(layers.AEGP_GetLayerIndex(layer, &index), A_Err_NONE);
        EXPECT_EQ(layers.AEGP_IsLayer3D(layer, &is3D), A_Err_NONE);
        EXPECT_EQ(type, e.type) << "layer " << e.index;
        EXPECT_EQ(flags, e.flags) << "layer " << e.index;
        EXPECT_EQ(index, e.index);
        EXPECT_EQ(is3D != 0, (e.flags & AEGP_LayerFlag_LAYER_IS_3D) != 0);
    }
    AEGP_LayerH byId = nullptr;
    ASSERT_EQ(layers.AEGP_GetLayerFromLayerID(compHandle(), 16, &byId), A_Err_NONE);
    EXPECT_EQ(byId, layerAt(6));
    EXPECT_EQ(layers.AEGP_GetLayerFromLayerID(compHandle(), 99, &byId), A_Err_PARAMETER);
    EXPECT_EQ(byId, nullptr);
    AEGP_LayerH parent = nullptr;
    EXPECT_EQ(layers.AEGP_GetLayerParent(layerAt(4), &parent), A_Err_NONE);
    EXPECT_EQ(parent, layerAt(5));
    EXPECT_EQ(layers.AEGP_GetLayerParent(layerAt(6), &parent), A_Err_NONE);
    EXPECT_EQ(parent, nullptr);
    AEGP_LightType lightType = AEGP_LightType_NONE;
    EXPECT_EQ(lightSuite2().AEGP_GetLightType(layerAt(3), &lightType), A_Err_NONE);
    EXPECT_EQ(lightType, AEGP_LightType_SPOT);
    EXPECT_EQ(lightSuite2().AEGP_GetLightType(layerAt(4), &lightType), A_Err_PARAMETER);
}

TEST_F(SuitesTest, SourceItemsBoundsOpacityAndActivity) {
    AEGP_ItemH item = nullptr;
    ASSERT_EQ(layers.AEGP_GetLayerSourceItem(layerAt(4), &item), A_Err_NONE);
    A_long width = 0, height = 0;
    ASSERT_EQ(itemSuite10().AEGP_GetItemDimensions(item, &width, &height), A_Err_NONE);
    EXPECT_EQ(width, 40);
    EXPECT_EQ(height, 20);
    AEGP_ItemH sameSource = nullptr;
    ASSERT_EQ(layers.AEGP_GetLayerSourceItem(layerAt(7), &sameSource), A_Err_NONE);
    EXPECT_EQ(sameSource, item);  // one item per footage, shared by the layers that use it
    AEGP_ItemH none = reinterpret_cast<AEGP_ItemH>(0x1);
    EXPECT_EQ(layers.AEGP_GetLayerSourceItem(layerAt(2), &none), A_Err_NONE);
    EXPECT_EQ(none, nullptr);

    A_FloatRect masked{};
    EXPECT_EQ(layers.AEGP_GetLayerMaskedBounds(layerAt(4), AEGP_LTimeMode_CompTime, &t0, &masked), A_Err_NONE);
    EXPECT_EQ(masked.right, 40.0);
    EXPECT_EQ(masked.bottom, 20.0);
    A_LegacyRect bounds{};
    EXPECT_EQ(canvas.AEGP_GetRenderLayerBounds(rc, contextAt(6), &t0, &bounds), A_Err_NONE);
    EXPECT_EQ(bounds.right, 2);
    EXPECT_EQ(bounds.bottom, 1);

    A_FpLong opacity = 0;
    EXPECT_EQ(canvas.AEGP_GetRenderOpacity(rc, contextAt(4), &t0, &opacity), A_Err_NONE);
    EXPECT_EQ(opacity, 75.0);  // percent, as the host shows it

    // The null layer ends at 2 s; the late camera starts at 5 s; the switched-off camera never shows.
    auto active = [&](A_long index, double seconds) {
        A_Time t = secondsTime(seconds);
        A_Boolean viaLayer = 2, viaCanvas = 2;
        EXPECT_EQ(layers.AEGP_IsVideoActive(layerAt(index), AEGP_LTimeMode_CompTime, &t, &viaLayer), A_Err_NONE);
        EXPECT_EQ(canvas.AEGP_IsRenderLayerActive(rc, contextAt(index), &t, &viaCanvas), A_Err_NONE);
        EXPECT_EQ(viaLayer, viaCanvas);
        return viaLayer != 0;
    };
    EXPECT_TRUE(active(5, 1.999));
    EXPECT_FALSE(active(5, 2.0));
    EXPECT_FALSE(active(1, 4.0));
    EXPECT_TRUE(active(1, 5.0));
    EXPECT_FALSE(active(0, 1.0));
    A_Boolean on = 2;
    EXPECT_EQ(layers.AEGP_IsLayerVideoReallyOn(layerAt(0), &on), A_Err_NONE);
    EXPECT_EQ(on, 0);
    A_Time badTime{5, 0};
    A_Boolean unused = 0;
    EXPECT_EQ(layers.AEGP_IsVideoActive(layerAt(5), AEGP_LTimeMode_CompTime, &badTime, &unused), A_Err_PARAMETER);
}

TEST_F(SuitesTest, CameraIsTheTopmostActiveOne) {
    AEGP_LayerH camera = nullptr;
    const AEGP_CameraSuite2& cameras = cameraSuite2();
    ASSERT_EQ(cameras.AEGP_GetCamera(rc, &t0, &camera), A_Err_NONE);
    EXPECT_EQ(camera, layerAt(2));
    A_Time later = secondsTime(6.0);
    ASSERT_EQ(cameras.AEGP_GetCamera(rc, &later, &camera), A_Err_NONE);
    EXPECT_EQ(camera, layerAt(1));
    AEGP_CameraType type = AEGP_CameraType_NONE;
    EXPECT_EQ(cameras.AEGP_GetCameraType(camera, &type), A_Err_NONE);
    EXPECT_EQ(type, AEGP_CameraType_PERSPECTIVE);
    EXPECT_EQ(cameras.AEGP_GetCameraType(layerAt(4), &type), A_Err_PARAMETER);

    Composition noCamera = comp;
    noCamera.layers.erase(noCamera.layers.begin(), noCamera.layers.begin() + 3);
    EXPECT_FALSE(activeCameraPosition(noCamera, 0.0).has_value());
    Composition onlyOff;
    onlyOff.layers.push_back(comp.layers[0]);
    EXPECT_FALSE(activeCameraPosition(onlyOff, 0.0).has_value());
}

TEST_F(SuitesTest, StreamsAnswerInTheHostsUnits) {
    // Camera.
    EXPECT_EQ(number(2, AEGP_LayerStream_ZOOM), 1500.0);
    EXPECT_EQ(number(2, AEGP_LayerStream_DEPTH_OF_FIELD), 1.0);
    AEGP_StreamVal value{};
    AEGP_StreamType type = AEGP_StreamType_NO_DATA;
    ASSERT_EQ(stream(2, AEGP_LayerStream_ANCHORPOINT, value, type), A_Err_NONE);  // the point of interest
    EXPECT_EQ(type, AEGP_StreamType_ThreeD_SPATIAL);
    EXPECT_EQ(value.three_d.x, 32.0);
    EXPECT_EQ(value.three_d.y, 24.0);
    EXPECT_EQ(stream(2, AEGP_LayerStream_OPACITY, value, type), A_Err_PARAMETER);
    EXPECT_EQ(stream(2, AEGP_LayerStream_SCALE, value, type), A_Err_PARAMETER);
    EXPECT_EQ(stream(2, AEGP_LayerStream_INTENSITY, value, type), A_Err_PARAMETER);

    // Light.
    EXPECT_EQ(number(3, AEGP_LayerStream_INTENSITY), 150.0);
    EXPECT_EQ(number(3, AEGP_LayerStream_CASTS_SHADOWS), 1.0);
    EXPECT_EQ(number(3, AEGP_LayerStream_LIGHT_FALLOFF_TYPE), 1.0);
    ASSERT_EQ(stream(3, AEGP_LayerStream_COLOR, value, type), A_Err_NONE);
    EXPECT_EQ(type, AEGP_StreamType_COLOR);
    EXPECT_EQ(value.color.alphaF, 1.0);
    EXPECT_EQ(value.color.redF, 1.0);
    EXPECT_EQ(value.color.greenF, 0.5);
    EXPECT_EQ(value.color.blueF, 0.25);
    // Without a point of interest the light has no anchor stream, so nothing aims it at the origin.
    EXPECT_EQ(stream(3, AEGP_LayerStream_ANCHORPOINT, value, type), A_Err_PARAMETER);
    EXPECT_EQ(stream(3, AEGP_LayerStream_ZOOM, value, type), A_Err_PARAMETER);
    EXPECT_EQ(stream(3, AEGP_LayerStream_AMBIENT_COEFF, value, type), A_Err_PARAMETER);

    // AV layer: material, transform, keyframes.
    EXPECT_EQ(number(4, AEGP_LayerStream_CASTS_SHADOWS), 2.0);  // Only
    EXPECT_EQ(number(4, AEGP_LayerStream_ACCEPTS_LIGHTS), 0.0);
    EXPECT_EQ(number(4, AEGP_LayerStream_ACCEPTS_SHADOWS), 1.0);
    EXPECT_EQ(number(4, AEGP_LayerStream_OPACITY), 75.0);
    EXPECT_EQ(number(4, AEGP_LayerStream_ROTATE_Y, secondsTime(2.0)), 0.0);
    EXPECT_EQ(number(4, AEGP_LayerStream_ROTATE_Y, secondsTime(1.0)), -10.0);
    ASSERT_EQ(stream(4, AEGP_LayerStream_SCALE, value, type), A_Err_NONE);
    EXPECT_EQ(type, AEGP_StreamType_ThreeD);
    EXPECT_EQ(value.three_d.z, 100.0);
    EXPECT_EQ(stream(4, AEGP_LayerStream_ZOOM, value, type), A_Err_PARAMETER);
    EXPECT_EQ(stream(4, AEGP_LayerStream_COLOR, value, type), A_Err_PARAMETER);
    EXPECT_EQ(stream(4, AEGP_LayerStream_MARKER, value, type), A_Err_PARAMETER);
    EXPECT_EQ(stream(4, 999, value, type), A_Err_PARAMETER);

    // The type output is optional; the value is not.
    A_Time t = t0;
    EXPECT_EQ(streams.AEGP_GetLayerStreamValue(layerAt(4), AEGP_LayerStream_OPACITY, AEGP_LTimeMode_CompTime, &t, 0,
                                               &value, nullptr),
              A_Err_NONE);
    EXPECT_EQ(streams.AEGP_GetLayerStreamValue(layerAt(4), AEGP_LayerStream_OPACITY, AEGP_LTimeMode_CompTime, &t, 0,
                                               nullptr, &type),
              A_Err_PARAMETER);
}

TEST_F(SuitesTest, RenderLayerPlusLendsTheSourceAtItsOwnSizeAndDepth) {
    AEGP_WorldH paper = nullptr, logo = nullptr;
    ASSERT_EQ(canvas.AEGP_RenderLayerPlus(rc, layerAt(4), contextAt(4), AEGP_RenderHints_NONE, &paper), A_Err_NONE);
    ASSERT_EQ(canvas.AEGP_RenderLayerPlus(rc, layerAt(6), contextAt(6), AEGP_RenderHints_NO_EFFECTS, &logo),
              A_Err_NONE);
    EXPECT_EQ(state.accounting.worldsLent, 2);

    AEGP_WorldType type = AEGP_WorldType_NONE;
    A_long w = 0, h = 0;
    EXPECT_EQ(worlds.AEGP_GetType(paper, &type), A_Err_NONE);
    EXPECT_EQ(type, AEGP_WorldType_8);
    EXPECT_EQ(worlds.AEGP_GetSize(paper, &w, &h), A_Err_NONE);
    EXPECT_EQ(w, 40);
    EXPECT_EQ(h, 20);
    PF_Pixel8* base8 = nullptr;
    A_u_long rowBytes = 0;
    ASSERT_EQ(worlds.AEGP_GetBaseAddr8(paper, &base8), A_Err_NONE);
    ASSERT_EQ(worlds.AEGP_GetRowBytes(paper, &rowBytes), A_Err_NONE);
    PF_Pixel8 last = reinterpret_cast<PF_Pixel8*>(reinterpret_cast<uint8_t*>(base8) + 19 * rowBytes)[39];
    EXPECT_EQ(last.alpha, 255);  // opacity 75 % is the renderer's to apply
    EXPECT_EQ(last.red, 64);
    EXPECT_EQ(last.green, 128);
    EXPECT_EQ(last.blue, 255);

    EXPECT_EQ(worlds.AEGP_GetType(logo, &type), A_Err_NONE);
    EXPECT_EQ(type, AEGP_WorldType_16);
    PF_Pixel16* base16 = nullptr;
    EXPECT_EQ(worlds.AEGP_GetBaseAddr8(logo, &base8), A_Err_PARAMETER);  // wrong depth: no address
    EXPECT_EQ(base8, nullptr);
    ASSERT_EQ(worlds.AEGP_GetBaseAddr16(logo, &base16), A_Err_NONE);
    EXPECT_EQ(base16[1].alpha, 8192);
    EXPECT_EQ(base16[1].green, 32768);  // straight colour under partial alpha
    EXPECT_EQ(base16[0].red, 32768);

    AEGP_WorldH none = nullptr;
    EXPECT_EQ(canvas.AEGP_RenderLayerPlus(rc, layerAt(2), contextAt(2), AEGP_RenderHints_NONE, &none),
              A_Err_PARAMETER);  // a camera has no pixels
    EXPECT_EQ(state.accounting.worldsLent, 2);

    EXPECT_EQ(canvas.AEGP_DisposeTexture(rc, contextAt(4), paper), A_Err_NONE);
    EXPECT_EQ(canvas.AEGP_DisposeTexture(rc, contextAt(6), logo), A_Err_NONE);
    EXPECT_EQ(state.accounting.worldsReturned, 2);
    EXPECT_EQ(state.accounting.badHandles, 0);

    // Given back twice: refused and counted, never a crash or a double free.
    EXPECT_EQ(canvas.AEGP_DisposeTexture(rc, contextAt(4), paper), A_Err_PARAMETER);
    EXPECT_EQ(worlds.AEGP_GetSize(paper, &w, &h), A_Err_PARAMETER);
    EXPECT_EQ(state.accounting.worldsReturned, 2);
    EXPECT_EQ(state.accounting.badHandles, 2);
}

TEST_F(SuitesTest, WorldsGoBackOnlyThroughTheirOwnRoute) {
    AEGP_WorldH own = nullptr, texture = nullptr, destination = nullptr;
    ASSERT_EQ(worlds.AEGP_New(kPlugin, AEGP_WorldType_32, 3, 2, &own), A_Err_NONE);
    PF_PixelFloat* base32 = nullptr;
    EXPECT_EQ(worlds.AEGP_GetBaseAddr32(own, &base32), A_Err_NONE);
    EXPECT_NE(base32, nullptr);
    ASSERT_EQ(canvas.AEGP_RenderLayerPlus(rc, layerAt(4), contextAt(4), AEGP_RenderHints_NONE, &texture), A_Err_NONE);
    ASSERT_EQ(canvas.AEGP_GetCompDestinationBuffer(rc, compHandle(), &destination), A_Err_NONE);
    EXPECT_EQ(state.accounting.worldsLent, 2);

    EXPECT_EQ(worlds.AEGP_Dispose(texture), A_Err_PARAMETER);
    EXPECT_EQ(worlds.AEGP_Dispose(destination), A_Err_PARAMETER);
    EXPECT_EQ(canvas.AEGP_DisposeTexture(rc, contextAt(4), own), A_Err_PARAMETER);
    EXPECT_EQ(canvas.AEGP_DisposeTexture(rc, contextAt(4), destination), A_Err_PARAMETER);
    EXPECT_EQ(state.accounting.badHandles, 4);
    EXPECT_EQ(state.accounting.worldsReturned, 0);

    EXPECT_EQ(worlds.AEGP_Dispose(own), A_Err_NONE);
    EXPECT_EQ(canvas.AEGP_DisposeTexture(rc, contextAt(4), texture), A_Err_NONE);
    EXPECT_EQ(state.accounting.worldsReturned, 2);

    AEGP_WorldH refused = reinterpret_cast<AEGP_WorldH>(0x1);
    EXPECT_EQ(worlds.AEGP_New(kPlugin + 1, AEGP_WorldType_8, 3, 2, &refused), A_Err_PARAMETER);  // unknown plug-in
    EXPECT_EQ(refused, nullptr);
    EXPECT_EQ(worlds.AEGP_New(kPlugin, AEGP_WorldType_8, 0, 2, &refused), A_Err_PARAMETER);
    EXPECT_EQ(worlds.AEGP_New(kPlugin, AEGP_WorldType_NONE, 3, 2, &refused), A_Err_PARAMETER);
    EXPECT_EQ(state.accounting.worldsLent, 2);
}

TEST_F(SuitesTest, FootagePathAndLayerNameComeAsUtf16MemoryHandles) {
    const AEGP_MemorySuite1& memory = memorySuite1();
    auto readUtf16 = [&](AEGP_MemHandle handle) {
        void* data = nullptr;
        AEGP_MemSize size = 0;
        EXPECT_EQ(memory.AEGP_GetMemHandleSize(handle, &size), A_Err_NONE);
        EXPECT_EQ(memory.AEGP_LockMemHandle(handle, &data), A_Err_NONE);
        std::u16string text(static_cast<const char16_t*>(data));
        EXPECT_EQ(size, (text.size() + 1) * sizeof(char16_t));
        EXPECT_EQ(memory.AEGP_UnlockMemHandle(handle), A_Err_NONE);
        EXPECT_EQ(memory.AEGP_FreeMemHandle(handle), A_Err_NONE);
        return text;
    };
    AEGP_ItemH item = nullptr;
    AEGP_FootageH footage = nullptr;
    AEGP_MemHandle path = nullptr;
    ASSERT_EQ(layers.AEGP_GetLayerSourceItem(layerAt(6), &item), A_Err_NONE);
    ASSERT_EQ(footageSuite11().AEGP_GetMainFootageFromItem(item, &footage), A_Err_NONE);
    ASSERT_EQ(footageSuite11().AEGP_GetFootagePath(footage, 0, 0, &path), A_Err_NONE);
    EXPECT_EQ(readUtf16(path), u"/tmp/assets/logo \u00fc.png");

    AEGP_MemHandle name = nullptr, source = nullptr;
    ASSERT_EQ(layers.AEGP_GetLayerName(kPlugin, layerAt(6), &name, &source), A_Err_NONE);
    EXPECT_EQ(readUtf16(name), u"Logo");
    EXPECT_EQ(readUtf16(source), u"logo");
    EXPECT_EQ(state.accounting.memHandlesLent, 3);
    EXPECT_EQ(state.accounting.memHandlesFreed, 3);

    // A solid has no file; the composition item has no footage.
    ASSERT_EQ(layers.AEGP_GetLayerSourceItem(layerAt(4), &item), A_Err_NONE);
    ASSERT_EQ(footageSuite11().AEGP_GetMainFootageFromItem(item, &footage), A_Err_NONE);
    EXPECT_EQ(footageSuite11().AEGP_GetFootagePath(footage, 0, 0, &path), A_Err_GENERIC);
    EXPECT_EQ(path, nullptr);
    ASSERT_EQ(compSuite9().AEGP_GetItemFromComp(compHandle(), &item), A_Err_NONE);
    EXPECT_EQ(footageSuite11().AEGP_GetMainFootageFromItem(item, &footage), A_Err_PARAMETER);

    AEGP_MemHandle block = nullptr;
    ASSERT_EQ(memory.AEGP_NewMemHandle(kPlugin, "scratch", 0, AEGP_MemFlag_CLEAR, &block), A_Err_NONE);
    EXPECT_EQ(memory.AEGP_UnlockMemHandle(block), A_Err_PARAMETER);  // never locked
    EXPECT_EQ(memory.AEGP_FreeMemHandle(block), A_Err_NONE);
    EXPECT_EQ(memory.AEGP_FreeMemHandle(block), A_Err_PARAMETER);
    EXPECT_EQ(state.accounting.badHandles, 1);
    EXPECT_FALSE(isBalanced(state.accounting));  // the bad handle spoils the balance
}

TEST_F(SuitesTest, MessagesArePluginTextKeptInOrder) {
    EXPECT_EQ(hostMessageFunction(A_Err_NONE, "Zephrin"), A_Err_NONE);
    EXPECT_EQ(hostMessageFunction(A_Err_GENERIC, nullptr), A_Err_NONE);
    const std::string unterminatedLong(kMaxMessageChars + 10, 'x');
    EXPECT_EQ(hostMessageFunction(A_Err_NONE, unterminatedLong.c_str()), A_Err_NONE);
    ASSERT_EQ(state.messages.size(), 3u);
    EXPECT_EQ(state.messages[0], "Zephrin");
    EXPECT_EQ(state.messages[1], "");
    EXPECT_EQ(state.messages[2].size(), kMaxMessageChars);
}

TEST(Utf16FromUtf8, MalformedInputBecomesReplacementCharacters) {
    EXPECT_EQ(utf16FromUtf8("a\xC3\xBC\xE2\x82\xAC\xF0\x9F\x98\x80"), u"a\u00fc\u20ac\U0001F600");
    EXPECT_EQ(utf16FromUtf8("\xC3"), u"\uFFFD");                   // truncated at the end
    EXPECT_EQ(utf16FromUtf8("\xE2\x82x"), u"\uFFFD\uFFFDx");        // broken in the middle
    EXPECT_EQ(utf16FromUtf8("\xC0\xAF"), u"\uFFFD\uFFFD");          // overlong '/'
    EXPECT_EQ(utf16FromUtf8("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // a surrogate
    EXPECT_EQ(utf16FromUtf8("\xFF"), u"\uFFFD");
}

// Garbage, stale and null handles and missing outputs are refused with A_Err_PARAMETER, never followed.
TEST_F(SuitesTest, BadHandlesNeverCrash) {
    AEGP_LayerH liveLayer = layerAt(4);
    AEGP_RenderLayerContextH liveContext = contextAt(4);
    PR_RenderContextH stale = begin(FrameRequest{});
    AEGP_LayerH staleLayer = nullptr;
    AEGP_RenderLayerContextH staleContext = nullptr;
    ASSERT_EQ(canvas.AEGP_GetNthLayerContextToRender(stale, 4, &staleContext), A_Err_NONE);
    ASSERT_EQ(canvas.AEGP_GetLayerFromLayerContext(stale, staleContext, &staleLayer), A_Err_NONE);
    endRenderContext(state, handleValue(stale));
    int64_t badBefore = state.accounting.badHandles;

    const uintptr_t garbage[] = {0, 0xBAD0, handleValue(stale), handleValue(staleLayer), handleValue(staleContext)};
    A_long n = 0;
    A_Time time = t0, step{};
    A_Matrix4 matrix{};
    A_FpLong fp = 0;
    A_Boolean flag = 0;
    AEGP_StreamVal value{};
    AEGP_StreamType type = 0;
    A_FloatRect rect{};
    A_LegacyRect legacy{};
    AEGP_DownsampleFactor dsf{};
    int calls = 0;
    auto refused = [&](A_Err err) {
        ++calls;
        EXPECT_EQ(err, A_Err_PARAMETER) << "call " << calls;
    };
    for (uintptr_t g : garbage) {
        auto r = toHandle<PR_RenderContextH>(g);
        auto layer = toHandle<AEGP_LayerH>(g);
        auto context = toHandle<AEGP_RenderLayerContextH>(g);
        auto compH = toHandle<AEGP_CompH>(g);
        auto item = toHandle<AEGP_ItemH>(g);
        auto world = toHandle<AEGP_WorldH>(g);
        AEGP_CompH compOut = nullptr;
        AEGP_LayerH layerOut = nullptr;
        AEGP_RenderLayerContextH contextOut = nullptr;
        AEGP_WorldH worldOut = nullptr;
        AEGP_ItemH itemOut = nullptr;
        AEGP_FootageH footageOut = nullptr;
        AEGP_MemHandle memOut = nullptr;
        refused(canvas.AEGP_GetCompToRender(r, &compOut));
        refused(canvas.AEGP_GetNumLayersToRender(r, &n));
        refused(canvas.AEGP_GetNthLayerContextToRender(r, 0, &contextOut));
        refused(canvas.AEGP_GetLayerFromLayerContext(r, liveContext, &layerOut));
        refused(canvas.AEGP_GetLayerFromLayerContext(rc, context, &layerOut));
        refused(canvas.AEGP_GetCompRenderTime(r, &time, &step));
        refused(canvas.AEGP_GetCompDestinationBuffer(r, compH, &worldOut));
        refused(canvas.AEGP_GetCompDestinationBuffer(rc, compH, &worldOut));
        refused(canvas.AEGP_DisposeTexture(rc, liveContext, world));
        refused(canvas.AEGP_GetRenderDownsampleFactor(r, &dsf));
        refused(canvas.AEGP_GetRenderLayerToWorldXform(rc, context, &time, &matrix));
        refused(canvas.AEGP_GetRenderLayerBounds(rc, context, &time, &legacy));
        refused(canvas.AEGP_GetRenderOpacity(rc, context, &time, &fp));
        refused(canvas.AEGP_IsRenderLayerActive(rc, context, &time, &flag));
        refused(canvas.AEGP_RenderLayerPlus(rc, layer, liveContext, 0, &worldOut));
        refused(canvas.AEGP_RenderLayerPlus(rc, liveLayer, context, 0, &worldOut));
        refused(canvasSuite14().AEGP_GetNumBinsToRender(r, &n));
        refused(canvasSuite14().AEGP_GetInteractiveCachedBuffer(r, &worldOut));
        refused(compSuite9().AEGP_GetItemFromComp(compH, &itemOut));
        refused(compSuite9().AEGP_GetCompFramerate(compH, &fp));
        refused(itemSuite10().AEGP_GetItemType(item, &n));
        refused(itemSuite10().AEGP_GetItemID(item, &n));
        refused(itemSuite10().AEGP_GetItemDimensions(item, &n, &n));
        refused(layers.AEGP_GetCompNumLayers(compH, &n));
        refused(layers.AEGP_GetCompLayerByIndex(compH, 0, &layerOut));
        refused(layers.AEGP_GetLayerSourceItem(layer, &itemOut));
        refused(layers.AEGP_GetLayerIndex(layer, &n));
        refused(layers.AEGP_GetLayerFlags(layer, &n));
        refused(layers.AEGP_IsVideoActive(layer, AEGP_LTimeMode_CompTime, &time, &flag));
        refused(layers.AEGP_IsLayer3D(layer, &flag));
        refused(layers.AEGP_GetLayerMaskedBounds(layer, AEGP_LTimeMode_CompTime, &time, &rect));
        refused(layers.AEGP_GetLayerObjectType(layer, &n));
        refused(layers.AEGP_GetLayerToWorldXform(layer, &time, &matrix));
        refused(layers.AEGP_GetLayerID(layer, &n));
        refused(layers.AEGP_GetLayerFromLayerID(compH, 14, &layerOut));
        refused(layers.AEGP_GetLayerParent(layer, &layerOut));
        refused(layers.AEGP_IsLayerVideoReallyOn(layer, &flag));
        refused(layers.AEGP_GetLayerName(kPlugin, layer, &memOut, nullptr));
        refused(lightSuite2().AEGP_GetLightType(layer, &n));
        refused(cameraSuite2().AEGP_GetCamera(r, &time, &layerOut));
        refused(cameraSuite2().AEGP_GetCameraType(layer, &n));
        refused(streams.AEGP_GetLayerStreamValue(layer, AEGP_LayerStream_OPACITY, 0, &time, 0, &value, &type));
        refused(streamSuite11().AEGP_GetLayerStreamValue(layer, AEGP_LayerStream_OPACITY, 0, &time, 0, &value, &type));
        refused(worlds.AEGP_Dispose(world));
        refused(worlds.AEGP_GetType(world, &n));
        refused(worlds.AEGP_GetSize(world, &n, &n));
        refused(worlds.AEGP_GetRowBytes(world, reinterpret_cast<A_u_long*>(&n)));
        refused(footageSuite11().AEGP_GetMainFootageFromItem(item, &footageOut));
        refused(footageSuite11().AEGP_GetFootagePath(toHandle<AEGP_FootageH>(g), 0, 0, &memOut));
        refused(memorySuite1().AEGP_FreeMemHandle(toHandle<AEGP_MemHandle>(g)));
        EXPECT_EQ(layerOut, nullptr);
        EXPECT_EQ(worldOut, nullptr);
        EXPECT_EQ(memOut, nullptr);
    }
    // Four garbage kinds (all but null) in every call that takes a handle of the refused kind.
    EXPECT_GT(state.accounting.badHandles, badBefore);

    // Missing outputs and times, with live handles.
    refused(canvas.AEGP_GetCompToRender(rc, nullptr));
    refused(canvas.AEGP_GetCompRenderTime(rc, &time, nullptr));
    refused(canvas.AEGP_GetRenderOpacity(rc, liveContext, nullptr, &fp));
    refused(layers.AEGP_GetLayerToWorldXform(liveLayer, nullptr, &matrix));
    refused(layers.AEGP_GetLayerFlags(liveLayer, nullptr));
    refused(worlds.AEGP_New(kPlugin, AEGP_WorldType_8, 2, 2, nullptr));
    refused(layers.AEGP_GetCompLayerByIndex(compHandle(), -1, &liveLayer));
    EXPECT_EQ(state.accounting.worldsLent, 0);
}

TEST_F(SuitesTest, ArtisanRegistrationChecksWhatItKeeps) {
    const AEGP_RegisterSuite6& reg = registerSuite6();
    PR_ArtisanEntryPoints entries{};
    A_Version v{1, 0};
    EXPECT_EQ(reg.AEGP_RegisterArtisan(v, v, kPlugin, nullptr, "com.test.Artisan", "Test", &entries),
              A_Err_PARAMETER);  // no render callback
    entries.render_func = [](const PR_InData*, PR_GlobalContextH, PR_InstanceContextH, PR_RenderContextH,
                             PR_GlobalDataH, PR_InstanceDataH) -> A_Err { return A_Err_NONE; };
    EXPECT_EQ(reg.AEGP_RegisterArtisan(v, v, kPlugin + 1, nullptr, "com.test.Artisan", "Test", &entries),
              A_Err_PARAMETER);  // unknown plug-in
    const std::string longName(40, 'n');
    ASSERT_EQ(reg.AEGP_RegisterArtisan(v, v, kPlugin, nullptr, longName.c_str(), "Test", &entries), A_Err_NONE);
    ASSERT_EQ(state.artisans.size(), 1u);
    EXPECT_EQ(state.artisans[0].matchName, longName.substr(0, kMaxArtisanNameChars));
    EXPECT_EQ(reg.AEGP_RegisterArtisan(v, v, kPlugin, nullptr, longName.c_str(), "Again", &entries),
              A_Err_PARAMETER);  // the match name is taken
    EXPECT_EQ(reg.AEGP_RegisterArtisan(v, v, kPlugin, nullptr, nullptr, "Test", &entries), A_Err_PARAMETER);
    EXPECT_EQ(reg.AEGP_RegisterDeathHook(kPlugin, nullptr, nullptr), A_Err_PARAMETER);
    EXPECT_EQ(state.artisans.size(), 1u);
}

}  // namespace
}  // namespace zephrin::host
