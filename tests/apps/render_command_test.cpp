// End-to-end: the `zephrin` command loads the real plug-ins into the stand-in host and renders
// scene files to images.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "apps/image_compare.h"
#include "apps/zephrin_process.h"

namespace zephrin::test {
namespace {

namespace fs = std::filesystem;

// A 200x100 composition without a camera, so the default camera shows the z = 0 plane at 1:1.
std::string solidScene(const std::string& layerExtras, const std::string& transform = R"({"position": [100, 50, 0]})",
                       const std::string& background = "[0, 0, 1, 1]") {
    return R"({"format": "zephrin-scene", "version": 1,
      "composition": {"name": "Solid", "width": 200, "height": 100, "frameRate": 10, "duration": 1,
                      "background": )" +
           background + R"(},
      "footage": {"red": {"solid": {"color": [1, 0, 0], "width": 60, "height": 40}}},
      "layers": [{"name": "Red", "type": "av", "source": "red",
                  "transform": )" +
           transform + layerExtras + "}]}";
}

class RenderCommand : public ::testing::Test {
protected:
    void SetUp() override { dir = freshTestFolder(::testing::UnitTest::GetInstance()->current_test_info()->name()); }
    void TearDown() override { fs::remove_all(dir); }
    fs::path scene(const std::string& text, const std::string& name = "scene.json") {
        fs::path file = dir / name;
        writeTextFile(file, text);
        return file;
    }
    fs::path dir;
};

int countPixels(const RgbaImage& image, float r, float g, float b) {
    int count = 0;
    for (int32_t y = 0; y < image.height; ++y)
        for (int32_t x = 0; x < image.width; ++x) {
            const float* p = image.at(x, y);
            if (std::fabs(p[0] - r) < 0.01f && std::fabs(p[1] - g) < 0.01f && std::fabs(p[2] - b) < 0.01f) ++count;
        }
    return count;
}

TEST_F(RenderCommand, FlatSolidFacingTheDefaultCameraLandsOneToOne) {
    fs::path out = dir / "solid.png";
    ProcessResult run = runZephrin({"render", scene(solidScene(R"(, "threeD": true)")).string(), "-o", out.string()});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    RgbaImage image = readImage(out);
    ASSERT_EQ(image.width, 200);
    ASSERT_EQ(image.height, 100);
    EXPECT_EQ(countPixels(image, 1, 0, 0), 60 * 40);
    EXPECT_FLOAT_EQ(image.at(70, 30)[0], 1.0f);
    EXPECT_FLOAT_EQ(image.at(129, 69)[0], 1.0f);
    EXPECT_FLOAT_EQ(image.at(69, 50)[2], 1.0f);
    EXPECT_FLOAT_EQ(image.at(130, 50)[2], 1.0f);
}

TEST_F(RenderCommand, TwoDimensionalLayerWithoutTheEffectIsNotDrawn) {
    fs::path out = dir / "flat2d.png";
    ProcessResult run = runZephrin({"render", scene(solidScene("")).string(), "-o", out.string()});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(countPixels(readImage(out), 0, 0, 1), 200 * 100);
}

TEST_F(RenderCommand, OpacityBlendsOverTheBackgroundInEveryDepth) {
    fs::path file = scene(solidScene(R"(, "threeD": true)", R"({"position": [100, 50, 0], "opacity": 50})"));
    RgbaImage images[3];
    const char* outputs[3] = {"half8.png", "half16.png", "half32.exr"};
    const char* depths[3] = {"8", "16", "32"};
    for (int i = 0; i < 3; ++i) {
        ProcessResult run =
            runZephrin({"render", file.string(), "-o", (dir / outputs[i]).string(), "--bpc", depths[i]});
        ASSERT_EQ(run.exitCode, 0) << run.output;
        images[i] = readImage(dir / outputs[i]);
        ASSERT_EQ(images[i].width, 200) << outputs[i];
        const float* centre = images[i].at(100, 50);
        EXPECT_NEAR(centre[0], 0.5f, 0.5f / 255 + 1e-4f) << outputs[i];
        EXPECT_NEAR(centre[2], 0.5f, 0.5f / 255 + 1e-4f) << outputs[i];
        EXPECT_NEAR(centre[3], 1.0f, 1e-4f) << outputs[i];
    }
    EXPECT_EQ(compareImages(images[1], images[2], 1.0f / 255, 0), "");
    EXPECT_EQ(compareImages(images[0], images[2], 1.0f / 255, 0), "");
}

// The destination holds premultiplied colour; PNG stores straight colour, so a translucent background
// must come back as the colour the scene file gave, and a layer over it composites correctly.
TEST_F(RenderCommand, TranslucentBackgroundKeepsItsColour) {
    fs::path out = dir / "translucent.png";
    fs::path file = scene(solidScene(R"(, "threeD": true)", R"({"position": [100, 50, 0], "opacity": 50})",
                                     "[0, 0, 0.5, 0.5]"));
    ProcessResult run = runZephrin({"render", file.string(), "-o", out.string()});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    RgbaImage image = readImage(out);
    ASSERT_EQ(image.width, 200);
    const float* background = image.at(5, 5);
    EXPECT_NEAR(background[2], 0.5f, 1.5f / 255);
    EXPECT_NEAR(background[3], 0.5f, 1.0f / 255);
    // Half-opaque red over it: premultiplied (0.5, 0, 0.125, 0.75), straight (2/3, 0, 1/6, 0.75).
    const float* centre = image.at(100, 50);
    EXPECT_NEAR(centre[0], 2.0f / 3, 2.0f / 255);
    EXPECT_NEAR(centre[2], 1.0f / 6, 2.0f / 255);
    EXPECT_NEAR(centre[3], 0.75f, 1.0f / 255);
}

TEST_F(RenderCommand, DownsampleRendersAtAFractionOfTheSize) {
    fs::path out = dir / "small.png";
    ProcessResult run = runZephrin(
        {"render", scene(solidScene(R"(, "threeD": true)")).string(), "-o", out.string(), "--downsample", "2"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    RgbaImage image = readImage(out);
    EXPECT_EQ(image.width, 100);
    EXPECT_EQ(image.height, 50);
    EXPECT_EQ(countPixels(image, 1, 0, 0), 30 * 20);
}

TEST_F(RenderCommand, FrameRangeWritesOneNumberedFilePerFrame) {
    fs::path file = scene(solidScene(R"(, "threeD": true)"));
    ProcessResult run = runZephrin({"render", file.string(), "--frames", "2-4", "-o", (dir / "seq.####.png").string()});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    for (const char* name : {"seq.0002.png", "seq.0003.png", "seq.0004.png"})
        EXPECT_TRUE(fs::exists(dir / name)) << name;
    EXPECT_FALSE(fs::exists(dir / "seq.0005.png"));

    ProcessResult noPattern = runZephrin({"render", file.string(), "--frames", "0-1", "-o", (dir / "x.png").string()});
    EXPECT_EQ(noPattern.exitCode, 2);
    EXPECT_NE(noPattern.output.find("####"), std::string::npos) << noPattern.output;

    ProcessResult outside = runZephrin({"render", file.string(), "--frame", "10", "-o", (dir / "x.png").string()});
    EXPECT_EQ(outside.exitCode, 2);
    EXPECT_NE(outside.output.find("frame 10 is outside the composition (frames 0-9)"), std::string::npos)
        << outside.output;
    EXPECT_FALSE(fs::exists(dir / "x.png"));
}

TEST_F(RenderCommand, BadSceneFilesAreRefusedWithFileAndPathAndNothingWritten) {
    struct Case {
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"{not json", "bad.json: "},
        {solidScene("", R"({"scale": [1, 2]})"), "bad.json: layers[0].transform.scale: "},
        {R"({"format": "zephrin-scene", "version": 1, "composition": {"width": 10, "height": 10,
            "frameRate": 10, "duration": 1}, "footage": {}, "layers": [{"name": "H", "type": "hologram"}]})",
         "bad.json: layers[0].type: "},
        {R"({"format": "zephrin-scene", "version": 1, "composition": {"width": 10, "height": 10,
            "frameRate": 10, "duration": 1}, "footage": {"img": {"file": "missing.png"}}, "layers": []})",
         "bad.json: footage.img.file: "},
        {R"({"format": "zephrin-scene", "version": 1, "composition": {"width": -10, "height": 10,
            "frameRate": 10, "duration": 1}, "footage": {}, "layers": []})",
         "bad.json: composition.width: "},
        {solidScene("", R"({"position": [1e999, 0, 0]})"), "bad.json: layers[0].transform.position"},
    };
    for (const Case& c : cases) {
        fs::path out = dir / "never.png";
        ProcessResult run = runZephrin({"render", scene(c.text, "bad.json").string(), "-o", out.string()});
        EXPECT_EQ(run.exitCode, 2) << c.text << "\n" << run.output;
        EXPECT_NE(run.output.find(c.expected), std::string::npos) << "expected '" << c.expected << "' in:\n"
                                                                  << run.output;
        EXPECT_FALSE(fs::exists(out));
    }
}

