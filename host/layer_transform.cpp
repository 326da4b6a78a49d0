#include "host/layer_transform.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "host/animated_value.h"

namespace zephrin::host {

namespace {

constexpr double kDegreesToRadians = std::numbers::pi / 180.0;
// A point of interest this close to the layer's position gives no direction to look along.
constexpr double kMinLookDistance = 1e-9;
// Looking this close to straight up or down, "toward world down" no longer picks a roll.
constexpr double kMinUpSideLength = 1e-9;
// The host's default camera: a 50 mm lens over 36 mm film spanning the composition width.
constexpr double kDefaultFocalLengthMm = 50.0;
constexpr double kFilmWidthMm = 36.0;

Vec3 toVec3(const Vec3d& v) { return Vec3{v[0], v[1], v[2]}; }

Matrix4 rotationX(double degrees) {
    double c = std::cos(degrees * kDegreesToRadians), s = std::sin(degrees * kDegreesToRadians);
    Matrix4 r = identityMatrix();
    r.m[1][1] = c;
    r.m[1][2] = s;
    r.m[2][1] = -s;
    r.m[2][2] = c;
    return r;
}

Matrix4 rotationY(double degrees) {
    double c = std::cos(degrees * kDegreesToRadians), s = std::sin(degrees * kDegreesToRadians);
    Matrix4 r = identityMatrix();
    r.m[0][0] = c;
    r.m[0][2] = -s;
    r.m[2][0] = s;
    r.m[2][2] = c;
    return r;
}

Matrix4 rotationZ(double degrees) {
    double c = std::cos(degrees * kDegreesToRadians), s = std::sin(degrees * kDegreesToRadians);
    Matrix4 r = identityMatrix();
    r.m[0][0] = c;
    r.m[0][1] = s;
    r.m[1][0] = -s;
    r.m[1][1] = c;
    return r;
}

Matrix4 scaleMatrix(const Vec3d& percent) {
    Matrix4 r = identityMatrix();
    for (int i = 0; i < 3; ++i) r.m[i][i] = percent[i] / 100.0;
    return r;
}

// Rows are the layer's axes in its parent's space: +z toward the target, +y as near to world down
// as +z allows, +x completing the right-handed frame (x = y cross z).
Matrix4 lookAtRotation(const Vec3& from, const Vec3& target) {
    Vec3 toTarget = target - from;
    double distance = length(toTarget);
    if (!(distance > kMinLookDistance) || !std::isfinite(distance)) return identityMatrix();
    Vec3 z = toTarget * (1.0 / distance);
    Vec3 side = cross(Vec3{0.0, 1.0, 0.0}, z);
    double sideLength = length(side);
    // Looking straight up or down: keep the image's x along world x.
    Vec3 x = sideLength > kMinUpSideLength ? side * (1.0 / sideLength) : Vec3{1.0, 0.0, 0.0};
    Vec3 y = cross(z, x);
    Matrix4 r = identityMatrix();
    const Vec3 axes[3] = {x, y, z};
    for (int i = 0; i < 3; ++i) {
        r.m[i][0] = axes[i].x;
        r.m[i][1] = axes[i].y;
        r.m[i][2] = axes[i].z;
    }
    return r;
}

// The layer's own transform into its parent's space.
Matrix4 localMatrix(const Layer& layer, double seconds) {
    const Transform& t = layer.transform;
    bool cameraOrLight = layer.type == LayerType::Camera || layer.type == LayerType::Light;
    bool threeD = layer.threeD || cameraOrLight;

    Vec3d anchor = cameraOrLight ? Vec3d{0.0, 0.0, 0.0} : valueAt(t.anchorPoint, seconds);
    Vec3d scale = cameraOrLight ? Vec3d{100.0, 100.0, 100.0} : valueAt(t.scale, seconds);
    Vec3d position = valueAt(t.position, seconds);
    Vec3d orientation{0.0, 0.0, 0.0};
    double rotX = 0.0, rotY = 0.0;
    double rotZ = valueAt(t.rotationZ, seconds);
    if (threeD) {
        orientation = valueAt(t.orientation, seconds);
        rotX = valueAt(t.rotationX, seconds);
        rotY = valueAt(t.rotationY, seconds);
    } else {
        anchor[2] = 0.0;
        position[2] = 0.0;
        scale[2] = 100.0;
    }

    Matrix4 m = multiply(translationMatrix(-toVec3(anchor)), scaleMatrix(scale));
    m = multiply(m, rotationX(orientation[0]));
    m = multiply(m, rotationY(orientation[1]));
    m = multiply(m, rotationZ(orientation[2]));
    m = multiply(m, rotationX(rotX));
    m = multiply(m, rotationY(rotY));
    m = multiply(m, rotationZ(rotZ));
    if (cameraOrLight && t.hasPointOfInterest) {
        // The point of interest lives in the same (parent) space as the position.
        m = multiply(m, lookAtRotation(toVec3(position), toVec3(valueAt(t.pointOfInterest, seconds))));
    }
    return multiply(m, translationMatrix(toVec3(position)));
}

}  // namespace

const Layer* findLayerById(const Composition& comp, int32_t id) {
    if (id == 0) return nullptr;
    auto it = std::find_if(comp.layers.begin(), comp.layers.end(), [id](const Layer& l) { return l.id == id; });
    return it == comp.layers.end() ? nullptr : &*it;
}

bool layerActiveAt(const Layer& layer, double seconds) { return layer.inPoint <= seconds && seconds < layer.outPoint; }

Matrix4 layerToWorld(const Composition& comp, const Layer& layer, double seconds) {
    Matrix4 world = localMatrix(layer, seconds);
    std::vector<int32_t> visited{layer.id};
    for (const Layer* parent = findLayerById(comp, layer.parentId); parent != nullptr;
         parent = findLayerById(comp, parent->parentId)) {
        if (std::find(visited.begin(), visited.end(), parent->id) != visited.end()) break;
        visited.push_back(parent->id);
        world = multiply(world, localMatrix(*parent, seconds));
    }
    return world;
}

double cameraZoom(const Composition& comp, const Layer& camera, double seconds) {
    double zoom = valueAt(camera.camera.zoom, seconds);
    if (zoom == 0.0) return comp.width * kDefaultFocalLengthMm / kFilmWidthMm;
    return zoom;
}

}  // namespace zephrin::host
