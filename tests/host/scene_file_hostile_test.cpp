// Scene files written to break the loader: nesting that would overflow the stack, compositions whose
// frames do not fit the host's time record, paths that never end, footage that is not a file or claims
// gigapixels. Each is refused before anything renders, with the file and the JSON path.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "host/composition_time.h"
#include "host/scene_file.h"
#include "host/scene_file_json.h"
#include "image_test_files.h"

namespace zephrin::host {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;
using testing::ScratchDir;

const fs::path kFootageData = fs::path(ZEPHRIN_SOURCE_DIR) / "tests/data/footage";

Json sceneWithComposition(double frameRate, double duration) {
    Json scene = {{"format", "zephrin-scene"}, {"version", 1}};
    scene["composition"] = {{"width", 64}, {"height", 48}, {"frameRate", frameRate}, {"duration", duration}};
    return scene;
}

// The refusal for a file, without its leading "<file>: " (checked).
std::string refusalFor(const fs::path& file) {
    try {
        loadSceneFile(file);
    } catch (const SceneFileError& e) {
        const std::string message = e.what(), lead = file.string() + ": ";
        EXPECT_EQ(message.rfind(lead, 0), 0u) << message;
        return message.substr(std::min(lead.size(), message.size()));
    }
    ADD_FAILURE() << file << " was accepted";
    return {};
}

std::string refusalOf(const ScratchDir& dir, const std::string& text) { return refusalFor(dir.write("scene.json", text)); }

std::string nested(std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }

TEST(SceneFileHostile, NestingIsRefusedAtItsPathBeforeAnythingRecurses) {
    ScratchDir dir;
    // The reproducer: an effect's params held 50 000 nested lists, which writing them out overflowed.
    const std::string deep = R"({"format": "zephrin-scene", "version": 1,
        "composition": {"width": 64, "height": 48, "frameRate": 24, "duration": 1},
        "footage": {"card": {"solid": {"width": 4, "height": 4}}},
        "layers": [{"type": "av", "source": "card", "effects": [
            {"matchName": "com.tavik.ZephrinSurface", "params": {"Thickness": )" +
                             nested(50000) + "}}]}]}";
    const std::string message = refusalOf(dir, deep);
    const std::string lead = "layers[0].effects[0].params.Thickness[0][0]";
    EXPECT_EQ(message.rfind(lead, 0), 0u) << message.substr(0, 200);
    EXPECT_NE(message.find(": nested more than 64 lists or objects deep"), std::string::npos) << message.substr(0, 200);
    EXPECT_LT(message.size(), 400u) << "the path stops where the nesting passes the limit";

    // The limit itself: exactly kMaxNestingDepth levels parse, one more does not, wherever it is.
    EXPECT_NO_THROW(scenejson::parseDocument("x.json", nested(scenejson::kMaxNestingDepth)));
    EXPECT_THROW(scenejson::parseDocument("x.json", nested(scenejson::kMaxNestingDepth + 1)), SceneFileError);
    Json scene = sceneWithComposition(24, 1);
    scene["composition"]["name"] = Json::parse(nested(80));
    EXPECT_EQ(refusalOf(dir, scene.dump()).rfind("composition.name[0][0]", 0), 0u);
}

TEST(SceneFileHostile, CompositionsWhoseFramesDoNotFitHostTimeAreRefused) {
    ScratchDir dir;
    EXPECT_EQ(refusalOf(dir, sceneWithComposition(2000000, 1).dump()),
              "composition.frameRate: expected a frame rate from 0.001 to 1000000 (the host's time range)");
    // A rate whose time scale rounds to 0 would make every host time divide by zero.
    EXPECT_EQ(refusalOf(dir, sceneWithComposition(1e-9, 1).dump()),
              "composition.frameRate: expected a frame rate from 0.001 to 1000000 (the host's time range)");
    EXPECT_EQ(refusalOf(dir, sceneWithComposition(24, 100000).dump()),
              "composition.duration: 100000 s at 24 fps is 2400000 frames, more than the host's time range "
              "holds (2147484)");
    EXPECT_EQ(refusalOf(dir, sceneWithComposition(24, 1e300).dump()),
              "composition.duration: 1e+300 s at 24 fps is too many frames, more than the host's time range "
              "holds (2147484)");

    // The last frame the time record holds is frame kMaxFrameMagnitude.
    const fs::path longest = dir.write("longest.json", sceneWithComposition(1, kMaxFrameCount).dump());
    EXPECT_EQ(compositionFrameCount(loadSceneFile(longest)), kMaxFrameCount);
    EXPECT_EQ(refusalOf(dir, sceneWithComposition(1, kMaxFrameCount + 1).dump()).rfind("composition.duration: ", 0),
              0u);
}

TEST(SceneFileHostile, FrameCountsAreSixtyFourBitAndIgnoreFloatNoise) {
    Composition comp;
    comp.frameRate = 30;
    comp.duration = 0.1;  // 3.0000000000000004 frames
    EXPECT_EQ(compositionFrameCount(comp), 3);
    comp.duration = 0.0001;
    EXPECT_EQ(compositionFrameCount(comp), 1) << "at least one frame";
    // Past 2^31, where a 32-bit count overflowed and refused every frame.
    comp.frameRate = 24;
    comp.duration = 100000000;
    EXPECT_EQ(compositionFrameCount(comp), int64_t{2400000000});
    comp.frameRate = 1e6;
    comp.duration = 1e300;
    EXPECT_EQ(compositionFrameCount(comp), std::numeric_limits<int64_t>::max());
}

TEST(SceneFileHostile, OnlyRegularFilesOfBoundedSizeAreRead) {
    ScratchDir dir;
    EXPECT_EQ(refusalFor("/dev/zero"), "is not a regular file (a device, pipe or socket), not a scene file");
    // A FIFO nobody writes to would block the read for ever.
    const fs::path fifo = dir.path / "pipe.json";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(refusalFor(fifo), "is not a regular file (a device, pipe or socket), not a scene file");
    EXPECT_EQ(refusalFor(dir.path), "is a folder, not a scene file");

    // Refused from its size, before a byte is read (the file is sparse: it takes no disk).
    const fs::path huge = dir.write("huge.json", "");
    fs::resize_file(huge, kMaxSceneFileBytes + 1);
    EXPECT_EQ(refusalFor(huge), "the file is 67108865 bytes, more than a scene file may hold (67108864 bytes)");
}

TEST(SceneFileHostile, MessagesSayWhatIsWrongAndNoMore) {
    ScratchDir dir;
    Json scene = sceneWithComposition(24, 1);
    scene["version"] = "1";
    EXPECT_EQ(refusalOf(dir, scene.dump()), "version: expected the number 1, not a string");
    scene["version"] = 2.5;
    EXPECT_EQ(refusalOf(dir, scene.dump()), "version: unsupported version 2.5 (this host reads version 1)");

    // Footage that exists but is not a file is named for what it is, not as missing.
    const fs::path fifo = dir.path / "pipe.png";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_directories(dir.path / "folder.png");
    scene = sceneWithComposition(24, 1);
    scene["footage"] = {{"a", {{"file", "folder.png"}}}};
    EXPECT_EQ(refusalOf(dir, scene.dump()), "footage.a.file: \"folder.png\" is a folder, not a footage file");
    scene["footage"] = {{"a", {{"file", "pipe.png"}}}};
    EXPECT_EQ(refusalOf(dir, scene.dump()),
              "footage.a.file: \"pipe.png\" is not a regular file (a device, pipe or socket), not a footage file");
    scene["footage"] = {{"a", {{"file", "/dev/null"}}}};
    EXPECT_EQ(refusalOf(dir, scene.dump()),
              "footage.a.file: \"/dev/null\" is not a regular file (a device, pipe or socket), not a footage file");
    scene["footage"] = {{"a", {{"file", "absent.png"}}}};
    EXPECT_EQ(refusalOf(dir, scene.dump()), "footage.a.file: no such file \"absent.png\"");

    const std::string huge = (kFootageData / "huge_header_12000.png").string();
    scene["footage"] = {{"a", {{"file", huge}}}};
    EXPECT_EQ(refusalOf(dir, scene.dump()), "footage.a.file: footage too large: \"" + huge +
                                                "\": the image holds 12000x12000 pixels, more than the host reads "
                                                "from one file (67108864)");
}

}  // namespace
}  // namespace zephrin::host
