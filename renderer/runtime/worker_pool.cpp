#include "renderer/runtime/worker_pool.h"

#include <algorithm>
#include <exception>
#include <numeric>
#include <system_error>
#include <vector>

#include "common/usable_cpus.h"

namespace zephrin {

namespace {

std::thread startStdThread(WorkerBody body, void* context, uint32_t begin, uint32_t end) {
    return std::thread(body, context, begin, end);
}

// Slice boundary i of T over n items. The product is formed in 64 bits: in 32 bits, i * n wraps for
// counts above 2^32 / 8 and the slices would then skip or repeat items.
uint32_t sliceBoundary(uint32_t i, uint32_t n, uint32_t sliceCount) {
    return static_cast<uint32_t>(static_cast<uint64_t>(i) * n / sliceCount);
}

// Joins every thread in start order, even when one join fails, so that no joinable std::thread is
// ever destroyed (that would end the process). Returns the first join failure.
std::exception_ptr joinAll(std::vector<std::thread>& threads) {
    std::exception_ptr firstFailure;
    for (std::thread& thread : threads) {
        try {
            thread.join();
        } catch (...) {
            if (!firstFailure) firstFailure = std::current_exception();
            if (thread.joinable()) thread.detach();
        }
    }
    threads.clear();
    return firstFailure;
}

// One slice of a loop: the caller's body and context, and what the body threw. A body that throws on
// a worker thread would end the process, and one that throws on the calling thread would leave the
// started threads unjoined, which ends it too; so each slice keeps its exception for the caller.
struct SliceRun {
    WorkerBody body = nullptr;
    void* context = nullptr;
    std::exception_ptr failure;
};

void runSlice(void* slice, uint32_t begin, uint32_t end) {
    auto* run = static_cast<SliceRun*>(slice);
    try {
        run->body(run->context, begin, end);
    } catch (...) {
        run->failure = std::current_exception();
    }
}

}  // namespace

int32_t workerCount(uint32_t n, uint32_t b, uint32_t hardwareThreads) {
    if (n < 1 || b < 1) return 1;
    uint64_t blocks = (static_cast<uint64_t>(n) + b - 1) / b;
    uint64_t hardware = hardwareThreads == 0 ? 1 : hardwareThreads;
    uint64_t count = std::min({blocks, hardware, static_cast<uint64_t>(kMaxWorkers)});
    return static_cast<int32_t>(std::max<uint64_t>(count, 1));
}

int32_t workerCount(uint32_t n, uint32_t b) { return workerCount(n, b, usableCpuCount()); }

WorkerPlatform currentWorkerPlatform() { return WorkerPlatform{usableCpuCount(), startStdThread}; }

void parallelFor(uint32_t n, uint32_t b, WorkerBody body, void* context) {
    parallelFor(n, b, body, context, currentWorkerPlatform());
}

void parallelFor(uint32_t n, uint32_t b, WorkerBody body, void* context, const WorkerPlatform& platform) {
    const uint32_t sliceCount = static_cast<uint32_t>(workerCount(n, b, platform.hardwareThreads));
    if (sliceCount < 2) {
        body(context, 0, n);
        return;
    }
    WorkerThreadStart start = platform.startThread != nullptr ? platform.startThread : startStdThread;

    // Sized before any thread starts: the threads hold pointers into it.
    std::vector<SliceRun> runs(sliceCount, SliceRun{body, context, nullptr});
    std::vector<std::thread> threads;
    threads.reserve(sliceCount - 1);
    try {
        for (uint32_t i = 1; i < sliceCount; ++i) {
            threads.push_back(
                start(runSlice, &runs[i], sliceBoundary(i, n, sliceCount), sliceBoundary(i + 1, n, sliceCount)));
        }
    } catch (...) {
        // The started threads still read the caller's context: they finish before the error leaves.
        joinAll(threads);
        throw;
    }

    runSlice(&runs[0], 0, sliceBoundary(1, n, sliceCount));

    const std::exception_ptr joinFailure = joinAll(threads);
    // The lowest slice's failure wins, so that the same fault reports the same error however the
    // threads were scheduled.
    for (const SliceRun& run : runs) {
        if (run.failure) std::rethrow_exception(run.failure);
    }
    if (joinFailure) std::rethrow_exception(joinFailure);
}

RowSpread rowSpread(uint32_t rows, uint32_t slices) {
    RowSpread spread;
    spread.slices = std::max(slices, 1u);
    spread.items = static_cast<uint32_t>((static_cast<uint64_t>(rows) + spread.slices - 1) / spread.slices *
                                         spread.slices);
    return spread;
}

}  // namespace zephrin
