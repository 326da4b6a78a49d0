// End-to-end: `zephrin params` lists the effect's parameters as the host registered them, `zephrin info`
// shows the effect values a scene file sets, and a bad effect parameter stops both before anything else.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "apps/zephrin_process.h"

namespace zephrin::test {
namespace {

namespace fs = std::filesystem;

std::string bentScene(const std::string& params) {
    return R"({"format": "zephrin-scene", "version": 1,
      "composition": {"name": "Bent", "width": 200, "height": 100, "frameRate": 10, "duration": 1},
      "footage": {"paper": {"solid": {"color": [1, 1, 1], "width": 60, "height": 40}}},
      "layers": [{"name": "Paper", "type": "av", "source": "paper", "threeD": true,
                  "transform": {"position": [100, 50, 0]},
                  "effects": [{"matchName": "com.tavik.ZephrinSurface", "params": )" +
           params + "}]}]}";
}

class ParamsCommand : public ::testing::Test {
protected:
    void SetUp() override { dir = freshTestFolder(::testing::UnitTest::GetInstance()->current_test_info()->name()); }
    void TearDown() override { fs::remove_all(dir); }
    fs::path scene(const std::string& params) {
        fs::path file = dir / "bent.json";
        writeTextFile(file, bentScene(params));
        return file;
    }
    fs::path dir;
};

TEST_F(ParamsCommand, ListsEveryRegisteredParameterWithItsGroupAndRange) {
    ProcessResult result = runZephrin({"params", "--plugins", pluginFolder().string()});
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_NE(result.output.find("Zephrin (com.tavik.ZephrinSurface): 121 parameters"), std::string::npos);
    EXPECT_NE(result.output.find("2\t\"Mode\"  [popup, id 45]  choices: Free Mode | Path Select | Scroll Mode  "
                                 "default 1 (Free Mode)  ui control|dont-erase-control  flags supervise\n"),
              std::string::npos)
        << result.output;
    EXPECT_NE(result.output.find("77\t  \"Thickness\"  [float slider, id 35]  range 0 to 500  default 1  "
                                 "flags supervise\n"),
              std::string::npos);
    EXPECT_NE(result.output.find("59\t    \"Curl Angle\"  [angle, id 109]"), std::string::npos) << "nested twice";
}

TEST_F(ParamsCommand, JsonListsAllPositionsAndChineseRelabels) {
    ProcessResult result = runZephrin({"params", "--json", "--plugins", pluginFolder().string()});
    ASSERT_EQ(result.exitCode, 0) << result.output;
    nlohmann::json doc = nlohmann::json::parse(result.output.substr(result.output.find('{')));
    const nlohmann::json& params = doc["parameters"];
    ASSERT_EQ(params.size(), 121u);
    for (size_t i = 0; i < params.size(); ++i) EXPECT_EQ(params[i]["position"], i + 1);
    EXPECT_EQ(params[58]["label"], "Curl Angle");
    EXPECT_EQ(params[58]["group"], "Scroll Mode/Left Curl");
    EXPECT_EQ(params[118]["flagNames"],
              nlohmann::json::array({"cannot-time-vary", "supervise", "use-value-for-old-projects"}));
    EXPECT_EQ(params[84]["default"], nlohmann::json::array({1.0, 1.0, 1.0}));

    ProcessResult chinese = runZephrin({"params", "--lang", "zh", "--plugins", pluginFolder().string()});
    ASSERT_EQ(chinese.exitCode, 0);
    EXPECT_NE(chinese.output.find("4\t  \"起伏强度\"  [float slider, id 4]"), std::string::npos) << chinese.output;
    EXPECT_EQ(runZephrin({"params", "--lang", "fr"}).exitCode, 2);
}

TEST_F(ParamsCommand, InfoShowsTheValuesAFileChanges) {
    fs::path file = scene(R"({"Thickness": 40, "Mode": "Path Select", "Twist Amount": {"keyframes": [[0, 10], [1, 30]]}})");
    ProcessResult result = runZephrin({"info", file.string(), "--plugins", pluginFolder().string()});
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_NE(result.output.find("  Paper: Zephrin (com.tavik.ZephrinSurface)\n"), std::string::npos);
    // Popups read as the scene file writes them: by the choice's label.
    EXPECT_NE(result.output.find("    2 \"Mode\" = \"Path Select\"\n"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("    5 \"Twist Amount\" = keyframes 0s: 10 1s: 30\n"), std::string::npos);
    EXPECT_NE(result.output.find("    77 \"Thickness\" = 40\n"), std::string::npos);
    EXPECT_EQ(result.output.find("\"Curve Amount\" ="), std::string::npos) << "defaults are not listed";
}

TEST_F(ParamsCommand, BadEffectParameterStopsRenderAndInfoWithUsageExit) {
    fs::path file = scene(R"({"Thickness": 900})");
    const std::string message =
        "bent.json: layers[0].effects[0].params.Thickness: 900 is outside the valid range 0 to 500 of \"Thickness\"";
    fs::path out = dir / "never.png";
    ProcessResult render = runZephrin({"render", file.string(), "-o", out.string(), "--plugins", pluginFolder().string()});
    EXPECT_EQ(render.exitCode, 2);
    EXPECT_NE(render.output.find(message), std::string::npos) << render.output;
    EXPECT_FALSE(fs::exists(out));
    ProcessResult info = runZephrin({"info", file.string(), "--plugins", pluginFolder().string()});
    EXPECT_EQ(info.exitCode, 2);
    EXPECT_NE(info.output.find(message), std::string::npos) << info.output;
}

}  // namespace
}  // namespace zephrin::test
