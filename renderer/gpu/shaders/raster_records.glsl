// The raster pass's records as the host writes them (renderer/gpu/gpu_raster_records.h). Plain
// std430: each vec3 is followed by a 4-byte field, so the 64-byte triangle keeps its packed layout.

struct RasterTriangle {
    vec3 p0;  // screen x, screen y, 1/z
    float pad0;
    vec3 p1;
    float pad1;
    vec3 p2;
    float area;
    int surface_index;
    int triangle_index;
    int clip_triangle;
    int prepared_index;
};

struct RasterTile {
    uint offset;
    uint count;
};

struct RasterResult {
    int prepared_index;
    uint coverage_mask;  // bits 0-3 the samples; bit 31: another candidate lies within float reach
};
