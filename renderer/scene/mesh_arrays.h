// The arrays a mesh keeps its vertices and triangles in: std::vector, with one addition. A full-cap
// slab has 1.7 million vertices (238 MB) that its builders write side by side, row range by row
// range, into an array sized beforehand; resize() would first write every one of them on one thread,
// which costs as much as a third of building them. These arrays can also be grown by elements that
// are left for the caller to write. Everything else behaves as std::vector with std::allocator.
#pragma once

#include <cstddef>
#include <iterator>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

namespace zephrin {

// The value an array grows by when its new elements are left for the caller to write.
struct UnwrittenElement {
    // vector::insert compiles the path that inserts before existing elements too, which assigns
    // from the inserted values. resizeUnwritten only appends, so this never runs; if it did, the
    // element would be value-initialised rather than left unwritten.
    template <typename T>
    requires std::is_trivially_copyable_v<T>
    operator T() const noexcept { return T{}; }
};

// std::allocator, except that constructing from UnwrittenElement does nothing. The elements are
// aggregates of plain numbers (implicit-lifetime types), so the storage holds them without a
// constructor having run; the caller's own writes give them their values.
template <typename T>
struct MeshArrayAllocator {
    using value_type = T;

    MeshArrayAllocator() noexcept = default;
    template <typename U>
    MeshArrayAllocator(const MeshArrayAllocator<U>&) noexcept {}

    T* allocate(size_t count) { return std::allocator<T>{}.allocate(count); }
    void deallocate(T* data, size_t count) noexcept { std::allocator<T>{}.deallocate(data, count); }

    template <typename U, typename... Args>
    void construct(U* at, Args&&... args) {
        if constexpr ((sizeof...(Args) == 1) && (std::is_same_v<std::remove_cvref_t<Args>, UnwrittenElement> && ...)) {
            static_assert(std::is_trivially_copyable_v<U> && std::is_trivially_destructible_v<U>,
                          "only plain records may be left unwritten");
        } else {
            std::construct_at(at, std::forward<Args>(args)...);
        }
    }

    template <typename U>
    friend bool operator==(const MeshArrayAllocator&, const MeshArrayAllocator<U>&) noexcept {
        return true;
    }
};

template <typename T>
using MeshArray = std::vector<T, MeshArrayAllocator<T>>;

// A run of UnwrittenElement values, as the iterator range vector::insert takes.
struct UnwrittenElements {
    using iterator_category = std::forward_iterator_tag;
    using value_type = UnwrittenElement;
    using difference_type = std::ptrdiff_t;
    using pointer = const UnwrittenElement*;
    using reference = const UnwrittenElement&;

    size_t index = 0;
    UnwrittenElement element;

    reference operator*() const { return element; }
    UnwrittenElements& operator++() {
        ++index;
        return *this;
    }
    UnwrittenElements operator++(int) {
        UnwrittenElements before = *this;
        ++index;
        return before;
    }
    friend bool operator==(const UnwrittenElements& a, const UnwrittenElements& b) { return a.index == b.index; }
};

// Resizes `array` to `count` elements. Elements that already were there keep their values; new ones
// are left unwritten, and the caller must write every one of them before anything reads it.
template <typename T>
void resizeUnwritten(MeshArray<T>& array, size_t count) {
    if (count <= array.size()) {
        array.resize(count);
        return;
    }
    array.insert(array.end(), UnwrittenElements{0, {}}, UnwrittenElements{count - array.size(), {}});
}

}  // namespace zephrin
