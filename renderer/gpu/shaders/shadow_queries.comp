#version 450
// Shadow rays for every visible pixel and shadow-casting light at once: one thread per query, each
// walking the packed shadow hierarchy toward its light.
#extension GL_GOOGLE_include_directive : require

layout(local_size_x = 64, local_size_y = 1, local_size_z = 1) in;

#include "shadow_bvh_records.glsl"

#include "shadow_query_records.glsl"

layout(std430, set = 0, binding = 0) readonly buffer Nodes { Node nodes[]; };
layout(std430, set = 0, binding = 1) readonly buffer Triangles { Triangle triangles[]; };
layout(std430, set = 0, binding = 2) readonly buffer Queries { Query queries[]; };
layout(std430, set = 0, binding = 3) writeonly buffer Results { Result results[]; };

layout(push_constant) uniform Params {
    uint query_count;
    uint node_count;
    uint triangle_count;
    uint pad_count;
};

#include "shadow_bvh_walk.glsl"

const uint kNearestBit = 0x80000000u;

void main() {
    uint id = gl_GlobalInvocationID.x;
    if (id >= query_count) return;
    Query query = queries[id];
    float t;
    bool hit = walkShadowBvh(toVec3(query.origin), toVec3(query.dir), query.max_t,
                             query.packed_identity & ~kNearestBit, (query.packed_identity & kNearestBit) != 0u, t);
    results[id].nearest_t = t;
    results[id].hit = hit ? 1u : 0u;
}
