// End to end: the real renderer plug-in loaded from the build's plug-in folder, driven through a frame.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "host/footage.h"
#include "host/host_session.h"

namespace zephrin::host {
namespace {

namespace fs = std::filesystem;

const fs::path kPluginDir = ZEPHRIN_PLUGIN_DIR;

// One 3D red solid of 32 x 24 centred in a 64 x 48 composition without camera or lights: the default
// camera shows the plane z = 0 at 1:1, and without lights a surface shows its own colour.
Composition tinyComposition() {
    Composition comp;
    comp.name = "Tiny";
    comp.width = 64;
    comp.height = 48;
    comp.frameRate = 30.0;
    comp.background = {0.0, 0.0, 0.2, 1.0};
    auto red = std::make_shared<Footage>(makeSolidFootage("red", {1.0, 0.0, 0.0}, 32, 24));
    comp.footage["red"] = red;
    Layer layer;
    layer.id = 1;
    layer.index = 1;
    layer.name = "Red";
    layer.source = red;
    layer.threeD = true;
    layer.transform.anchorPoint.value = {16.0, 12.0, 0.0};
    layer.transform.position.value = {32.0, 24.0, 0.0};
    comp.layers.push_back(layer);
    return comp;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Switches the plug-in's entry log on for one test, into a fresh file.
struct EntryLog {
    fs::path path = fs::temp_directory_path() / ("zephrin_entry_" + std::to_string(::getpid()) + ".log");
    EntryLog() {
        fs::remove(path);
        ::setenv("SSR_ENTRY_DEBUG", "1", 1);
        ::setenv("SSR_ENTRY_LOG", path.c_str(), 1);
    }
    ~EntryLog() {
        ::unsetenv("SSR_ENTRY_DEBUG");
        ::unsetenv("SSR_ENTRY_LOG");
        fs::remove(path);
    }
};

TEST(PluginRender, SolidLayerLandsAndEveryWorldComesBack) {
    PluginHostPtr host = openPluginHost(kPluginDir);
    Composition comp = tinyComposition();
    for (int32_t bits : {8, 16, 32}) {
        FrameRequest request;
        request.bitsPerChannel = bits;
        FrameResult result = renderCompositionFrame(*host, comp, request);
        ASSERT_EQ(result.error, 0) << bits << " bpc";
        ASSERT_EQ(result.image.width, 64);
        ASSERT_EQ(result.image.height, 48);
        std::array<double, 4> centre = readPixel(result.image, 32, 24);
        EXPECT_NEAR(centre[0], 1.0, 0.02) << bits << " bpc";
        EXPECT_NEAR(centre[1], 0.0, 0.02);
        EXPECT_NEAR(centre[2], 0.0, 0.02);
        EXPECT_NEAR(centre[3], 1.0, 0.02);
        std::array<double, 4> corner = readPixel(result.image, 2, 2);  // outside the layer: the background
        EXPECT_NEAR(corner[2], 0.2, 0.01);
        EXPECT_NEAR(corner[3], 1.0, 1e-6);
        const HandleAccounting& a = result.accounting;
        EXPECT_GE(a.worldsLent, 1) << "the layer's own texture";
        EXPECT_GT(a.suitesAcquired, 0);
        EXPECT_TRUE(isBalanced(a)) << describeAccounting(a);
    }
}

TEST(PluginRender, DownsampledFrameIsSmallerAndStillBalanced) {
    PluginHostPtr host = openPluginHost(kPluginDir);
    FrameRequest request;
    request.downsampleX = 2;
    request.downsampleY = 2;
    request.offerInteractiveBuffer = true;
    FrameResult result = renderCompositionFrame(*host, tinyComposition(), request);
    ASSERT_EQ(result.error, 0);
    EXPECT_EQ(result.image.width, 32);
    EXPECT_EQ(result.image.height, 24);
    EXPECT_TRUE(isBalanced(result.accounting)) << describeAccounting(result.accounting);
}

TEST(PluginRender, MissingCanvasSuiteFailsTheFrameWith516AndLeaksNothing) {
    PluginHostPtr host = openPluginHost(kPluginDir);
    Composition comp = tinyComposition();
    setSuiteAvailable(*host, "AEGP Canvas Suite", false);
    FrameResult failed = renderCompositionFrame(*host, comp, FrameRequest{});
    EXPECT_EQ(failed.error, PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(failed.accounting.worldsLent, 0);
    EXPECT_TRUE(isBalanced(failed.accounting)) << describeAccounting(failed.accounting);
    // The destination comes back as the host prefilled it.
    EXPECT_NEAR(readPixel(failed.image, 32, 24)[2], 0.2, 0.01);

    setSuiteAvailable(*host, "AEGP Canvas Suite", true);
    FrameResult recovered = renderCompositionFrame(*host, comp, FrameRequest{});
    EXPECT_EQ(recovered.error, 0);
    EXPECT_NEAR(readPixel(recovered.image, 32, 24)[0], 1.0, 0.02);
    HandleAccounting total = totalAccounting(*host);
    EXPECT_EQ(total.suitesAcquired, total.suitesReleased);
    EXPECT_EQ(total.worldsLent, total.worldsReturned);
}

TEST(PluginRender, ArtisanCallsFollowTheHostsOrder) {
    EntryLog log;
    {
        PluginHostPtr host = openPluginHost(kPluginDir);
        Composition comp = tinyComposition();
        for (int32_t frame : {0, 1}) {
            FrameRequest request;
            request.frame = frame;
            ASSERT_EQ(renderCompositionFrame(*host, comp, request).error, 0);
        }
        std::vector<std::string> lines = describePlugins(*host);
        bool listed = false;
        for (const std::string& line : lines) {
            listed = listed || line.find("Artisan \"Zephrin Renderer\" (com.tavik.ZephrinRenderer)") != std::string::npos;
        }
        EXPECT_TRUE(listed);
    }
    const std::string expected =
        "EntryPointFunc called\n"
        "AEGP_RegisterArtisan succeeded\n"
        "AEGP_RegisterDeathHook succeeded\n"
        "Artie_GlobalSetup called\n"
        "Artie_SetupInstance called\n"
        "Artie_FrameSetup called\n"
        "Artie_RenderDispatch called\n"
        "Artie_FrameSetdown called\n"
        "Artie_FrameSetup called\n"
        "Artie_RenderDispatch called\n"
        "Artie_FrameSetdown called\n"
        "Artie_SetdownInstance called\n"
        "Artie_GlobalSetdown called\n"
        "Artie_DeathHook called\n";
    EXPECT_EQ(readFile(log.path), expected);
}

TEST(PluginRender, FolderWithoutTheRendererIsRefusedByName) {
    fs::path empty = fs::temp_directory_path() / ("zephrin_no_plugins_" + std::to_string(::getpid()));
    fs::create_directories(empty);
    try {
        openPluginHost(empty);
        FAIL() << "a folder without the renderer opened";
    } catch (const HostError& error) {
        EXPECT_EQ(std::string(error.what()), "no renderer plug-in in " + empty.string() + ": expected ZephrinRenderer.so");
    }
    fs::remove_all(empty);
    EXPECT_THROW(openPluginHost(empty), HostError);  // gone altogether
}

TEST(PluginRender, OneHostAtATimeAndBadRequestsAreRefused) {
    PluginHostPtr host = openPluginHost(kPluginDir);
    EXPECT_THROW(openPluginHost(kPluginDir), HostError);
    Composition comp = tinyComposition();
    FrameRequest request;
    request.bitsPerChannel = 12;
    EXPECT_THROW(renderCompositionFrame(*host, comp, request), HostError);
    request.bitsPerChannel = 8;
    request.downsampleX = 0;
    EXPECT_THROW(renderCompositionFrame(*host, comp, request), HostError);
    comp.width = 0;
    EXPECT_THROW(renderCompositionFrame(*host, comp, FrameRequest{}), HostError);
    closePluginHost(std::move(host));
    PluginHostPtr again = openPluginHost(kPluginDir);  // closing freed the slot
    EXPECT_NE(again, nullptr);
}

}  // namespace
}  // namespace zephrin::host
