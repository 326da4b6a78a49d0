// Building blocks shared by every mesh builder: the layer's placement, vertex and quad emission,
// smooth vertex normals, and the flat grid a layer without a bend is drawn with.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "common/matrix4.h"
#include "common/simd.h"
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

// The placement's layer size and origin as the slab builders use them: a size that is not finite
// counts as one pixel, an origin that is not finite as 0.
struct PlacedLayer {
    double width = 1.0, height = 1.0;
    double originX = 0.0, originY = 0.0;
};
PlacedLayer placedLayer(const MeshPlacement& placement);

// The normal of a vertex without a usable one of its own: straight at the camera.
constexpr Vec3 kCameraFacingNormal{0.0, 0.0, -1.0};

// Flat grid cells: 6 x 4 for final renders, 2 x 2 for interactive ones.
constexpr int32_t kFlatGridColumns = 6;
constexpr int32_t kFlatGridRows = 4;
constexpr int32_t kFlatGridColumnsInteractive = 2;
constexpr int32_t kFlatGridRowsInteractive = 2;

// A vertex placed in camera and world space with the given normals.
inline SurfaceVertex placedVertex(const Vec3& objectPosition, double u, double v, const LayerTransform& layerToCamera,
                                  const LayerTransform& layerToWorld, const Vec3& cameraNormal,
                                  const Vec3& worldNormal) {
    return SurfaceVertex{objectPosition,
                         applyLayerTransform(layerToCamera, objectPosition),
                         applyLayerTransform(layerToWorld, objectPosition),
                         cameraNormal,
                         worldNormal,
                         u,
                         v};
}

// Appends a placed vertex whose normals face the camera, (0, 0, -1), until computeNormals runs.
void addVertex(SurfaceMesh& mesh, const Vec3& objectPosition, double u, double v, const LayerTransform& layerToCamera,
               const LayerTransform& layerToWorld);

// The triangles (a, b, c) and (c, b, d) of a quad whose opposite corners are a and d.
inline std::array<SurfaceTriangle, 2> quadTriangles(int32_t a, int32_t b, int32_t c, int32_t d, int32_t faceCode,
                                                    uint8_t fineFlag) {
    return {SurfaceTriangle{a, b, c, faceCode, fineFlag}, SurfaceTriangle{c, b, d, faceCode, fineFlag}};
}

// Appends quadTriangles(...).
inline void addQuad(SurfaceMesh& mesh, int32_t a, int32_t b, int32_t c, int32_t d, int32_t faceCode, uint8_t fineFlag) {
    const std::array<SurfaceTriangle, 2> quad = quadTriangles(a, b, c, d, faceCode, fineFlag);
    mesh.triangles.insert(mesh.triangles.end(), quad.begin(), quad.end());
}

// The unnormalised normal of the triangle (a, b, c): its length is twice the triangle's area.
inline Vec3 triangleNormal(const Vec3& a, const Vec3& b, const Vec3& c) { return cross(b - a, c - a); }

// A vertex's object-space normal from the sum of the face normals around it; a sum too short (or
// not finite) to have a direction faces the camera.
inline Vec3 vertexNormalFromSum(const Vec3& faceNormalSum) { return normalizeOr(faceNormalSum, kCameraFacingNormal); }

// An object-space normal carried into camera or world space; a transform that flattens it away
// leaves a zero normal rather than an invented one.
inline Vec3 carryNormal(const LayerTransform& t, const Vec3& objectNormal) {
    return normalizeOr(applyRotationScale(t, objectNormal), Vec3{});
}

// A layer's camera and world placements side by side, lane 0 the camera's and lane 1 the world's: a
// vertex's two positions take one paired multiply and add per term, its two normals one paired square
// root and division. Lane by lane every step is placedVertex's and carryNormal's, so the vertices are
// the same to the bit.
struct PlacementPair {
    LayerTransform layerToCamera, layerToWorld;
#if ZEPHRIN_SSE2_LANES
    DoubleLanes rotationScale[3][3] = {};
    DoubleLanes translation[3] = {};
#endif
};

