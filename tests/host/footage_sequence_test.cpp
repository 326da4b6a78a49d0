#include "host/footage_sequence.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "host/footage.h"
#include "host/host_session.h"
#include "host/scene_file.h"
#include "image_test_files.h"

namespace zephrin::host {
namespace {

namespace fs = std::filesystem;
using testing::ScratchDir;
using testing::writeImage;

const fs::path kPluginDir = ZEPHRIN_PLUGIN_DIR;

// An 8-bit frame round-trips a pure primary to within a code value; the renderer adds no light here.
constexpr double kColourTolerance = 0.02;

void writeSolidPng(const fs::path& file, std::array<float, 3> rgb, int width = 8, int height = 6) {
    fs::create_directories(file.parent_path());
    std::vector<float> samples;
    for (int i = 0; i < width * height; ++i) samples.insert(samples.end(), {rgb[0], rgb[1], rgb[2], 1.0f});
    writeImage(file, width, height, 4, OIIO::TypeDesc::UINT8, samples, true);
}

std::vector<int64_t> numbersOf(const std::vector<SequenceFrame>& frames) {
    std::vector<int64_t> numbers;
    for (const SequenceFrame& f : frames) numbers.push_back(f.number);
    return numbers;
}

TEST(FootageSequence, PatternMatchesItsPaddingAndNothingElse) {
    ScratchDir dir;
    for (const char* name : {"shot.0002.png", "shot.0001.png", "shot.0010.png", "shot.12345.png", "shot.001.png",
                             "shot.00003.png", "shot.0004.png.bak", "take.0005.png", "shot.00a6.png", "shot.-007.png"})
        dir.write(name, "x");
    fs::create_directories(dir.path / "shot.0008.png");  // a folder is not a frame
    EXPECT_EQ(numbersOf(findSequenceFrames(dir.path / "shot.####.png")), (std::vector<int64_t>{1, 2, 10, 12345}));
    // One '#' is unpadded numbering: every plain number, but not one with leading zeros.
    EXPECT_EQ(numbersOf(findSequenceFrames(dir.path / "shot.#.png")), (std::vector<int64_t>{12345}));

    EXPECT_TRUE(isSequencePattern("plates/shot.####.png"));
    EXPECT_FALSE(isSequencePattern("plates#1/shot.png"));
    EXPECT_THROW(findSequenceFrames(dir.path / "none.####.png"), FootageError);
    EXPECT_THROW(findSequenceFrames(dir.path / "missing" / "shot.####.png"), FootageError);
}

TEST(FootageSequence, FrameFollowsLayerTimeAndHoldsAcrossGapsAndEnds) {
    FootageSequence sequence;
    sequence.frameRate = 30.0;
    for (int64_t n : {101, 102, 103, 105}) sequence.frames.push_back({n, "f" + std::to_string(n)});
    auto at = [&](double seconds) { return sequenceFrameAt(sequence, seconds).number; };
    EXPECT_EQ(at(0.0), 101);
    // 2/30 s computed in doubles lands a hair below the frame start; it is still the third frame.
    EXPECT_EQ(at(2.0 / 30.0), 103);
    EXPECT_EQ(at(1.5 / 30.0), 102);
    EXPECT_EQ(at(3.0 / 30.0), 103);  // 104 is missing: the earlier file holds
    EXPECT_EQ(at(4.0 / 30.0), 105);
    EXPECT_EQ(at(100.0), 105);
    EXPECT_EQ(at(-1.0), 101);  // before the in point
    EXPECT_EQ(at(std::numeric_limits<double>::infinity()), 101);
}

TEST(FootageSequence, SceneRendersEachFrameFromTheLayersInPoint) {
    ScratchDir dir;
    // Files 7, 8, 9: red, green, blue. The layer starts at 0.2 s (frame 2 of a 10 fps composition).
    writeSolidPng(dir.path / "plates" / "shot.0007.png", {1, 0, 0});
    writeSolidPng(dir.path / "plates" / "shot.0008.png", {0, 1, 0});
    writeSolidPng(dir.path / "plates" / "shot.0009.png", {0, 0, 1});
    fs::path scene = dir.write("seq.json", R"({"format": "zephrin-scene", "version": 1,
      "composition": {"width": 16, "height": 12, "frameRate": 10, "duration": 1, "background": [0, 0, 0, 1]},
      "footage": {"shot": {"file": "plates/shot.####.png"}},
      "layers": [{"type": "av", "source": "shot", "threeD": true, "inPoint": 0.2,
                  "transform": {"position": [8, 6, 0]}}]})");
    const Composition comp = loadSceneFile(scene);
    const Footage& source = *comp.layers[0].source;
    ASSERT_NE(source.sequence, nullptr);
    EXPECT_EQ(source.width, 8);
    EXPECT_EQ(source.height, 6);

    PluginHostPtr host = openPluginHost(kPluginDir);
    const std::array<std::array<double, 3>, 5> expected = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 1}, {0, 0, 1}}};
    for (int32_t k = 0; k < 5; ++k) {
        FrameRequest request;
        request.frame = 2 + k;
        FrameResult result = renderCompositionFrame(*host, comp, request);
        ASSERT_EQ(result.error, 0) << "frame " << request.frame;
        std::array<double, 4> centre = readPixel(result.image, 8, 6);
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(centre[static_cast<std::size_t>(c)], expected[static_cast<std::size_t>(k)][static_cast<std::size_t>(c)],
                        kColourTolerance)
                << "frame " << request.frame << " channel " << c;
    }
}

TEST(FootageSequence, SceneRefusesMissingAndMismatchedFrames) {
    ScratchDir dir;
    const std::string head = R"({"format": "zephrin-scene", "version": 1,
      "composition": {"width": 16, "height": 12, "frameRate": 10, "duration": 1},
      "footage": {"shot": {"file": ")";
    fs::path missing = dir.write("missing.json", head + R"(plates/none.####.png"}}})");
    try {
        loadSceneFile(missing);
        FAIL() << "a sequence without files was accepted";
    } catch (const SceneFileError& e) {
        EXPECT_NE(std::string(e.what()).find("footage.shot.file: cannot read image sequence"), std::string::npos)
            << e.what();
    }

    writeSolidPng(dir.path / "plates" / "shot.01.png", {1, 0, 0});
    writeSolidPng(dir.path / "plates" / "shot.02.png", {1, 0, 0}, 9, 6);
    fs::path mismatched = dir.write("mismatched.json", head + R"(plates/shot.##.png"}}})");
    try {
        loadSceneFile(mismatched);
        FAIL() << "a sequence whose frames differ in size was accepted";
    } catch (const SceneFileError& e) {
        EXPECT_NE(std::string(e.what()).find("shot.02.png is 9x6, but the sequence starts at 8x6"), std::string::npos)
            << e.what();
    }
}

TEST(FootageSequence, StillWhoseNameHoldsHashStaysAStill) {
    ScratchDir dir;
    writeSolidPng(dir.path / "take#1.png", {1, 1, 1});
    fs::path scene = dir.write("still.json", R"({"format": "zephrin-scene", "version": 1,
      "composition": {"width": 16, "height": 12, "frameRate": 10, "duration": 1},
      "footage": {"card": {"file": "take#1.png"}}})");
    const Composition comp = loadSceneFile(scene);
    EXPECT_EQ(comp.footage.at("card")->sequence, nullptr);
    EXPECT_EQ(footageAtTime(comp.footage.at("card"), 5.0), comp.footage.at("card"));
}

}  // namespace
}  // namespace zephrin::host
