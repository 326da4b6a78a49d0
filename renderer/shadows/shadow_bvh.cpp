// Shadow caster selection and the hierarchy build: median splits along the longest axis, nodes in
// depth-first pre-order so that a node's left child always follows it.
#include "renderer/shadows/shadow_bvh.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>

#include "common/diagnostic_log.h"
#include "renderer/shadows/shadow_walk_layout.h"
#include "renderer/shadows/split_selection.h"
#include "renderer/texture/pixel_formats.h"
#include "sdk/AE_Effect.h"

namespace zephrin {
namespace {

// Casters this transparent or this translucent let the light through.
constexpr double kMinCasterOpacity = 0.001;
constexpr double kMaxCasterTransmission = 0.98;
// A float texel at or below this alpha is a hole in the caster.
constexpr double kTransparentFloatAlpha = 0.001;

bool isCaster(const SceneSurface& s) {
    return !s.mesh.triangles.empty() && s.castsShadows && s.opacity > kMinCasterOpacity &&
           s.lightTransmission < kMaxCasterTransmission;
}

bool isReceiver(const SceneSurface& s) { return !s.mesh.triangles.empty() && s.acceptsShadows; }

bool texelTransparent(const SurfaceTexture& t, int32_t x, int32_t y) {
    switch (t.worldType) {
        case AEGP_WorldType_8:
            return texelAt<PF_Pixel8>(t, x, y).alpha == 0;
        case AEGP_WorldType_16:
            return texelAt<PF_Pixel16>(t, x, y).alpha == 0;
        default:
            // NaN alpha counts as a hole: the sampler reads it as 0.
            return !(texelAt<PF_PixelFloat>(t, x, y).alpha > kTransparentFloatAlpha);
    }
}

// The texel range [floor, ceil] of (size - 1) times the rectangle's bounds, clamped to the image.
void texelRange(double lo, double hi, int32_t size, int32_t& first, int32_t& last) {
    double span = static_cast<double>(size - 1);
    double a = std::floor(span * std::min(lo, hi));
    double b = std::ceil(span * std::max(lo, hi));
    first = static_cast<int32_t>(std::clamp(std::isfinite(a) ? a : 0.0, 0.0, span));
    last = static_cast<int32_t>(std::clamp(std::isfinite(b) ? b : span, 0.0, span));
}

bool hasTransparentTexel(const SurfaceTexture& t) {
    // Pixel access that cannot be walked safely is not sampled by the raster either.
    if (!walkablePixels(t)) return false;
    int32_t x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    texelRange(t.uvRect.uMin, t.uvRect.uMax, t.width, x0, x1);
    texelRange(t.uvRect.vMin, t.uvRect.vMax, t.height, y0, y1);
    for (int32_t y = y0; y <= y1; ++y) {
        for (int32_t x = x0; x <= x1; ++x) {
            if (texelTransparent(t, x, y)) return true;
        }
    }
    return false;
}

// A box as the build grows it: per axis the first smallest and first largest coordinate met (a NaN
// is passed over), so that a node's box folded from its triangles' boxes in run order equals the
// one grown corner by corner.
struct BuildBox {
    Vec3 lo{std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
            std::numeric_limits<double>::infinity()};
    Vec3 hi{-std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
            -std::numeric_limits<double>::infinity()};
};

inline void foldBox(BuildBox& box, const BuildBox& other) {
    box.lo = Vec3{std::min(box.lo.x, other.lo.x), std::min(box.lo.y, other.lo.y), std::min(box.lo.z, other.lo.z)};
    box.hi = Vec3{std::max(box.hi.x, other.hi.x), std::max(box.hi.y, other.hi.y), std::max(box.hi.z, other.hi.z)};
}

// A leaf whose walk arrays are still to be written: its node, its run and its long axis.
struct PendingLeaf {
    int32_t node, first, count;
    int axis;
};

// What the build reads per triangle, in flat arrays by triangle index: its box grown by the node
// boxes' rule, and its centroid per axis.
struct BuildScratch {
    std::vector<BuildBox> boxes;
    std::vector<double> centroids[3];
    std::vector<SplitEntry> entries;  // the run being split, in the order of ShadowBvh::indices
    // The leaves in pre-order. Their walk arrays are written once the tree stands: written between
    // the splits, they pushed the splits' own data out of the cache, which cost more on small
    // frames than reading each leaf's triangles once afterwards.
    std::vector<PendingLeaf> leaves;
};

int splitAxis(const BuildBox& box) {
    const Vec3 extent = box.hi - box.lo;
    if (extent.y > extent.x && extent.y >= extent.z) return 1;
    if (extent.z > extent.x) return 2;
    return 0;
}

// Appends the node over entries [first, first + count), whose box its parent has already folded,
// and its subtree. `keyAxis` is the axis the run's keys hold (-1: none yet).
void buildNode(ShadowBvh& bvh, BuildScratch& scratch, const BuildBox& box, int32_t first, int32_t count,
               int32_t depth, int keyAxis) {
    ShadowBvhNode node;
    node.boundsMin = box.lo;
    node.boundsMax = box.hi;
    node.firstIndex = first;
    node.indexCount = count;
    const auto self = static_cast<int32_t>(bvh.nodes.size());
    bvh.nodes.push_back(node);

    const int axis = splitAxis(box);
    SplitEntry* run = scratch.entries.data() + first;
    if (count <= kShadowBvhLeafSize || depth >= kShadowBvhMaxDepth) {
        // A leaf's run is final: it goes to the indices here, where the walk orders it later.
        for (int32_t i = 0; i < count; ++i) bvh.indices[static_cast<size_t>(first + i)] = run[i].triangle;
        scratch.leaves.push_back(PendingLeaf{self, first, count, axis});
        return;
    }
    if (axis != keyAxis) {
        const double* centroids = scratch.centroids[axis].data();
        for (int32_t i = 0; i < count; ++i) run[i].key = centroids[run[i].triangle];
    }
    const int32_t half = count / 2;
    selectSmallestKeys(run, run + half, run + count);
    BuildBox leftBox, rightBox;
    const BuildBox* boxes = scratch.boxes.data();
    for (int32_t i = 0; i < half; ++i) foldBox(leftBox, boxes[run[i].triangle]);
    for (int32_t i = half; i < count; ++i) foldBox(rightBox, boxes[run[i].triangle]);
    const auto left = static_cast<int32_t>(bvh.nodes.size());
    buildNode(bvh, scratch, leftBox, first, half, depth + 1, axis);
    const auto right = static_cast<int32_t>(bvh.nodes.size());
    buildNode(bvh, scratch, rightBox, first + half, count - half, depth + 1, axis);
    ShadowBvhNode& built = bvh.nodes[static_cast<size_t>(self)];
    built.leftChild = left;
    built.rightChild = right;
    built.indexCount = 0;
}

void logSkip(const char* reason, size_t surfaces, size_t lights) {
    if (!renderLogEnabled()) return;
    std::ostringstream line;
    line << "RendererV2Shadow: skipped reason=" << reason << " surfaces=" << surfaces << " lights=" << lights;
    logRender(line.str());
}

// Whether the frame needs a hierarchy at all: a light that casts shadows, a caster and a receiver.
// Logs why not when it does not.
bool needsHierarchy(const std::vector<SceneSurface>& surfaces, const std::vector<SceneLight>& lights) {
    bool shadowLight = std::any_of(lights.begin(), lights.end(),
                                   [](const SceneLight& l) { return l.castsShadows && l.type != kLightAmbient; });
    if (!shadowLight) {
        logSkip("noShadowLight", surfaces.size(), lights.size());
        return false;
    }
    bool caster = std::any_of(surfaces.begin(), surfaces.end(), isCaster);
    bool receiver = std::any_of(surfaces.begin(), surfaces.end(), isReceiver);
    if (!caster || !receiver) {
        logSkip(receiver ? "noCaster" : "noReceiver", surfaces.size(), lights.size());
        return false;
    }
    return true;
}

// Every placeable triangle of every caster, in world space with its box and centroid, and what the
// build reads of each.
void collectCasterTriangles(ShadowBvh& bvh, BuildScratch& scratch, const std::vector<SceneSurface>& surfaces) {
    size_t total = 0;
    for (const SceneSurface& s : surfaces) {
        if (isCaster(s)) total += s.mesh.triangles.size();
    }
    bvh.triangles.reserve(total);
    scratch.boxes.reserve(total);
    for (std::vector<double>& axis : scratch.centroids) axis.reserve(total);
    for (size_t si = 0; si < surfaces.size(); ++si) {
        const SceneSurface& s = surfaces[si];
        if (!isCaster(s)) continue;
        const bool alpha = casterMayBeTransparent(s);
        bvh.hasAlphaCasters = bvh.hasAlphaCasters || alpha;
        const auto vertexCount = s.mesh.vertices.size();
        for (size_t ti = 0; ti < s.mesh.triangles.size(); ++ti) {
            const SurfaceTriangle& tri = s.mesh.triangles[ti];
            // A triangle that names a missing vertex cannot be placed; the raster drops it as well.
            if (tri.a < 0 || tri.b < 0 || tri.c < 0 || static_cast<size_t>(tri.a) >= vertexCount ||
                static_cast<size_t>(tri.b) >= vertexCount || static_cast<size_t>(tri.c) >= vertexCount) {
                continue;
            }
            ShadowTriangle t;
            t.a = s.mesh.vertices[static_cast<size_t>(tri.a)].worldPosition;
            t.b = s.mesh.vertices[static_cast<size_t>(tri.b)].worldPosition;
            t.c = s.mesh.vertices[static_cast<size_t>(tri.c)].worldPosition;
            t.centroid = (t.a + t.b + t.c) * (1.0 / 3.0);
            t.surfaceIndex = static_cast<int32_t>(si);
            t.triangleIndex = static_cast<int32_t>(ti);
            t.alphaTested = alpha;
            t.boundsMin = t.boundsMax = t.a;
            growBounds(t.boundsMin, t.boundsMax, t.b);
            growBounds(t.boundsMin, t.boundsMax, t.c);
            bvh.triangles.push_back(t);
            // A node grows its box with each triangle's minimum corner and then its maximum one.
            BuildBox box;
            growBounds(box.lo, box.hi, t.boundsMin);
            growBounds(box.lo, box.hi, t.boundsMax);
            scratch.boxes.push_back(box);
            scratch.centroids[0].push_back(t.centroid.x);
            scratch.centroids[1].push_back(t.centroid.y);
            scratch.centroids[2].push_back(t.centroid.z);
        }
    }
}

// The nodes over the identity permutation of the triangles, which the splits then reorder.
void buildTree(ShadowBvh& bvh, BuildScratch& scratch, const ShadowTreeShape& shape) {
    const size_t n = bvh.triangles.size();
    bvh.indices.resize(n);
    bvh.nodes.reserve(shape.nodes);
    if (n == 0) return;
    scratch.entries.resize(n);
    // A tree whose inner nodes all have two children has one leaf more than inner nodes.
    scratch.leaves.reserve(bvh.nodes.capacity() / 2 + 1);
    BuildBox root;
    for (size_t i = 0; i < n; ++i) {
        scratch.entries[i] = SplitEntry{0.0, static_cast<uint32_t>(i)};
        foldBox(root, scratch.boxes[i]);
    }
    buildNode(bvh, scratch, root, 0, static_cast<int32_t>(n), 0, -1);
}

}  // namespace

bool casterMayBeTransparent(const SceneSurface& surface) {
    if (hasTransparentTexel(surface.frontTexture) || hasTransparentTexel(surface.backTexture)) return true;
    if (!surface.frontTexture.hasPixels()) {
        if (packedAlpha(surface.controls.frontColor) == 0) return true;
    }
    return !surface.backTexture.hasPixels() && packedAlpha(surface.controls.backColor) == 0;
}

ShadowBvh buildShadowBvh(const std::vector<SceneSurface>& surfaces, const std::vector<SceneLight>& lights) {
    ShadowBvh bvh;
    bvh.surfaces = &surfaces;
    if (!needsHierarchy(surfaces, lights)) return bvh;
    BuildScratch scratch;
    collectCasterTriangles(bvh, scratch, surfaces);
    const ShadowTreeShape shape = shadowTreeShape(bvh.triangles.size());
    buildTree(bvh, scratch, shape);
    // Sized only now, after the splits: taken before them, beside the splits' own arrays, they
    // made the allocator hand out fresh pages build after build.
    startShadowWalk(bvh, shape);
    for (const PendingLeaf& l : scratch.leaves) emitLeafForWalk(bvh, l.node, l.first, l.count, l.axis);
    finishShadowWalk(bvh);
    if (renderLogEnabled()) {
        std::ostringstream line;
        line << "RendererV2Shadow: triangles=" << bvh.triangles.size() << " nodes=" << bvh.nodes.size();
        logRender(line.str());
    }
    return bvh;
}

}  // namespace zephrin
