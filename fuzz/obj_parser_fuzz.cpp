// libFuzzer target for the OBJ parser: any bytes must parse to nothing or to a model whose corners
// all name positions that exist.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "renderer/geometry/obj/obj_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto geometry = zephrin::parseObjBytes(std::string_view(reinterpret_cast<const char*>(data), size));
    if (geometry == nullptr) return 0;
    if (geometry->positions.empty() || geometry->faces.empty()) std::abort();
    for (const zephrin::ObjPolygon& polygon : geometry->faces) {
        if (polygon.size() < 3) std::abort();
        for (const zephrin::ObjCorner& corner : polygon) {
            if (corner.position < 0 || static_cast<size_t>(corner.position) >= geometry->positions.size()) std::abort();
        }
    }
    for (const zephrin::Vec3& p : geometry->positions) {
        if (!zephrin::isFinite(p)) std::abort();
    }
    return 0;
}
