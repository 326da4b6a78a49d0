// End to end: the real effect plug-in discovered, set up and driven by the stand-in host; its parameters
// live as host streams that the suites answer from, as the renderer will read them.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "common/effect_contract.h"
#include "host/effect_plugin.h"
#include "host/footage.h"
#include "host/host_session.h"
#include "host/render_context.h"
#include "host/scene_file.h"
#include "host/suites/canvas_suite.h"
#include "host/suites/effect_suite.h"
#include "host/suites/host_state.h"
#include "host/suites/stream_suite.h"
#include "host/win32/win32_control.h"

namespace zephrin::host {
namespace {

namespace fs = std::filesystem;
using namespace zephrin::param;

const fs::path kPluginDir = ZEPHRIN_PLUGIN_DIR;

// Two 32 x 24 solids, "Paper" (id 1) carrying the effect with the given parameters and "Path" (id 2).
Composition effectComposition(const std::string& paramsJson, bool savedBeforeParams = false) {
    Composition comp;
    comp.name = "Bend";
    comp.width = 64;
    comp.height = 48;
    comp.frameRate = 30.0;
    comp.duration = 2.0;
    comp.sceneFile = "/tmp/bend.json";
    auto paper = std::make_shared<Footage>(makeSolidFootage("paper", {0.5, 0.25, 1.0}, 32, 24));
    comp.footage["paper"] = paper;
    for (int32_t i = 1; i <= 2; ++i) {
        Layer layer;
        layer.id = i;
        layer.index = i;
        layer.name = i == 1 ? "Paper" : "Path";
        layer.source = paper;
        layer.threeD = true;
        layer.transform.anchorPoint.value = {16.0, 12.0, 0.0};
        layer.transform.position.value = {32.0, 24.0, 0.0};
        comp.layers.push_back(layer);
    }
    if (!paramsJson.empty()) {
        comp.layers[0].effects.push_back(EffectEntry{"com.tavik.ZephrinSurface", paramsJson, savedBeforeParams, true});
    }
    return comp;
}

std::string sceneError(PluginHost& host, const Composition& comp) {
    try {
        prepareSceneEffects(host, comp);
    } catch (const SceneFileError& error) {
        return error.what();
    }
    return "(accepted)";
}

EffectInstance& onlyInstance(PluginHost& host, const Composition& comp) {
    std::vector<EffectInstance*> found = effectInstances(host, comp, 0);
    EXPECT_EQ(found.size(), 1u);
    return *found.at(0);
}

double oneD(PluginHost& host, const EffectInstance& instance, int position, double seconds = 0.0) {
    return effectStreamValue(host, instance, position, seconds).one_d;
}

AEGP_ThreeDVal point(PluginHost& host, const EffectInstance& instance, int position) {
    return effectStreamValue(host, instance, position).three_d;
}

AEGP_StreamVal number(double v) {
    AEGP_StreamVal value{};
    value.one_d = v;
    return value;
}

TEST(EffectHost, DiscoversTheEffectAndSendsItsCommandsInTheHostsOrder) {
    PluginHostPtr host = openPluginHost(kPluginDir);
    EffectPlugin* effect = loadedEffect(*host);
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(effect->name, "Zephrin");
    EXPECT_EQ(effect->matchName, "com.tavik.ZephrinSurface");
    EXPECT_EQ(effect->category, "Zephrin");
    EXPECT_EQ(effect->entryPointName, "EffectMain");
    EXPECT_EQ(effect->kind, PF_PLUGIN_KIND_EFFECT);
    EXPECT_TRUE(effect->registeredThroughEntry2);
    EXPECT_EQ(effect->outFlags, 0x6008006);
    EXPECT_EQ(effect->outFlags2, 0x2000f);
    EXPECT_NE(effect->globalData, nullptr) << "the global data handed back is kept for later commands";
    ASSERT_EQ(effect->params.size(), static_cast<size_t>(kCount));
    EXPECT_EQ(effect->params[kMode].param_type, PF_Param_POPUP);
    EXPECT_STREQ(effect->params[kMode].name, "Mode");
    EXPECT_STREQ(effect->params[kMode].u.pd.u.namesptr, "Free Mode|Path Select|Scroll Mode");
    EXPECT_EQ(effect->commands, (std::vector<PF_Cmd>{PF_Cmd_GLOBAL_SETUP, PF_Cmd_PARAMS_SETUP}));
    std::vector<std::string> lines = describePlugins(*host);
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "Zephrin.so: effect plug-in \"Zephrin\" (com.tavik.ZephrinSurface), category \"Zephrin\", "
                        "121 parameters"),
              lines.end());

