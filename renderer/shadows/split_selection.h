// The median selection of the hierarchy build: moves the run entries with the smallest keys to the
// front. It makes the same comparisons and the same moves, in the same order, as the introselect of
// the C++ library the renderer was first built with (GCC 12's libstdc++), so trees come out exactly
// as they did before, tie for tie; only Hoare's partition is computed a block at a time, without a
// branch per entry, which a mesh's scattered centroids made mispredict about once an entry.
#pragma once

#include <cstdint>

namespace zephrin {

// A run entry: a triangle and its centroid on the axis the run was last split along. The splits
// move these 16-byte entries instead of comparing through the triangles.
struct SplitEntry {
    double key;
    uint32_t triangle;
};

// Reorders [first, last) so that *nth holds the key a full sort would put there, no entry before it
// has a larger key and none after it a smaller one (keys compared with <), as
// std::nth_element(first, nth, last) with that comparison does.
void selectSmallestKeys(SplitEntry* first, SplitEntry* nth, SplitEntry* last);

}  // namespace zephrin
