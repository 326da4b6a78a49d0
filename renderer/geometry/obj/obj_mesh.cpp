#include "renderer/geometry/obj/obj_mesh.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <sstream>

#include "common/diagnostic_log.h"
#include "renderer/geometry/obj/obj_cache.h"

namespace zephrin {

namespace {

// A model flat in every direction still gets a scale; this keeps the division defined.
constexpr double kMinObjExtent = 1e-6;

const Vec3 kFacingCamera{0.0, 0.0, -1.0};

// Where the model's positions land in layer space: centred or not, scaled, and turned y-down.
struct ObjPlacement {
    Vec3 center;
    bool subtractCenter = true;
    double scale = 1.0;
    bool flipV = true;
};

ObjPlacement placeModel(const ObjGeometry& geometry, const BendControls& controls) {
    Vec3 lo = geometry.positions.front();
    Vec3 hi = lo;
    for (const Vec3& p : geometry.positions) {
        lo = Vec3{std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
        hi = Vec3{std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
    ObjPlacement placement;
    // Halved before adding so that coordinates near the double range do not overflow.
    placement.center = lo * 0.5 + hi * 0.5;
    const double extent = std::max({hi.x - lo.x, hi.y - lo.y, hi.z - lo.z, kMinObjExtent});
    placement.scale = controls.objScale * 0.01 * kObjModelSizePixels / extent;
    placement.subtractCenter = controls.objCenter;
    placement.flipV = controls.objFlipV;
    return placement;
}

Vec3 placePosition(const ObjPlacement& placement, Vec3 p) {
    if (placement.subtractCenter) p = p - placement.center;
    // The model's y axis points up; layer space points down.
    return Vec3{p.x * placement.scale, -p.y * placement.scale, p.z * placement.scale};
}

bool validIndex(int32_t index, size_t count) { return index >= 0 && static_cast<size_t>(index) < count; }

void setFileNormal(SurfaceVertex& vertex, const Vec3& n, const LayerTransform& layerToCamera,
                   const LayerTransform& layerToWorld) {
    const Vec3 layerNormal{n.x, -n.y, n.z};
    vertex.cameraNormal = normalizeOr(applyRotationScale(layerToCamera, layerNormal), kFacingCamera);
    vertex.worldNormal = normalizeOr(applyRotationScale(layerToWorld, layerNormal), kFacingCamera);
}

// Emits the polygons in file order until the budget is spent; false when a placed position is not
// finite (a model scaled beyond the double range), leaving what it appended for the caller to drop.
bool emitPolygons(const ObjGeometry& geometry, const ObjPlacement& placement, int32_t budget, SurfaceMesh& mesh,
                  const LayerTransform& layerToCamera, const LayerTransform& layerToWorld) {
    int32_t emitted = 0;
    for (const ObjPolygon& polygon : geometry.faces) {
        if (emitted >= budget) break;
        const auto first = static_cast<int32_t>(mesh.vertices.size());
        for (const ObjCorner& corner : polygon) {
            const Vec3 p = placePosition(placement, geometry.positions[static_cast<size_t>(corner.position)]);
            if (!isFinite(p)) return false;
            double u = 0.5, v = 0.5;
            if (validIndex(corner.texcoord, geometry.texcoords.size())) {
                const ObjTexcoord& t = geometry.texcoords[static_cast<size_t>(corner.texcoord)];
                u = t.u;
                v = placement.flipV ? 1.0 - t.v : t.v;
            }
            addVertex(mesh, p, u, v, layerToCamera, layerToWorld);
            if (validIndex(corner.normal, geometry.normals.size())) {
                setFileNormal(mesh.vertices.back(), geometry.normals[static_cast<size_t>(corner.normal)], layerToCamera,
                              layerToWorld);
            }
        }
        const auto corners = static_cast<int32_t>(polygon.size());
        for (int32_t k = 1; k + 1 < corners && emitted < budget; ++k, ++emitted) {
            mesh.triangles.push_back(SurfaceTriangle{first, first + k, first + k + 1, kFaceObj, 0});
        }
    }
    return true;
}

size_t cornersWithinBudget(const ObjGeometry& geometry, int32_t budget) {
    size_t corners = 0;
    int64_t triangles = 0;
    for (const ObjPolygon& polygon : geometry.faces) {
        if (triangles >= budget) break;
        corners += polygon.size();
        triangles += static_cast<int64_t>(polygon.size()) - 2;
    }
    return corners;
}

}  // namespace

bool buildObjMesh(const std::wstring& path, const BendControls& controls, SurfaceMesh& mesh,
                  const LayerTransform& layerToCamera, const LayerTransform& layerToWorld, bool interactive) {
    bool hit = false;
    const std::shared_ptr<const ObjGeometry> geometry = loadObjCached(path, hit);
    if (geometry == nullptr) return false;

    const int32_t budget = interactive ? kObjTriangleBudgetInteractive : kObjTriangleBudget;
    const ObjPlacement placement = placeModel(*geometry, controls);
    const size_t firstVertex = mesh.vertices.size();
    const size_t firstTriangle = mesh.triangles.size();
    mesh.vertices.reserve(firstVertex + cornersWithinBudget(*geometry, budget));
    if (!emitPolygons(*geometry, placement, budget, mesh, layerToCamera, layerToWorld)) {
        mesh.vertices.resize(firstVertex);
        mesh.triangles.resize(firstTriangle);
        return false;
    }
    // Without file normals the model would face the camera everywhere; smoothing replaces them too.
    if (geometry->normals.empty() || controls.objSmoothNormals) computeNormals(mesh, layerToCamera, layerToWorld);

    std::ostringstream line;
    line << "RendererV2Obj: loaded verts=" << mesh.vertices.size() - firstVertex
         << " tris=" << mesh.triangles.size() - firstTriangle << " budget=" << budget
         << " cache=" << (hit ? "hit" : "miss") << " cacheSize=" << objCacheSize() << " cacheMax=" << kObjCacheCapacity
         << " sourceVerts=" << geometry->positions.size() << " sourceFaces=" << geometry->faces.size();
    logRender(line.str());
    return true;
}

}  // namespace zephrin
