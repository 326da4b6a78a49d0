// Building blocks shared by every mesh builder: the layer's placement, vertex and quad emission,
// smooth vertex normals, and the flat grid a layer without a bend is drawn with.
#pragma once

#include <cstdint>

#include "common/matrix4.h"
#include "common/vec3.h"
#include "renderer/scene/frame_scene.h"

namespace zephrin {

// An affine layer placement in the row-vector convention: p' = p * rotationScale + translation.
// Host layer matrices are affine, so the projective column of the 4x4 form is dropped.
struct LayerTransform {
    double rotationScale[3][3] = {{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}};
    Vec3 translation;
};

LayerTransform layerTransformFromMatrix(const Matrix4& m);

inline Vec3 applyRotationScale(const LayerTransform& t, const Vec3& d) {
    return Vec3{d.x * t.rotationScale[0][0] + d.y * t.rotationScale[1][0] + d.z * t.rotationScale[2][0],
                d.x * t.rotationScale[0][1] + d.y * t.rotationScale[1][1] + d.z * t.rotationScale[2][1],
                d.x * t.rotationScale[0][2] + d.y * t.rotationScale[1][2] + d.z * t.rotationScale[2][2]};
}

inline Vec3 applyLayerTransform(const LayerTransform& t, const Vec3& p) {
    return applyRotationScale(t, p) + t.translation;
}

// Where a mesh sits inside its layer: the top-left of the layer's content bounds when the layer has
// no source of its own, else the layer's origin.
struct MeshOrigin {
    double x = 0.0, y = 0.0;
};

// Everything a mesh builder needs to know about the layer it lays a mesh on.
struct MeshPlacement {
    double width = 1.0, height = 1.0;  // layer pixels, each at least 1
    MeshOrigin origin;
    LayerTransform layerToCamera;
    LayerTransform layerToWorld;
    bool interactive = false;  // halves the subdivision caps
};

// Flat grid cells: 6 x 4 for final renders, 2 x 2 for interactive ones.
constexpr int32_t kFlatGridColumns = 6;
constexpr int32_t kFlatGridRows = 4;
constexpr int32_t kFlatGridColumnsInteractive = 2;
constexpr int32_t kFlatGridRowsInteractive = 2;

// Appends a vertex placed in camera and world space; both normals start as (0, 0, -1) until
// computeNormals runs.
void addVertex(SurfaceMesh& mesh, const Vec3& objectPosition, double u, double v, const LayerTransform& layerToCamera,
               const LayerTransform& layerToWorld);

// Appends the triangles (a, b, c) and (c, b, d): a and d are opposite corners.
void addQuad(SurfaceMesh& mesh, int32_t a, int32_t b, int32_t c, int32_t d, int32_t faceCode, uint8_t fineFlag);

// Area-weighted vertex normals from the object positions, then carried into camera and world space.
void computeNormals(SurfaceMesh& mesh, const LayerTransform& layerToCamera, const LayerTransform& layerToWorld);

// A front-facing grid over width x height layer pixels, vertices row by row with u, v spanning 0..1.
void buildFlatGrid(SurfaceMesh& mesh, double width, double height, const MeshOrigin& origin,
                   const LayerTransform& layerToCamera, const LayerTransform& layerToWorld, bool interactive);

}  // namespace zephrin
