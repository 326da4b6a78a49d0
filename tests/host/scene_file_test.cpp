#include "host/scene_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <string>

#include "host/animated_value.h"
#include "image_test_files.h"

namespace zephrin::host {
namespace {

using Json = nlohmann::ordered_json;
using testing::ScratchDir;

// The example scene of the design notes, unchanged.
constexpr const char* kShowcase = R"({
  "format": "zephrin-scene", "version": 1,
  "composition": {"name": "Showcase", "width": 1920, "height": 1080,
                  "frameRate": 30, "duration": 4, "background": [0, 0, 0, 0]},
  "footage": {
    "paper": {"solid": {"color": [0.95, 0.9, 0.8], "width": 1000, "height": 500}},
    "logo":  {"file": "assets/logo.png"},
    "teapot": {"file": "assets/teapot.obj"}
  },
  "layers": [
    {"name": "Camera", "type": "camera",
     "transform": {"position": [960, 540, -2000], "pointOfInterest": [960, 540, 0]},
     "camera": {"zoom": 2000, "depthOfField": false, "focusDistance": 2000,
                "aperture": 25, "blurLevel": 100}},
    {"name": "Key", "type": "light",
     "light": {"lightType": "spot", "intensity": 100, "color": [1, 1, 1],
               "coneAngle": 90, "coneFeather": 50, "falloff": "none",
               "radius": 500, "falloffDistance": 500,
               "castsShadows": true, "shadowDarkness": 100, "shadowDiffusion": 20},
     "transform": {"position": [600, 200, -900], "pointOfInterest": [960, 540, 0]}},
    {"name": "Paper", "type": "av", "source": "paper", "threeD": true,
     "transform": {"anchorPoint": [500, 250, 0], "position": [960, 540, 0],
                   "scale": [100, 100, 100], "orientation": [0, 0, 0],
                   "rotationX": 0, "rotationY": {"keyframes": [[0, -20], [4, 20]]},
                   "rotationZ": 0, "opacity": 100},
     "material": {"castsShadows": "on", "acceptsShadows": true, "acceptsLights": true,
                  "ambient": 100, "diffuse": 50, "specularIntensity": 50,
                  "specularShininess": 5, "lightTransmission": 0},
     "effects": [{"matchName": "com.tavik.ZephrinSurface",
                  "params": {"Mode": "Scroll Mode", "Thickness": 40,
                             "Left Curl/Curl Angle": 720, "4": 120}}]}
  ]
})";

void writeShowcaseAssets(const ScratchDir& dir) {
    std::filesystem::create_directories(dir.path / "assets");
    testing::writeImage(dir.path / "assets/logo.png", 4, 2, 4, OIIO::TypeDesc::UINT8,
                        std::vector<float>(4 * 2 * 4, 1.0f), true);
    dir.write("assets/teapot.obj", "v 0 0 0\n");
}

// A small scene that loads; each refusal test breaks one thing in it.
Json minimalScene() {
    return Json::parse(R"({
      "format": "zephrin-scene", "version": 1,
      "composition": {"width": 640, "height": 360, "frameRate": 24, "duration": 2},
      "footage": {"card": {"solid": {"color": [1, 0, 0], "width": 200, "height": 100}}},
      "layers": [
        {"name": "Card", "type": "av", "source": "card", "threeD": true},
        {"name": "Cam", "type": "camera"}
      ]
    })");
}

// The message a scene is refused with, after checking that it opens with the file name as given.
std::string refusalOfText(const ScratchDir& dir, const std::string& text) {
    std::filesystem::path file = dir.write("scene.json", text);
    try {
        loadSceneFile(file);
    } catch (const SceneFileError& e) {
        std::string message = e.what();
        std::string lead = file.string() + ": ";
        EXPECT_EQ(message.substr(0, lead.size()), lead);
        return message.substr(std::min(lead.size(), message.size()));
    }
    ADD_FAILURE() << "the scene was accepted: " << text;
    return {};
}

std::string refusal(const ScratchDir& dir, const Json& scene) { return refusalOfText(dir, scene.dump(2)); }

