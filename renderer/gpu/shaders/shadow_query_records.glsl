// The shadow pass's query and result records as the host writes and reads them
// (renderer/gpu/gpu_shadows.h).

// 32 bytes, as renderer/gpu/gpu_shadows.h writes it.
struct Query {
    float origin[3];        // the receiving point, offset along its normal
    float max_t;
    float dir[3];           // unit, toward the light
    uint packed_identity;   // bit 31 nearest hit wanted; bits 24-30 surface; bits 0-23 triangle
};

// 8 bytes.
struct Result {
    float nearest_t;
    uint hit;
};
