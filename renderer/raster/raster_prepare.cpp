// Raster preparation: near-plane clipping, projection into raster pixels and triangle set-up, done
// once per frame and shared by the CPU band raster, the GPU raster and deferred shading.
#include "renderer/raster/raster_prepare.h"

#include <algorithm>
#include <cmath>

#include "renderer/raster/raster_fragment.h"

namespace zephrin {

namespace {

Vec3 lerp(const Vec3& a, const Vec3& b, double t) { return a + (b - a) * t; }

// The point where edge a -> b crosses the near plane, every attribute carried along.
SurfaceVertex nearPlaneCrossing(const SurfaceVertex& a, const SurfaceVertex& b) {
    double za = a.cameraPosition.z;
    double zb = b.cameraPosition.z;
    // A NaN depth on the edge yields a NaN parameter; 0 keeps the result at a known corner.
    double t = std::clamp((kNearPlaneZ - za) / (zb - za), 0.0, 1.0);
    if (std::isnan(t)) t = 0.0;

    SurfaceVertex out;
    out.objectPosition = lerp(a.objectPosition, b.objectPosition, t);
    out.cameraPosition = lerp(a.cameraPosition, b.cameraPosition, t);
    out.worldPosition = lerp(a.worldPosition, b.worldPosition, t);
    out.cameraNormal = normalizeOr(lerp(a.cameraNormal, b.cameraNormal, t), a.cameraNormal);
    out.worldNormal = normalizeOr(lerp(a.worldNormal, b.worldNormal, t), a.worldNormal);
    out.u = a.u + (b.u - a.u) * t;
    out.v = a.v + (b.v - a.v) * t;
    // Exactly on the plane, so the crossing always projects despite rounding in the interpolation.
    out.cameraPosition.z = kNearPlaneZ;
    return out;
}

bool insideNearPlane(const SurfaceVertex& v) { return v.cameraPosition.z >= kNearPlaneZ; }

void emit(ClippedPolygon& polygon, const SurfaceVertex& v) {
    if (polygon.count < 4) polygon.corners[polygon.count++] = v;
}

int32_t clampedPixel(double x, int32_t size) {
    return static_cast<int32_t>(std::clamp(x, 0.0, static_cast<double>(size - 1)));
}

bool validIndex(int32_t index, size_t count) { return index >= 0 && static_cast<size_t>(index) < count; }

// Bent surfaces hide what the viewer cannot see: walls of a zero-thickness slab, and, inside the
// vertex range the mesh builder marks, faces turned away from the camera.
bool culledOnBentSurface(const SceneSurface& surface, int32_t faceCode, bool frontFacing) {
    if (surface.kind != kSurfaceBent) return false;
    if (faceCode == kFaceSideFrontAlpha && surface.controls.thickness <= 0.0) return true;
    int64_t begin = surface.cullRangeBegin;
    int64_t end = surface.cullRangeEnd;
    bool cullRange = begin > 0 && end >= begin && begin + end <= static_cast<int64_t>(surface.mesh.vertices.size());
    return cullRange && !frontFacing && (faceCode == kFaceFront || faceCode == kFaceBack);
}

}  // namespace

std::optional<ProjectedVertex> projectVertex(const SceneCamera& camera, const SurfaceVertex& vertex) {
    ProjectedPoint point;
    if (!projectToDestination(camera, vertex.cameraPosition, point)) return std::nullopt;
    return ProjectedVertex{vertex, point.x, point.y, point.inverseZ};
}

// Sutherland-Hodgman against the single plane z = 0.5.
ClippedPolygon clipToNearPlane(const SurfaceVertex& a, const SurfaceVertex& b, const SurfaceVertex& c) {
    const SurfaceVertex* corners[3] = {&a, &b, &c};
    ClippedPolygon polygon;
    for (int i = 0; i < 3; ++i) {
        const SurfaceVertex& current = *corners[i];
        const SurfaceVertex& next = *corners[(i + 1) % 3];
        bool currentInside = insideNearPlane(current);
        bool nextInside = insideNearPlane(next);
        if (currentInside && nextInside) {
            emit(polygon, next);
        } else if (currentInside) {
            emit(polygon, nearPlaneCrossing(current, next));
        } else if (nextInside) {
            emit(polygon, nearPlaneCrossing(current, next));
            emit(polygon, next);
        }
    }
    if (polygon.count < 3) polygon.count = 0;
    return polygon;
}

bool surfaceUsesSevenSamples(const SceneSurface& surface) {
    return std::any_of(surface.mesh.triangles.begin(), surface.mesh.triangles.end(),
                       [](const SurfaceTriangle& t) { return t.fineCoverage != 0; });
}

void prepareTriangle(const SceneCamera& camera, const SceneSurface& surface, int32_t surfaceIndex,
                     int32_t triangleIndex, bool sevenSample, int32_t rasterWidth, int32_t rasterHeight,
                     std::vector<PreparedTriangle>& out) {
    const SurfaceMesh& mesh = surface.mesh;
    const SurfaceTriangle& triangle = mesh.triangles[static_cast<size_t>(triangleIndex)];
    size_t vertexCount = mesh.vertices.size();
    // A mesh index past the vertex array would read foreign memory; such a triangle is not drawn.
    if (!validIndex(triangle.a, vertexCount) || !validIndex(triangle.b, vertexCount) ||
        !validIndex(triangle.c, vertexCount)) {
        return;
    }
    ClippedPolygon polygon = clipToNearPlane(mesh.vertices[static_cast<size_t>(triangle.a)],
                                             mesh.vertices[static_cast<size_t>(triangle.b)],
                                             mesh.vertices[static_cast<size_t>(triangle.c)]);
    for (int32_t k = 2; k < polygon.count; ++k) {
        std::optional<ProjectedVertex> p0 = projectVertex(camera, polygon.corners[0]);
        std::optional<ProjectedVertex> p1 = projectVertex(camera, polygon.corners[k - 1]);
        std::optional<ProjectedVertex> p2 = projectVertex(camera, polygon.corners[k]);
        if (!p0 || !p1 || !p2) continue;

        PreparedTriangle prepared;
        prepared.vertices[0] = *p0;
        prepared.vertices[1] = *p1;
        prepared.vertices[2] = *p2;
        const ProjectedVertex& v0 = prepared.vertices[0];
        const ProjectedVertex& v1 = prepared.vertices[1];
        const ProjectedVertex& v2 = prepared.vertices[2];
        prepared.area = (v1.screenY - v0.screenY) * (v2.screenX - v0.screenX) -
                        (v2.screenY - v0.screenY) * (v1.screenX - v0.screenX);
        // Non-finite screen positions (from non-finite x or y) give a non-finite area: dropped too.
        if (!std::isfinite(prepared.area) || std::fabs(prepared.area) < kMinScreenArea) continue;

        const Vec3& a = v0.vertex.cameraPosition;
        const Vec3& b = v1.vertex.cameraPosition;
        const Vec3& c = v2.vertex.cameraPosition;
        prepared.faceNormal = normalizeOr(cross(b - a, c - a), Vec3{0.0, 0.0, -1.0});
        Vec3 towardViewer = -normalizeOr((a + b + c) * (1.0 / 3.0), Vec3{0.0, 0.0, 1.0});
        prepared.frontFacing = dot(prepared.faceNormal, towardViewer) >= -kFrontFacingEpsilon;

        if (culledOnBentSurface(surface, triangle.faceCode, prepared.frontFacing)) continue;

        prepared.sevenSampleCoverage = sevenSample;
        prepared.surfaceIndex = surfaceIndex;
        prepared.triangleIndex = triangleIndex;
        prepared.clipTriangle = k - 2;
        double minX = std::min({v0.screenX, v1.screenX, v2.screenX});
        double maxX = std::max({v0.screenX, v1.screenX, v2.screenX});
        double minY = std::min({v0.screenY, v1.screenY, v2.screenY});
        double maxY = std::max({v0.screenY, v1.screenY, v2.screenY});
        prepared.minX = clampedPixel(std::floor(minX), rasterWidth);
        prepared.maxX = clampedPixel(std::ceil(maxX), rasterWidth);
        prepared.minY = clampedPixel(std::floor(minY), rasterHeight);
        prepared.maxY = clampedPixel(std::ceil(maxY), rasterHeight);
        if (prepared.minX > prepared.maxX || prepared.minY > prepared.maxY) continue;
        setUpCoverage(prepared);
        out.push_back(prepared);
    }
}

std::vector<PreparedTriangle> prepareRaster(const SceneCamera& camera, const std::vector<SceneSurface>& surfaces,
                                            int32_t rasterWidth, int32_t rasterHeight) {
    size_t triangleCount = 0;
    for (const SceneSurface& surface : surfaces) {
        if (surface.renders) triangleCount += surface.mesh.triangles.size();
    }
    std::vector<PreparedTriangle> prepared;
    prepared.reserve(triangleCount);
    forEachPreparedTriangle(camera, surfaces, rasterWidth, rasterHeight,
                            [&](const PreparedTriangle& triangle, int32_t) { prepared.push_back(triangle); });
    return prepared;
}

}  // namespace zephrin
