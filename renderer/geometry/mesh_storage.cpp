#include "renderer/geometry/mesh_storage.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

#include "renderer/geometry/fresh_memory.h"

namespace zephrin {
namespace {

// The store keeps at most this much memory between frames, and at most this many arrays of a kind:
// enough for the largest mesh one layer can have plus a few ordinary ones.
constexpr size_t kMaxSpareBytes = size_t{512} << 20;
constexpr size_t kMaxSpareArrays = 16;

struct SpareStore {
    std::mutex mutex;
    std::vector<MeshArray<SurfaceVertex>> vertices;
    std::vector<MeshArray<SurfaceTriangle>> triangles;
    size_t bytes = 0;
};

SpareStore& spareStore() {
    static SpareStore store;
    return store;
}

template <typename T>
size_t bytesOf(const MeshArray<T>& array) {
    return array.capacity() * sizeof(T);
}

// Moves `array` into `spares` when the store has room; otherwise leaves it with the caller to free.
template <typename T>
void keep(SpareStore& store, std::vector<MeshArray<T>>& spares, MeshArray<T>& array) {
    if (array.capacity() == 0 || spares.size() >= kMaxSpareArrays) return;
    if (store.bytes + bytesOf(array) > kMaxSpareBytes) return;
    array.clear();
    spares.push_back(std::move(array));
    store.bytes += bytesOf(spares.back());
    array = MeshArray<T>{};
}

// The smallest spare array that holds `count` elements without being more than twice that size.
template <typename T>
bool take(SpareStore& store, std::vector<MeshArray<T>>& spares, size_t count, MeshArray<T>& into) {
    auto best = spares.end();
    for (auto it = spares.begin(); it != spares.end(); ++it) {
        const size_t capacity = it->capacity();
        if (capacity < count || capacity > 2 * count) continue;
        if (best == spares.end() || capacity < best->capacity()) best = it;
    }
    if (best == spares.end()) return false;
    store.bytes -= bytesOf(*best);
    into.swap(*best);
    spares.erase(best);
    return true;
}

// Gives an empty array that is too small a fitting spare one's storage.
template <typename T>
void adoptSpare(SpareStore& store, std::vector<MeshArray<T>>& spares, size_t count, MeshArray<T>& array) {
    if (!array.empty() || array.capacity() >= count) return;
    MeshArray<T> spare;
    {
        std::lock_guard<std::mutex> lock(store.mutex);
        take(store, spares, count, spare);
    }
    if (spare.capacity() >= count) array.swap(spare);
}

// Reserves fresh memory when no spare array fitted, and has its pages faulted in on every worker at
// once rather than one by one as the mesh is written.
template <typename T>
void reserveFresh(MeshArray<T>& array, size_t count) {
    if (array.capacity() >= count) return;
    array.reserve(count);
    prefaultFreshMemory(array);
}

}  // namespace

void recycleMeshStorage(SurfaceMesh& mesh) noexcept {
    SurfaceMesh unwanted;
    {
        SpareStore& store = spareStore();
        std::lock_guard<std::mutex> lock(store.mutex);
        try {
            keep(store, store.vertices, mesh.vertices);
            keep(store, store.triangles, mesh.triangles);
        } catch (...) {
            // The store's own list could not grow: the arrays are simply freed.
        }
    }
    // Whatever the store did not take is freed here, outside the lock.
    unwanted.vertices.swap(mesh.vertices);
    unwanted.triangles.swap(mesh.triangles);
}

void reserveMeshStorage(SurfaceMesh& mesh, size_t vertices, size_t triangles) {
    SpareStore& store = spareStore();
    adoptSpare(store, store.vertices, vertices, mesh.vertices);
    adoptSpare(store, store.triangles, triangles, mesh.triangles);
    reserveFresh(mesh.vertices, vertices);
    reserveFresh(mesh.triangles, triangles);
}

void releaseRecycledMeshStorage() noexcept {
    std::vector<MeshArray<SurfaceVertex>> vertices;
    std::vector<MeshArray<SurfaceTriangle>> triangles;
    SpareStore& store = spareStore();
    std::lock_guard<std::mutex> lock(store.mutex);
    vertices.swap(store.vertices);
    triangles.swap(store.triangles);
    store.bytes = 0;
}

size_t recycledMeshStorageBytes() noexcept {
    SpareStore& store = spareStore();
    std::lock_guard<std::mutex> lock(store.mutex);
    return store.bytes;
}

}  // namespace zephrin
