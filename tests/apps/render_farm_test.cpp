// End-to-end: the render options a farm relies on. Frame lists in the composition's own numbering,
// requeued chunks that redo nothing, progress a farm manager or a pipeline tool can read, and frame
// files that are the same bytes whenever and wherever they are rendered.
#include <OpenImageIO/imageio.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "apps/image_compare.h"
#include "apps/zephrin_process.h"

namespace zephrin::test {
namespace {

namespace fs = std::filesystem;

// Ten frames of a small card that fades in, so neighbouring frames differ.
std::string farmScene(const std::string& compositionExtras = "") {
    return R"({"format": "zephrin-scene", "version": 1,
      "composition": {"name": "Farm", "width": 64, "height": 48, "frameRate": 10, "duration": 1,
                      "background": [0, 0, 0.5, 1])" +
           compositionExtras + R"(},
      "footage": {"card": {"solid": {"color": [1, 0.5, 0], "width": 30, "height": 20}}},
      "layers": [{"name": "Card", "type": "av", "source": "card", "threeD": true,
                  "transform": {"position": [32, 24, 0], "opacity": {"keyframes": [[0, 10], [1, 100]]}}}]})";
}

class RenderFarm : public ::testing::Test {
protected:
    void SetUp() override {
        dir = freshTestFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        scene = dir / "farm.json";
        writeTextFile(scene, farmScene());
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
    fs::path scene;
};

std::vector<std::string> outputLines(const std::string& output) {
    std::vector<std::string> lines;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> filesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(RenderFarm, StartFrameNumbersTheFramesAndTheirFiles) {
    fs::path shot = dir / "shot.json";
    writeTextFile(shot, farmScene(R"(, "startFrame": 1001)"));
    ProcessResult run = runZephrin(
        {"render", shot.string(), "--frames", "1001-1009x4,1005", "-o", (dir / "out" / "shot.%04d.png").string()});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(filesIn(dir / "out"), (std::vector<std::string>{"shot.1001.png", "shot.1005.png", "shot.1009.png"}));

    // Frame 1001 is the composition's first moment: the same picture as frame 0 of the unnumbered scene.
    ProcessResult plain = runZephrin({"render", scene.string(), "--frame", "0", "-o", (dir / "zero.png").string()});
    ASSERT_EQ(plain.exitCode, 0) << plain.output;
    EXPECT_EQ(compareImages(readImage(dir / "out" / "shot.1001.png"), readImage(dir / "zero.png"), 0.0f, 0), "");

    ProcessResult before = runZephrin({"render", shot.string(), "--frame", "1000", "-o", (dir / "x.png").string()});
    EXPECT_EQ(before.exitCode, 2);
    EXPECT_NE(before.output.find("shot.json: frame 1000 is outside the composition (frames 1001-1010)"),
              std::string::npos)
        << before.output;
    // Without a frame, the render starts where the composition does.
    ProcessResult first = runZephrin({"render", shot.string(), "-o", (dir / "first.####.png").string()});
    ASSERT_EQ(first.exitCode, 0) << first.output;
    EXPECT_TRUE(fs::exists(dir / "first.1001.png")) << first.output;
    EXPECT_FALSE(fs::exists(dir / "x.png"));
}

// A farm requeues a chunk after a crash or a pre-emption: what is there stays exactly as it is.
TEST_F(RenderFarm, SkipExistingRendersOnlyTheMissingFrames) {
    const std::string pattern = (dir / "f.####.png").string();
    ProcessResult run = runZephrin({"render", scene.string(), "--frames", "0-3", "-o", pattern});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    fs::remove(dir / "f.0002.png");
    writeTextFile(dir / "f.0003.png", "");  // an empty file is no frame
    struct stat kept[2];
    ASSERT_EQ(::stat((dir / "f.0000.png").c_str(), &kept[0]), 0);
    ASSERT_EQ(::stat((dir / "f.0001.png").c_str(), &kept[1]), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));

    ProcessResult again = runZephrin({"render", scene.string(), "--frames", "0-3", "-o", pattern, "--skip-existing"});
    ASSERT_EQ(again.exitCode, 0) << again.output;
    EXPECT_NE(again.output.find("skipped " + (dir / "f.0000.png").string()), std::string::npos) << again.output;
    EXPECT_NE(again.output.find("wrote " + (dir / "f.0002.png").string()), std::string::npos) << again.output;
    EXPECT_GT(fs::file_size(dir / "f.0003.png"), 0u);
    for (int i = 0; i < 2; ++i) {
        struct stat now;
        ASSERT_EQ(::stat((dir / ("f.000" + std::to_string(i) + ".png")).c_str(), &now), 0);
        EXPECT_EQ(now.st_ino, kept[i].st_ino) << "frame " << i << " was replaced";
        EXPECT_EQ(now.st_mtim.tv_nsec, kept[i].st_mtim.tv_nsec) << "frame " << i << " was rewritten";
    }
}

TEST_F(RenderFarm, PlainProgressIsLinesAFarmManagerCanMatch) {
    ProcessResult run = runZephrin(
        {"render", scene.string(), "--frames", "0-3", "-o", (dir / "p.####.png").string(), "--progress", "plain"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const std::regex progress("Progress: (\\d+)%");
    std::vector<int> percents;
    for (const std::string& line : outputLines(run.output)) {
        std::smatch match;
        if (std::regex_match(line, match, progress)) {
            percents.push_back(std::stoi(match[1]));
        } else {
            EXPECT_EQ(line.rfind("wrote ", 0), 0u) << "unexpected line: " << line;
        }
    }
    EXPECT_EQ(percents, (std::vector<int>{0, 25, 50, 75, 100}));

    // Quiet silences the automatic choice, not a mode a tool asked for.
    ProcessResult quiet = runZephrin({"render", scene.string(), "-o", (dir / "q.png").string(), "-q"});
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_EQ(quiet.output, "");
    ProcessResult asked =
        runZephrin({"render", scene.string(), "-o", (dir / "q.png").string(), "-q", "--progress", "plain"});
    EXPECT_NE(asked.output.find("Progress: 100%"), std::string::npos) << asked.output;
}

TEST_F(RenderFarm, JsonProgressIsOneEventPerLine) {
    fs::path first = dir / "j.0000.png";
    ProcessResult seed = runZephrin({"render", scene.string(), "--frame", "0", "-o", first.string()});
    ASSERT_EQ(seed.exitCode, 0) << seed.output;
    ProcessResult run = runZephrin({"render", scene.string(), "--frames", "0-1", "-o", (dir / "j.####.png").string(),
                                    "--progress", "json", "--skip-existing"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    std::vector<nlohmann::json> events;
    for (const std::string& line : outputLines(run.output)) {
        ASSERT_TRUE(nlohmann::json::accept(line)) << "not JSON: " << line;
        events.push_back(nlohmann::json::parse(line));
    }
    ASSERT_EQ(events.size(), 5u) << run.output;
    EXPECT_EQ(events[0]["event"], "renderStarted");
    EXPECT_EQ(events[0]["frames"], 2);
    EXPECT_EQ(events[1]["event"], "frameSkipped");
    EXPECT_EQ(events[1]["path"], first.string());
    EXPECT_EQ(events[2]["event"], "frameStarted");
    EXPECT_EQ(events[2]["frame"], 1);
    EXPECT_EQ(events[3]["event"], "frameWritten");
    EXPECT_EQ(events[3]["path"], (dir / "j.0001.png").string());
    EXPECT_GE(events[3]["milliseconds"].get<double>(), 0.0);
    EXPECT_EQ(events[4]["event"], "renderFinished");
    EXPECT_EQ(events[4]["written"], 1);
    EXPECT_EQ(events[4]["skipped"], 1);

    ProcessResult failed = runZephrin({"render", (dir / "missing.json").string(), "--progress", "json"});
    EXPECT_EQ(failed.exitCode, 2);
    bool sawError = false;
    for (const std::string& line : outputLines(failed.output)) {
        if (line.empty() || line[0] != '{') continue;  // stderr's copy of the message
        nlohmann::json event = nlohmann::json::parse(line);
        sawError = sawError || (event["event"] == "error" &&
                                 event["message"].get<std::string>().find("missing.json") != std::string::npos);
    }
    EXPECT_TRUE(sawError) << failed.output;
}

TEST_F(RenderFarm, TheSameFrameRenderedTwiceIsTheSameBytes) {
    const char* names[] = {"r.png", "r.exr", "r.tif"};
    std::string first[3];
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < 3; ++i) {
            fs::path out = dir / names[i];
            ProcessResult run = runZephrin({"render", scene.string(), "--frame", "5", "-o", out.string()});
            ASSERT_EQ(run.exitCode, 0) << run.output;
            std::string bytes = readTextFile(out);
            if (pass == 0) {
                first[i] = bytes;
            } else {
                EXPECT_TRUE(bytes == first[i]) << names[i] << " differs between two renders";
            }
        }
        // Headers that carried the time would now differ: their stamps count whole seconds.
        if (pass == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    }
}

TEST_F(RenderFarm, HeadersNameTheSceneTheFrameAndTheVersion) {
    for (const char* name : {"h.png", "h.exr", "h.tif"}) {
        fs::path out = dir / name;
        ProcessResult run = runZephrin({"render", scene.string(), "--frame", "7", "-o", out.string()});
        ASSERT_EQ(run.exitCode, 0) << run.output;
        auto input = OIIO::ImageInput::open(out.string());
        ASSERT_TRUE(input) << name;
        const OIIO::ImageSpec& spec = input->spec();
        EXPECT_EQ(spec.get_string_attribute("ImageDescription"), "Farm frame 7") << name;
        EXPECT_EQ(spec.get_string_attribute("Software"), std::string("Zephrin ") + ZEPHRIN_VERSION) << name;
        EXPECT_EQ(spec.get_string_attribute("DateTime"), "") << name;
        if (std::string(name) == "h.exr") {
            // The floats are the composition's sRGB-encoded values; the header must not claim linear light.
            EXPECT_EQ(spec.get_string_attribute("colorInteropID"), "srgb_rec709_scene");
            const OIIO::ParamValue* chromaticities = spec.find_attribute("chromaticities");
            ASSERT_NE(chromaticities, nullptr);
            const float* xy = static_cast<const float*>(chromaticities->data());
            const float rec709[8] = {0.64f, 0.33f, 0.30f, 0.60f, 0.15f, 0.06f, 0.3127f, 0.3290f};
            for (int i = 0; i < 8; ++i) EXPECT_FLOAT_EQ(xy[i], rec709[i]) << "chromaticity " << i;
            EXPECT_EQ(spec.get_int_attribute("zephrin:frame", -1), 7);
        }
        input->close();
    }
}

}  // namespace
}  // namespace zephrin::test