TEST(SceneFile, ReadsTheDesignExample) {
    ScratchDir dir;
    writeShowcaseAssets(dir);
    Composition comp = loadSceneFile(dir.write("showcase.json", kShowcase));

    EXPECT_EQ(comp.name, "Showcase");
    EXPECT_EQ(comp.width, 1920);
    EXPECT_EQ(comp.height, 1080);
    EXPECT_DOUBLE_EQ(comp.frameRate, 30.0);
    EXPECT_DOUBLE_EQ(comp.duration, 4.0);
    EXPECT_EQ(comp.sceneFile, dir.path / "showcase.json");

    ASSERT_EQ(comp.footage.size(), 3u);
    const Footage& paper = *comp.footage.at("paper");
    EXPECT_EQ(paper.kind, FootageKind::Solid);
    EXPECT_EQ(paper.width, 1000);
    EXPECT_DOUBLE_EQ(paper.solidColor[1], 0.9);
    const Footage& logo = *comp.footage.at("logo");
    EXPECT_EQ(logo.kind, FootageKind::Image);
    EXPECT_EQ(logo.width, 4);
    EXPECT_EQ(logo.path, dir.path / "assets/logo.png");
    const Footage& teapot = *comp.footage.at("teapot");
    EXPECT_EQ(teapot.kind, FootageKind::Obj);
    EXPECT_EQ(teapot.width, 0);
    EXPECT_TRUE(teapot.pixels.empty());

    ASSERT_EQ(comp.layers.size(), 3u);
    for (std::size_t i = 0; i < comp.layers.size(); ++i) {
        EXPECT_EQ(comp.layers[i].id, static_cast<int32_t>(i + 1));
        EXPECT_EQ(comp.layers[i].index, static_cast<int32_t>(i + 1));
    }
    const Layer& camera = comp.layers[0];
    EXPECT_EQ(camera.type, LayerType::Camera);
    EXPECT_TRUE(camera.threeD);
    EXPECT_TRUE(camera.transform.hasPointOfInterest);
    EXPECT_DOUBLE_EQ(camera.camera.zoom.value, 2000.0);
    EXPECT_DOUBLE_EQ(camera.camera.depthOfField.value, 0.0);

    const Layer& key = comp.layers[1];
    EXPECT_EQ(key.light.lightType, LightKind::Spot);
    EXPECT_EQ(key.light.falloff, LightFalloff::None);
    EXPECT_TRUE(key.light.castsShadows);
    EXPECT_DOUBLE_EQ(key.light.shadowDiffusion.value, 20.0);
    EXPECT_DOUBLE_EQ(key.light.coneFeather.value, 50.0);

    const Layer& sheet = comp.layers[2];
    EXPECT_EQ(sheet.source.get(), &paper);
    EXPECT_EQ(sheet.material.castsShadows, CastsShadows::On);
    EXPECT_DOUBLE_EQ(valueAt(sheet.transform.rotationY, 2.0), 0.0);
    EXPECT_DOUBLE_EQ(valueAt(sheet.transform.rotationY, 1.0), -10.0);
    ASSERT_EQ(sheet.effects.size(), 1u);
    EXPECT_EQ(sheet.effects[0].matchName, "com.tavik.ZephrinSurface");
    // Handed on in the file's order: a label and its position may both be given.
    EXPECT_EQ(sheet.effects[0].paramsJson,
              R"({"Mode":"Scroll Mode","Thickness":40,"Left Curl/Curl Angle":720,"4":120})");
    EXPECT_TRUE(sheet.effects[0].enabled);
    EXPECT_FALSE(sheet.effects[0].savedBeforeParams);
}

TEST(SceneFile, UnsetValuesTakeTheHostsDefaults) {
    ScratchDir dir;
    Json scene = minimalScene();
    scene["layers"].push_back(Json::parse(R"({"type": "null", "parent": "Card"})"));
    scene["layers"].push_back(Json::parse(R"({"type": "av", "source": "card", "parent": "Null",
                                               "effects": [{"matchName": "x", "savedBeforeParams": true}]})"));
    Composition comp = loadSceneFile(dir.write("scene.json", scene.dump()));

    const Layer& card = comp.layers[0];
    // An AV layer turns about its source's centre.
    EXPECT_EQ(card.transform.anchorPoint.value, (Vec3d{100.0, 50.0, 0.0}));
    EXPECT_TRUE(card.videoOn);
    EXPECT_FALSE(card.adjustment);
    EXPECT_DOUBLE_EQ(card.inPoint, 0.0);
    EXPECT_TRUE(std::isinf(card.outPoint));
    EXPECT_EQ(card.parentId, 0);
    EXPECT_EQ(comp.layers[1].name, "Cam");
    EXPECT_FALSE(comp.layers[1].transform.hasPointOfInterest);

    EXPECT_EQ(comp.layers[2].name, "Null");
    EXPECT_EQ(comp.layers[2].parentId, card.id);
    EXPECT_EQ(comp.layers[3].name, "card");
    EXPECT_EQ(comp.layers[3].parentId, comp.layers[2].id);
    EXPECT_EQ(comp.layers[3].effects[0].paramsJson, "{}");
    EXPECT_TRUE(comp.layers[3].effects[0].savedBeforeParams);
}

