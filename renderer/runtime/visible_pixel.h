// Per-pixel deferred-shading record, shared by the CPU raster and the GPU passes (hence floats).
#pragma once

namespace zephrin {

struct VisiblePixel {
    float worldPosition[3] = {0.0f, 0.0f, 0.0f};
    float worldNormal[3] = {0.0f, 0.0f, -1.0f};  // oriented toward the viewer's side of the face
    float baseColor[3] = {0.0f, 0.0f, 0.0f};
    float alpha = 0.0f;
};

static_assert(sizeof(VisiblePixel) == 10 * sizeof(float), "VisiblePixel is 10 packed floats");

}  // namespace zephrin
