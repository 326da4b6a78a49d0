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

// Loads every shared library in pluginDir, calls each AEGP plug-in's EntryPointFunc and runs the global
// setup of the renderer Artisan. Throws HostError when the folder is unreadable, another PluginHost is
// open, or no library registered the renderer Artisan ("no renderer plug-in in /path: expected
// ZephrinRenderer.so").
PluginHostPtr openPluginHost(const std::filesystem::path& pluginDir);

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
// composition size); plug-in failures come back in FrameResult::error, never as exceptions.
FrameResult renderCompositionFrame(PluginHost& host, const Composition& comp, const FrameRequest& request);

// One line per library the host looked at: what it is and what it registered, or why it was not loaded.
std::vector<std::string> describePlugins(const PluginHost& host);

// Every text a plug-in showed through the message function of PR_InData, oldest first.
std::vector<std::string> pluginMessages(const PluginHost& host);

// Makes a suite (every version of that name) unavailable to the plug-ins, or available again, so that
// tests reach the missing-suite paths. AcquireSuite then answers kSPSuiteNotFoundError.
void setSuiteAvailable(PluginHost& host, const std::string& suiteName, bool available);

// Running totals since the host opened (frames and the calls outside frames together).
HandleAccounting totalAccounting(const PluginHost& host);

}  // namespace zephrin::host
