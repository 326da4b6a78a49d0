#include "renderer/geometry/fresh_memory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace zephrin {
namespace {

// Faulting pages in must never touch what they hold: the range may begin inside memory in use, and
// an array's elements may already be written when its capacity is prefaulted.
TEST(FreshMemory, PrefaultingKeepsWhatThePagesHoldAndLeavesSmallRangesAlone) {
    std::vector<uint64_t> array;
    array.reserve((size_t{24} << 20) / sizeof(uint64_t));
    for (uint64_t n = 0; n < 100000; ++n) array.push_back(n * 2654435761u);
    prefaultFreshMemory(array);
    bool intact = true;
    for (uint64_t n = 0; n < array.size(); ++n) intact = intact && array[n] == n * 2654435761u;
    EXPECT_TRUE(intact);
    // The rest of the capacity is writable as ordinary memory.
    array.resize(array.capacity(), 7u);
    EXPECT_EQ(array.back(), 7u);

    std::vector<uint64_t> small(1000, 3u);
    EXPECT_FALSE(prefaultFreshMemory(small));
    EXPECT_FALSE(prefaultFreshMemory(nullptr, size_t{64} << 20));
    EXPECT_EQ(small[999], 3u);
}

}  // namespace
}  // namespace zephrin
