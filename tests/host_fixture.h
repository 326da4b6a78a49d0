// The stand-in host in process, for the unit tests that call the plug-ins' code directly: a host state
// the real suites answer from, compositions and worlds built in the host's own model, and a thin fault
// layer. The fault layer is the only thing here that is not the host: the plug-in acquires its suites
// through it, every suite passes through unchanged, except the (name, version) a test replaced, which
// hands out a copy of the host's table with the slots the test overwrote.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/composition.h"
#include "host/handle_accounting.h"
#include "host/host_session.h"
#include "host/host_world.h"
#include "host/render_context.h"
#include "host/suites/host_state.h"
#include "sdk/AE_GeneralPlug.h"
#include "sdk/AE_GeneralPlugEffect.h"
#include "sdk/PR_Public.h"
#include "sdk/SPBasic.h"

namespace zephrin::testhost {

// Value tests prefill worlds with, so pixels and row padding nobody wrote stay recognisable.
constexpr uint8_t kWorldFill = 0xA7;

// The plug-in id the host handed the renderer under test (the loader's first).
constexpr AEGP_PluginID kRendererPluginId = 1;

struct TestHost {
    TestHost();  // activates a fresh host state; one TestHost at a time
    ~TestHost();
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;

    host::HostState state;

    // The basic suite a plug-in is handed: the fault layer over the host's.
    SPBasicSuite* basic() const;
    // PR_InData as the host fills it for an Artisan: the basic suite and the host's message function.
    PR_InData inData() const;

    // A world the host keeps (a destination by default), prefilled with `fill` in every byte.
    AEGP_WorldH addWorld(AEGP_WorldType type, int32_t width, int32_t height, uint8_t fill = kWorldFill,
                         host::WorldOrigin origin = host::WorldOrigin::Destination);
    host::HostWorld& world(AEGP_WorldH handle);

    // A frame of `comp` as renderCompositionFrame begins it: composition handles, destination, layer contexts.
    // The composition must outlive the frame. endFrame forgets it and hands back the destination.
    PR_RenderContextH beginFrame(const host::Composition& comp, const host::FrameRequest& request = {});
    host::RenderContext& frame(PR_RenderContextH handle);
    host::HostWorld endFrame(PR_RenderContextH handle);
    AEGP_WorldH destination(PR_RenderContextH handle);
    AEGP_RenderLayerContextH layerContext(PR_RenderContextH handle, size_t position);
    // The handle of the composition layer at `position` in a frame's registration.
    AEGP_LayerH layer(PR_RenderContextH handle, size_t position);

    host::HandleAccounting accounting();
    std::vector<std::string> messages();

    // Makes every version of a suite unavailable, as the host's withheld suites do.
    void withhold(const std::string& suiteName);
    // Makes one version of a suite unavailable (the fault layer refuses it; other versions stay).
    void withholdVersion(const std::string& suiteName, A_long version);
    std::vector<std::pair<std::string, A_long>> withheldVersions;

    // Hands out a copy of the host's (name, version) table from now on; the test overwrites the slots
    // it wants to fail. The reference stays valid while the TestHost lives.
    template <typename Suite>
    Suite& replaceSuite(const char* name, A_long version) {
        return *static_cast<Suite*>(replaceSuiteTable(name, version, sizeof(Suite)));
    }

    // Records, in order, what the plug-in rendered and gave back ("render:<layer id>",
    // "disposeTexture:<world>", "dispose:<world>") by passing the Canvas and World calls through. Worlds
    // are numbered from 1 as addWorld makes them or the host lends them.
    void recordWorldTraffic();
    struct RenderCall {
        int32_t layerId = 0;
        AEGP_RenderHints hints = AEGP_RenderHints_NONE;
        AEGP_WorldH world = nullptr;
    };
    std::vector<std::string> events;
    std::vector<RenderCall> renders;
    int worldNumber(AEGP_WorldH world);

    // Layer streams (by layer id and stream) that the Stream suites answer with A_Err_PARAMETER.
    void failLayerStream(int32_t layerId, AEGP_LayerStream stream);
    std::vector<std::pair<int32_t, AEGP_LayerStream>> failingLayerStreams;

