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

}  // namespace
}  // namespace zephrin
