#include "renderer/geometry/mesh_building.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "renderer/texture/clamps.h"

namespace zephrin {

PlacedLayer placedLayer(const MeshPlacement& placement) {
    PlacedLayer layer;
    layer.width = std::isfinite(placement.width) ? std::max(placement.width, 1.0) : 1.0;
    layer.height = std::isfinite(placement.height) ? std::max(placement.height, 1.0) : 1.0;
    layer.originX = finiteOr(placement.origin.x, 0.0);
    layer.originY = finiteOr(placement.origin.y, 0.0);
    return layer;
}

LayerTransform layerTransformFromMatrix(const Matrix4& m) {
    LayerTransform t;
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col) t.rotationScale[row][col] = m.m[row][col];
    t.translation = Vec3{m.m[3][0], m.m[3][1], m.m[3][2]};
    return t;
}

PlacementPair placementPair(const LayerTransform& layerToCamera, const LayerTransform& layerToWorld) {
    PlacementPair pair;
    pair.layerToCamera = layerToCamera;
    pair.layerToWorld = layerToWorld;
#if ZEPHRIN_SSE2_LANES
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            pair.rotationScale[row][col] =
                DoubleLanes{layerToCamera.rotationScale[row][col], layerToWorld.rotationScale[row][col]};
        }
    }
    pair.translation[0] = DoubleLanes{layerToCamera.translation.x, layerToWorld.translation.x};
    pair.translation[1] = DoubleLanes{layerToCamera.translation.y, layerToWorld.translation.y};
    pair.translation[2] = DoubleLanes{layerToCamera.translation.z, layerToWorld.translation.z};
#endif
    return pair;
}

void addVertex(SurfaceMesh& mesh, const Vec3& objectPosition, double u, double v, const LayerTransform& layerToCamera,
               const LayerTransform& layerToWorld) {
    mesh.vertices.push_back(
        placedVertex(objectPosition, u, v, layerToCamera, layerToWorld, kCameraFacingNormal, kCameraFacingNormal));
}

void computeNormals(SurfaceMesh& mesh, const LayerTransform& layerToCamera, const LayerTransform& layerToWorld) {
    computeNormals(mesh, layerToCamera, layerToWorld, 0, 0);
}

void computeNormals(SurfaceMesh& mesh, const LayerTransform& layerToCamera, const LayerTransform& layerToWorld,
                    size_t firstVertex, size_t firstTriangle) {
    // The world normal holds each vertex's running sum until the last triangle is in: a mesh at the
    // full caps has millions of vertices, and a separate array of sums would be as large again.
    const size_t end = mesh.vertices.size();
    const auto inRange = [&](int32_t index) {
        return index >= 0 && static_cast<size_t>(index) >= firstVertex && static_cast<size_t>(index) < end;
    };
    for (size_t n = firstVertex; n < end; ++n) mesh.vertices[n].worldNormal = Vec3{};
    for (size_t t = firstTriangle; t < mesh.triangles.size(); ++t) {
        const SurfaceTriangle& tri = mesh.triangles[t];
        if (!inRange(tri.a) || !inRange(tri.b) || !inRange(tri.c)) continue;
        SurfaceVertex& va = mesh.vertices[static_cast<size_t>(tri.a)];
        SurfaceVertex& vb = mesh.vertices[static_cast<size_t>(tri.b)];
        SurfaceVertex& vc = mesh.vertices[static_cast<size_t>(tri.c)];
        // Left unnormalised so that larger triangles weigh more.
        const Vec3 faceNormal = triangleNormal(va.objectPosition, vb.objectPosition, vc.objectPosition);
        va.worldNormal += faceNormal;
        vb.worldNormal += faceNormal;
        vc.worldNormal += faceNormal;
    }
    for (size_t n = firstVertex; n < end; ++n) {
        SurfaceVertex& vertex = mesh.vertices[n];
        setVertexNormals(vertex, vertex.worldNormal, layerToCamera, layerToWorld);
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