    Composition comp = effectComposition("{}");
    prepareSceneEffects(*host, comp);
    EXPECT_EQ(effect->commands, (std::vector<PF_Cmd>{PF_Cmd_GLOBAL_SETUP, PF_Cmd_PARAMS_SETUP, PF_Cmd_SEQUENCE_RESETUP,
                                                     PF_Cmd_UPDATE_PARAMS_UI}));
    prepareSceneEffects(*host, comp);
    EXPECT_EQ(effectInstances(*host, comp, 0).size(), 1u) << "a composition is prepared once";
    applyEffect(*host, comp, 1);
    EXPECT_EQ(effect->commands.at(4), PF_Cmd_SEQUENCE_SETUP) << "a fresh application is a sequence setup";
    forgetSceneEffects(*host, comp);
    EXPECT_EQ(effect->commands.back(), PF_Cmd_SEQUENCE_SETDOWN);
    EXPECT_TRUE(effectInstances(*host, comp, 0).empty());
    EXPECT_TRUE(effectInstances(*host, comp, 1).empty());
}

// The renderer's path: layer → effect → installed key → match name → streams by position, every handle
// given back and counted.
TEST(EffectHost, StreamsAreTypedPerParameterAndEveryHandleComesBack) {
    PluginHostPtr host = openPluginHost(kPluginDir);
    Composition comp = effectComposition(R"({"Thickness": 40, "Front Color": [1, 0, 0]})");
    prepareSceneEffects(*host, comp);
    EffectInstance& instance = onlyInstance(*host, comp);
    HandleAccounting before = totalAccounting(*host);

    const AEGP_EffectSuite4& effects = effectSuite4();
    const AEGP_StreamSuite11& streams = streamSuite11();
    AEGP_LayerH layer = nullptr;
    ASSERT_EQ(pfInterfaceSuite1().AEGP_GetEffectLayer(reinterpret_cast<PF_ProgPtr>(instance.effectRef), &layer),
              A_Err_NONE);
    A_long count = 0;
    ASSERT_EQ(effects.AEGP_GetLayerNumEffects(layer, &count), A_Err_NONE);
    ASSERT_EQ(count, 1);
    AEGP_EffectRefH effect = nullptr;
    EXPECT_NE(effects.AEGP_GetLayerEffectByIndex(1, layer, 1, &effect), A_Err_NONE);
    ASSERT_EQ(effects.AEGP_GetLayerEffectByIndex(1, layer, 0, &effect), A_Err_NONE);
    AEGP_InstalledEffectKey key = 0;
    ASSERT_EQ(effects.AEGP_GetInstalledKeyFromLayerEffect(effect, &key), A_Err_NONE);
    A_char matchName[AEGP_MAX_EFFECT_MATCH_NAME_SIZE] = {};
    ASSERT_EQ(effects.AEGP_GetEffectMatchName(key, matchName), A_Err_NONE);
    EXPECT_STREQ(matchName, "com.tavik.ZephrinSurface");
    AEGP_EffectFlags flags = 0;
    ASSERT_EQ(effects.AEGP_GetEffectFlags(effect, &flags), A_Err_NONE);
    EXPECT_EQ(flags, AEGP_EffectFlags_ACTIVE);
    ASSERT_EQ(streams.AEGP_GetEffectNumParamStreams(effect, &count), A_Err_NONE);
    EXPECT_EQ(count, kCount);

    struct Expected {
        int position;
        AEGP_StreamType type;
    };
    const Expected expected[] = {{kMode, AEGP_StreamType_OneD},          {kCurveAmount, AEGP_StreamType_OneD},
                                 {kCloseEndpoints, AEGP_StreamType_OneD}, {59, AEGP_StreamType_OneD},
                                 {kFirstPoint, AEGP_StreamType_ThreeD_SPATIAL}, {78, AEGP_StreamType_COLOR},
                                 {84, AEGP_StreamType_LAYER_ID},          {kFreeModeGroup, AEGP_StreamType_NO_DATA},
                                 {kTopView, AEGP_StreamType_NO_DATA},     {kResetPoints, AEGP_StreamType_NO_DATA}};
    const A_Time time{0, 30};
    for (const Expected& e : expected) {
        AEGP_StreamRefH stream = nullptr;
        ASSERT_EQ(streams.AEGP_GetNewEffectStreamByIndex(1, effect, e.position, &stream), A_Err_NONE) << e.position;
        AEGP_StreamType type = AEGP_StreamType_NO_DATA;
        ASSERT_EQ(streams.AEGP_GetStreamType(stream, &type), A_Err_NONE);
        EXPECT_EQ(type, e.type) << e.position;
        AEGP_StreamValue2 value{};
        A_Err valueErr = streams.AEGP_GetNewStreamValue(1, stream, AEGP_LTimeMode_CompTime, &time, false, &value);
        EXPECT_EQ(valueErr == A_Err_NONE, e.type != AEGP_StreamType_NO_DATA) << e.position;
        if (valueErr == A_Err_NONE) {
            if (e.position == 84) {
                EXPECT_EQ(value.val.layer_id, 1) << "\"Front Layer\" defaults to its own layer";
            }
            if (e.position == 78) {
                EXPECT_NEAR(value.val.color.redF, 194 / 255.0, 1e-12);
            }
            EXPECT_EQ(streams.AEGP_DisposeStreamValue(&value), A_Err_NONE);
        }
        EXPECT_EQ(streams.AEGP_DisposeStream(stream), A_Err_NONE);
    }
    AEGP_StreamRefH outside = nullptr;
    EXPECT_NE(streams.AEGP_GetNewEffectStreamByIndex(1, effect, kCount, &outside), A_Err_NONE);
    EXPECT_EQ(outside, nullptr);
    EXPECT_EQ(effects.AEGP_DisposeEffect(effect), A_Err_NONE);
    HandleAccounting used = accountingSince(before, totalAccounting(*host));
    EXPECT_TRUE(isBalanced(used)) << describeAccounting(used);
    EXPECT_EQ(used.streamsLent, 10);
    EXPECT_EQ(used.effectsLent, 1) << "the refused index lent nothing";

    EXPECT_NE(effects.AEGP_DisposeEffect(effect), A_Err_NONE) << "a handle given back is unknown";
    EXPECT_EQ(accountingSince(before, totalAccounting(*host)).badHandles, 1);
}