    // Per-layer calls of the Canvas and Layer suites that answer `err` for the layer with this id (a
    // refused render hands back no world).
    enum class LayerCall { RenderLayerToWorld, LayerToWorld, RenderOpacity, RenderLayer };
    void failLayerCall(int32_t layerId, LayerCall call, A_Err err = A_Err_PARAMETER);
    struct FailingLayerCall {
        int32_t layerId = 0;
        LayerCall call = LayerCall::RenderLayer;
        A_Err err = A_Err_PARAMETER;
    };
    std::vector<FailingLayerCall> failingLayerCalls;

    // The content bounds AEGP_GetLayerMaskedBounds answers for a layer: the host's shape and text layers
    // have them without a source item, which the composition model has no layer for.
    void setMaskedBounds(int32_t layerId, const A_FloatRect& bounds);
    std::map<int32_t, A_FloatRect> maskedBounds;

    // Installed effects besides the host's own (installed key 1), by key: addEffect installs an effect
    // with another match name here, and the Effect suite tells their match names.
    AEGP_InstalledEffectKey installOtherEffect(const std::string& matchName);
    std::map<AEGP_InstalledEffectKey, std::string> otherInstalledEffects;

    // Per-effect faults, by effect instance: its installed key cannot be read (so neither can its match
    // name), the host flags it AEGP_EffectFlags_MISSING (its plug-in is gone), or the parameter stream at
    // `position` is refused (A_Err_GENERIC).
    void failEffectMatchName(const host::EffectInstance& instance);
    void flagEffectMissing(const host::EffectInstance& instance);
    void failEffectStream(const host::EffectInstance& instance, int32_t position);
    // The effect list of the layer with this id cannot be read (AEGP_GetLayerNumEffects fails).
    void failEffectList(int32_t layerId);
    std::vector<const host::EffectInstance*> failingMatchNames;
    std::vector<const host::EffectInstance*> missingEffects;
    std::vector<std::pair<const host::EffectInstance*, int32_t>> failingEffectStreams;
    std::vector<int32_t> failingEffectLists;

    void* replaceSuiteTable(const char* name, A_long version, size_t size);
    const void* replacedTable(const std::string& name, A_long version) const;

private:
    std::map<std::pair<std::string, A_long>, std::unique_ptr<std::max_align_t[]>> replaced_;
    std::vector<PR_RenderContextH> openFrames_;
    std::map<AEGP_WorldH, int> worldNumbers_;
};

// The pixel at (x, y) of a host world, as the plug-in sees the memory.
template <typename Pixel>
Pixel& pixelAt(host::HostWorld& world, int32_t x, int32_t y) {
    return *reinterpret_cast<Pixel*>(world.bytes.data() + static_cast<size_t>(y) * world.rowBytes +
                                     static_cast<size_t>(x) * sizeof(Pixel));
}

// ---- Compositions in the host's model ----

// A layer of the given type with id and name; AV layers get a white solid source of width x height.
host::Layer makeLayer(int32_t id, host::LayerType type = host::LayerType::AV, int32_t width = 100,
                      int32_t height = 50);
// Appends the layer and keeps every layer's index equal to its 1-based position.
host::Layer& addLayer(host::Composition& comp, host::Layer layer);

// An effect instance on the layer at `layerPosition`, registered in the host state as the effect's
// instances are, with `streams` by parameter position (position 0 is the layer input). The first match
// name becomes the host's installed effect; another one is installed beside it (TestHost::
// installOtherEffect). The composition must stay alive while the host uses the instance.
host::EffectInstance& addEffect(host::HostState& state, const host::Composition& comp, size_t layerPosition,
                                const std::string& matchName, std::vector<host::EffectStream> streams);

host::EffectStream numberStream(double value);
host::EffectStream pointStream(double x, double y, double z);
host::EffectStream colorStream(double red, double green, double blue);
host::EffectStream layerIdStream(int32_t id);

}  // namespace zephrin::testhost
