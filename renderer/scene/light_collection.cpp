#include "renderer/scene/light_collection.h"

namespace zephrin {

// Host light layers are not converted yet: every frame is lit by the lighting model's own
// no-light rule.
bool collectLights(const PR_InData* /*inData*/, PR_RenderContextH /*renderContext*/, const Matrix4& /*view*/,
                   std::vector<SceneLight>& /*lights*/) {
    return true;
}

}  // namespace zephrin