TEST(EffectHost, SceneFileSetsParametersByPositionLabelAndGroup) {
    PluginHostPtr host = openPluginHost(kPluginDir);
    Composition comp = effectComposition(R"({"Mode": "Scroll Mode", "Thickness": 40, "Left Curl/Curl Angle": 720,
        "Path Select/Motion": 30, "Scroll Mode/Right Curl/Radius": 250,
        "4": 120, "Right Curl/Enabled": true, "47": "Path", "Back Color": [0, 0.5, 1],
        "Twist Amount": {"keyframes": [[0, 10], [1, 30]]}, "Point Count": 2})");
    prepareSceneEffects(*host, comp);
    EffectInstance& instance = onlyInstance(*host, comp);
    EXPECT_EQ(oneD(*host, instance, kMode), kModeScroll) << "a saved project's values survive its setup";
    EXPECT_EQ(oneD(*host, instance, 77), 40);
    EXPECT_EQ(oneD(*host, instance, 59), 720);
    EXPECT_EQ(oneD(*host, instance, 67), 0) << "the right curl keeps its default angle";
    EXPECT_EQ(oneD(*host, instance, kCurveAmount), 120);
    EXPECT_EQ(oneD(*host, instance, 65), 1);
    EXPECT_EQ(oneD(*host, instance, kPathMotion), 30);
    EXPECT_EQ(oneD(*host, instance, 69), 250) << "a nested group path";
    EXPECT_EQ(oneD(*host, instance, 57), 1) << "an unset checkbox keeps its default";
    EXPECT_EQ(oneD(*host, instance, kPointCount), 2);
    EXPECT_EQ(effectStreamValue(*host, instance, kPathLayer).layer_id, 2);
    EXPECT_DOUBLE_EQ(effectStreamValue(*host, instance, 88).color.blueF, 1.0);
    EXPECT_DOUBLE_EQ(oneD(*host, instance, 5, 0.5), 20.0) << "keyframes interpolate linearly";
    EXPECT_DOUBLE_EQ(oneD(*host, instance, 5, 5.0), 30.0) << "and hold after the last key";
}

