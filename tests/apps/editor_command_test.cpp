// End to end: `zephrin editor` draws a layer's effect controls through the real effect and the Cairo
// surface, and replays a gesture file on them into an edited scene that renders the new bend.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "apps/image_compare.h"
#include "apps/zephrin_process.h"

namespace zephrin::test {
namespace {

namespace fs = std::filesystem;

// Antialiased text may land a shade apart between font builds; a few pixels more than that is a change.
constexpr float kPanelTolerance = 0.12f;
constexpr size_t kPanelOutliers = 200;

class EditorCommand : public ::testing::Test {
protected:
    void SetUp() override { dir = freshTestFolder(::testing::UnitTest::GetInstance()->current_test_info()->name()); }
    void TearDown() override { fs::remove_all(dir); }
    fs::path example(const std::string& name) const { return sourceFolder() / "examples" / name; }
    fs::path reference(const std::string& name) const { return sourceFolder() / "tests" / "data" / "reference" / name; }
    void expectLooksLike(const fs::path& image, const std::string& referenceName) const {
        const RgbaImage actual = readImage(image);
        ASSERT_GT(actual.width, 0) << image;
        EXPECT_EQ(compareImages(actual, readImage(reference(referenceName)), kPanelTolerance, kPanelOutliers), "")
            << image << " vs " << referenceName << " (scripts/update-reference-images.sh regenerates it)";
    }
    fs::path dir;
};

TEST_F(EditorCommand, DrawsTheControlsInBothLanguages) {
    const fs::path en = dir / "en.png", zh = dir / "zh.png";
    ProcessResult english = runZephrin({"editor", example("bent_banner.json").string(), "--layer", "Banner", "-o", en.string()});
    ASSERT_EQ(english.exitCode, 0) << english.output;
    ProcessResult chinese = runZephrin(
        {"editor", example("bent_banner.json").string(), "--layer", "Banner", "--lang", "zh", "-o", zh.string()});
    ASSERT_EQ(chinese.exitCode, 0) << chinese.output;
    expectLooksLike(en, "editor_banner_en.png");
    expectLooksLike(zh, "editor_banner_zh.png");
}

TEST_F(EditorCommand, GesturesBendTheLayerAndTheEditedSceneRendersIt) {
    const fs::path edited = dir / "edited.json", panel = dir / "panel.png";
    ProcessResult result = runZephrin({"editor", example("bent_banner.json").string(), "--layer", "Banner", "--actions",
                                       example("gestures/bend.json").string(), "-o", edited.string(), "--panel",
                                       panel.string()});
    ASSERT_EQ(result.exitCode, 0) << result.output;
    const nlohmann::json scene = nlohmann::json::parse(readTextFile(edited));
    const nlohmann::json& params = scene["layers"][2]["effects"][0]["params"];
    // The example drags point 2, adds a fifth point, closes the curve and applies the Circle preset.
    EXPECT_EQ(params["Shape"], 4.0);
    EXPECT_EQ(params["Close Endpoints"], true);
    EXPECT_EQ(params["Point Count"], 11.0);  // twelve points, as a choice of "2|3|…|12"
    EXPECT_EQ(params["Point 12"], params["Point 1"]);
    EXPECT_EQ(params["Thickness"], 250.0);  // untouched values stay
    expectLooksLike(panel, "editor_banner_gestures.png");

    const fs::path before = dir / "before.png", after = dir / "after.png";
    ASSERT_EQ(runZephrin({"render", example("bent_banner.json").string(), "-o", before.string(), "--downsample", "4", "-q"})
                  .exitCode,
              0);
    ProcessResult render = runZephrin({"render", edited.string(), "-o", after.string(), "--downsample", "4", "-q"});
    ASSERT_EQ(render.exitCode, 0) << render.output;
    EXPECT_NE(compareImages(readImage(after), readImage(before), 0.05f, 0), "");
}

TEST_F(EditorCommand, RefusesABadGestureFileBeforeTouchingAnything) {
    const fs::path gestures = dir / "bad.json", edited = dir / "edited.json";
    writeTextFile(gestures, R"({"format": "zephrin-gestures", "version": 1,
        "gestures": [{"do": "click", "control": "Top View", "at": [10, 10]},
                     {"do": "drag", "control": "Top View", "path": [[1, 2], [3]]}]})");
    ProcessResult result = runZephrin({"editor", example("bent_banner.json").string(), "--layer", "Banner", "--actions",
                                       gestures.string(), "-o", edited.string()});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.output.find("bad.json: gestures[1].path[1]: expected [x, y]"), std::string::npos) << result.output;
    EXPECT_FALSE(fs::exists(edited));

    writeTextFile(gestures, R"({"format": "zephrin-gestures", "version": 1,
        "gestures": [{"do": "click", "control": "Speed Knob", "at": [10, 10]}]})");
    result = runZephrin({"editor", example("bent_banner.json").string(), "--layer", "Banner", "--actions",
                         gestures.string(), "-o", edited.string()});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.output.find("gestures[0].control: no control \"Speed Knob\" is shown"), std::string::npos)
        << result.output;
    EXPECT_FALSE(fs::exists(edited));

    result = runZephrin({"editor", example("bent_banner.json").string(), "--layer", "Nobody", "-o", (dir / "p.png").string()});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.output.find("no layer named \"Nobody\""), std::string::npos) << result.output;
}

}  // namespace
}  // namespace zephrin::test
