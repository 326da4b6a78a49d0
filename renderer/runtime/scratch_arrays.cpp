#include "renderer/runtime/scratch_arrays.h"

#include <algorithm>
#include <cstdint>
#include <mutex>

#include "renderer/runtime/worker_pool.h"

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

// Filling a spare array is shared out when each worker gets at least this much of it: less is
// written sooner than a thread starts.
constexpr size_t kMinFillBytesPerWorker = size_t{1} << 20;

// The smallest kept array that holds `count` without being more than twice that size, or an empty one.
template <typename T>
std::vector<T> takeKept(size_t count) {
    std::vector<T> array;
    ScratchStore<T>& store = scratchStore<T>();
    std::lock_guard<std::mutex> lock(store.mutex);
    auto best = store.kept.end();
    for (auto it = store.kept.begin(); it != store.kept.end(); ++it) {
        if (it->capacity() < count || it->capacity() > 2 * count) continue;
        if (best == store.kept.end() || it->capacity() < best->capacity()) best = it;
    }
    if (best != store.kept.end()) {
        array.swap(*best);
        store.kept.erase(best);
    }
    return array;
}

}  // namespace

template <typename T>
std::vector<T> takeScratchArray(size_t count, const T& value) {
    std::vector<T> array = takeKept<T>(count);
    // A kept array comes back with its last size, usually this frame's: it is filled side by side.
    // Elements it lacks would be written once more on one thread by resize, so it is filled whole
    // there instead (the first frame, or a larger one).
    if (array.size() < count || count > UINT32_MAX) {
        array.assign(count, value);
        return array;
    }
    array.resize(count);
    T* data = array.data();
    auto fill = [data, &value](uint32_t begin, uint32_t end) { std::fill(data + begin, data + end, value); };
    const size_t perWorker = std::max<size_t>(1, kMinFillBytesPerWorker / sizeof(T));
    parallelFor(static_cast<uint32_t>(count), static_cast<uint32_t>(perWorker), fill);
    return array;
}

template <typename T>
std::vector<T> takeUnfilledScratchArray(size_t count) {
    std::vector<T> array = takeKept<T>(count);
    array.resize(count);
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
template std::vector<double> takeUnfilledScratchArray<double>(size_t);
template std::vector<int32_t> takeUnfilledScratchArray<int32_t>(size_t);
template void returnScratchArray<double>(std::vector<double>&) noexcept;
template void returnScratchArray<int32_t>(std::vector<int32_t>&) noexcept;

}  // namespace zephrin
