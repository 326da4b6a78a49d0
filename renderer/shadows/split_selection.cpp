#include "renderer/shadows/split_selection.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <utility>

namespace zephrin {
namespace {

inline bool keyBelow(const SplitEntry& a, const SplitEntry& b) { return a.key < b.key; }

// Swaps the median key of *a, *b and *c into *result.
void moveMedianToFirst(SplitEntry* result, SplitEntry* a, SplitEntry* b, SplitEntry* c) {
    if (keyBelow(*a, *b)) {
        if (keyBelow(*b, *c)) {
            std::swap(*result, *b);
        } else if (keyBelow(*a, *c)) {
            std::swap(*result, *c);
        } else {
            std::swap(*result, *a);
        }
    } else if (keyBelow(*a, *c)) {
        std::swap(*result, *a);
    } else if (keyBelow(*b, *c)) {
        std::swap(*result, *c);
    } else {
        std::swap(*result, *b);
    }
}

// Entries per block of the partition's scans: the offsets fit a byte, the block a few cache lines.
constexpr int kScanBlock = 64;

// Hoare's partition of [first, last) around `pivot`: the left scan stops at each entry whose key is
// not below the pivot, the right scan at each one whose key is not above it, each such pair is
// swapped until the scans meet, and the left scan's stop is returned. The stops are found a block at
// a time from the keys as they were before any swap: every swap lies behind both scans, except that
// an entry the right scan has swapped stops the left scan, which the comparisons with
// `swappedRight` stand for. The median of three leaves an entry that stops each scan, which the
// library's unguarded scans count on; these stay inside the run all the same, and return `last`
// should nothing stop the left scan.
SplitEntry* partitionAround(SplitEntry* first, SplitEntry* last, double pivot) {
    uint8_t leftOffsets[kScanBlock], rightOffsets[kScanBlock];
    int leftCount = 0, leftAt = 0, rightCount = 0, rightAt = 0;
    SplitEntry* leftBlock = first;    // the entries leftOffsets count from
    SplitEntry* leftNext = first;     // the first entry the left scan has not read
    SplitEntry* rightBlock = last;    // the entries rightOffsets count from
    SplitEntry* rightNext = last;     // one past the last entry the right scan has not read
    SplitEntry* swappedRight = last;  // the right scan's last swapped stop
    for (;;) {
        if (leftAt == leftCount) {
            if (leftNext >= swappedRight) return swappedRight;
            const int n = static_cast<int>(std::min<std::ptrdiff_t>(kScanBlock, swappedRight - leftNext));
            leftBlock = leftNext;
            leftCount = leftAt = 0;
            for (int i = 0; i < n; ++i) {
                leftOffsets[leftCount] = static_cast<uint8_t>(i);
                leftCount += !(leftBlock[i].key < pivot) ? 1 : 0;
            }
            leftNext += n;
            continue;
        }
        SplitEntry* const left = leftBlock + leftOffsets[leftAt];
        if (left >= swappedRight) return swappedRight;
        if (rightAt == rightCount) {
            if (rightNext <= left + 1) return left;
            const int n = static_cast<int>(std::min<std::ptrdiff_t>(kScanBlock, rightNext - (left + 1)));
            rightBlock = rightNext - n;
            rightCount = rightAt = 0;
            for (int i = n - 1; i >= 0; --i) {
                rightOffsets[rightCount] = static_cast<uint8_t>(i);
                rightCount += !(pivot < rightBlock[i].key) ? 1 : 0;
            }
            rightNext = rightBlock;
            continue;
        }
        SplitEntry* const right = rightBlock + rightOffsets[rightAt];
        if (right <= left) return left;
        std::swap(*left, *right);
        ++leftAt;
        ++rightAt;
        swappedRight = right;
    }
}

// The heap the depth limit falls back to: sift the hole at `hole` down to a leaf along the larger
// children, then `value` up from there.
void adjustHeap(SplitEntry* first, std::ptrdiff_t hole, std::ptrdiff_t length, SplitEntry value) {
    const std::ptrdiff_t top = hole;
    std::ptrdiff_t child = hole;
    while (child < (length - 1) / 2) {
        child = 2 * (child + 1);
        if (keyBelow(first[child], first[child - 1])) --child;
        first[hole] = first[child];
        hole = child;
    }
    if ((length & 1) == 0 && child == (length - 2) / 2) {
        child = 2 * (child + 1);
        first[hole] = first[child - 1];
        hole = child - 1;
    }
    std::ptrdiff_t parent = (hole - 1) / 2;
    while (hole > top && keyBelow(first[parent], value)) {
        first[hole] = first[parent];
        hole = parent;
        parent = (hole - 1) / 2;
    }
    first[hole] = value;
}

// Leaves the smallest (middle - first) keys of [first, last) in [first, middle), the largest of them
// at first.
void heapSelect(SplitEntry* first, SplitEntry* middle, SplitEntry* last) {
    const std::ptrdiff_t length = middle - first;
    if (length >= 2) {
        for (std::ptrdiff_t parent = (length - 2) / 2;; --parent) {
            adjustHeap(first, parent, length, first[parent]);
            if (parent == 0) break;
        }
    }
    for (SplitEntry* i = middle; i < last; ++i) {
        if (!keyBelow(*i, *first)) continue;
        const SplitEntry value = *i;
        *i = *first;
        adjustHeap(first, 0, length, value);
    }
}

void insertionSort(SplitEntry* first, SplitEntry* last) {
    if (first == last) return;
    for (SplitEntry* i = first + 1; i != last; ++i) {
        const SplitEntry value = *i;
        if (keyBelow(value, *first)) {
            std::move_backward(first, i, i + 1);
            *first = value;
            continue;
        }
        SplitEntry* hole = i;
        for (SplitEntry* next = i - 1; keyBelow(value, *next); --next) {
            *hole = *next;
            hole = next;
        }
        *hole = value;
    }
}

}  // namespace

void selectSmallestKeys(SplitEntry* first, SplitEntry* nth, SplitEntry* last) {
    if (first == last || nth == last) return;
    std::ptrdiff_t depthLimit = 2 * (std::bit_width(static_cast<size_t>(last - first)) - 1);
    while (last - first > 3) {
        if (depthLimit == 0) {
            heapSelect(first, nth + 1, last);
            std::swap(*first, *nth);
            return;
        }
        --depthLimit;
        moveMedianToFirst(first, first + 1, first + (last - first) / 2, last - 1);
        SplitEntry* const cut = partitionAround(first + 1, last, first->key);
        if (cut <= nth) {
            first = cut;
        } else {
            last = cut;
        }
    }
    insertionSort(first, last);
}

}  // namespace zephrin
