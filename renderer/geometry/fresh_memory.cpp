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

// The transparent huge page of x86-64 (one page-table level up from 4 KiB pages). One fault then
// clears 2 MiB instead of 4 KiB, so a full-cap mesh takes about 150 faults instead of 75000.
constexpr uintptr_t kHugePageBytes = uintptr_t{2} << 20;

// Asks for huge pages on the whole huge pages inside [first, end): only those can be huge, and the
// advice must not reach memory next to the range that belongs to someone else. Where the kernel has
// huge pages off, or none free, the pages stay small; the contents are never affected. (A virtual
// machine whose balloon reports free memory to its host gives back whole free 2 MiB blocks after a
// few seconds; a huge page taken from one is first written through the host's page faults.)
void adviseHugePages(uintptr_t first, uintptr_t end) {
#ifdef MADV_HUGEPAGE
    const uintptr_t hugeFirst = (first + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
    const uintptr_t hugeEnd = end & ~(kHugePageBytes - 1);
    if (hugeEnd > hugeFirst) madvise(reinterpret_cast<void*>(hugeFirst), hugeEnd - hugeFirst, MADV_HUGEPAGE);
#else
    (void)first;
    (void)end;
#endif
}
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
    adviseHugePages(first, end);
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
