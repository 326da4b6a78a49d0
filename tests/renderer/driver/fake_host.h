// Test-only stand-in for the host as the renderer's entry and frame driver see it: a basic suite that
// hands out the Register, Canvas, Comp, Item, Layer, Camera, Stream, Effect and World suites over a
// small configurable composition (layers may carry effects with parameter streams), counts every suite
// acquired and released, and records the worlds, effect references, streams and stream values it
// lends and gets back. Handles are small tagged integers, never dereferenced, so a wrong handle is
// answered with A_Err_PARAMETER instead of a crash.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/matrix4.h"
#include "sdk/AE_GeneralPlug.h"
#include "sdk/AE_GeneralPlugEffect.h"
#include "sdk/PR_Public.h"
#include "sdk/SPBasic.h"

namespace zephrin::fakehost {

struct World {
    AEGP_WorldType type = AEGP_WorldType_8;
    A_long width = 1, height = 1;
    A_u_long rowBytes = 0;
    std::vector<uint8_t> bytes;
    bool ownedByPlugin = false;  // created through World AEGP_New
    bool lent = false;           // rendered by the host for the plug-in
    bool returned = false;
    AEGP_RenderLayerContextH renderedContext = nullptr;
    int32_t renderedLayerId = 0;
    AEGP_RenderHints hints = AEGP_RenderHints_NONE;
    bool baseAddressMissing = false;
    A_u_long rowBytesOverride = 0;  // when non-zero, the stride the World suite reports
};

// One parameter stream of an effect; a NO_DATA stream is there but holds nothing readable.
struct EffectParam {
    AEGP_StreamType type = AEGP_StreamType_NO_DATA;
    AEGP_StreamVal value{};
    bool fails = false;  // the host refuses the stream
};

// An effect applied to a layer: its match name, flags and parameter streams by position.
struct Effect {
    std::string matchName = "com.tavik.ZephrinSurface";
    bool matchNameFails = false;
    AEGP_EffectFlags flags = AEGP_EffectFlags_ACTIVE;
    std::vector<EffectParam> params = std::vector<EffectParam>(122);

    Effect& number(int position, double value);
    Effect& point(int position, double x, double y, double z);
    Effect& color(int position, double red, double green, double blue);
    Effect& layerId(int position, int32_t id);
};

struct Layer {
    int32_t id = 0;
    AEGP_ObjectType objectType = AEGP_ObjectType_AV;
    AEGP_LayerFlags flags = AEGP_LayerFlag_VIDEO_ACTIVE | AEGP_LayerFlag_LAYER_IS_3D;
    bool videoActive = true;
    bool threeD = true;
    A_long sourceWidth = 100, sourceHeight = 50;  // 0 x 0: the layer has no source item
    bool hasMaskedBounds = false;
    A_FloatRect maskedBounds{};
    Matrix4 layerToWorld = identityMatrix();
    bool renderLayerToWorldFails = false;
    bool layerToWorldFails = false;
    A_FpLong opacity = 100.0;
    bool opacityFails = false;
    A_Err renderError = A_Err_NONE;
    AEGP_WorldType textureType = AEGP_WorldType_8;
    std::map<AEGP_LayerStream, double> numbers;  // one-dimensional streams; others answer A_Err_PARAMETER
    std::map<AEGP_LayerStream, AEGP_ThreeDVal> points;
    std::vector<Effect> effects;
    bool effectListFails = false;
};

struct Registration {
    A_Version apiVersion{};
    A_Version artisanVersion{};
    AEGP_PluginID pluginId = 0;
    void* refcon = nullptr;
    std::string matchName;
    std::string displayName;
    PR_ArtisanEntryPoints callbacks{};
};

struct Host {
    Host();  // becomes the host the suites answer for; one at a time
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // --- composition and frame, as the render context reports them
    A_long compWidth = 1920, compHeight = 1080;
    A_Time time{0, 30};
    AEGP_DownsampleFactor downsample{1, 1};
    bool downsampleFails = false;
    bool offerInteractiveBuffer = false;
    A_long bins = 1;
    A_Err compToRenderError = A_Err_NONE;
    A_Err destinationError = A_Err_NONE;
    A_Err compItemError = A_Err_NONE;
    A_Err compDimensionsError = A_Err_NONE;
    A_Err destinationSizeError = A_Err_NONE;
    A_Err renderTimeError = A_Err_NONE;
    std::deque<Layer> layers;
    std::vector<size_t> renderList;  // indices into layers, in the order the render context lists them
    int cameraLayer = -1;            // index into layers, or none

    // --- worlds: index 0 is the destination
    std::deque<World> worlds;
    World& destination() { return worlds[0]; }

    // --- suites
    std::set<std::pair<std::string, A_long>> missingSuites;
    int suitesAcquired = 0;
    int suitesReleased = 0;

    // --- registration and messages
    A_Err registerArtisanError = A_Err_NONE;
    A_Err registerDeathHookError = A_Err_NONE;
    std::vector<Registration> artisans;
    std::vector<AEGP_DeathHook> deathHooks;
    std::vector<std::string> messages;

    // --- effect and stream handles lent to the plug-in, and whether each came back
    A_Err effectSuiteError = A_Err_NONE;  // when set, every Effect suite call answers it
    int effectRefsLent = 0, effectRefsDisposed = 0;
    int streamsLent = 0, streamsDisposed = 0;
    int streamValuesLent = 0, streamValuesDisposed = 0;
    std::vector<std::pair<size_t, size_t>> effectRefs;  // (layer, effect) behind each lent reference
    struct StreamRef {
        size_t layer = 0, effect = 0;
        int position = 0;
    };
    std::vector<StreamRef> streamRefs;
    bool allEffectHandlesReturned() const {
        return effectRefsLent == effectRefsDisposed && streamsLent == streamsDisposed &&
               streamValuesLent == streamValuesDisposed;
    }

    // --- what the plug-in did, in order: "render:<layer id>", "disposeTexture:<world>", "dispose:<world>"
    std::vector<std::string> events;
    int badHandles = 0;

    Layer& addLayer(int32_t id);  // appended and listed for rendering
    size_t addWorld(AEGP_WorldType type, A_long width, A_long height);
    AEGP_WorldH worldHandle(size_t index) const;
    AEGP_LayerH layerHandle(size_t index) const;
    AEGP_RenderLayerContextH layerContextHandle(size_t listPosition) const;
    PR_RenderContextH renderContext() const;
    AEGP_WorldH destinationHandle() const { return worldHandle(0); }
    SPBasicSuite* basicSuite() { return &basic; }
    PR_InData inData();

    int worldsLent() const;
    int worldsReturned() const;

    SPBasicSuite basic{};
};

// Points the renderer's entry and render log channels at fresh files while it lives.
struct LogCapture {
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> entryLines() const;
    // Render-channel lines that begin with `prefix` (all of them for an empty prefix).
    std::vector<std::string> renderLines(const std::string& prefix = "") const;

    std::string entryPath;
    std::string renderPath;
};

}  // namespace zephrin::fakehost
