#include "renderer/geometry/mesh_building.h"

#include <cstddef>

namespace zephrin {

namespace {

// Object-space face normals whose sum is this short have no usable direction.
constexpr double kDegenerateNormalLength = 1e-9;

const Vec3 kFacingCamera{0.0, 0.0, -1.0};

bool validIndex(const SurfaceMesh& mesh, int32_t index) {
    return index >= 0 && static_cast<size_t>(index) < mesh.vertices.size();
}

}  // namespace

LayerTransform layerTransformFromMatrix(const Matrix4& m) {
    LayerTransform t;
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col) t.rotationScale[row][col] = m.m[row][col];
    t.translation = Vec3{m.m[3][0], m.m[3][1], m.m[3][2]};
    return t;
}

void addVertex(SurfaceMesh& mesh, const Vec3& objectPosition, double u, double v, const LayerTransform& layerToCamera,
               const LayerTransform& layerToWorld) {
    SurfaceVertex vertex;
    vertex.objectPosition = objectPosition;
    vertex.cameraPosition = applyLayerTransform(layerToCamera, objectPosition);
    vertex.worldPosition = applyLayerTransform(layerToWorld, objectPosition);
    vertex.cameraNormal = kFacingCamera;
    vertex.worldNormal = kFacingCamera;
    vertex.u = u;
    vertex.v = v;
    mesh.vertices.push_back(vertex);
}

void addQuad(SurfaceMesh& mesh, int32_t a, int32_t b, int32_t c, int32_t d, int32_t faceCode, uint8_t fineFlag) {
    mesh.triangles.push_back(SurfaceTriangle{a, b, c, faceCode, fineFlag});
    mesh.triangles.push_back(SurfaceTriangle{c, b, d, faceCode, fineFlag});
}

void computeNormals(SurfaceMesh& mesh, const LayerTransform& layerToCamera, const LayerTransform& layerToWorld) {
    // The world normal holds each vertex's running sum until the last triangle is in: a mesh at the
    // full caps has millions of vertices, and a separate array of sums would be as large again.
    const Vec3 zero{};
    for (SurfaceVertex& vertex : mesh.vertices) vertex.worldNormal = zero;
    for (const SurfaceTriangle& tri : mesh.triangles) {
        if (!validIndex(mesh, tri.a) || !validIndex(mesh, tri.b) || !validIndex(mesh, tri.c)) continue;
        SurfaceVertex& va = mesh.vertices[static_cast<size_t>(tri.a)];
        SurfaceVertex& vb = mesh.vertices[static_cast<size_t>(tri.b)];
        SurfaceVertex& vc = mesh.vertices[static_cast<size_t>(tri.c)];
        // Left unnormalised so that larger triangles weigh more.
        const Vec3 faceNormal = cross(vb.objectPosition - va.objectPosition, vc.objectPosition - va.objectPosition);
        va.worldNormal += faceNormal;
        vb.worldNormal += faceNormal;
        vc.worldNormal += faceNormal;
    }
    for (SurfaceVertex& vertex : mesh.vertices) {
        const Vec3 sum = vertex.worldNormal;
        const double len = length(sum);
        const Vec3 objectNormal =
            (len > kDegenerateNormalLength && std::isfinite(len)) ? sum * (1.0 / len) : kFacingCamera;
        vertex.cameraNormal = normalizeOr(applyRotationScale(layerToCamera, objectNormal), zero);
        vertex.worldNormal = normalizeOr(applyRotationScale(layerToWorld, objectNormal), zero);
    }
}

void buildFlatGrid(SurfaceMesh& mesh, double width, double height, const MeshOrigin& origin,
                   const LayerTransform& layerToCamera, const LayerTransform& layerToWorld, bool interactive) {
    const int32_t columns = interactive ? kFlatGridColumnsInteractive : kFlatGridColumns;
    const int32_t rows = interactive ? kFlatGridRowsInteractive : kFlatGridRows;
    const int32_t base = static_cast<int32_t>(mesh.vertices.size());
    mesh.vertices.reserve(mesh.vertices.size() + static_cast<size_t>((columns + 1) * (rows + 1)));
    for (int32_t i = 0; i <= rows; ++i) {
        const double v = static_cast<double>(i) / rows;
        for (int32_t j = 0; j <= columns; ++j) {
            const double u = static_cast<double>(j) / columns;
            addVertex(mesh, Vec3{origin.x + width * u, origin.y + height * v, 0.0}, u, v, layerToCamera, layerToWorld);
        }
    }
    const int32_t stride = columns + 1;
    for (int32_t i = 0; i < rows; ++i) {
        for (int32_t j = 0; j < columns; ++j) {
            const int32_t topLeft = base + i * stride + j;
            addQuad(mesh, topLeft, topLeft + 1, topLeft + stride, topLeft + stride + 1, kFaceFront, 0);
        }
    }
    computeNormals(mesh, layerToCamera, layerToWorld);
}

}  // namespace zephrin