// The minimal scene with one value set (or, for a null value, removed) at a JSON pointer.
std::string refusalWith(const ScratchDir& dir, const char* pointer, const Json& value) {
    Json scene = minimalScene();
    Json::json_pointer at(pointer);
    if (value.is_null()) {
        scene[at.parent_pointer()].erase(at.back());
    } else {
        scene[at] = value;
    }
    return refusal(dir, scene);
}

TEST(SceneFile, RefusesWhatIsNotAZephrinScene) {
    ScratchDir dir;
    EXPECT_EQ(refusalOfText(dir, "{\n  \"format\": \"zephrin-scene\",\n}"),
              "not valid JSON at line 3, column 1: syntax error while parsing object key - unexpected '}'; "
              "expected string literal");
    EXPECT_EQ(refusalOfText(dir, "[1, 2]"), "expected an object");
    EXPECT_EQ(refusalWith(dir, "/format", "lottie"), "format: expected \"zephrin-scene\"");
    EXPECT_EQ(refusalWith(dir, "/version", 2), "version: unsupported version 2 (this host reads version 1)");
    EXPECT_EQ(refusalWith(dir, "/composition", nullptr), "missing \"composition\"");
    try {
        loadSceneFile(dir.path / "absent.json");
        FAIL() << "a missing scene file was accepted";
    } catch (const SceneFileError& e) {
        EXPECT_EQ(std::string(e.what()), (dir.path / "absent.json").string() + ": cannot open the file");
    }
}

TEST(SceneFile, RefusesValuesOfTheWrongType) {
    ScratchDir dir;
    EXPECT_EQ(refusalWith(dir, "/layers/0/transform", {{"scale", {100, 100}}}),
              "layers[0].transform.scale: expected 3 numbers");
    EXPECT_EQ(refusalWith(dir, "/composition/width", "640"),
              "composition.width: expected a whole number from 1 to 30000");
    EXPECT_EQ(refusalWith(dir, "/layers/0/material", {{"castsShadows", "sometimes"}}),
              "layers[0].material.castsShadows: expected \"off\", \"on\", \"only\", true or false");
    EXPECT_EQ(refusalWith(dir, "/layers/0/transform", Json::parse(R"({"opacity": {"keyframes": [[0, 1], [1, "5"]]}})")),
              "layers[0].transform.opacity.keyframes[1][1]: expected a number");
}

TEST(SceneFile, RefusesUnknownKeysAndNamesTheLikelyOne) {
    ScratchDir dir;
    EXPECT_EQ(refusalWith(dir, "/layers/0/transform", {{"scal", {100, 100, 100}}}),
              "layers[0].transform.scal: unknown key (did you mean \"scale\"?)");
    EXPECT_EQ(refusalWith(dir, "/layers/1/camera", {{"focalLength", 50}}), "layers[1].camera.focalLength: unknown key");
    // A key pasted twice would otherwise let the second copy win unseen.
    EXPECT_EQ(refusalOfText(dir, R"({"format": "zephrin-scene", "version": 1,
        "composition": {"width": 10, "height": 10, "frameRate": 30, "duration": 1},
        "layers": [{"type": "null"}, {"type": "null", "transform": {"position": [0, 0, 0], "position": [1, 1, 1]}}]})"),
              "layers[1].transform.position: key given twice");
}

TEST(SceneFile, RefusesUnknownLayerTypesAndOptionsTheLayerCannotHave) {
    ScratchDir dir;
    EXPECT_EQ(refusalWith(dir, "/layers/0/type", "text"),
              "layers[0].type: unknown layer type \"text\" (expected av, camera, light or null)");
    EXPECT_EQ(refusalWith(dir, "/layers/1/transform", {{"anchorPoint", {0, 0, 0}}}),
              "layers[1].transform.anchorPoint: a camera layer has no anchorPoint");
    EXPECT_EQ(refusalWith(dir, "/layers/1/light", {{"intensity", 100}}),
              "layers[1].light: only light layers have light options");
    Json scene = minimalScene();
    scene["layers"][0]["threeD"] = false;
    scene["layers"][0]["transform"] = {{"rotationY", 30}};
    EXPECT_EQ(refusal(dir, scene), "layers[0].transform.rotationY: a 2D layer has no rotationY; set \"threeD\": true");
}

