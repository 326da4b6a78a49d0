#include "host/layer_transform.h"

#include <gtest/gtest.h>

namespace zephrin::host {
namespace {

// Hand-computed positions from degrees through sin/cos: a few ulps of a few hundred pixels.
constexpr double kTolerance = 1e-9;

void expectVec(const Vec3& actual, const Vec3& expected) {
    EXPECT_NEAR(actual.x, expected.x, kTolerance);
    EXPECT_NEAR(actual.y, expected.y, kTolerance);
    EXPECT_NEAR(actual.z, expected.z, kTolerance);
}

Layer makeLayer(int32_t id, LayerType type = LayerType::AV, bool threeD = true) {
    Layer layer;
    layer.id = id;
    layer.index = id;
    layer.name = "Layer " + std::to_string(id);
    layer.type = type;
    layer.threeD = threeD;
    return layer;
}

Composition compWith(std::vector<Layer> layers) {
    Composition comp;
    comp.layers = std::move(layers);
    return comp;
}

TEST(LayerTransform, AnchorScaleThenPosition) {
    Layer layer = makeLayer(1);
    layer.transform.anchorPoint.value = {50.0, 25.0, 0.0};
    layer.transform.scale.value = {200.0, 50.0, 100.0};
    layer.transform.position.value = {960.0, 540.0, 10.0};
    Composition comp = compWith({layer});
    Matrix4 m = layerToWorld(comp, comp.layers[0], 0.0);
    expectVec(transformPoint(m, {50.0, 25.0, 0.0}), {960.0, 540.0, 10.0});
    expectVec(transformPoint(m, {60.0, 45.0, 0.0}), {980.0, 550.0, 10.0});
}

TEST(LayerTransform, RotationsFollowTheRightHandRuleInYDownSpace) {
    Layer layer = makeLayer(1);
    layer.transform.rotationZ.value = 90.0;
    Composition comp = compWith({layer});
    // Clockwise on screen: right turns to down.
    expectVec(transformDirection(layerToWorld(comp, comp.layers[0], 0.0), {1.0, 0.0, 0.0}), {0.0, 1.0, 0.0});

    comp.layers[0].transform.rotationZ.value = 0.0;
    comp.layers[0].transform.rotationX.value = 90.0;
    expectVec(transformDirection(layerToWorld(comp, comp.layers[0], 0.0), {0.0, 1.0, 0.0}), {0.0, 0.0, 1.0});

    comp.layers[0].transform.rotationX.value = 0.0;
    comp.layers[0].transform.rotationY.value = 90.0;
    expectVec(transformDirection(layerToWorld(comp, comp.layers[0], 0.0), {0.0, 0.0, 1.0}), {1.0, 0.0, 0.0});
}

TEST(LayerTransform, OrientationThenXYZRotationsInThatOrder) {
    Layer layer = makeLayer(1);
    layer.transform.rotationX.value = 90.0;
    layer.transform.rotationZ.value = 90.0;
    Composition comp = compWith({layer});
    // X first: +x is untouched by X, then Z turns it to +y (Z first would end at +z).
    expectVec(transformDirection(layerToWorld(comp, comp.layers[0], 0.0), {1.0, 0.0, 0.0}), {0.0, 1.0, 0.0});

    comp.layers[0].transform.rotationZ.value = 0.0;
    comp.layers[0].transform.orientation.value = {0.0, 0.0, 90.0};
    // Orientation first: +x turns to +y, then rotation X carries +y to +z.
    expectVec(transformDirection(layerToWorld(comp, comp.layers[0], 0.0), {1.0, 0.0, 0.0}), {0.0, 0.0, 1.0});
}

TEST(LayerTransform, TwoDLayerStaysInItsPlane) {
    Layer layer = makeLayer(1, LayerType::AV, false);
    layer.transform.position.value = {100.0, 200.0, 500.0};
    layer.transform.rotationY.value = 45.0;
    layer.transform.orientation.value = {30.0, 0.0, 0.0};
    layer.transform.rotationZ.value = 90.0;
    Composition comp = compWith({layer});
    Matrix4 m = layerToWorld(comp, comp.layers[0], 0.0);
    expectVec(transformPoint(m, {10.0, 0.0, 0.0}), {100.0, 210.0, 0.0});
}

TEST(LayerTransform, ChildrenFollowTheirParentsLayerSpace) {
    Layer parent = makeLayer(1, LayerType::Null);
    parent.transform.anchorPoint.value = {50.0, 50.0, 0.0};
    parent.transform.position.value = {500.0, 300.0, 0.0};
    parent.transform.rotationZ.value = 90.0;
    Layer child = makeLayer(2);
    child.parentId = 1;
    child.transform.position.value = {60.0, 50.0, 0.0};  // 10 px right of the parent's anchor
    Layer grandchild = makeLayer(3);
    grandchild.parentId = 2;
    grandchild.transform.position.value = {0.0, 0.0, 5.0};
    Composition comp = compWith({parent, child, grandchild});
    expectVec(transformPoint(layerToWorld(comp, comp.layers[1], 0.0), {0.0, 0.0, 0.0}), {500.0, 310.0, 0.0});
    expectVec(transformPoint(layerToWorld(comp, comp.layers[2], 0.0), {0.0, 0.0, 0.0}), {500.0, 310.0, 5.0});
}

TEST(LayerTransform, ParentCycleEndsTheChain) {
    Layer a = makeLayer(1);
    a.parentId = 2;
    a.transform.position.value = {1.0, 0.0, 0.0};
    Layer b = makeLayer(2);
    b.parentId = 1;
    b.transform.position.value = {10.0, 0.0, 0.0};
    Composition comp = compWith({a, b});
    // Each layer of the loop counts once.
    expectVec(transformPoint(layerToWorld(comp, comp.layers[0], 0.0), {0.0, 0.0, 0.0}), {11.0, 0.0, 0.0});
}

TEST(LayerTransform, PointOfInterestStraightAheadLooksAlongPlusZ) {
    Layer camera = makeLayer(1, LayerType::Camera);
    camera.transform.position.value = {960.0, 540.0, -2000.0};
    camera.transform.hasPointOfInterest = true;
    camera.transform.pointOfInterest.value = {960.0, 540.0, 0.0};
    // Cameras have no anchor point; one left in the record must not move the eye.
    camera.transform.anchorPoint.value = {960.0, 540.0, 0.0};
    Composition comp = compWith({camera});
    Matrix4 m = layerToWorld(comp, comp.layers[0], 0.0);
    expectVec(transformPoint(m, {0.0, 0.0, 0.0}), {960.0, 540.0, -2000.0});
    expectVec(transformDirection(m, {0.0, 0.0, 1.0}), {0.0, 0.0, 1.0});
    expectVec(transformDirection(m, {0.0, 1.0, 0.0}), {0.0, 1.0, 0.0});
    expectVec(transformDirection(m, {1.0, 0.0, 0.0}), {1.0, 0.0, 0.0});
}

TEST(LayerTransform, PointOfInterestKeepsTheImageUpright) {
    Layer light = makeLayer(1, LayerType::Light);
    light.transform.hasPointOfInterest = true;
    light.transform.pointOfInterest.value = {100.0, 0.0, 0.0};
    Composition comp = compWith({light});
    Matrix4 m = layerToWorld(comp, comp.layers[0], 0.0);
    expectVec(transformDirection(m, {0.0, 0.0, 1.0}), {1.0, 0.0, 0.0});
    expectVec(transformDirection(m, {0.0, 1.0, 0.0}), {0.0, 1.0, 0.0});
    expectVec(transformDirection(m, {1.0, 0.0, 0.0}), {0.0, 0.0, -1.0});

    // Straight down leaves no "down" to roll toward; the frame must stay a rotation.
    comp.layers[0].transform.pointOfInterest.value = {0.0, 100.0, 0.0};
    m = layerToWorld(comp, comp.layers[0], 0.0);
    expectVec(transformDirection(m, {0.0, 0.0, 1.0}), {0.0, 1.0, 0.0});
    Vec3 x = transformDirection(m, {1.0, 0.0, 0.0});
    Vec3 y = transformDirection(m, {0.0, 1.0, 0.0});
    EXPECT_NEAR(length(x), 1.0, kTolerance);
    EXPECT_NEAR(length(y), 1.0, kTolerance);
    EXPECT_NEAR(dot(x, y), 0.0, kTolerance);

    // A point of interest on the light itself gives no direction: the rotations alone decide.
    comp.layers[0].transform.pointOfInterest.value = {0.0, 0.0, 0.0};
    comp.layers[0].transform.rotationY.value = 90.0;
    m = layerToWorld(comp, comp.layers[0], 0.0);
    expectVec(transformDirection(m, {0.0, 0.0, 1.0}), {1.0, 0.0, 0.0});
}

TEST(LayerTransform, KeyframedValuesAreTakenAtTheTime) {
    Layer layer = makeLayer(1);
    layer.transform.position.keyframes = {{0.0, {0.0, 0.0, 0.0}}, {2.0, {200.0, 0.0, 0.0}}};
    Composition comp = compWith({layer});
    expectVec(transformPoint(layerToWorld(comp, comp.layers[0], 1.5), {0.0, 0.0, 0.0}), {150.0, 0.0, 0.0});
}

TEST(LayerTransform, CameraZoomZeroIsTheDefaultFiftyMillimetreLens) {
    Layer camera = makeLayer(1, LayerType::Camera);
    Composition comp = compWith({camera});
    comp.width = 1800;
    EXPECT_DOUBLE_EQ(cameraZoom(comp, comp.layers[0], 0.0), 2500.0);
    comp.layers[0].camera.zoom.value = 1234.0;
    EXPECT_DOUBLE_EQ(cameraZoom(comp, comp.layers[0], 0.0), 1234.0);
}

TEST(LayerTransform, LayersAreFoundByIdAndActiveFromInToOut) {
    Layer a = makeLayer(3);
    a.inPoint = 1.0;
    a.outPoint = 2.0;
    Composition comp = compWith({a, makeLayer(7)});
    EXPECT_EQ(findLayerById(comp, 7), &comp.layers[1]);
    EXPECT_EQ(findLayerById(comp, 3), &comp.layers[0]);
    EXPECT_EQ(findLayerById(comp, 0), nullptr);
    EXPECT_EQ(findLayerById(comp, 5), nullptr);
    EXPECT_FALSE(layerActiveAt(comp.layers[0], 0.999));
    EXPECT_TRUE(layerActiveAt(comp.layers[0], 1.0));
    EXPECT_TRUE(layerActiveAt(comp.layers[0], 1.999));
    EXPECT_FALSE(layerActiveAt(comp.layers[0], 2.0));
}

}  // namespace
}  // namespace zephrin::host
