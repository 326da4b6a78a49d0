// Parallel loops over an index range: fresh threads per call, the first slice on the calling thread,
// at most eight threads, all joined before returning. No persistent pool, no task queue.
#pragma once

#include <cstdint>
#include <thread>

namespace zephrin {

constexpr int32_t kMaxWorkers = 8;

using WorkerBody = void (*)(void* context, uint32_t begin, uint32_t end);

// 1 when n < 1 or b < 1; otherwise min(ceil(n / b), usable CPUs (1 when 0 is reported), 8).
int32_t workerCount(uint32_t n, uint32_t b);
int32_t workerCount(uint32_t n, uint32_t b, uint32_t hardwareThreads);

// What parallelFor takes from the platform. Tests substitute it to pin the thread count or to make a
// thread start fail.
using WorkerThreadStart = std::thread (*)(WorkerBody body, void* context, uint32_t begin, uint32_t end);
struct WorkerPlatform {
    uint32_t hardwareThreads = 0;
    WorkerThreadStart startThread = nullptr;
};

// The CPUs the process may run on (its affinity), and std::thread.
WorkerPlatform currentWorkerPlatform();

// Runs body over 0 .. n-1 in contiguous slices that differ in size by at most one item. A thread that
// cannot be started raises std::system_error once every thread already started has been joined. What
// a body throws, on any thread, is raised on the caller after every thread has been joined (the
// lowest slice's exception when several throw); the other slices still run to their end.
void parallelFor(uint32_t n, uint32_t b, WorkerBody body, void* context);
void parallelFor(uint32_t n, uint32_t b, WorkerBody body, void* context, const WorkerPlatform& platform);

// Rows dealt out to a parallel loop's contiguous slices like cards: the loop runs over `items` items
// and visits rowOf(item) instead of item, so that slice k of `slices` equal slices takes rows k,
// k + slices, k + 2 slices, ... in order. Work piles up where the surfaces are (the lower half of a
// shot over a floor holds most of it), but neighbouring rows cost about the same, so the slices get
// the same shares; and each worker's next row meets mostly the triangles of its last one, still in
// its caches. items is the row count rounded up to a multiple of slices; rows past the last are
// skipped.
struct RowSpread {
    uint32_t items = 0;
    uint32_t slices = 1;
    uint32_t rowOf(uint32_t item) const {
        const uint32_t perSlice = items / slices;
        return perSlice == 0 ? item : (item % perSlice) * slices + item / perSlice;
    }
};
RowSpread rowSpread(uint32_t rows, uint32_t slices);

// Convenience for lambdas: body(begin, end).
template <typename Body>
void parallelFor(uint32_t n, uint32_t b, Body& body) {
    parallelFor(
        n, b, [](void* context, uint32_t begin, uint32_t end) { (*static_cast<Body*>(context))(begin, end); }, &body);
}

}  // namespace zephrin