TEST(SceneFile, RefusesFootageThatCannotBeUsed) {
    ScratchDir dir;
    EXPECT_EQ(refusalWith(dir, "/layers/0/source", "crad"), "layers[0].source: no footage named \"crad\"");
    EXPECT_EQ(refusalWith(dir, "/footage/logo", {{"file", "assets/logo.png"}}),
              "footage.logo.file: no such file \"assets/logo.png\"");
    EXPECT_EQ(refusalWith(dir, "/footage/card/file", "card.png"),
              "footage.card: expected either \"solid\" or \"file\"");

    dir.write("assets/broken.png", "not an image at all");
    std::string message = refusalWith(dir, "/footage/logo", {{"file", "assets/broken.png"}});
    // OpenImageIO's own words follow the file name.
    const std::string lead = "footage.logo.file: cannot read image \"assets/broken.png\": ";
    EXPECT_EQ(message.substr(0, lead.size()), lead);
    EXPECT_GT(message.size(), lead.size());
}

TEST(SceneFile, RefusesSizesAndTimesThatCannotRender) {
    ScratchDir dir;
    EXPECT_EQ(refusalWith(dir, "/footage/card/solid/width", 0),
              "footage.card.solid.width: expected a whole number from 1 to 30000");
    EXPECT_EQ(refusalWith(dir, "/composition/height", -5),
              "composition.height: expected a whole number from 1 to 30000");
    EXPECT_EQ(refusalWith(dir, "/composition/width", 1.5),
              "composition.width: expected a whole number from 1 to 30000");
    EXPECT_EQ(refusalWith(dir, "/composition/frameRate", 0), "composition.frameRate: expected a number above 0");
    EXPECT_EQ(refusalWith(dir, "/composition/duration", -1), "composition.duration: expected a number above 0");
    EXPECT_EQ(refusalWith(dir, "/layers/0/outPoint", -1), "layers[0].outPoint: expected a time after inPoint");
    EXPECT_EQ(refusalOfText(dir, R"({"format": "zephrin-scene", "version": 1,
        "composition": {"width": 10, "height": 10, "frameRate": 30, "duration": 1e999}})"),
              "composition.duration: number out of range (1e999)");
}

TEST(SceneFile, RefusesParentsThatCannotBeResolved) {
    ScratchDir dir;
    EXPECT_EQ(refusalWith(dir, "/layers/0/parent", "Nobody"), "layers[0].parent: no layer named \"Nobody\"");
    EXPECT_EQ(refusalWith(dir, "/layers/1/parent", "Cam"), "layers[1].parent: parenting loop (Cam -> Cam)");

    Json scene = minimalScene();
    scene["layers"].push_back({{"type", "null"}, {"name", "A"}, {"parent", "B"}});
    scene["layers"].push_back({{"type", "null"}, {"name", "B"}, {"parent", "A"}});
    scene["layers"][0]["parent"] = "A";
    EXPECT_EQ(refusal(dir, scene), "layers[2].parent: parenting loop (A -> B -> A)");

    scene = minimalScene();
    scene["layers"][1]["name"] = "Card";
    scene["layers"].push_back({{"type", "null"}, {"parent", "Card"}});
    EXPECT_EQ(refusal(dir, scene), "layers[2].parent: more than one layer is named \"Card\"");
}

TEST(SceneFile, RefusesKeyframesOutOfOrder) {
    ScratchDir dir;
    EXPECT_EQ(
        refusalWith(dir, "/layers/0/transform/rotationY", Json::parse(R"({"keyframes": [[0, 0], [2, 10], [1, 20]]})")),
        "layers[0].transform.rotationY.keyframes[2]: keyframe times must ascend (1 after 2)");
    // Two keys at one time would make a jump that interpolation cannot express.
    EXPECT_EQ(refusalWith(dir, "/layers/0/transform/rotationY", Json::parse(R"({"keyframes": [[1, 0], [1, 10]]})")),
              "layers[0].transform.rotationY.keyframes[1]: keyframe times must ascend (1 after 1)");
}

TEST(SceneFile, EveryTruncatedDocumentIsRefusedCleanly) {
    ScratchDir dir;
    writeShowcaseAssets(dir);
    const std::string text = kShowcase;
    // The whole document ends at its closing brace; every shorter prefix is incomplete JSON.
    std::size_t end = text.rfind('}');
    for (std::size_t length = 0; length <= end; ++length) {
        std::filesystem::path file = dir.write("cut.json", text.substr(0, length));
        EXPECT_THROW(loadSceneFile(file), SceneFileError) << "prefix of " << length << " characters";
    }
}

}  // namespace
}  // namespace zephrin::host
