// The process-wide cache of parsed OBJ files: a model is read once and shared by every frame and
// every render thread until its file changes.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "renderer/geometry/obj/obj_parser.h"

namespace zephrin {

// Files beyond this many evict the least recently used one.
constexpr size_t kObjCacheCapacity = 8;

// The file's geometry, from the cache when the file's modification time and size still match what
// was parsed (`hit` tells which), else parsed afresh. None when the file cannot be found or parsed.
std::shared_ptr<const ObjGeometry> loadObjCached(const std::wstring& path, bool& hit);

size_t objCacheSize();

// Forgets every entry; geometry already handed out lives on with its users.
void clearObjCache();

}  // namespace zephrin
