#include "renderer/frame/shadow_map.h"

namespace zephrin {

ShadowMap buildShadowMap(const ShadowBvh& /*bvh*/, const SceneLight& /*light*/, int32_t /*quality*/,
                         int32_t /*sizeDivisor*/) {
    return ShadowMap{};
}

}  // namespace zephrin