TEST_F(RenderCommand, UnreadableImageIsRefused) {
    writeTextFile(dir / "broken.png", "this is not a PNG");
    std::string text = R"({"format": "zephrin-scene", "version": 1, "composition": {"width": 10, "height": 10,
            "frameRate": 10, "duration": 1}, "footage": {"img": {"file": "broken.png"}}, "layers": []})";
    ProcessResult run = runZephrin({"render", scene(text, "bad.json").string(), "-o", (dir / "o.png").string()});
    EXPECT_EQ(run.exitCode, 2) << run.output;
    EXPECT_NE(run.output.find("bad.json: footage.img.file: "), std::string::npos) << run.output;
}

TEST_F(RenderCommand, UnwritableOutputFailsAndLeavesExistingFilesAlone) {
    fs::path file = scene(solidScene(R"(, "threeD": true)"));
    // A path below a regular file can never be created, whoever runs the test.
    writeTextFile(dir / "blocker", "keep me");
    ProcessResult run = runZephrin({"render", file.string(), "-o", (dir / "blocker" / "out.png").string()});
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("blocker"), std::string::npos) << run.output;
    EXPECT_EQ(readTextFile(dir / "blocker"), "keep me");

    writeTextFile(dir / "existing.png", "old image");
    ProcessResult badFormat = runZephrin({"render", file.string(), "-o", (dir / "existing.png").string(), "--bpc", "32"});
    EXPECT_EQ(badFormat.exitCode, 2) << badFormat.output;
    EXPECT_EQ(readTextFile(dir / "existing.png"), "old image");
    // No temporary files are left behind.
    for (const auto& entry : fs::directory_iterator(dir))
        EXPECT_EQ(entry.path().filename().string().find(".partial-"), std::string::npos) << entry.path();
}

