// A stackless walk of the packed shadow hierarchy: a box that is hit leads into the node's first
// child (or, in a leaf, through its triangles), a box that is missed skips to the node's escape.
// The including shader declares `nodes` and `triangles` (Node, Triangle), `node_count` and
// `triangle_count` first.

// The ray-triangle test keeps the CPU's limits, so both answer alike away from triangle edges.
const float kDeterminantEpsilon = 1e-8;
const float kBarycentricSlack = 1e-7;
const float kMinHitDistance = 1e-5;
// Below this a direction component counts as parallel to the slab.
const float kParallelDirection = 1e-10;
// Single-precision slab distances may round a grazing hit out of its box; two ulps of slack at the
// far end keep such rays inside (the conservative traversal of Ize, "Robust BVH Ray Traversal").
const float kSlabFarSlack = 1.00000024;

bool hitsBox(Node node, vec3 origin, vec3 dir, float maxT) {
    float near = 0.0;
    float far = maxT;
    for (int axis = 0; axis < 3; ++axis) {
        float lo = node.bmin[axis];
        float hi = node.bmax[axis];
        float o = origin[axis];
        float d = dir[axis];
        if (abs(d) < kParallelDirection) {
            if (o < lo || o > hi) return false;
            continue;
        }
        float t0 = (lo - o) / d;
        float t1 = (hi - o) / d;
        if (t0 > t1) {
            float swap = t0;
            t0 = t1;
            t1 = swap;
        }
        near = max(near, t0);
        far = min(far, t1 * kSlabFarSlack);
        if (near > far) return false;
    }
    return true;
}

// Moller-Trumbore; the distance along the ray, or a negative value for a miss.
float hitTriangle(Triangle tri, vec3 origin, vec3 dir, float maxT) {
    vec3 a = toVec3(tri.a);
    vec3 e1 = toVec3(tri.b) - a;
    vec3 e2 = toVec3(tri.c) - a;
    vec3 p = cross(dir, e2);
    float det = dot(e1, p);
    if (abs(det) < kDeterminantEpsilon) return -1.0;
    vec3 s = origin - a;
    float u = dot(s, p) / det;
    if (u < -kBarycentricSlack || u > 1.0 + kBarycentricSlack) return -1.0;
    vec3 q = cross(s, e1);
    float v = dot(dir, q) / det;
    if (v < -kBarycentricSlack || u + v > 1.0 + kBarycentricSlack) return -1.0;
    float t = dot(e2, q) / det;
    if (t <= kMinHitDistance || t >= maxT) return -1.0;
    return t;
}

// Whether anything blocks the ray before maxT. With `nearest` the whole tree is searched and
// hitT is the nearest blocker; otherwise the walk stops at the first. The triangle whose identity
// is `receiver` (the one the ray leaves) never blocks it.
bool walkShadowBvh(vec3 origin, vec3 dir, float maxT, uint receiver, bool nearest, out float hitT) {
    bool found = false;
    float limit = maxT;
    uint index = 0u;
    while (index < node_count) {
        Node node = nodes[index];
        uint next = uint(node.escape);
        if (hitsBox(node, origin, dir, limit)) {
            if (node.first_child >= 0) {
                next = uint(node.first_child);
            } else {
                // Bounded by the buffer, so a damaged record cannot send a thread outside it.
                int end = min(node.start + node.count, int(triangle_count));
                for (int i = max(node.start, 0); i < end; ++i) {
                    Triangle tri = triangles[i];
                    if (tri.packed_identity == receiver) continue;
                    float t = hitTriangle(tri, origin, dir, limit);
                    if (t < 0.0) continue;
                    found = true;
                    limit = t;
                    if (!nearest) {
                        hitT = t;
                        return true;
                    }
                }
            }
        }
        // Children and escapes lie ahead in pre-order; a damaged one that does not would loop forever.
        if (next <= index) break;
        index = next;
    }
    hitT = found ? limit : maxT;
    return found;
}
