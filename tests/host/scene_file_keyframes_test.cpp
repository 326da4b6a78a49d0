// Keyframes in scene files: the short form takes the host's defaults for the property, the long form
// carries interpolation, eases and tangents, and whatever would be silently ignored is refused at its path.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "host/animated_value.h"
#include "host/scene_file.h"
#include "image_test_files.h"

namespace zephrin::host {
namespace {

using Json = nlohmann::ordered_json;
using testing::ScratchDir;

// One solid layer whose transform the test gives.
Json sceneWithTransform(const Json& transform) {
    Json scene = Json::parse(R"({
      "format": "zephrin-scene", "version": 1,
      "composition": {"width": 640, "height": 360, "frameRate": 24, "duration": 4},
      "footage": {"card": {"solid": {"width": 200, "height": 100}}},
      "layers": [{"name": "Card", "type": "av", "source": "card", "threeD": true}]
    })");
    scene["layers"][0]["transform"] = transform;
    return scene;
}

Composition load(const ScratchDir& dir, const Json& scene) {
    return loadSceneFile(dir.write("scene.json", scene.dump()));
}

std::string refusal(const ScratchDir& dir, const Json& transform) {
    try {
        load(dir, sceneWithTransform(transform));
    } catch (const SceneFileError& e) {
        const std::string message = e.what();
        return message.substr(message.find(": ") + 2);
    }
    return "(loaded)";
}

TEST(SceneFileKeyframes, ShortFormTakesTheHostsDefaultsForTheProperty) {
    ScratchDir dir;
    const Composition comp = load(dir, sceneWithTransform(Json::parse(R"({
      "position": {"keyframes": [[0, [0, 0, 0]], [1, [100, 100, 0]], [2, [200, 0, 0]]]},
      "rotationZ": {"keyframes": [[0, 0], [1, 90], [2, 0]]}})")));
    const Transform& t = comp.layers[0].transform;
    EXPECT_TRUE(t.position.spatial);
    EXPECT_FALSE(t.rotationZ.spatial);
    for (const auto& key : t.position.keyframes) EXPECT_TRUE(isDefaultShape(key.shape));
    // Position: a smooth path, so half-way to the middle key it has left the straight chord.
    const Vec3d p = valueAt(t.position, 0.5);
    EXPECT_GT(std::abs(p[0] - p[1]), 1.0) << p[0] << ", " << p[1];
    // Everything else: linear.
    EXPECT_DOUBLE_EQ(valueAt(t.rotationZ, 0.5), 45.0);
}

TEST(SceneFileKeyframes, LongFormCarriesInterpolationEasesAndTangents) {
    ScratchDir dir;
    const Composition comp = load(dir, sceneWithTransform(Json::parse(R"({
      "position": {"keyframes": [
        {"time": 0, "value": [0, 0, 0], "easeOut": {"speed": 250, "influence": 40}, "outTangent": [0, -80, 0]},
        {"time": 1.5, "value": [300, 0, 0], "interpolation": {"in": "bezier", "out": "hold"}, "spatial": "linear"},
        [3, [300, 200, 0]]]},
      "opacity": {"keyframes": [{"time": 0, "value": 0, "interpolation": "hold"}, [1, 100]]}})")));
    const auto& keys = comp.layers[0].transform.position.keyframes;
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(keys[0].shape.in, KeyInterpolation::Linear);
    EXPECT_EQ(keys[0].shape.out, KeyInterpolation::Bezier) << "an ease makes its side Bézier";
    EXPECT_EQ(keys[0].shape.easeOut.speed, 250.0);
    EXPECT_EQ(keys[0].shape.easeOut.influence, 40.0);
    EXPECT_EQ(keys[0].shape.spatial, SpatialInterpolation::Bezier) << "a tangent makes the key's path Bézier";
    EXPECT_EQ(keys[0].shape.outTangent, (Vec3d{0, -80, 0}));
    EXPECT_EQ(keys[0].shape.inTangent, (Vec3d{0, 0, 0}));
    EXPECT_EQ(keys[1].shape.in, KeyInterpolation::Bezier);
    EXPECT_EQ(keys[1].shape.easeIn.speed, 0.0) << "a Bézier side without an ease is Easy Ease";
    EXPECT_EQ(keys[1].shape.easeIn.influence, kEasyEaseInfluence);
    EXPECT_EQ(keys[1].shape.out, KeyInterpolation::Hold);
    EXPECT_EQ(keys[1].shape.spatial, SpatialInterpolation::Linear);
    EXPECT_TRUE(isDefaultShape(keys[2].shape));
    EXPECT_EQ(valueAt(comp.layers[0].transform.position, 2.9), (Vec3d{300, 0, 0})) << "held after the middle key";
    EXPECT_EQ(valueAt(comp.layers[0].transform.opacity, 0.99), 0.0);
}

TEST(SceneFileKeyframes, WhatWouldBeIgnoredIsRefusedAtItsPath) {
    ScratchDir dir;
    EXPECT_EQ(refusal(dir, Json::parse(
                               R"({"rotationZ": {"keyframes": [{"time": 0, "value": 0, "outTangent": [1, 0, 0]}]}})")),
              "layers[0].transform.rotationZ.keyframes[0].outTangent: only a spatial property (position, anchor point, "
              "point of interest, 3D point) has a path");
    EXPECT_EQ(refusal(dir, Json::parse(R"({"opacity": {"keyframes": [
                  {"time": 0, "value": 0, "interpolation": "linear", "easeOut": {"speed": 5}}]}})")),
              "layers[0].transform.opacity.keyframes[0].easeOut: an ease needs \"bezier\" interpolation on its side");
    EXPECT_EQ(
        refusal(dir, Json::parse(R"({"opacity": {"keyframes": [
                  {"time": 0, "value": 0, "easeIn": {"influence": 0}}]}})")),
        "layers[0].transform.opacity.keyframes[0].easeIn.influence: expected an influence from 0.1 to 100 (percent)");
    EXPECT_EQ(refusal(dir, Json::parse(R"({"position": {"keyframes": [
                  {"time": 0, "value": [0, 0, 0], "spatial": "auto", "inTangent": [1, 0, 0]}]}})")),
              "layers[0].transform.position.keyframes[0].inTangent: tangents need \"spatial\": \"bezier\"");
    EXPECT_EQ(refusal(dir, Json::parse(R"({"position": {"keyframes": [{"time": 0, "value": [0, 0, 0],
                  "interpolation": "smooth"}]}})")),
              "layers[0].transform.position.keyframes[0].interpolation: expected \"linear\", \"bezier\" or \"hold\"");
    EXPECT_EQ(refusal(dir, Json::parse(R"({"position": {"keyframes": [{"time": 0, "value": [0, 0, 0],
                  "interpolation": {"in": "hold", "through": "linear"}}]}})")),
              "layers[0].transform.position.keyframes[0].interpolation.through: unknown key");
    EXPECT_EQ(refusal(dir, Json::parse(R"({"position": {"keyframes": [{"time": 0, "valeu": [0, 0, 0]}]}})")),
              "layers[0].transform.position.keyframes[0].valeu: unknown key (did you mean \"value\"?)");
    EXPECT_EQ(refusal(dir, Json::parse(R"({"position": {"keyframes": [{"time": 0}]}})")),
              "layers[0].transform.position.keyframes[0]: missing \"value\"");
    EXPECT_EQ(refusal(dir, Json::parse(R"({"position": {"keyframes": [{"time": 1, "value": [0, 0, 0]},
                  {"time": 1, "value": [5, 0, 0]}]}})")),
              "layers[0].transform.position.keyframes[1]: keyframe times must ascend (1 after 1)");
    EXPECT_EQ(refusal(dir, Json::parse(R"({"position": {"keyframes": [{"time": 0, "value": [0, 0, 0],
                  "outTangent": [0, "up", 0]}]}})")),
              "layers[0].transform.position.keyframes[0].outTangent: expected 3 numbers");
    EXPECT_EQ(refusal(dir, Json::parse(R"({"position": {"keyframes": [7]}})")),
              "layers[0].transform.position.keyframes[0]: expected [time, value] or {\"time\": ..., \"value\": ...}");
}

}  // namespace
}  // namespace zephrin::host
