#include "renderer/frame/shadow_bvh.h"

namespace zephrin {

ShadowBvh buildShadowBvh(const std::vector<SceneSurface>& surfaces, const std::vector<SceneLight>& /*lights*/) {
    ShadowBvh bvh;
    bvh.surfaces = &surfaces;
    return bvh;
}

}  // namespace zephrin