PlacementPair placementPair(const LayerTransform& layerToCamera, const LayerTransform& layerToWorld);

// placedVertex with the normals carryNormal gives for the object-space normal, written into `out`.
inline void writePlacedVertex(SurfaceVertex& out, const PlacementPair& pair, const Vec3& objectPosition,
                              const Vec3& objectNormal, double u, double v) {
    out.objectPosition = objectPosition;
#if ZEPHRIN_SSE2_LANES
    const DoubleLanes(&m)[3][3] = pair.rotationScale;
    const DoubleLanes px{objectPosition.x, objectPosition.x}, py{objectPosition.y, objectPosition.y},
        pz{objectPosition.z, objectPosition.z};
    const DoubleLanes x = px * m[0][0] + py * m[1][0] + pz * m[2][0] + pair.translation[0];
    const DoubleLanes y = px * m[0][1] + py * m[1][1] + pz * m[2][1] + pair.translation[1];
    const DoubleLanes z = px * m[0][2] + py * m[1][2] + pz * m[2][2] + pair.translation[2];
    out.cameraPosition = Vec3{x[0], y[0], z[0]};
    out.worldPosition = Vec3{x[1], y[1], z[1]};
    const DoubleLanes nx{objectNormal.x, objectNormal.x}, ny{objectNormal.y, objectNormal.y},
        nz{objectNormal.z, objectNormal.z};
    const DoubleLanes cx = nx * m[0][0] + ny * m[1][0] + nz * m[2][0];
    const DoubleLanes cy = nx * m[0][1] + ny * m[1][1] + nz * m[2][1];
    const DoubleLanes cz = nx * m[0][2] + ny * m[1][2] + nz * m[2][2];
    const DoubleLanes lengths = laneSqrt(cx * cx + cy * cy + cz * cz);
    const DoubleLanes inverse = DoubleLanes{1.0, 1.0} / lengths;
    out.cameraNormal =
        normalisableLength(lengths[0]) ? Vec3{cx[0] * inverse[0], cy[0] * inverse[0], cz[0] * inverse[0]} : Vec3{};
    out.worldNormal =
        normalisableLength(lengths[1]) ? Vec3{cx[1] * inverse[1], cy[1] * inverse[1], cz[1] * inverse[1]} : Vec3{};
#else
    out.cameraPosition = applyLayerTransform(pair.layerToCamera, objectPosition);
    out.worldPosition = applyLayerTransform(pair.layerToWorld, objectPosition);
    out.cameraNormal = carryNormal(pair.layerToCamera, objectNormal);
    out.worldNormal = carryNormal(pair.layerToWorld, objectNormal);
#endif
    out.u = u;
    out.v = v;
}

// Sets the vertex's camera and world normals from the sum of the face normals around it.
inline void setVertexNormals(SurfaceVertex& vertex, const Vec3& faceNormalSum, const LayerTransform& layerToCamera,
                             const LayerTransform& layerToWorld) {
    const Vec3 objectNormal = vertexNormalFromSum(faceNormalSum);
    vertex.cameraNormal = carryNormal(layerToCamera, objectNormal);
    vertex.worldNormal = carryNormal(layerToWorld, objectNormal);
}

// Area-weighted vertex normals from the object positions, then carried into camera and world space.
void computeNormals(SurfaceMesh& mesh, const LayerTransform& layerToCamera, const LayerTransform& layerToWorld);
// The same for the vertices from firstVertex on, summing the triangles from firstTriangle on; a
// triangle that reaches a vertex before firstVertex is ignored. For a mesh whose leading part already
// has its normals and shares no triangle with the rest.
void computeNormals(SurfaceMesh& mesh, const LayerTransform& layerToCamera, const LayerTransform& layerToWorld,
                    size_t firstVertex, size_t firstTriangle);

// A front-facing grid over width x height layer pixels, vertices row by row with u, v spanning 0..1.
void buildFlatGrid(SurfaceMesh& mesh, double width, double height, const MeshOrigin& origin,
                   const LayerTransform& layerToCamera, const LayerTransform& layerToWorld, bool interactive);

}  // namespace zephrin
