// The plug-in folder as a careless install leaves it: a renderer cut short by an interrupted copy, a
// library of the right name that is not the renderer, libraries that are not plug-ins at all. The host
// opens only its two plug-in files, never hands dlopen a file it could not map whole, and names what is
// wrong with a renderer that is there rather than calling it missing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/host_session.h"
#include "host/plugin_file.h"
#include "host/plugin_loader.h"
#include "image_test_files.h"

namespace zephrin::host {
namespace {

namespace fs = std::filesystem;
using testing::ScratchDir;

const fs::path kPluginDir = ZEPHRIN_PLUGIN_DIR;

// The first `length` bytes of a built plug-in, saved under `name` in the folder.
fs::path writePrefix(const fs::path& folder, const std::string& name, const fs::path& source, std::size_t length) {
    std::ifstream in(source, std::ios::binary);
    std::string bytes(length, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(length));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    const fs::path file = folder / name;
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
    return file;
}

std::string openFailure(const fs::path& folder, const HostOptions& options = {}) {
    try {
        PluginHostPtr host = openPluginHost(folder, options);
    } catch (const HostError& e) {
        return e.what();
    }
    ADD_FAILURE() << "the host opened " << folder;
    return {};
}

TEST(PluginFile, OnlyACompleteSharedLibraryPasses) {
    const fs::path renderer = kPluginDir / kRendererLibraryName;
    EXPECT_EQ(pluginFileProblem(renderer), "");
    EXPECT_EQ(pluginFileProblem(kPluginDir / kEffectLibraryName), "");

    ScratchDir dir;
    const std::size_t size = static_cast<std::size_t>(fs::file_size(renderer));
    // Every cut, from an empty file to one byte short, is refused: the section headers sit at the end.
    for (std::size_t length : {std::size_t{0}, std::size_t{4}, std::size_t{63}, std::size_t{64}, std::size_t{4096},
                               std::size_t{65536}, size / 2, size - 1}) {
        const fs::path cut = writePrefix(dir.path, "cut.so", renderer, length);
        EXPECT_NE(pluginFileProblem(cut), "") << "a prefix of " << length << " bytes";
    }
    const std::string cut = pluginFileProblem(writePrefix(dir.path, "cut.so", renderer, 65536));
    EXPECT_EQ(cut.rfind("truncated: 65536 bytes, but its loadable segments end at ", 0), 0u) << cut;
    EXPECT_EQ(pluginFileProblem(dir.write("text.so", "#!/bin/sh\necho not a library\n")), "not an ELF file");
    EXPECT_EQ(pluginFileProblem(dir.path), "a folder, not a library");
    EXPECT_EQ(pluginFileProblem("/dev/zero"), "not a regular file");
}

TEST(PluginLoader, OpensOnlyTheHostsOwnPluginFiles) {
    // The build folder also holds the platform library the effect links; it is not a plug-in to report.
    PluginHostPtr host = openPluginHost(kPluginDir);
    const std::vector<std::string> lines = describePlugins(*host);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("Zephrin.so: effect plug-in", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1].rfind("ZephrinRenderer.so: general plug-in", 0), 0u) << lines[1];
}

TEST(PluginLoader, TruncatedRendererIsUnusableNotMissingAndNeverLoaded) {
    ScratchDir dir;
    // The reproducer: a renderer cut to 64 KiB crashed the host inside dlopen.
    writePrefix(dir.path, kRendererLibraryName, kPluginDir / kRendererLibraryName, 65536);
    fs::copy_file(kPluginDir / kEffectLibraryName, dir.path / kEffectLibraryName);
    const std::string lead = std::string(kRendererLibraryName) + " in " + dir.path.string() +
                             " is not a usable plug-in: truncated: 65536 bytes";
    EXPECT_EQ(openFailure(dir.path).rfind(lead, 0), 0u) << openFailure(dir.path);

    // The effect alone still serves what needs only the effect; a frame names why it cannot render.
    HostOptions effectOnly;
    effectOnly.requireRenderer = false;
    PluginHostPtr host = openPluginHost(dir.path, effectOnly);
    ASSERT_NE(loadedEffect(*host), nullptr);
    const std::vector<std::string> lines = describePlugins(*host);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].rfind("ZephrinRenderer.so: not a usable plug-in: truncated: 65536 bytes", 0), 0u) << lines[1];
    Composition comp;
    comp.width = 8;
    comp.height = 8;
    try {
        renderCompositionFrame(*host, comp, FrameRequest{});
        FAIL() << "a frame rendered without a renderer";
    } catch (const HostError& e) {
        EXPECT_EQ(std::string(e.what()).rfind(lead, 0), 0u) << e.what();
    }
}

TEST(PluginLoader, RendererFileThatIsNotTheRendererIsNamedAsSuch) {
    ScratchDir dir;
    // A sound shared library under the renderer's name, but an effect.
    fs::copy_file(ZEPHRIN_LEGACY_EFFECT, dir.path / kRendererLibraryName);
    EXPECT_EQ(openFailure(dir.path), std::string(kRendererLibraryName) + " in " + dir.path.string() +
                                         " is not a usable plug-in: it is an effect, not a general plug-in");
    dir.write(kRendererLibraryName, "not a library");
    EXPECT_EQ(openFailure(dir.path),
              std::string(kRendererLibraryName) + " in " + dir.path.string() + " is not a usable plug-in: not an ELF file");

    // Only a folder without the file reports it missing; other libraries there are not looked at.
    fs::remove(dir.path / kRendererLibraryName);
    fs::copy_file(kPluginDir / kRendererLibraryName, dir.path / "libZephrinRenderer.so");
    EXPECT_EQ(openFailure(dir.path), "no renderer plug-in in " + dir.path.string() + ": expected ZephrinRenderer.so");
}

}  // namespace
}  // namespace zephrin::host
