// The frame's camera: the host's active camera at the frame time, or a default one that shows the
// composition plane at 1:1 when the composition has none.
#pragma once

#include "common/matrix4.h"
#include "renderer/scene/frame_scene.h"
#include "sdk/AE_GeneralPlug.h"

namespace zephrin {

inline Matrix4 matrixFromHost(const A_Matrix4& host) {
    Matrix4 m;
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col) m.m[row][col] = host.mat[row][col];
    return m;
}

// The camera's own depth-of-field stream values; `read` says which ones the host delivered.
struct CameraLensReading {
    bool read[4] = {false, false, false, false};  // depth of field, focus distance, aperture, blur level
    double depthOfField = 0.0;
    double focusDistance = 0.0;
    double aperture = 0.0;
    double blurLevel = 0.0;
};

// Stores the lens values that were read and turns depth of field on only when every value arrived,
// finite, the switch is at least one half, and focus, aperture and blur are all positive.
void applyCameraLens(SceneCamera& camera, const CameraLensReading& lens);

// Focal length from the zoom stream: the zoom when above 1 pixel, else 1.
double focalFromZoom(double zoom);

// The camera the host would show without a camera layer: the eye sits in front of the composition's
// centre at the distance that shows the plane z = 0 at 1:1, looking along +z.
void setDefaultCamera(SceneCamera& camera);

// Fills the scene's camera; false when the composition, its size, the destination size or the frame
// time cannot be obtained, in which case the frame is not painted.
bool collectCamera(const PR_InData* inData, PR_RenderContextH renderContext, AEGP_WorldH destination,
                   FrameScene& scene);

}  // namespace zephrin