TEST(EffectHost, BadParametersAreRefusedWithFileAndPath) {
    PluginHostPtr host = openPluginHost(kPluginDir);
    const std::string at = "bend.json: layers[0].effects[0].params.";
    struct Case {
        const char* params;
        std::string message;
    };
    const Case cases[] = {
        {R"({"Thicknes": 4})", at + "Thicknes: the effect has no parameter \"Thicknes\" (see zephrin params)"},
        {R"({"Flip": true})",
         at + "Flip: \"Flip\" names 2 parameters; use one of \"86\", \"89\""},
        {R"({"Motion": 10})",
         at + "Motion: \"Motion\" names 2 parameters; use one of \"Free Mode/Motion\", \"Path Select/Motion\""},
        {R"({"Thickness": "thick"})", at + "Thickness: expected a number"},
        {R"({"200": 1})", at + "200: parameter position 200 is out of range 1 to 121"},
        {R"({"0": 1})", at + "0: parameter position 0 is out of range 1 to 121"},
        {R"({"Thickness": 900})", at + "Thickness: 900 is outside the valid range 0 to 500 of \"Thickness\""},
        {R"({"Mode": "Bent"})",
         at + "Mode: \"Bent\" is not a choice of \"Mode\" (\"Free Mode\", \"Path Select\", \"Scroll Mode\")"},
        {R"({"Mode": 4})", at + "Mode: 4 is outside the valid range 1 to 3 of \"Mode\""},
        {R"({"47": "Nowhere"})", at + "47: no layer named \"Nowhere\" in the composition"},
        {R"({"Top View": 1})", at + "Top View: \"Top View\" holds no value"},
        {R"({"4": 50, "Curve Amount": 60})", at + "Curve Amount: sets the same parameter as \"4\""},
        {R"({"Twist Amount": {"keyframes": [[0, 10], [1, 500]]}})",
         at + "Twist Amount.keyframes[1][1]: 500 is outside the valid range 0 to 180 of \"Twist Amount\""},
        {R"({"Close Endpoints": {"keyframes": [[0, true], [1, false]]}})",
         at + "Close Endpoints: \"Close Endpoints\" cannot be animated"},
    };
    for (const Case& c : cases) {
        Composition comp = effectComposition(c.params);
        EXPECT_EQ(sceneError(*host, comp), c.message) << c.params;
        EXPECT_TRUE(effectInstances(*host, comp, 0).empty()) << "nothing is half made: " << c.params;
    }
    Composition other = effectComposition("");
    other.layers[0].effects.push_back(EffectEntry{"com.example.Blur", "{}", false, true});
    EXPECT_EQ(sceneError(*host, other), "bend.json: layers[0].effects[0].matchName: no installed effect "
                                        "\"com.example.Blur\" (installed: com.tavik.ZephrinSurface)");
}

TEST(EffectHost, ProjectsSavedBeforeAParameterTakeItsValueInsteadOfItsDefault) {
    PluginHostPtr host = openPluginHost(kPluginDir);
    Composition current = effectComposition("{}");
    prepareSceneEffects(*host, current);
    EXPECT_EQ(oneD(*host, onlyInstance(*host, current), kCommonSyncState), 1);
    Composition old = effectComposition("{}", true);
    prepareSceneEffects(*host, old);
    EXPECT_EQ(oneD(*host, onlyInstance(*host, old), kCommonSyncState), 0);
    Composition oldButSet = effectComposition(R"({"Common Sync State": true})", true);
    prepareSceneEffects(*host, oldButSet);
    EXPECT_EQ(oneD(*host, onlyInstance(*host, oldButSet), kCommonSyncState), 1) << "a value the file gives wins";
}