TEST_F(RenderCommand, UsageErrorsExitWithTwo) {
    EXPECT_EQ(runZephrin({}).exitCode, 2);
    EXPECT_EQ(runZephrin({"render", "--bpc", "12"}).exitCode, 2);
    EXPECT_EQ(runZephrin({"render", "--frames", "5-2"}).exitCode, 2);
    EXPECT_EQ(runZephrin({"render", "--frame", "1", "--frames", "1-2"}).exitCode, 2);
    ProcessResult help = runZephrin({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.output.find("render"), std::string::npos);
}

TEST_F(RenderCommand, MissingPluginFolderIsARenderFailure) {
    fs::path empty = dir / "no-plugins";
    fs::create_directories(empty);
    ProcessResult run = runZephrin(
        {"--plugins", empty.string(), "render", scene(solidScene("")).string(), "-o", (dir / "o.png").string()});
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_FALSE(fs::exists(dir / "o.png"));
}

TEST_F(RenderCommand, InfoShowsTheLayersTheHostSees) {
    ProcessResult run = runZephrin({"info", (sourceFolder() / "examples" / "showcase.json").string()});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("Showcase"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("Emblem"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("Zephrin Renderer"), std::string::npos) << run.output;
}

// Reference images are made deliberately by scripts/update-reference-images.sh, never by this test.
TEST_F(RenderCommand, TexturedLayersMatchTheReferenceImage) {
    fs::path sceneFile = sourceFolder() / "tests" / "data" / "scenes" / "textured_layers.json";
    fs::path reference = sourceFolder() / "tests" / "data" / "reference" / "textured_layers.png";
    fs::path out = dir / "textured_layers.png";
    ProcessResult run = runZephrin({"render", sceneFile.string(), "-o", out.string()});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    RgbaImage expected = readImage(reference);
    ASSERT_GT(expected.width, 0) << "missing reference " << reference;
    EXPECT_EQ(compareImages(readImage(out), expected, 2.0f / 255, 4), "");
}

}  // namespace
}  // namespace zephrin::test
