#include "renderer/frame/depth_of_field.h"

namespace zephrin {

void applyDepthOfField(FrameBuffers& buffers, const SceneCamera& frameCamera) {
    bool sameShape = buffers.color.size() == 4 * buffers.depth.size();
    if (!frameCamera.dofEnabled || !sameShape || frameCamera.destWidth < 1.0 || frameCamera.destHeight < 1.0) {
        return;
    }
}

}  // namespace zephrin
