// The colour of one surface point under the frame's lights and shadows, and the pieces both shading
// passes share around it, so that the same winning fragment gets the same colour on either path.
#pragma once

#include <cstdint>
#include <vector>

#include "renderer/raster/raster_fragment.h"
#include "renderer/raster/raster_prepare.h"
#include "renderer/runtime/frame_buffers.h"
#include "renderer/scene/frame_scene.h"
#include "renderer/shading/shading_frame.h"

namespace zephrin {

struct ShadowRayMemo;        // renderer/shadows/shadow_rays.h
struct ShadingTerms;         // renderer/shading/shading_terms.h
struct SurfaceShadingTerms;  // renderer/shading/shading_terms.h

struct ShadowSlope {
    double red = 0.0, green = 0.0, blue = 0.0;
};

struct ShadingPoint {
    Vec3 worldPosition;
    Vec3 cameraPosition;
    Vec3 worldNormal;
    Vec3 cameraNormal;
    int32_t faceCode = kFaceFront;
    PackedColor baseColor = 0;
    int32_t surfaceIndex = -1;
    int32_t triangleIndex = -1;
    int32_t pixelIndex = -1;
    ShadowRayMemo* shadowMemos = nullptr;  // one per light, owned by the calling thread; or null
};

struct ShadingResult {
    double red = 0.0, green = 0.0, blue = 0.0, alpha = 0.0;
    double minimumVisibility = 1.0;
    double blockerHint = 0.0;
    ShadowSlope slope;
    bool lightTested = false;
};

ShadingResult shadePoint(const ShadingPoint& point, const SceneSurface& surface, const ShadingFrame& frame);

// shadePoint with the frame's terms already worked out (frame.scene set, `terms` built from it and
// `surfaceTerms` those of `surface`), for a pass that shades many points. Without `withSlope` the
// result's slope is left at zero, for frames that keep no shadow-post buffers.
ShadingResult shadePointWithTerms(const ShadingPoint& point, const SceneSurface& surface,
                                  const SurfaceShadingTerms& surfaceTerms, const ShadingTerms& terms,
                                  const ShadingFrame& frame, bool withSlope);

// shadePointWithTerms for a point the caller has already found to take lights (shadesUnlit false).
ShadingResult shadeLitPointWithTerms(const ShadingPoint& point, const SceneSurface& surface,
                                     const SurfaceShadingTerms& surfaceTerms, const ShadingTerms& terms,
                                     const ShadingFrame& frame, bool withSlope);

// What shadePoint gives an unlit point: its base colour with the surface opacity.
ShadingResult unlitShading(PackedColor baseColor, const SceneSurface& surface);

// Side walls, surfaces that do not accept lights and frames without lights show their base colour.
// Inline: the deferred pass asks it of every pixel.
inline bool shadesUnlit(int32_t faceCode, const SceneSurface& surface, const std::vector<SceneLight>& lights) {
    const bool sideWall = faceCode == kFaceSideFrontAlpha || faceCode == kFaceSideThickness;
    return sideWall || !surface.acceptsLights || lights.empty();
}
inline bool shadesUnlit(const ShadingPoint& point, const SceneSurface& surface, const std::vector<SceneLight>& lights) {
    return shadesUnlit(point.faceCode, surface, lights);
}

// Shared by the deferred and the per-triangle passes, so that one winning fragment gets one colour:
// the point shadePoint takes for a fragment (interpolated, oriented positions and normals), and its
// shading.
ShadingPoint fragmentShadingPoint(const PreparedTriangle& triangle, const SceneSurface& surface,
                                  const FragmentWeights& weights, int32_t faceCode, PackedColor color, size_t pixel,
                                  ShadowRayMemo* shadowMemos = nullptr);
// fragmentShadingPoint written into a point the caller keeps, for a pass that queues points.
void fillFragmentShadingPoint(ShadingPoint& point, const PreparedTriangle& triangle, const SceneSurface& surface,
                              const FragmentWeights& weights, int32_t faceCode, PackedColor color, size_t pixel,
                              ShadowRayMemo* shadowMemos);
ShadingResult shadeFragment(const ShadingFrame& frame, const PreparedTriangle& triangle, const SceneSurface& surface,
                            const FragmentWeights& weights, int32_t faceCode, PackedColor color, size_t pixel,
                            ShadowRayMemo* shadowMemos = nullptr);
// Inline: the deferred pass writes every pixel through it.
inline void writeShadedColour(FrameBuffers& buffers, size_t pixel, const ShadingResult& result) {
    double* out = &buffers.color[4 * pixel];
    out[0] = result.red;
    out[1] = result.green;
    out[2] = result.blue;
    out[3] = result.alpha;
}

}  // namespace zephrin
