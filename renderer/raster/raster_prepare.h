// Raster preparation: every mesh triangle clipped at the near plane, projected into raster pixels and
// set up for coverage, once per frame before any pixel is touched.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "renderer/scene/frame_scene.h"

namespace zephrin {

// Every attribute of a mesh vertex plus its raster position and 1/z.
struct ProjectedVertex {
    SurfaceVertex vertex;
    double screenX = 0.0, screenY = 0.0;
    double inverseZ = 0.0;
};

// Coverage set-up of a triangle, done once in preparation so that the pixel loops compare edge
// functions with a threshold instead of dividing each one by the area (see setUpCoverage).
struct CoverageSetup {
    double orientation = 1.0;  // sign of the area term
    double insideFrom = 0.0;   // an oriented edge function at or above this puts the sample inside
    bool exact = false;        // false when no such threshold was found: the pixel loops divide instead
    // Each corner's inverse depth divided by the area term: an edge function times this is that
    // corner's perspective weight before normalisation, with no division per fragment.
    double inverseZOverArea[3] = {0.0, 0.0, 0.0};
};

struct PreparedTriangle {
    ProjectedVertex vertices[3];
    double area = 0.0;  // (y1 - y0)(x2 - x0) - (y2 - y0)(x1 - x0)
    Vec3 faceNormal{0.0, 0.0, -1.0};
    bool frontFacing = true;
    bool sevenSampleCoverage = false;
    int32_t surfaceIndex = 0;
    int32_t triangleIndex = 0;
    int32_t clipTriangle = 0;  // position in the near-plane fan (0 or 1)
    int32_t minX = 0, maxX = 0, minY = 0, maxY = 0;  // inclusive, clamped to the raster
    CoverageSetup coverage;
};

// Up to four clipped corners.
struct ClippedPolygon {
    SurfaceVertex corners[4];
    int32_t count = 0;
};

// Triangles whose screen area term is below this cover no sample reliably; they are dropped.
constexpr double kMinScreenArea = 1e-6;
// Slack of the front-facing test, so that edge-on triangles count as front facing.
constexpr double kFrontFacingEpsilon = 1e-6;

// The raster camera: the scene camera with destWidth/destHeight replaced by the raster size.
std::optional<ProjectedVertex> projectVertex(const SceneCamera& camera, const SurfaceVertex& vertex);
ClippedPolygon clipToNearPlane(const SurfaceVertex& a, const SurfaceVertex& b, const SurfaceVertex& c);

// Some triangle of the surface asks for the seven-sample pattern; the whole surface then uses it, so
// that the same-surface mask union never mixes the two patterns.
bool surfaceUsesSevenSamples(const SceneSurface& surface);

// Clips, projects and sets up one mesh triangle, appending its surviving fan parts (none, one or two)
// to `out` with the bent-surface culls applied. The camera projects into raster pixels.
void prepareTriangle(const SceneCamera& camera, const SceneSurface& surface, int32_t surfaceIndex,
                     int32_t triangleIndex, bool sevenSample, int32_t rasterWidth, int32_t rasterHeight,
                     std::vector<PreparedTriangle>& out);

// Calls visit(prepared triangle, prepared index) for every prepared triangle of the rendered surfaces,
// in the order and with the indices prepareRaster gives them. The per-row raster walks the scene this
// way instead of keeping the whole prepared vector.
template <typename Visit>
void forEachPreparedTriangle(const SceneCamera& camera, const std::vector<SceneSurface>& surfaces,
                             int32_t rasterWidth, int32_t rasterHeight, Visit&& visit) {
    std::vector<PreparedTriangle> parts;
    int32_t preparedIndex = 0;
    for (size_t s = 0; s < surfaces.size(); ++s) {
        const SceneSurface& surface = surfaces[s];
        if (!surface.renders) continue;
        bool sevenSample = surfaceUsesSevenSamples(surface);
        for (size_t t = 0; t < surface.mesh.triangles.size(); ++t) {
            parts.clear();
            prepareTriangle(camera, surface, static_cast<int32_t>(s), static_cast<int32_t>(t), sevenSample,
                            rasterWidth, rasterHeight, parts);
            for (const PreparedTriangle& part : parts) visit(part, preparedIndex++);
        }
    }
}

std::vector<PreparedTriangle> prepareRaster(const SceneCamera& camera, const std::vector<SceneSurface>& surfaces,
                                            int32_t rasterWidth, int32_t rasterHeight);

}  // namespace zephrin
