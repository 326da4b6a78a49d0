#version 450
// The raster pass: per pixel, the nearest prepared triangle of its 4 x 4 tile that covers one of the
// four samples, and its coverage mask. Mirrors the CPU pixel pass in single precision; the CPU checks
// every answer in double precision before using it.
#extension GL_GOOGLE_include_directive : require

layout(local_size_x = 8, local_size_y = 8, local_size_z = 1) in;

#include "raster_records.glsl"

layout(std430, set = 0, binding = 0) readonly buffer Triangles { RasterTriangle triangles[]; };
layout(std430, set = 0, binding = 1) readonly buffer Tiles { RasterTile tiles[]; };
layout(std430, set = 0, binding = 2) readonly buffer TileIndices { uint tile_triangle_indices[]; };
layout(std430, set = 0, binding = 3) writeonly buffer Results { RasterResult results[]; };
layout(push_constant) uniform Params {
    uint width;
    uint height;
    uint tiles_x;
    uint tile_size;
    uint triangle_count;
    uint tile_index_count;
    uint pad0;
    uint pad1;
};

// Edge-function slack in units of the area term: samples on a shared edge land in both triangles.
const float kEdgeInsideEpsilon = 1e-5;
// Perspective weight sums at or below this belong to points at infinity.
const float kMinInverseDepthSum = 1e-9;
// Depths this close (relative) are not told apart reliably in single precision; such a pixel is
// marked contested and the CPU ranks its candidates in double precision.
const float kContestedDepthRel = 1e-4;
const uint kContestedBit = 0x80000000u;
const vec2 kSamples[4] = vec2[4](vec2(0.25, 0.25), vec2(0.75, 0.25), vec2(0.25, 0.75), vec2(0.75, 0.75));

// The three edge functions at point p, each divided by the area term (the screen-space weights).
vec3 edgeWeights(RasterTriangle t, vec2 p) {
    // Differences first: the corners are far from the origin, the sample close to them.
    vec2 b = t.p1.xy - p, c = t.p2.xy - p;
    float e0 = b.y * c.x - c.y * b.x;
    float e1 = (p.y - t.p0.y) * (t.p2.x - t.p0.x) - (t.p2.y - t.p0.y) * (p.x - t.p0.x);
    float e2 = (t.p1.y - t.p0.y) * (p.x - t.p0.x) - (p.y - t.p0.y) * (t.p1.x - t.p0.x);
    return vec3(e0, e1, e2) / t.area;
}

void main() {
    uvec2 pixel = gl_GlobalInvocationID.xy;
    if (pixel.x >= width || pixel.y >= height) return;
    uint tile = (pixel.y / tile_size) * tiles_x + pixel.x / tile_size;
    RasterTile run = tiles[tile];

    int best = -1;
    int bestSurface = -1;
    uint bestMask = 0u;
    float bestDepth = 1.0 / 0.0;
    float runnerUpDepth = 1.0 / 0.0;  // nearest depth among the other candidates
    for (uint k = 0u; k < run.count; ++k) {
        uint index = tile_triangle_indices[run.offset + k];
        if (index >= triangle_count) continue;
        RasterTriangle t = triangles[index];
        uint mask = 0u;
        vec2 sum = vec2(0.0);
        int covered = 0;
        for (int i = 0; i < 4; ++i) {
            vec2 s = vec2(pixel) + kSamples[i];
            vec3 w = edgeWeights(t, s);
            if (w.x >= -kEdgeInsideEpsilon && w.y >= -kEdgeInsideEpsilon && w.z >= -kEdgeInsideEpsilon) {
                mask |= 1u << uint(i);
                sum += s;
                ++covered;
            }
        }
        if (covered == 0) continue;
        vec3 w = edgeWeights(t, sum / float(covered));
        float inverseDepth = w.x * t.p0.z + w.y * t.p1.z + w.z * t.p2.z;
        if (!(inverseDepth > kMinInverseDepthSum)) continue;
        float depth = 1.0 / inverseDepth;
        // One surface's triangles meeting inside a pixel cover it together.
        if (t.surface_index == bestSurface) {
            mask |= bestMask;
            bestMask = mask;
        }
        if (depth < bestDepth) {
            runnerUpDepth = min(runnerUpDepth, bestDepth);
            best = t.prepared_index;
            bestSurface = t.surface_index;
            bestDepth = depth;
            bestMask = mask;
        } else {
            runnerUpDepth = min(runnerUpDepth, depth);
        }
    }
    if (best >= 0 && runnerUpDepth - bestDepth <= kContestedDepthRel * bestDepth) bestMask |= kContestedBit;
    uint out_index = pixel.y * width + pixel.x;
    results[out_index].prepared_index = best;
    results[out_index].coverage_mask = best >= 0 ? bestMask : 0u;
}
