// Saving a scene after edits: what the effect's streams hold comes back when the saved file is opened
// again, keyframes included, footage still found from another folder, and a failed save leaves nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#include <fstream>
#include <string>

#include "common/effect_contract.h"
#include "host/host_session.h"
#include "host/scene_file.h"
#include "host/scene_writer.h"
#include "host/suites/host_state.h"
#include "host/win32/win32_control.h"

namespace zephrin::host {
namespace {

namespace fs = std::filesystem;
using namespace zephrin::param;

const fs::path kBanner = fs::path(ZEPHRIN_SOURCE_DIR) / "examples" / "bent_banner.json";
constexpr size_t kBannerLayer = 2;

class SceneWriter : public ::testing::Test {
protected:
    void SetUp() override {
        win32::resetPlatform();
        dir = fs::temp_directory_path() / ("zephrin_scene_writer_" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        comp = loadSceneFile(kBanner);
        host = openPluginHost(ZEPHRIN_PLUGIN_DIR);
        prepareSceneEffects(*host, comp);
        instance = effectInstances(*host, comp, kBannerLayer).front();
    }
    void TearDown() override {
        host.reset();
        fs::remove_all(dir);
    }
    fs::path dir;
    Composition comp;
    PluginHostPtr host;
    EffectInstance* instance = nullptr;
};

TEST_F(SceneWriter, EditsAndKeyframesComeBackWhenTheSavedSceneIsOpened) {
    AEGP_StreamVal thickness{};
    thickness.one_d = 90;
    ASSERT_EQ(changeEffectParam(*host, *instance, kThickness, thickness), PF_Err_NONE);
    {
        // An animated parameter, as a scene or a keyframing user leaves it: keys at 0 s and 0.5 s.
        HostState& state = hostStateOf(*host);
        std::lock_guard<std::mutex> lock(state.mutex);
        EffectStream& twist = instance->streams[kTwistAmount];
        AEGP_StreamVal a{}, b{};
        a.one_d = 0;
        b.one_d = 45;
        twist.keyframes = {{0.0, a}, {0.5, b}};
    }
    AEGP_StreamVal point{};
    point.three_d = AEGP_ThreeDVal{-100, 30, 0};
    ASSERT_EQ(changeEffectParam(*host, *instance, kFirstPoint + 1, point), PF_Err_NONE);

    const fs::path saved = dir / "edited.json";
    saveScene(*host, comp, saved);
    Composition reopened = loadSceneFile(saved);  // footage paths must resolve from the new folder
    prepareSceneEffects(*host, reopened);
    EffectInstance& copy = *effectInstances(*host, reopened, kBannerLayer).front();
    EXPECT_EQ(effectStreamValue(*host, copy, kThickness).one_d, 90);
    EXPECT_EQ(effectStreamValue(*host, copy, kFirstPoint + 1).three_d.x, -100);
    EXPECT_EQ(effectStreamValue(*host, copy, kFirstPoint + 1).three_d.y, 30);
    EXPECT_DOUBLE_EQ(effectStreamValue(*host, copy, kTwistAmount, 0.25).one_d, 22.5);
    EXPECT_DOUBLE_EQ(effectStreamValue(*host, copy, kTwistAmount, 0.5).one_d, 45);
    // What the file named by label keeps its label; untouched defaults stay out of the file.
    const std::string text = savedSceneText(*host, comp, saved);
    EXPECT_NE(text.find("\"Point 2\""), std::string::npos);
    EXPECT_EQ(text.find("\"Curve Amount\""), std::string::npos);
    forgetSceneEffects(*host, reopened);
}

TEST_F(SceneWriter, AFailedSaveLeavesNoFileBehind) {
    const fs::path missing = dir / "no-such-folder" / "edited.json";
    EXPECT_THROW(saveScene(*host, comp, missing), HostError);
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_TRUE(fs::is_empty(dir));
}

}  // namespace
}  // namespace zephrin::host