TEST(EffectHost, UserChangesReachTheEffectAndItsWritesLandInTheStreams) {
    PluginHostPtr host = openPluginHost(kPluginDir);
    EffectPlugin* effect = loadedEffect(*host);
    Composition comp = effectComposition("");
    EffectInstance& instance = applyEffect(*host, comp, 0);
    size_t sent = effect->commands.size();

    ASSERT_EQ(changeEffectParam(*host, instance, kAnimation, number(150)), PF_Err_NONE);
    EXPECT_EQ(std::vector<PF_Cmd>(effect->commands.begin() + static_cast<long>(sent), effect->commands.end()),
              (std::vector<PF_Cmd>{PF_Cmd_USER_CHANGED_PARAM, PF_Cmd_UPDATE_PARAMS_UI}));
    EXPECT_EQ(oneD(*host, instance, kFreeMotion), 150) << "mirrored into the free-mode member";
    EXPECT_EQ(oneD(*host, instance, kPathMotion), 150) << "and the path-mode member";
    EXPECT_GT(instance.rerenderRequests, 0);

    // Closing a two-point curve raises it to four points whose ends meet, in the hidden point streams.
    ASSERT_EQ(changeEffectParam(*host, instance, kPointCount, number(1)), PF_Err_NONE);
    ASSERT_EQ(changeEffectParam(*host, instance, kCloseEndpoints, number(1)), PF_Err_NONE);
    EXPECT_EQ(oneD(*host, instance, kPointCount), 3);
    AEGP_ThreeDVal first = point(*host, instance, kFirstPoint), last = point(*host, instance, kFirstPoint + 3);
    EXPECT_EQ(first.x, last.x);
    EXPECT_EQ(first.y, last.y);
    EXPECT_NE(instance.streams[kFirstPoint].dynamicFlags & AEGP_DynStreamFlag_HIDDEN, 0)
        << "a point written while hidden stays hidden";
    // A keyframed stream takes a change as a keyframe at the change's time.
    instance.streams[kCurveAmount].keyframes = {{0.0, number(100)}, {1.0, number(100)}};
    ASSERT_EQ(changeEffectParam(*host, instance, kCurveAmount, number(50), 0.5), PF_Err_NONE);
    EXPECT_EQ(instance.streams[kCurveAmount].keyframes.size(), 3u);
    EXPECT_EQ(oneD(*host, instance, kCurveAmount, 0.5), 50);
    EXPECT_EQ(changeEffectParam(*host, instance, kCount, number(1)), PF_Err_INVALID_INDEX);
}

TEST(EffectHost, ScriptedLanguagePopupRelabelsWithoutChangingValues) {
    win32::resetPlatform();
    PluginHostPtr host = openPluginHost(kPluginDir);
    Composition comp = effectComposition("{}");
    prepareSceneEffects(*host, comp);
    EffectInstance& instance = onlyInstance(*host, comp);
    const double curveAmount = oneD(*host, instance, kCurveAmount);
    win32::queuePopupChoice(kLanguageChinese);
    ASSERT_EQ(clickEffectControl(*host, instance, kLanguage), PF_Err_NONE);
    EXPECT_EQ(oneD(*host, instance, kLanguage), kLanguageChinese);
    EXPECT_TRUE(instance.ui[kCurveAmount].updated);
    EXPECT_EQ(instance.ui[kCurveAmount].label, "起伏强度");
    EXPECT_EQ(oneD(*host, instance, kCurveAmount), curveAmount);
    EXPECT_EQ(win32::pendingPopupAnswers(), 0u);
    win32::resetPlatform();
}

TEST(EffectHost, PassThroughRenderChecksOutThePathLayerOnlyInPathModes) {
    PluginHostPtr host = openPluginHost(kPluginDir);
    Composition comp = effectComposition(R"({"Mode": "Free Mode"})");
    PF_Err err = PF_Err_NONE;
    HostWorld plain = footageWorld(*comp.layers[0].source);
    HostWorld free = renderLayerWithEffects(*host, comp, 0, 0, err);
    EffectInstance& instance = onlyInstance(*host, comp);
    ASSERT_EQ(err, PF_Err_NONE);
    EXPECT_EQ(free.bytes, plain.bytes) << "the effect's output is a copy of its input";
    EXPECT_EQ(instance.copies, 1);
    EXPECT_TRUE(instance.checkouts.empty());

    for (double mode : {kModePathSelect, kModeScroll}) {
        instance.checkouts.clear();
        ASSERT_EQ(changeEffectParam(*host, instance, kMode, number(mode)), PF_Err_NONE);
        HostWorld bent = renderLayerWithEffects(*host, comp, 0, 3, err);
        ASSERT_EQ(err, PF_Err_NONE);
        EXPECT_EQ(bent.bytes, plain.bytes);
        EXPECT_EQ(instance.checkouts, (std::vector<PF_ParamIndex>{kPathLayer})) << mode;
        EXPECT_EQ(instance.checkedOut, 0) << "checked in again";
    }
}

TEST(EffectHost, EditorHostGivesTheEffectNoPluginIdAndChangesStillReachTheStreams) {
    PluginHostPtr host = openPluginHost(kPluginDir, HostOptions{"en_US", PF_APPL_ID_PREMIERE});
    HandleAccounting before = totalAccounting(*host);
    Composition comp = effectComposition("");
    EffectInstance& instance = applyEffect(*host, comp, 0);
    ASSERT_EQ(changeEffectParam(*host, instance, kAnimation, number(120)), PF_Err_NONE);
    EXPECT_EQ(oneD(*host, instance, kFreeMotion), 120) << "through the parameter array's change flags";
    HandleAccounting used = accountingSince(before, totalAccounting(*host));
    EXPECT_EQ(used.effectsLent, 0) << "without an AEGP id the effect asks for no AEGP effect";
    EXPECT_TRUE(isBalanced(used)) << describeAccounting(used);
}

