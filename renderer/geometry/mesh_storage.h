// Mesh arrays kept from one frame to the next. A frame's meshes are built into fresh memory and freed
// when the frame ends; at the full caps a Free Mode layer writes about 300 MB, most of whose cost is
// the first touch of its pages. Handing a finished frame's arrays to the next frame's meshes of a
// similar size lets them write into pages that already exist.
#pragma once

#include <cstddef>

#include "renderer/scene/frame_scene.h"

namespace zephrin {

// Takes the mesh's arrays into the spare store (emptied; their memory kept) and leaves the mesh
// empty. Arrays that would push the store past its memory limit are freed instead.
void recycleMeshStorage(SurfaceMesh& mesh) noexcept;

// Reserves room for this many vertices and triangles in an empty mesh, from spare arrays when one
// fits (at least as large, at most twice as large), otherwise with fresh memory.
void reserveMeshStorage(SurfaceMesh& mesh, size_t vertices, size_t triangles);

// Frees every spare array (at plug-in shutdown).
void releaseRecycledMeshStorage() noexcept;

// Bytes the spare store holds, for tests and diagnostics.
size_t recycledMeshStorageBytes() noexcept;

}  // namespace zephrin
