#include "renderer/runtime/worker_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace zephrin {
namespace {

using Range = std::pair<uint32_t, uint32_t>;

// The slices one loop ran, sorted, and those the calling thread ran.
struct SliceLog {
    std::mutex mutex;
    std::vector<Range> slices, callerSlices;
    std::thread::id caller = std::this_thread::get_id();
};

std::pair<std::vector<Range>, std::vector<Range>> runSlices(uint32_t n, uint32_t b, uint32_t hardwareThreads) {
    SliceLog log;
    WorkerPlatform platform = currentWorkerPlatform();
    platform.hardwareThreads = hardwareThreads;
    auto body = [](void* context, uint32_t begin, uint32_t end) {
        auto* l = static_cast<SliceLog*>(context);
        std::lock_guard<std::mutex> lock(l->mutex);
        l->slices.emplace_back(begin, end);
        if (std::this_thread::get_id() == l->caller) l->callerSlices.emplace_back(begin, end);
    };
    parallelFor(n, b, body, &log, platform);
    std::sort(log.slices.begin(), log.slices.end());
    return {log.slices, log.callerSlices};
}

TEST(WorkerPool, CountFollowsBlocksHardwareAndCap) {
    EXPECT_EQ(workerCount(0, 128, 8), 1);
    EXPECT_EQ(workerCount(300, 0, 8), 1);
    EXPECT_EQ(workerCount(128, 128, 8), 1);
    EXPECT_EQ(workerCount(129, 128, 8), 2);
    EXPECT_EQ(workerCount(300, 128, 2), 2);
    EXPECT_EQ(workerCount(100000, 1, 64), kMaxWorkers);
    EXPECT_EQ(workerCount(100000, 1, 0), 1);
    EXPECT_EQ(workerCount(0xffffffffu, 0xffffffffu, 8), 1);
}

TEST(WorkerPool, SlicesRunOnTheCallerFirstAndCoverTheRange) {
    // n = 0 still calls the body once, on the calling thread, with the empty range.
    EXPECT_EQ(runSlices(0, 128, 8), std::make_pair(std::vector<Range>{{0, 0}}, std::vector<Range>{{0, 0}}));
    auto [rows, callerRows] = runSlices(300, 128, 8);
    EXPECT_EQ(rows, (std::vector<Range>{{0, 100}, {100, 200}, {200, 300}}));
    EXPECT_EQ(callerRows, (std::vector<Range>{{0, 100}}));
    // A platform that reports no hardware threads runs everything on the caller.
    EXPECT_EQ(runSlices(100000, 1, 0).second, (std::vector<Range>{{0, 100000}}));
    EXPECT_EQ(runSlices(2, 1, 8).first, (std::vector<Range>{{0, 1}, {1, 2}}));
}

// Slice boundaries are i * n / T; in 32 bits that product wraps for counts this large.
TEST(WorkerPool, SlicesOfHugeCountsCoverEveryItemOnce) {
    for (uint32_t n : {0xffffffffu, 0x80000001u, 613566757u, 7u}) {
        std::vector<Range> slices = runSlices(n, 1, 8).first;
        ASSERT_EQ(slices.size(), static_cast<size_t>(workerCount(n, 1, 8)));
        uint32_t next = 0, smallest = 0xffffffffu, largest = 0;
        for (const Range& slice : slices) {
            EXPECT_EQ(slice.first, next) << "n=" << n;
            next = slice.second;
            smallest = std::min(smallest, slice.second - slice.first);
            largest = std::max(largest, slice.second - slice.first);
        }
        EXPECT_EQ(next, n);
        EXPECT_LE(largest - smallest, 1u) << "n=" << n;
    }
}

// The second thread start fails. The error may leave parallelFor only after the first started thread
// has finished: destroying it unjoined would end the process, and it still reads the caller's context.
std::atomic<int> gStarts{0};
std::thread startOnceThenFail(WorkerBody body, void* context, uint32_t begin, uint32_t end) {
    if (gStarts.fetch_add(1) >= 1) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    return std::thread(body, context, begin, end);
}

struct SlowSlices {
    std::atomic<int> started{0}, finished{0};
};

TEST(WorkerPool, ThreadStartFailureJoinsStartedThreadsThenThrows) {
    gStarts = 0;  // each run of the test starts counting afresh
    SlowSlices slices;
    auto body = [](void* context, uint32_t, uint32_t) {
        auto* s = static_cast<SlowSlices*>(context);
        s->started.fetch_add(1);
        volatile double sink = 0.0;
        for (int i = 0; i < 2000000; ++i) sink = sink + i * 1e-9;
        s->finished.fetch_add(1);
    };
    gStarts.store(0);
    try {
        parallelFor(800, 1, body, &slices, WorkerPlatform{8, &startOnceThenFail});
        FAIL() << "parallelFor returned although a thread could not start";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code(), std::errc::resource_unavailable_try_again);
    }
    // The one started thread ran to its end; the calling thread's slice never started.
    EXPECT_EQ(slices.started.load(), 1);
    EXPECT_EQ(slices.finished.load(), 1);
}

// Which slices threw, and which slices ran to their end.
struct FaultySlices {
    std::mutex mutex;
    std::vector<uint32_t> finished;  // begin of every slice that did not throw
    uint32_t throwFrom = 0;          // slices that begin at or after this throw
    uint32_t throwTo = 0;            // ... and before this
    bool allocationFails = false;
    std::atomic<int> workersDone{0};
    std::thread::id caller = std::this_thread::get_id();
};

