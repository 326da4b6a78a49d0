// End-to-end: `zephrin info` shows each keyframe with what was set on it beyond the host's defaults,
// for layer properties and effect parameters alike, so a scene's motion can be read without a render.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "apps/zephrin_process.h"

namespace zephrin::test {
namespace {

namespace fs = std::filesystem;

TEST(InfoKeyframes, ShowsInterpolationEasesAndTangentsBesideEachKey) {
    const fs::path dir = freshTestFolder("InfoKeyframes");
    const fs::path file = dir / "keys.json";
    writeTextFile(file, R"({"format": "zephrin-scene", "version": 1,
      "composition": {"width": 200, "height": 100, "frameRate": 10, "duration": 2},
      "footage": {"paper": {"solid": {"width": 60, "height": 40}}},
      "layers": [{"name": "Paper", "type": "av", "source": "paper", "threeD": true,
        "transform": {"position": {"keyframes": [[0, [0, 0, 0]],
                        {"time": 1, "value": [50, 20, 0], "easeIn": {"speed": 12, "influence": 50},
                         "interpolation": {"out": "hold"}, "spatial": "linear"},
                        {"time": 2, "value": [100, 0, 0], "inTangent": [-10, 5, 0]}]},
                      "rotationZ": {"keyframes": [[0, 0], [2, 90]]}},
        "effects": [{"matchName": "com.tavik.ZephrinSurface", "params": {
          "Twist Amount": {"keyframes": [{"time": 0, "value": 10, "interpolation": "hold"}, [1, 30]]},
          "Point 1": {"keyframes": [{"time": 0, "value": [0, 50, 0], "outTangent": [20, 0, 0]}, [1, [40, 60, 0]]]}}}]}]})");
    const ProcessResult result = runZephrin({"info", file.string(), "--plugins", pluginFolder().string()});
    fs::remove_all(dir);
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_NE(result.output.find("     position = keyframes 0s: [0, 0, 0] 1s: [50, 20, 0] (in bezier speed 12 "
                                 "influence 50%, out hold, linear path) 2s: [100, 0, 0] (tangents in [-10, 5, 0] "
                                 "out [0, 0, 0])\n"),
              std::string::npos)
        << result.output;
    EXPECT_NE(result.output.find("     rotationZ = keyframes 0s: 0 2s: 90\n"), std::string::npos) << "defaults: bare";
    EXPECT_NE(result.output.find("    5 \"Twist Amount\" = keyframes 0s: 10 (in hold, out hold) 1s: 30\n"),
              std::string::npos)
        << result.output;
    EXPECT_NE(result.output.find("\"Point 1\" = keyframes 0s: [0, 50, 0] (tangents in [0, 0, 0] out [20, 0, 0]) "
                                 "1s: [40, 60, 0]\n"),
              std::string::npos)
        << result.output;
}

}  // namespace
}  // namespace zephrin::test
