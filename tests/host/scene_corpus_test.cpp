// Replays the scene-file fuzzer's corpus through the loader the command line uses, so the hostile
// inputs the fuzzer keeps are checked on every build, with or without a fuzzing compiler. Each file is
// loaded from a scratch folder beside a copy of the examples' assets, as the fuzzer loads it.
#include <gtest/gtest.h>

#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <typeinfo>

#include "host/scene_file.h"
#include "image_test_files.h"

namespace zephrin::host {
namespace {

namespace fs = std::filesystem;
using testing::ScratchDir;

std::string readBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The loader either gives a consistent composition or refuses with a message naming the file;
// anything else escaping it (another exception, a crash under the sanitizers) fails the test.
void expectCleanLoad(const fs::path& scene, const std::string& what, bool mustLoad) {
    try {
        const Composition comp = loadSceneFile(scene);
        for (std::size_t i = 0; i < comp.layers.size(); ++i) {
            EXPECT_EQ(comp.layers[i].index, static_cast<int32_t>(i + 1)) << what;
            EXPECT_GE(comp.layers[i].parentId, 0) << what;
            EXPECT_LE(comp.layers[i].parentId, static_cast<int32_t>(comp.layers.size())) << what;
            EXPECT_NE(comp.layers[i].parentId, comp.layers[i].id) << what;
        }
    } catch (const SceneFileError& e) {
        EXPECT_FALSE(mustLoad) << what << ": " << e.what();
        EXPECT_EQ(std::string(e.what()).rfind(scene.string() + ": ", 0), 0u) << what << ": " << e.what();
    } catch (const std::exception& e) {
        ADD_FAILURE() << what << ": escaped as " << typeid(e).name() << ": " << e.what();
    }
}

TEST(SceneCorpus, EveryCorpusFileLoadsOrIsRefusedCleanly) {
    const fs::path corpus = fs::path(ZEPHRIN_SOURCE_DIR) / "fuzz" / "corpus" / "scene";
    const fs::path examples = fs::path(ZEPHRIN_SOURCE_DIR) / "examples";
    ASSERT_TRUE(fs::is_directory(corpus));
    ScratchDir dir;
    fs::copy(examples / "assets", dir.path / "assets", fs::copy_options::recursive);
    int files = 0;
    for (const auto& entry : fs::directory_iterator(corpus)) {
        if (!entry.is_regular_file()) continue;
        const std::string name = entry.path().filename().string();
        const fs::path scene = dir.write("scene.json", readBytes(entry.path()));
        // The seeds are copies of the examples, which must keep loading.
        expectCleanLoad(scene, name, fs::exists(examples / name));
        ++files;
    }
    EXPECT_GE(files, 12);
}

}  // namespace
}  // namespace zephrin::host
