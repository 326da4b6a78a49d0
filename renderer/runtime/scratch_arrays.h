// Per-pixel scratch arrays of the post passes (shadow filtering, depth of field), kept from one frame
// to the next like the frame's own arrays: at 1080p each is 8 to 16 MB whose first touch would
// otherwise cost more than the pass's arithmetic.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zephrin {

// An array of `count` copies of `value`, in spare storage when some fits. Spare storage is filled by
// the workers side by side.
template <typename T>
std::vector<T> takeScratchArray(size_t count, const T& value);

// An array of `count` elements whose values are whatever the storage held before (zeros when it is
// fresh), for a pass that writes every element it reads before reading it: at 1080p each fill it
// saves is 8 to 16 MB written for nothing.
template <typename T>
std::vector<T> takeUnfilledScratchArray(size_t count);

// Gives an array's storage back for later takes (or frees it when enough are kept).
template <typename T>
void returnScratchArray(std::vector<T>& array) noexcept;

// Frees every kept array (at plug-in shutdown).
void releaseScratchArrays() noexcept;

// Asks a ScratchArray for takeUnfilledScratchArray's array.
struct LeftUnfilled {};
constexpr LeftUnfilled kLeftUnfilled{};

// A scratch array that goes back when its scope ends.
template <typename T>
struct ScratchArray {
    std::vector<T> values;
    ScratchArray(size_t count, const T& value) : values(takeScratchArray<T>(count, value)) {}
    ScratchArray(size_t count, LeftUnfilled) : values(takeUnfilledScratchArray<T>(count)) {}
    ScratchArray(const ScratchArray&) = delete;
    ScratchArray& operator=(const ScratchArray&) = delete;
    ~ScratchArray() { returnScratchArray(values); }
};

}  // namespace zephrin
