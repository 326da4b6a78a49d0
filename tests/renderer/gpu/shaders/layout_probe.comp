#version 450
// Writes back, word for word, what the shaders read from the second record of each shared buffer,
// so a test can compare it with what the host wrote: a field at the wrong offset or a record of the
// wrong stride shows at once.
#extension GL_GOOGLE_include_directive : require

layout(local_size_x = 1, local_size_y = 1, local_size_z = 1) in;

#include "shadow_bvh_records.glsl"
#include "shadow_query_records.glsl"

layout(std430, set = 0, binding = 0) readonly buffer Nodes { Node nodes[]; };
layout(std430, set = 0, binding = 1) readonly buffer Triangles { Triangle triangles[]; };
layout(std430, set = 0, binding = 2) readonly buffer Queries { Query queries[]; };
layout(std430, set = 0, binding = 3) writeonly buffer Seen { uint seen[]; };

void main() {
    Node n = nodes[1];
    for (int i = 0; i < 3; ++i) seen[i] = floatBitsToUint(n.bmin[i]);
    seen[3] = uint(n.first_child);
    for (int i = 0; i < 3; ++i) seen[4 + i] = floatBitsToUint(n.bmax[i]);
    seen[7] = uint(n.escape);
    seen[8] = uint(n.start);
    seen[9] = uint(n.count);

    Triangle t = triangles[1];
    for (int i = 0; i < 3; ++i) seen[10 + i] = floatBitsToUint(t.a[i]);
    seen[13] = t.packed_identity;
    for (int i = 0; i < 3; ++i) seen[14 + i] = floatBitsToUint(t.b[i]);
    for (int i = 0; i < 3; ++i) seen[17 + i] = floatBitsToUint(t.c[i]);

    Query q = queries[1];
    for (int i = 0; i < 3; ++i) seen[20 + i] = floatBitsToUint(q.origin[i]);
    seen[23] = floatBitsToUint(q.max_t);
    for (int i = 0; i < 3; ++i) seen[24 + i] = floatBitsToUint(q.dir[i]);
    seen[27] = q.packed_identity;
}
