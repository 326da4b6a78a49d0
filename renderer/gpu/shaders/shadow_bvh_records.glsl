// The packed shadow hierarchy as the host writes it (renderer/gpu/shadow_bvh_packing.h), 40 bytes
// per record. Scalar members and float[3] only: std430 gives them 4-byte alignment, where a vec3
// would be aligned to 16 bytes and shift every field after it.

struct Node {
    float bmin[3];
    int first_child;  // -1 in a leaf
    float bmax[3];
    int escape;       // the node after this subtree; the node count ends the walk
    int start;        // first triangle of a leaf
    int count;        // its triangle count
};

struct Triangle {
    float a[3];
    uint packed_identity;  // surface index << 24 | triangle index
    float b[3];
    float c[3];
};

vec3 toVec3(float v[3]) { return vec3(v[0], v[1], v[2]); }
