#include "renderer/geometry/back_texture_fit.h"

#include <algorithm>
#include <sstream>

#include "common/diagnostic_log.h"
#include "renderer/geometry/alpha_contour_walls.h"

namespace zephrin {

bool fitBackTexture(SurfaceTexture& texture) {
    if (!texture.hasPixels()) return false;
    int32_t left = texture.width, top = texture.height, right = -1, bottom = -1;
    for (int32_t y = 0; y < texture.height; ++y) {
        for (int32_t x = 0; x < texture.width; ++x) {
            if (!texelIsOpaque(texture, x, y)) continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    if (right < 0) return false;
    const double xDivisor = std::max(texture.width - 1, 1);
    const double yDivisor = std::max(texture.height - 1, 1);
    texture.uvRect = UvRect{left / xDivisor, top / yDivisor, right / xDivisor, bottom / yDivisor};
    if (renderLogEnabled()) {
        std::ostringstream line;
        line << "RendererV2BackFit: layerPlus content=[" << left << "," << top << "," << right << "," << bottom
             << "] texture=" << texture.width << "x" << texture.height;
        logRender(line.str());
    }
    return true;
}

}  // namespace zephrin
