#include "renderer/geometry/obj/obj_cache.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <system_error>

#include "renderer/geometry/obj/obj_paths.h"

namespace zephrin {

namespace {

struct ObjFileStamp {
    int64_t lastWriteTime = 0;  // file clock ticks
    uint64_t size = 0;
};

struct ObjCacheEntry {
    ObjFileStamp file;
    uint64_t useStamp = 0;  // from a counter that rises on every store and every hit
    std::shared_ptr<const ObjGeometry> geometry;
};

// One lock covers lookups, stores and eviction; parsing runs outside it, so two threads may parse
// the same file at once and the later store wins.
struct ObjCache {
    std::mutex mutex;
    std::map<std::wstring, ObjCacheEntry> entries;
    uint64_t counter = 0;
};

ObjCache& objCache() {
    static ObjCache cache;
    return cache;
}

bool queryFileStamp(const std::wstring& path, ObjFileStamp& stamp) {
    const std::filesystem::path file = filesystemPathFromWide(path);
    std::error_code error;
    const auto time = std::filesystem::last_write_time(file, error);
    if (error) return false;
    const auto size = std::filesystem::file_size(file, error);
    if (error) return false;
    stamp.lastWriteTime = static_cast<int64_t>(time.time_since_epoch().count());
    stamp.size = static_cast<uint64_t>(size);
    return true;
}

void evictLeastRecentlyUsed(ObjCache& cache) {
    while (cache.entries.size() > kObjCacheCapacity) {
        auto oldest = cache.entries.begin();
        for (auto it = cache.entries.begin(); it != cache.entries.end(); ++it) {
            if (it->second.useStamp < oldest->second.useStamp) oldest = it;
        }
        cache.entries.erase(oldest);
    }
}

}  // namespace

std::shared_ptr<const ObjGeometry> loadObjCached(const std::wstring& path, bool& hit) {
    hit = false;
    ObjFileStamp stamp;
    if (!queryFileStamp(path, stamp)) return nullptr;
    ObjCache& cache = objCache();
    {
        std::lock_guard<std::mutex> lock(cache.mutex);
        auto it = cache.entries.find(path);
        if (it != cache.entries.end() && it->second.geometry != nullptr &&
            it->second.file.lastWriteTime == stamp.lastWriteTime && it->second.file.size == stamp.size) {
            it->second.useStamp = ++cache.counter;
            hit = true;
            return it->second.geometry;
        }
    }
    std::shared_ptr<const ObjGeometry> geometry = parseObj(path);
    std::lock_guard<std::mutex> lock(cache.mutex);
    if (geometry == nullptr) {
        cache.entries.erase(path);
        return nullptr;
    }
    cache.entries[path] = ObjCacheEntry{stamp, ++cache.counter, geometry};
    evictLeastRecentlyUsed(cache);
    return geometry;
}

size_t objCacheSize() {
    ObjCache& cache = objCache();
    std::lock_guard<std::mutex> lock(cache.mutex);
    return cache.entries.size();
}

void clearObjCache() {
    ObjCache& cache = objCache();
    std::lock_guard<std::mutex> lock(cache.mutex);
    cache.entries.clear();
}

}  // namespace zephrin
