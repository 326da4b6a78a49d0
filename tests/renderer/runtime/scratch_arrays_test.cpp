#include "renderer/runtime/scratch_arrays.h"

#include <gtest/gtest.h>

namespace zephrin {
namespace {

TEST(ScratchArrays, ReturnedStorageComesBackFilledAndOnlyForSimilarSizes) {
    releaseScratchArrays();
    const double* storage = nullptr;
    {
        ScratchArray<double> first(1000, 0.0);
        first.values[10] = 7.0;
        storage = first.values.data();
    }
    {
        // The same size again gets the same memory, every element set to the new start value.
        ScratchArray<double> again(1000, 1.5);
        EXPECT_EQ(again.values.data(), storage);
        EXPECT_EQ(again.values, std::vector<double>(1000, 1.5));
        // Held by `again`: a second array of that size is fresh.
        ScratchArray<double> second(1000, 0.0);
        EXPECT_NE(second.values.data(), storage);
    }
    {
        // Far smaller: a new array, so that small frames do not keep big ones' memory in use.
        ScratchArray<double> small(10, 2.0);
        EXPECT_EQ(small.values.capacity(), 10u);
        EXPECT_EQ(small.values, std::vector<double>(10, 2.0));
    }
    ScratchArray<int32_t> ints(5, -1);
    EXPECT_EQ(ints.values, std::vector<int32_t>(5, -1));
    releaseScratchArrays();
}

// An unfilled take hands back spare storage as it was left, at the size asked for; a filling take of
// spare storage large enough to be filled by several workers reaches every element.
TEST(ScratchArrays, UnfilledTakesKeepWhatTheStorageHeldAndFilledTakesReachEveryElement) {
    releaseScratchArrays();
    constexpr size_t kLarge = size_t{3} << 20;  // 24 MB of doubles: several workers' shares
    const double* storage = nullptr;
    {
        ScratchArray<double> first(kLarge, 0.0);
        for (size_t i = 0; i < kLarge; ++i) first.values[i] = static_cast<double>(i);
        storage = first.values.data();
    }
    {
        ScratchArray<double> unfilled(kLarge - 5, kLeftUnfilled);
        EXPECT_EQ(unfilled.values.data(), storage);
        ASSERT_EQ(unfilled.values.size(), kLarge - 5);
        EXPECT_EQ(unfilled.values[12345], 12345.0);
        EXPECT_EQ(unfilled.values.back(), static_cast<double>(kLarge - 6));
    }
    {
        ScratchArray<double> filled(kLarge - 7, -2.5);
        EXPECT_EQ(filled.values.data(), storage);
        EXPECT_EQ(filled.values, std::vector<double>(kLarge - 7, -2.5));
    }
    {
        // Larger than what the spare storage was last sized to: every element is still filled.
        ScratchArray<double> grown(kLarge, 4.0);
        EXPECT_EQ(grown.values, std::vector<double>(kLarge, 4.0));
    }
    // Fresh storage for an unfilled take holds zeros.
    releaseScratchArrays();
    ScratchArray<int32_t> fresh(100, kLeftUnfilled);
    EXPECT_EQ(fresh.values, std::vector<int32_t>(100, 0));
    releaseScratchArrays();
}

}  // namespace
}  // namespace zephrin
