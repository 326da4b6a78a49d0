#include "renderer/runtime/scratch_arrays.h"

#include <mutex>

namespace zephrin {
namespace {

// A frame's passes hold at most a handful of scratch arrays at once.
constexpr size_t kMaxKeptArrays = 6;

template <typename T>
struct ScratchStore {
    std::mutex mutex;
    std::vector<std::vector<T>> kept;
};

template <typename T>
ScratchStore<T>& scratchStore() {
    static ScratchStore<T> store;
    return store;
}

}  // namespace

template <typename T>
std::vector<T> takeScratchArray(size_t count, const T& value) {
    std::vector<T> array;
    {
        ScratchStore<T>& store = scratchStore<T>();
        std::lock_guard<std::mutex> lock(store.mutex);
        // The smallest kept array that holds `count` without being more than twice that size.
        auto best = store.kept.end();
        for (auto it = store.kept.begin(); it != store.kept.end(); ++it) {
            if (it->capacity() < count || it->capacity() > 2 * count) continue;
            if (best == store.kept.end() || it->capacity() < best->capacity()) best = it;
        }
        if (best != store.kept.end()) {
            array.swap(*best);
            store.kept.erase(best);
        }
    }
    array.assign(count, value);
    return array;
}

template <typename T>
void returnScratchArray(std::vector<T>& array) noexcept {
    std::vector<T> unwanted;
    unwanted.swap(array);
    if (unwanted.capacity() == 0) return;
    ScratchStore<T>& store = scratchStore<T>();
    std::lock_guard<std::mutex> lock(store.mutex);
    if (store.kept.size() >= kMaxKeptArrays) return;
    try {
        store.kept.push_back(std::move(unwanted));
    } catch (...) {
        // The store's list could not grow: the array is simply freed.
    }
}

void releaseScratchArrays() noexcept {
    std::vector<std::vector<double>> doubles;
    std::vector<std::vector<int32_t>> ints;
    {
        std::lock_guard<std::mutex> lock(scratchStore<double>().mutex);
        doubles.swap(scratchStore<double>().kept);
    }
    {
        std::lock_guard<std::mutex> lock(scratchStore<int32_t>().mutex);
        ints.swap(scratchStore<int32_t>().kept);
    }
}

template std::vector<double> takeScratchArray<double>(size_t, const double&);
template std::vector<int32_t> takeScratchArray<int32_t>(size_t, const int32_t&);
template void returnScratchArray<double>(std::vector<double>&) noexcept;
template void returnScratchArray<int32_t>(std::vector<int32_t>&) noexcept;

}  // namespace zephrin
