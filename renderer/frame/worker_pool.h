// Parallel loops over an index range: fresh threads per call, the first slice on the calling thread,
// at most eight threads, all joined before returning. No persistent pool, no task queue.
#pragma once

#include <cstdint>

namespace zephrin {

constexpr int32_t kMaxWorkers = 8;

using WorkerBody = void (*)(void* context, uint32_t begin, uint32_t end);

// 1 when n < 1 or b < 1; otherwise min(ceil(n / b), hardware threads (1 when 0 is reported), 8).
int32_t workerCount(uint32_t n, uint32_t b);
int32_t workerCount(uint32_t n, uint32_t b, uint32_t hardwareThreads);

void parallelFor(uint32_t n, uint32_t b, WorkerBody body, void* context);

// Convenience for lambdas: body(begin, end).
template <typename Body>
void parallelFor(uint32_t n, uint32_t b, Body& body) {
    parallelFor(
        n, b, [](void* context, uint32_t begin, uint32_t end) { (*static_cast<Body*>(context))(begin, end); }, &body);
}

}  // namespace zephrin