void faultyBody(void* context, uint32_t begin, uint32_t) {
    auto* s = static_cast<FaultySlices*>(context);
    const bool onCaller = std::this_thread::get_id() == s->caller;
    if (!onCaller) {
        // Long enough that a caller that did not wait would see an unfinished worker.
        volatile double sink = 0.0;
        for (int i = 0; i < 2000000; ++i) sink = sink + i * 1e-9;
    }
    if (begin >= s->throwFrom && begin < s->throwTo) {
        if (!onCaller) s->workersDone.fetch_add(1);
        if (s->allocationFails) throw std::bad_alloc();
        throw std::runtime_error("slice " + std::to_string(begin));
    }
    std::lock_guard<std::mutex> lock(s->mutex);
    s->finished.push_back(begin);
    if (!onCaller) s->workersDone.fetch_add(1);
}

std::string runFaulty(FaultySlices& slices) {
    WorkerPlatform platform = currentWorkerPlatform();
    platform.hardwareThreads = 4;
    try {
        parallelFor(400, 100, faultyBody, &slices, platform);
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "";
}

// A body that throws on a worker thread must not end the process: the error reaches the caller once
// every thread has been joined, and the other slices still ran.
TEST(WorkerPool, WorkerExceptionReachesTheCallerAfterEveryThreadJoined) {
    FaultySlices slices;
    slices.throwFrom = 200;
    slices.throwTo = 300;
    EXPECT_EQ(runFaulty(slices), "slice 200");
    EXPECT_EQ(slices.workersDone.load(), 3);
    std::sort(slices.finished.begin(), slices.finished.end());
    EXPECT_EQ(slices.finished, (std::vector<uint32_t>{0, 100, 300}));
}

// The caller's own slice throwing must still join the workers (destroying a joinable thread ends the
// process) before the error leaves.
TEST(WorkerPool, CallerExceptionWaitsForTheWorkers) {
    FaultySlices slices;
    slices.throwFrom = 0;
    slices.throwTo = 1;
    EXPECT_EQ(runFaulty(slices), "slice 0");
    EXPECT_EQ(slices.workersDone.load(), 3);
}

// Several slices throwing: the lowest slice's error, whichever thread finished first.
TEST(WorkerPool, LowestThrowingSliceWins) {
    for (uint32_t from : {0u, 100u, 300u}) {
        FaultySlices slices;
        slices.throwFrom = from;
        slices.throwTo = 400;
        EXPECT_EQ(runFaulty(slices), "slice " + std::to_string(from));
    }
}

TEST(WorkerPool, AllocationFailureOnAWorkerKeepsItsType) {
    FaultySlices slices;
    slices.throwFrom = 100;
    slices.throwTo = 400;
    slices.allocationFails = true;
    WorkerPlatform platform = currentWorkerPlatform();
    platform.hardwareThreads = 4;
    EXPECT_THROW(parallelFor(400, 100, faultyBody, &slices, platform), std::bad_alloc);
    EXPECT_EQ(slices.workersDone.load(), 3);
    EXPECT_EQ(slices.finished, (std::vector<uint32_t>{0}));

    // A single slice runs on the caller alone and throws straight through.
    FaultySlices single;
    single.throwTo = 1;
    single.allocationFails = true;
    EXPECT_THROW(parallelFor(10, 100, faultyBody, &single, platform), std::bad_alloc);
}

}  // namespace
}  // namespace zephrin

namespace zephrin {
namespace {

TEST(RowSpread, DealsEveryRowOnceAndEverySliceItsShareOfEveryPartOfTheFrame) {
    for (uint32_t rows : {0u, 1u, 2u, 3u, 7u, 128u, 1077u, 1080u, 1081u, 2160u, 4097u}) {
        for (uint32_t slices : {1u, 2u, 3u, 4u, 8u}) {
            const RowSpread spread = rowSpread(rows, slices);
            ASSERT_GE(spread.items, rows);
            ASSERT_LT(spread.items, rows + slices);
            // The loop's equal contiguous slices, as the worker pool cuts them; which slice takes each row.
            std::vector<int> taken(rows, 0);
            std::vector<uint32_t> sliceOfRow(rows, 0);
            for (uint32_t s = 0; s < slices; ++s) {
                uint32_t previous = 0;
                for (uint32_t item = s * spread.items / slices; item < (s + 1) * spread.items / slices; ++item) {
                    const uint32_t row = spread.rowOf(item);
                    ASSERT_LT(row, spread.items) << "rows " << rows << " slices " << slices;
                    if (row >= rows) continue;
                    ASSERT_TRUE(row >= previous) << "a slice takes its rows in order";
                    previous = row;
                    ++taken[row];
                    sliceOfRow[row] = s;
                }
            }
            ASSERT_EQ(std::count(taken.begin(), taken.end(), 1), static_cast<std::ptrdiff_t>(rows))
                << "rows " << rows << " slices " << slices;
            // Every run of `slices` neighbouring rows goes to every slice once.
            for (uint32_t first = 0; first + slices <= rows; first += slices) {
                for (uint32_t k = 0; k < slices; ++k) ASSERT_EQ(sliceOfRow[first + k], k) << "rows " << rows;
            }
        }
    }
}

}  // namespace
}  // namespace zephrin
