#include "renderer/scene/frame_scene.h"

#include <algorithm>

namespace zephrin {

void resetScene(FrameScene& scene) {
    scene.lights.clear();
    scene.surfaces.clear();
    scene.camera = SceneCamera{};
    scene.settings = RenderSettings{};
}

void applyShadowQualityCap(FrameScene& scene) {
    for (SceneSurface& surface : scene.surfaces) {
        int32_t& quality = surface.controls.shadowQuality;
        if (scene.settings.interactive || quality < 1) {
            quality = 1;
        } else {
            quality = std::min(quality, 4);
        }
    }
}

}  // namespace zephrin
