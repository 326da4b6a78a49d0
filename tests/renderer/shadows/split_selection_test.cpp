#include "renderer/shadows/split_selection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace zephrin {
namespace {

// Key patterns the build meets: scattered centroids, grid meshes whose columns share a centroid, runs
// already split on the same axis (sorted halves), one flat layer (every key equal).
std::vector<SplitEntry> keysOfPattern(int pattern, int count, std::mt19937& rng) {
    std::vector<SplitEntry> run(static_cast<size_t>(count));
    std::uniform_real_distribution<double> scattered(-1000.0, 1000.0);
    std::uniform_int_distribution<int> few(0, 3), columns(0, std::max(1, count / 8));
    for (int i = 0; i < count; ++i) {
        double key = 0.0;
        switch (pattern) {
            case 0:
                key = scattered(rng);
                break;
            case 1:
                key = few(rng);
                break;
            case 2:
                key = 10.0 * columns(rng);
                break;
            case 3:
                key = i;
                break;
            case 4:
                key = count - i;
                break;
            case 5:
                key = std::min(i, count - i);
                break;  // organ pipe
            case 6:
                key = 5.0;
                break;
            default:
                key = (i % 2 == 0) ? i : -i;
                break;  // sawtooth
        }
        run[static_cast<size_t>(i)] = SplitEntry{key, static_cast<uint32_t>(i)};
    }
    return run;
}

constexpr int kPatterns = 8;

std::vector<uint32_t> orderOf(const std::vector<SplitEntry>& run) {
    std::vector<uint32_t> order;
    for (const SplitEntry& e : run) order.push_back(e.triangle);
    return order;
}

bool keyBelow(const SplitEntry& l, const SplitEntry& r) { return l.key < r.key; }

void librarySelect(std::vector<SplitEntry>& run, size_t nth) {
    std::nth_element(run.begin(), run.begin() + static_cast<std::ptrdiff_t>(nth), run.end(), keyBelow);
}

// The run still holds each of the triangles 0 .. size - 1 once.
void expectEveryEntryKept(const std::vector<SplitEntry>& run) {
    std::vector<uint32_t> order = orderOf(run);
    std::sort(order.begin(), order.end());
    for (size_t i = 0; i < order.size(); ++i) ASSERT_EQ(order[i], static_cast<uint32_t>(i));
}

// Trees must not change with the selection: equal keys are common in meshes, and which of them goes
// left decides the tree. So the selection must leave every run as the library's nth_element did when
// the trees were first built (GCC 12's libstdc++), entry for entry.
TEST(SplitSelection, LeavesEveryRunAsTheLibrarySelectionTheTreesWereBuiltWith) {
#if !defined(_GLIBCXX_RELEASE) || _GLIBCXX_RELEASE != 12
    GTEST_SKIP() << "the reference selection is GCC 12's libstdc++";
#else
    std::mt19937 rng(1234);
    const int sizes[] = {0,  1,  2,  3,  4,  5,   6,   7,   8,   9,   15,  16,   17,
                         31, 33, 63, 64, 65, 100, 127, 128, 129, 200, 257, 1000, 4099};
    int runs = 0;
    for (int pattern = 0; pattern < kPatterns; ++pattern) {
        for (int count : sizes) {
            for (int trial = 0; trial < (count < 64 ? 40 : 6); ++trial) {
                std::vector<SplitEntry> ours = keysOfPattern(pattern, count, rng);
                std::shuffle(ours.begin(), ours.end(), rng);
                if (trial % 3 == 1) std::sort(ours.begin(), ours.end(), keyBelow);
                std::vector<SplitEntry> library = ours;
                const int nth =
                    trial % 4 == 3 && count > 0 ? static_cast<int>(rng() % static_cast<unsigned>(count)) : count / 2;
                selectSmallestKeys(ours.data(), ours.data() + nth, ours.data() + count);
                librarySelect(library, static_cast<size_t>(nth));
                ASSERT_EQ(orderOf(ours), orderOf(library))
                    << "pattern " << pattern << ", " << count << " entries, nth " << nth << ", trial " << trial;
                ++runs;
            }
        }
    }
    EXPECT_GT(runs, 3000);
#endif
}

// McIlroy's adversary: keys chosen while the library's selection runs, so that each of its pivots is
// among the smallest keys left. The keys it ends with drive the selection into its depth limit,
// whose fallback (a heap) random runs never reach.
std::vector<SplitEntry> adversaryKeys(int count) {
    std::vector<double> value(static_cast<size_t>(count), static_cast<double>(count));  // all "gas"
    const double gas = count;
    double solid = 0.0;
    size_t candidate = 0;
    std::vector<size_t> order(static_cast<size_t>(count));
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    auto below = [&](size_t x, size_t y) {
        if (value[x] == gas && value[y] == gas) value[x == candidate ? x : y] = solid++;
        if (value[x] == gas) {
            candidate = x;
        } else if (value[y] == gas) {
            candidate = y;
        }
        return value[x] < value[y];
    };
    std::nth_element(order.begin(), order.begin() + count / 2, order.end(), below);
    std::vector<SplitEntry> run;
    for (int i = 0; i < count; ++i) run.push_back(SplitEntry{value[static_cast<size_t>(i)], static_cast<uint32_t>(i)});
    return run;
}

TEST(SplitSelection, FollowsTheLibraryIntoItsDepthLimitOnAdversarialKeys) {
#if !defined(_GLIBCXX_RELEASE) || _GLIBCXX_RELEASE != 12
    GTEST_SKIP() << "the reference selection is GCC 12's libstdc++";
#else
    for (int count : {16, 17, 40, 100, 257, 1000, 3001}) {
        std::vector<SplitEntry> ours = adversaryKeys(count);
        std::vector<SplitEntry> library = ours;
        selectSmallestKeys(ours.data(), ours.data() + count / 2, ours.data() + count);
        librarySelect(library, static_cast<size_t>(count / 2));
        ASSERT_EQ(orderOf(ours), orderOf(library)) << count << " entries";
    }
#endif
}

// Whatever the library, the split holds: the smallest keys first, the median in its place.
TEST(SplitSelection, PutsTheSmallestKeysFirstOnEveryPatternAndKeepsEveryEntry) {
    std::mt19937 rng(99);
    for (int pattern = 0; pattern < kPatterns; ++pattern) {
        for (int count : {4, 17, 64, 65, 130, 999, 5000}) {
            std::vector<SplitEntry> run = keysOfPattern(pattern, count, rng);
            std::shuffle(run.begin(), run.end(), rng);
            std::vector<SplitEntry> sorted = run;
            std::sort(sorted.begin(), sorted.end(), keyBelow);
            const int half = count / 2;
            selectSmallestKeys(run.data(), run.data() + half, run.data() + count);
            ASSERT_EQ(run[static_cast<size_t>(half)].key, sorted[static_cast<size_t>(half)].key);
            for (int i = 0; i < half; ++i)
                ASSERT_LE(run[static_cast<size_t>(i)].key, run[static_cast<size_t>(half)].key);
            for (int i = half; i < count; ++i)
                ASSERT_GE(run[static_cast<size_t>(i)].key, run[static_cast<size_t>(half)].key);
            expectEveryEntryKept(run);
        }
    }
}

// Centroids of broken geometry can be NaN; a NaN breaks the ordering the partition's scans lean on,
// and the selection must still stay inside the run (AddressSanitizer watches) and keep every entry.
TEST(SplitSelection, StaysInsideTheRunAndKeepsEveryEntryWhenKeysAreNaN) {
    std::mt19937 rng(7);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (int count : {4, 5, 9, 33, 64, 65, 200, 1000}) {
        for (int trial = 0; trial < 30; ++trial) {
            std::vector<SplitEntry> run = keysOfPattern(trial % kPatterns, count, rng);
            for (SplitEntry& e : run) {
                if (rng() % 3 == 0) e.key = nan;
            }
            if (trial % 5 == 0) {
                for (SplitEntry& e : run) e.key = nan;
            }
            selectSmallestKeys(run.data(), run.data() + count / 2, run.data() + count);
            expectEveryEntryKept(run);
        }
    }
}

}  // namespace
}  // namespace zephrin
