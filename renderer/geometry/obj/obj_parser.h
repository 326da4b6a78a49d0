// Wavefront OBJ models, the subset the renderer draws: positions, texture coordinates, normals and
// polygon faces. Everything else in a file (groups, objects, materials, smoothing) is ignored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/vec3.h"

namespace zephrin {

// Indices are 0-based; -1 means the file gave none (or gave 0).
struct ObjCorner {
    int32_t position = -1;
    int32_t texcoord = -1;
    int32_t normal = -1;
};

struct ObjTexcoord {
    double u = 0.0, v = 0.0;
};

using ObjPolygon = std::vector<ObjCorner>;

// One parsed file. Immutable once parsed: the cache and every mesh build share it.
struct ObjGeometry {
    std::vector<Vec3> positions;
    std::vector<ObjTexcoord> texcoords;
    std::vector<Vec3> normals;      // unit length
    std::vector<ObjPolygon> faces;  // each with at least 3 corners
};

// Lines are read in pieces of at most this many bytes, each piece taken as a line of its own (the
// reading buffer is 2048 bytes, one of them the terminator).
constexpr size_t kObjLinePieceBytes = 2047;

// Parses a file by its wide path; none when it cannot be read or holds no positions or no faces.
std::shared_ptr<const ObjGeometry> parseObj(const std::wstring& path);

// Parses the bytes of a file already in memory, by the same rules.
std::shared_ptr<const ObjGeometry> parseObjBytes(std::string_view bytes);

}  // namespace zephrin
