// The stand-in host as the command line and the end-to-end tests use it: open a plug-in folder, render
// composition frames through the renderer Artisan, close. Everything a plug-in sees goes through the
// suites in host/suites/; this header is the host's own side.
//
// The host's message function and its basic suite carry no context pointer, so a process holds at most
// one open PluginHost at a time (the suites find it through a process-wide pointer).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/composition.h"
#include "host/handle_accounting.h"
#include "host/host_world.h"
#include "sdk/AE_GeneralPlug.h"

namespace zephrin::host {

// A host that cannot start or cannot honour a request. The message names what and where.
struct HostError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Loaded plug-ins, registered Artisans, open instances and the host-side state the suites answer from.
struct PluginHost;

struct PluginHostCloser {
    void operator()(PluginHost* host) const noexcept;
};
using PluginHostPtr = std::unique_ptr<PluginHost, PluginHostCloser>;

// The match name of the Artisan that renders compositions.
inline constexpr const char* kRendererArtisanMatchName = "com.tavik.ZephrinRenderer";

// How the host presents itself to the effect.
struct HostOptions {
    std::string languageTag = "en_US";  // the application's UI language ("en_US", "zh_CN")
    A_long applId = 0;                  // PF_InData.appl_id; 0: the host's own ('FXTC'); 'PrMr' for the editor host
    // Opening fails without the renderer Artisan. Commands that only talk to the effect (listing its
    // parameters) open without it; rendering a frame then fails with the reason.
    bool requireRenderer = true;
};

// Loads every shared library in pluginDir, calls each AEGP plug-in's EntryPointFunc and runs the global
// setup of the renderer Artisan; discovers the effect plug-in and sends it PF_Cmd_GLOBAL_SETUP and
// PF_Cmd_PARAMS_SETUP. Throws HostError when the folder is unreadable, another PluginHost is open, or no
// library registered the renderer Artisan ("no renderer plug-in in /path: expected ZephrinRenderer.so", or
// "ZephrinRenderer.so in /path is not a usable plug-in: <why>" when the file is there) and
// options.requireRenderer holds.
// An effect that cannot be set up is reported by describePlugins and leaves the host without an effect.
PluginHostPtr openPluginHost(const std::filesystem::path& pluginDir, const HostOptions& options = {});

// Sets down every open instance, the Artisan's globals, calls the death hooks and unloads the libraries.
// Destroying the PluginHostPtr does the same.
void closePluginHost(PluginHostPtr host);

struct FrameRequest {
    int32_t frame = 0;
    int16_t downsampleX = 1, downsampleY = 1;
    int32_t bitsPerChannel = 8;  // 8, 16 or 32
    bool offerInteractiveBuffer = false;
};

struct FrameResult {
    A_Err error = 0;             // what the Artisan's frame calls returned; 0 = success
    HostWorld image;             // the destination world as the Artisan left it
    HandleAccounting accounting; // what this frame borrowed and gave back
};

// Renders one frame of the composition through the renderer Artisan. The first frame of a composition
// sets up its Artisan instance; the instance lives until the host closes. Host time for frame n is
// A_Time{n * 1000, round(frameRate * 1000)}, exact for integer and NTSC rates alike. Throws HostError for
// a request the host cannot honour (downsample below 1, a depth other than 8/16/32, an empty
// composition size); plug-in failures come back in FrameResult::error, never as exceptions. A composition
// whose effects are not yet prepared is prepared first (prepareSceneEffects, which may throw SceneFileError).
FrameResult renderCompositionFrame(PluginHost& host, const Composition& comp, const FrameRequest& request);

// One line per library the host looked at: what it is and what it registered, or why it was not loaded.
std::vector<std::string> describePlugins(const PluginHost& host);

// The version the renderer Artisan registered itself with.
A_Version rendererArtisanVersion(const PluginHost& host);

// Every text a plug-in showed through the message function of PR_InData, oldest first.
std::vector<std::string> pluginMessages(const PluginHost& host);

// Makes a suite (every version of that name) unavailable to the plug-ins, or available again, so that
// tests reach the missing-suite paths. AcquireSuite then answers kSPSuiteNotFoundError.
void setSuiteAvailable(PluginHost& host, const std::string& suiteName, bool available);

// ---- The effect plug-in ----

struct EffectPlugin;
struct EffectInstance;
struct RegisteredParam;

// The discovered and set-up effect, or null when the folder holds none (or its setup failed).
EffectPlugin* loadedEffect(PluginHost& host);

// Creates the effect instances a composition's layers name, with the values their scene file gives
// (resolved against the effect's parameter list), and sets each up as a saved project is re-opened
// (PF_Cmd_SEQUENCE_RESETUP). Runs once per composition; renderCompositionFrame calls it for a composition
// it has not prepared. Instances know their composition by address: it must stay alive while the host
// uses them, or be let go with forgetSceneEffects first. Throws SceneFileError ("<file>: layers[2].effects[0].params.Thickness: ...") for
// a parameter the effect does not have or a value it cannot take, HostError when a command fails.
void prepareSceneEffects(PluginHost& host, const Composition& comp);

// Sets down (PF_Cmd_SEQUENCE_SETDOWN) and removes every effect instance of the composition.
void forgetSceneEffects(PluginHost& host, const Composition& comp);

// A fresh application of the effect to a layer (PF_Cmd_SEQUENCE_SETUP), as a user applies it.
EffectInstance& applyEffect(PluginHost& host, const Composition& comp, size_t layerPosition);

// The layer's effect instances, in their order on the layer.
std::vector<EffectInstance*> effectInstances(PluginHost& host, const Composition& comp, size_t layerPosition);

// A user's change of one parameter (position), written at `seconds`; supervised parameters then get
// PF_Cmd_USER_CHANGED_PARAM and PF_Cmd_UPDATE_PARAMS_UI. Returns the effect's error.
PF_Err changeEffectParam(PluginHost& host, EffectInstance& instance, int32_t position, const AEGP_StreamVal& value,
                         double seconds = 0.0);

// A click on a custom-drawn control of the instance at `position` (the "Language" and "Mode" popups).
PF_Err clickEffectControl(PluginHost& host, EffectInstance& instance, int32_t position, double seconds = 0.0);

// A stream's value at `seconds`, as the renderer would read it.
AEGP_StreamVal effectStreamValue(PluginHost& host, const EffectInstance& instance, int32_t position,
                                 double seconds = 0.0);

// The layer's source rendered with its effects at a frame (the pass-through of each active effect).
// `error` receives the first effect error.
HostWorld renderLayerWithEffects(PluginHost& host, const Composition& comp, size_t layerPosition, int32_t frame,
                                 PF_Err& error);

// Running totals since the host opened (frames and the calls outside frames together).
HandleAccounting totalAccounting(const PluginHost& host);

}  // namespace zephrin::host