TEST(EffectHost, FrameWithTheEffectGivesEveryHandleBack) {
    PluginHostPtr host = openPluginHost(kPluginDir);
    Composition comp = effectComposition(R"({"Mode": "Path Select", "47": "Path", "Thickness": 10})");
    FrameRequest request;
    FrameResult result = renderCompositionFrame(*host, comp, request);
    EXPECT_EQ(result.error, 0);
    EXPECT_TRUE(isBalanced(result.accounting)) << describeAccounting(result.accounting);
    EXPECT_EQ(effectInstances(*host, comp, 0).size(), 1u) << "the frame set up the file's effect first";
}

// The renderer asks for a layer with or without its own effects; with them, each active effect renders.
TEST(EffectHost, RenderLayerPlusRunsTheLayersEffectsUnlessTheHintsLeaveThemOut) {
    PluginHostPtr host = openPluginHost(kPluginDir);
    Composition comp = effectComposition("{}");
    prepareSceneEffects(*host, comp);
    EffectInstance& instance = onlyInstance(*host, comp);
    HostState& state = *activeHostState();
    RenderContext& rc = beginRenderContext(state, comp, FrameRequest{});
    auto context = toHandle<PR_RenderContextH>(rc.handle);
    auto layer = toHandle<AEGP_LayerH>(rc.comp->layerHandles[0]);
    auto layerContext = toHandle<AEGP_RenderLayerContextH>(rc.layerContexts[0]);
    const AEGP_CanvasSuite10& canvas = canvasSuite10();
    for (AEGP_RenderHints hints : {AEGP_RenderHints_NO_EFFECTS, AEGP_RenderHints_NONE}) {
        AEGP_WorldH world = nullptr;
        ASSERT_EQ(canvas.AEGP_RenderLayerPlus(context, layer, layerContext, hints, &world), A_Err_NONE);
        EXPECT_EQ(instance.copies, hints == AEGP_RenderHints_NONE ? 1 : 0);
        EXPECT_EQ(canvas.AEGP_DisposeTexture(context, layerContext, world), A_Err_NONE);
    }
    endRenderContext(state, rc.handle);
}

TEST(EffectHost, MissingSuiteBecomesTheCommandsErrorAndIsReportedWithItsNumber) {
    PluginHostPtr host = openPluginHost(kPluginDir);
    Composition comp = effectComposition("");
    EffectInstance& instance = applyEffect(*host, comp, 0);
    setSuiteAvailable(*host, kAEGPPFInterfaceSuite, false);
    EXPECT_EQ(changeEffectParam(*host, instance, kAnimation, number(150)), PF_Err_BAD_CALLBACK_PARAM);
    std::vector<std::string> messages = pluginMessages(*host);
    EXPECT_NE(std::find(messages.begin(), messages.end(), "the effect's command 13 returned error 516"), messages.end());
    setSuiteAvailable(*host, kAEGPPFInterfaceSuite, true);
    EXPECT_EQ(changeEffectParam(*host, instance, kAnimation, number(140)), PF_Err_NONE) << "the host carries on";
    EXPECT_EQ(oneD(*host, instance, kFreeMotion), 140);
}

TEST(EffectHost, ClosingSetsTheEffectDownAndFreesItsGlobalData) {
    const fs::path log = fs::temp_directory_path() / ("zephrin_effect_host_" + std::to_string(::getpid()) + ".log");
    fs::remove(log);
    ::setenv("SSR_EFFECT_LOG", log.c_str(), 1);
    PluginHostPtr host = openPluginHost(kPluginDir);
    Composition comp = effectComposition("{}");
    prepareSceneEffects(*host, comp);
    HandleAccounting open = totalAccounting(*host);
    EXPECT_EQ(open.memHandlesLent - open.memHandlesFreed, 1) << "the effect's global data";
    closePluginHost(std::move(host));
    ::unsetenv("SSR_EFFECT_LOG");
    std::ifstream in(log);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    fs::remove(log);
    EXPECT_NE(text.find("EffectMain GLOBAL_SETDOWN"), std::string::npos) << text;
}

}  // namespace
}  // namespace zephrin::host
