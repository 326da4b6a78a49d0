// Fresh memory faulted in by the workers side by side. A full-cap mesh is about 300 MB of new memory;
// the first write to each 4 KiB page traps into the kernel, which clears the page, and on the first
// frame after start-up those traps cost more than the geometry itself. Faulted in ahead on every
// worker at once, they take a fraction of the time, and the writes that follow find their pages.
// The pages stay small on purpose. Huge pages (madvise MADV_HUGEPAGE) cut the faults 500-fold when
// memory is freed and taken again at once, but on a virtual machine whose balloon hands idle free
// memory back to its host, a process started after a few idle seconds faulted a full-cap mesh in
// twice as slowly with them (about 600 ms against 255 ms): that start is the one users wait for.
#pragma once

#include <cstddef>
#include <vector>

namespace zephrin {

// Smaller ranges fault in as they are written: one worker's share must outweigh starting its thread.
constexpr size_t kMinPrefaultBytesPerWorker = size_t{8} << 20;

// Has the whole pages of [data, data + bytes) faulted in for writing, shared out over the workers.
// Contents are never changed: pages already present stay as they are. Returns whether the OS did it
// (false off Linux, on kernels without MADV_POPULATE_WRITE, or for a range under one worker's share),
// in which case the pages fault in when they are first written, as they would have anyway.
bool prefaultFreshMemory(const void* data, size_t bytes);

// The same for an array's whole capacity, ahead of filling it.
template <typename T, typename Allocator>
bool prefaultFreshMemory(const std::vector<T, Allocator>& array) {
    return prefaultFreshMemory(array.data(), array.capacity() * sizeof(T));
}

}  // namespace zephrin
