// The colour of one surface point, and the pieces both shading passes share around it.
#include "renderer/frame/shading.h"
#include "renderer/frame/texture_sampling.h"

namespace zephrin {

namespace {

ShadingResult baseColourResult(const BaseColor& base) {
    ShadingResult result;
    result.red = base.red;
    result.green = base.green;
    result.blue = base.blue;
    result.alpha = base.alpha;
    return result;
}

}  // namespace

bool shadesUnlit(const ShadingPoint& point, const SceneSurface& surface, const std::vector<SceneLight>& lights) {
    bool sideWall = point.faceCode == kFaceSideFrontAlpha || point.faceCode == kFaceSideThickness;
    return sideWall || !surface.acceptsLights || lights.empty();
}

ShadingResult shadePoint(const ShadingPoint& point, const SceneSurface& surface, const ShadingFrame& frame) {
    const BaseColor base = unpackBaseColor(point.baseColor, surface.opacity);
    static const std::vector<SceneLight> kNoLights;
    const std::vector<SceneLight>& lights = frame.scene != nullptr ? frame.scene->lights : kNoLights;
    if (shadesUnlit(point, surface, lights)) return baseColourResult(base);
    // The lit model (ambient, diffuse and specular terms with shadow visibility) arrives with light
    // collection, its own later stage; until then no frame reaches here with a light to apply.
    return baseColourResult(base);
}

ShadingResult shadeFragment(const ShadingFrame& frame, const PreparedTriangle& triangle, const SceneSurface& surface,
                            const FragmentWeights& weights, int32_t faceCode, PackedColor color, size_t pixel) {
    FragmentPoint fragment = interpolateFragmentPoint(triangle, surface, weights);
    ShadingPoint point;
    point.worldPosition = fragment.worldPosition;
    point.cameraPosition = fragment.cameraPosition;
    point.worldNormal = fragment.worldNormal;
    point.cameraNormal = fragment.cameraNormal;
    point.faceCode = faceCode;
    point.baseColor = color;
    point.surfaceIndex = triangle.surfaceIndex;
    point.triangleIndex = triangle.triangleIndex;
    point.pixelIndex = static_cast<int32_t>(pixel);
    return shadePoint(point, surface, frame);
}

void writeShadedColour(FrameBuffers& buffers, size_t pixel, const ShadingResult& result) {
    double* out = &buffers.color[4 * pixel];
    out[0] = result.red;
    out[1] = result.green;
    out[2] = result.blue;
    out[3] = result.alpha;
}

}  // namespace zephrin
