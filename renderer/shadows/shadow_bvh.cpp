// Shadow caster selection and the hierarchy build: median splits along the longest axis, nodes in
// depth-first pre-order so that a node's left child always follows it.
#include "renderer/shadows/shadow_bvh.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>

#include "common/diagnostic_log.h"
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

void growBounds(Vec3& lo, Vec3& hi, const Vec3& p) {
    lo = Vec3{std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
    hi = Vec3{std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
}

double axisOf(const Vec3& v, int axis) { return axis == 0 ? v.x : (axis == 1 ? v.y : v.z); }

void fillBoxPair(ShadowChildBoxes& pair, const Vec3& firstMin, const Vec3& firstMax, const Vec3& secondMin,
                 const Vec3& secondMax) {
    for (int axis = 0; axis < 3; ++axis) {
        pair.lo[axis][0] = axisOf(firstMin, axis);
        pair.hi[axis][0] = axisOf(firstMax, axis);
        pair.lo[axis][1] = axisOf(secondMin, axis);
        pair.hi[axis][1] = axisOf(secondMax, axis);
    }
}

double surfaceArea(const Vec3& lo, const Vec3& hi) {
    const Vec3 e = hi - lo;
    return e.x * e.y + e.y * e.z + e.z * e.x;
}

// Reorders a leaf's run so that each group of two holds triangles with a small common box: the two
// triangles of a quad rather than one of a slab's front and one of its back, whose box would span
// the slab's thickness and take in every ray that leaves either face. Greedy, in the run's order:
// each triangle not yet placed takes, of the next few along the leaf's axis, the partner that gives
// the smallest box.
constexpr int32_t kPartnerCandidates = 6;

void pairTightly(ShadowBvh& bvh, int32_t first, int32_t count) {
    static_assert(kShadowLeafGroupSize == 2, "groups are pairs");
    constexpr int32_t kMaxRun = 4 * kShadowBvhLeafSize;
    if (count <= 2 || count > kMaxRun) return;
    uint32_t run[kMaxRun];
    bool placed[kMaxRun] = {};
    std::copy(bvh.indices.begin() + first, bvh.indices.begin() + first + count, run);
    size_t out = static_cast<size_t>(first);
    for (int32_t i = 0; i < count; ++i) {
        if (placed[i]) continue;
        placed[i] = true;
        bvh.indices[out++] = run[i];
        const ShadowTriangle& a = bvh.triangles[run[i]];
        int32_t best = -1;
        double bestArea = std::numeric_limits<double>::infinity();
        for (int32_t j = i + 1, looked = 0; j < count && looked < kPartnerCandidates; ++j) {
            if (placed[j]) continue;
            ++looked;
            const ShadowTriangle& b = bvh.triangles[run[j]];
            Vec3 lo = a.boundsMin, hi = a.boundsMax;
            growBounds(lo, hi, b.boundsMin);
            growBounds(lo, hi, b.boundsMax);
            const double area = surfaceArea(lo, hi);
            if (area < bestArea) bestArea = area, best = j;
        }
        if (best >= 0) {
            placed[best] = true;
            bvh.indices[out++] = run[best];
        }
    }
}

void buildNode(ShadowBvh& bvh, int32_t first, int32_t count, int32_t depth) {
    ShadowBvhNode node;
    const double inf = std::numeric_limits<double>::infinity();
    node.boundsMin = Vec3{inf, inf, inf};
    node.boundsMax = Vec3{-inf, -inf, -inf};
    for (int32_t i = first; i < first + count; ++i) {
        const ShadowTriangle& t = bvh.triangles[bvh.indices[static_cast<size_t>(i)]];
        growBounds(node.boundsMin, node.boundsMax, t.boundsMin);
        growBounds(node.boundsMin, node.boundsMax, t.boundsMax);
    }
    node.firstIndex = first;
    node.indexCount = count;
    const auto self = static_cast<int32_t>(bvh.nodes.size());
    bvh.nodes.push_back(node);

    Vec3 extent = node.boundsMax - node.boundsMin;
    int axis = 0;
    if (extent.y > extent.x && extent.y >= extent.z) {
        axis = 1;
    } else if (extent.z > extent.x) {
        axis = 2;
    }
    auto begin = bvh.indices.begin() + first;
    if (count <= kShadowBvhLeafSize || depth >= kShadowBvhMaxDepth) {
        // The order within a leaf is free: along its long axis, with each group's triangles chosen to
        // share the smallest box.
        std::sort(begin, begin + count, [&bvh, axis](uint32_t l, uint32_t r) {
            return axisOf(bvh.triangles[l].centroid, axis) < axisOf(bvh.triangles[r].centroid, axis);
        });
        pairTightly(bvh, first, count);
        return;
    }
    const int32_t half = count / 2;
    std::nth_element(begin, begin + half, begin + count, [&bvh, axis](uint32_t l, uint32_t r) {
        return axisOf(bvh.triangles[l].centroid, axis) < axisOf(bvh.triangles[r].centroid, axis);
    });
    const auto left = static_cast<int32_t>(bvh.nodes.size());
    buildNode(bvh, first, half, depth + 1);
    const auto right = static_cast<int32_t>(bvh.nodes.size());
    buildNode(bvh, first + half, count - half, depth + 1);
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

// Every placeable triangle of every caster, in world space with its box and centroid.
void collectCasterTriangles(ShadowBvh& bvh, const std::vector<SceneSurface>& surfaces) {
    size_t total = 0;
    for (const SceneSurface& s : surfaces) {
        if (isCaster(s)) total += s.mesh.triangles.size();
    }
    bvh.triangles.reserve(total);
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
        }
    }
}

// The nodes over the identity permutation of the triangles, which the splits then reorder.
void buildTree(ShadowBvh& bvh) {
    bvh.indices.resize(bvh.triangles.size());
    for (size_t i = 0; i < bvh.indices.size(); ++i) bvh.indices[i] = static_cast<uint32_t>(i);
    if (!bvh.triangles.empty()) {
        // Every split at least halves the run, so the tree has fewer than 2n / leaf size + 1 nodes.
        bvh.nodes.reserve(2 * bvh.triangles.size() / static_cast<size_t>(kShadowBvhLeafSize) * 2 + 1);
        buildNode(bvh, 0, static_cast<int32_t>(bvh.triangles.size()), 0);
    }
}

// The triangles in leaf order, as corner and edges, the form the ray test reads.
void prepareRayTriangles(ShadowBvh& bvh) {
    bvh.rayTriangles.reserve(bvh.indices.size());
    for (uint32_t index : bvh.indices) {
        const ShadowTriangle& t = bvh.triangles[index];
        bvh.rayTriangles.push_back(
            ShadowRayTriangle{t.a, t.b - t.a, t.c - t.a, t.surfaceIndex, t.triangleIndex, t.alphaTested});
    }
}

// Each leaf cut into groups of neighbouring triangles, with each group's box and its triangles
// paired lane by lane.
void buildLeafGroups(ShadowBvh& bvh) {
    bvh.nodeFirstGroup.assign(bvh.nodes.size(), -1);
    // Sized up front: growing them step by step would copy them over and over.
    size_t groupTotal = 0;
    for (const ShadowBvhNode& node : bvh.nodes) {
        if (node.leftChild < 0) {
            groupTotal += static_cast<size_t>((node.indexCount + kShadowLeafGroupSize - 1) / kShadowLeafGroupSize);
        }
    }
    bvh.leafGroups.reserve(groupTotal);
    bvh.groupPairs.reserve(groupTotal);
    for (size_t n = 0; n < bvh.nodes.size(); ++n) {
        const ShadowBvhNode& node = bvh.nodes[n];
        if (node.leftChild >= 0) continue;
        bvh.nodeFirstGroup[n] = static_cast<int32_t>(bvh.leafGroups.size());
        for (int32_t g = node.firstIndex; g < node.firstIndex + node.indexCount; g += kShadowLeafGroupSize) {
            ShadowLeafGroup group;
            group.firstIndex = g;
            group.indexCount = std::min(kShadowLeafGroupSize, node.firstIndex + node.indexCount - g);
            const ShadowTriangle& firstTriangle = bvh.triangles[bvh.indices[static_cast<size_t>(g)]];
            group.boundsMin = firstTriangle.boundsMin;
            group.boundsMax = firstTriangle.boundsMax;
            for (int32_t i = g + 1; i < g + group.indexCount; ++i) {
                const ShadowTriangle& t = bvh.triangles[bvh.indices[static_cast<size_t>(i)]];
                growBounds(group.boundsMin, group.boundsMax, t.boundsMin);
                growBounds(group.boundsMin, group.boundsMax, t.boundsMax);
            }
            bvh.leafGroups.push_back(group);
            ShadowTrianglePair pair;
            for (int32_t lane = 0; lane < 2; ++lane) {
                const ShadowRayTriangle& t =
                    bvh.rayTriangles[static_cast<size_t>(g + std::min(lane, group.indexCount - 1))];
                for (int axis = 0; axis < 3; ++axis) {
                    pair.a[axis][lane] = axisOf(t.a, axis);
                    pair.e1[axis][lane] = axisOf(t.e1, axis);
                    pair.e2[axis][lane] = axisOf(t.e2, axis);
                }
            }
            bvh.groupPairs.push_back(pair);
        }
    }
}

// Each even group of a leaf with the next one (itself when it is the last), boxes side by side.
void pairGroupBoxes(ShadowBvh& bvh) {
    bvh.groupBoxPairs.assign(bvh.leafGroups.size(), ShadowChildBoxes{});
    for (size_t n = 0; n < bvh.nodes.size(); ++n) {
        if (bvh.nodeFirstGroup[n] < 0) continue;
        const auto first = static_cast<size_t>(bvh.nodeFirstGroup[n]);
        const int32_t groups = (bvh.nodes[n].indexCount + kShadowLeafGroupSize - 1) / kShadowLeafGroupSize;
        for (int32_t g = 0; g < groups; g += 2) {
            const ShadowLeafGroup& a = bvh.leafGroups[first + static_cast<size_t>(g)];
            const ShadowLeafGroup& b = bvh.leafGroups[first + static_cast<size_t>(std::min(g + 1, groups - 1))];
            fillBoxPair(bvh.groupBoxPairs[first + static_cast<size_t>(g)], a.boundsMin, a.boundsMax, b.boundsMin,
                        b.boundsMax);
        }
    }
}

// One wide node per inner node: its grandchildren (or a child that is a leaf) with their boxes paired.
void buildWideNodes(ShadowBvh& bvh) {
    bvh.nodeWide.assign(bvh.nodes.size(), -1);
    bvh.wideNodes.reserve(static_cast<size_t>(
        std::count_if(bvh.nodes.begin(), bvh.nodes.end(), [](const ShadowBvhNode& node) { return node.leftChild >= 0; })));
    for (size_t n = 0; n < bvh.nodes.size(); ++n) {
        const ShadowBvhNode& node = bvh.nodes[n];
        if (node.leftChild < 0) continue;
        ShadowWideNode wide;
        for (int32_t child : {node.leftChild, node.rightChild}) {
            const ShadowBvhNode& c = bvh.nodes[static_cast<size_t>(child)];
            if (c.leftChild < 0) {
                wide.entries[wide.count++] = child;
            } else {
                wide.entries[wide.count++] = c.leftChild;
                wide.entries[wide.count++] = c.rightChild;
            }
        }
        for (int pair = 0; pair < 2; ++pair) {
            // An unused second lane repeats the first; the walk ignores entries past the count.
            const int32_t first = wide.entries[2 * pair] >= 0 ? wide.entries[2 * pair] : wide.entries[0];
            const int32_t second = wide.entries[2 * pair + 1] >= 0 ? wide.entries[2 * pair + 1] : first;
            const ShadowBvhNode& a = bvh.nodes[static_cast<size_t>(first)];
            const ShadowBvhNode& b = bvh.nodes[static_cast<size_t>(second)];
            fillBoxPair(wide.boxes[pair], a.boundsMin, a.boundsMax, b.boundsMin, b.boundsMax);
        }
        bvh.nodeWide[n] = static_cast<int32_t>(bvh.wideNodes.size());
        bvh.wideNodes.push_back(wide);
    }
}

// Copies into each wide node what the walk would otherwise read from its entries' nodes.
void linkWideEntries(ShadowBvh& bvh) {
    // Pre-order numbering gives every inner node its wide node only once the loop has passed it.
    for (ShadowWideNode& wide : bvh.wideNodes) {
        for (int32_t i = 0; i < wide.count; ++i) {
            const auto entry = static_cast<size_t>(wide.entries[i]);
            wide.wide[i] = bvh.nodeWide[entry];
            wide.leafFirst[i] = bvh.nodes[entry].firstIndex;
            wide.leafCount[i] = bvh.nodes[entry].indexCount;
            wide.leafFirstGroup[i] = bvh.nodeFirstGroup[entry];
            wide.usedMask |= 1u << i;
            if (wide.wide[i] < 0) wide.leafMask |= 1u << i;
        }
    }
}

bool walkArraysBuilt(const ShadowBvh& bvh) {
    return bvh.rayTriangles.size() == bvh.indices.size() && bvh.nodeFirstGroup.size() == bvh.nodes.size() &&
           bvh.nodeWide.size() == bvh.nodes.size() && bvh.groupPairs.size() == bvh.leafGroups.size() &&
           bvh.groupBoxPairs.size() == bvh.leafGroups.size();
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
    collectCasterTriangles(bvh, surfaces);
    buildTree(bvh);
    prepareRayTriangles(bvh);
    buildLeafGroups(bvh);
    pairGroupBoxes(bvh);
    buildWideNodes(bvh);
    linkWideEntries(bvh);
    bvh.walkReady = walkArraysBuilt(bvh);
    if (renderLogEnabled()) {
        std::ostringstream line;
        line << "RendererV2Shadow: triangles=" << bvh.triangles.size() << " nodes=" << bvh.nodes.size();
        logRender(line.str());
    }
    return bvh;
}

}  // namespace zephrin
