#include "renderer/geometry/fresh_memory.h"

#include <atomic>
#include <cstdint>

#include "renderer/runtime/worker_pool.h"

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace zephrin {

namespace {

#if defined(__linux__)
// Linux 5.14 and later; older headers lack the name, older kernels answer EINVAL.
#ifdef MADV_POPULATE_WRITE
constexpr int kPopulateWrite = MADV_POPULATE_WRITE;
#else
constexpr int kPopulateWrite = 23;
#endif
#endif

}  // namespace

bool prefaultFreshMemory(const void* data, size_t bytes) {
    if (data == nullptr || bytes < kMinPrefaultBytesPerWorker) return false;
#if defined(__linux__)
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pageSize <= 0) return false;
    const uintptr_t page = static_cast<uintptr_t>(pageSize);
    // Whole pages only, so that the advice never reaches past the range into a neighbouring mapping.
    const uintptr_t first = (reinterpret_cast<uintptr_t>(data) + page - 1) & ~(page - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(page - 1);
    if (end <= first) return false;
    const uintptr_t pages = (end - first) / page;
    const uintptr_t pagesPerWorker = kMinPrefaultBytesPerWorker / page;
    std::atomic<bool> refused{false};
    auto slices = [&](uint32_t begin, uint32_t stop) {
        const uintptr_t from = first + begin * page, to = first + stop * page;
        if (madvise(reinterpret_cast<void*>(from), to - from, kPopulateWrite) != 0) refused = true;
    };
    parallelFor(static_cast<uint32_t>(pages), static_cast<uint32_t>(pagesPerWorker), slices);
    return !refused;
#else
    return false;
#endif
}

}  // namespace zephrin
