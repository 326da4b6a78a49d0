#version 450
// Writes back, word for word, what the raster and lighting shaders read from the second record of
// each of their buffers and from the lighting constants, so a test can compare it with what the host
// wrote: a field at the wrong offset or a record of the wrong stride shows at once.
#extension GL_GOOGLE_include_directive : require

layout(local_size_x = 1, local_size_y = 1, local_size_z = 1) in;

#include "raster_records.glsl"
#include "lighting_records.glsl"

layout(std430, set = 0, binding = 0) readonly buffer Triangles { RasterTriangle triangles[]; };
layout(std430, set = 0, binding = 1) readonly buffer Tiles { RasterTile tiles[]; };
layout(std430, set = 0, binding = 2) readonly buffer Results { RasterResult results[]; };
layout(std430, set = 0, binding = 3) readonly buffer Lights { LightingLight lights[]; };
layout(std430, set = 0, binding = 4) readonly buffer Surfaces { LightingSurface surfaces[]; };
layout(std430, set = 0, binding = 5) readonly buffer Queries { LightingQuery queries[]; };
layout(std430, set = 0, binding = 6) readonly buffer Shaded { LightingResult shaded[]; };
layout(std430, set = 0, binding = 7) writeonly buffer Seen { uint seen[]; };
layout(push_constant) uniform Params {
    uint query_count;
    uint light_count;
    uint node_count;
    uint triangle_count;
    vec4 world_to_view_0;
    vec4 world_to_view_1;
    vec4 world_to_view_2;
    vec4 world_to_view_3;
};

uint at = 0u;
void put(uint word) { seen[at++] = word; }
void putF(float value) { put(floatBitsToUint(value)); }
void put3(vec3 v) { putF(v.x); putF(v.y); putF(v.z); }
void put4(vec4 v) { put3(v.xyz); putF(v.w); }

void main() {
    RasterTriangle t = triangles[1];
    put3(t.p0); putF(t.pad0); put3(t.p1); putF(t.pad1); put3(t.p2); putF(t.area);
    put(uint(t.surface_index)); put(uint(t.triangle_index)); put(uint(t.clip_triangle)); put(uint(t.prepared_index));
    put(tiles[1].offset); put(tiles[1].count);
    put(uint(results[1].prepared_index)); put(results[1].coverage_mask);

    LightingLight l = lights[1];
    put3(l.position_world); put(l.type); put3(l.direction_world); put(l.casts_shadows);
    put3(l.position_view); put(l.falloff_mode); put3(l.direction_view); put(l.shadow_map_valid);
    put3(l.color); putF(l.intensity); putF(l.cone_angle_degrees); putF(l.cone_feather);
    putF(l.falloff_start); putF(l.falloff_distance); putF(l.shadow_darkness); putF(l.shadow_diffusion);
    put(l.shadow_map_offset); put(l.shadow_map_width); put(l.shadow_map_height);
    putF(l.shadow_map_near); putF(l.shadow_map_far); putF(l.shadow_map_texel_spread);
    put4(l.world_to_clip_0); put4(l.world_to_clip_1); put4(l.world_to_clip_2); put4(l.world_to_clip_3);

    LightingSurface s = surfaces[1];
    put(s.flags); putF(s.shadow_softness); putF(s.specular_scale); putF(s.pad0); put4(s.material);

    LightingQuery q = queries[1];
    put3(q.pos_world); put(q.packed_identity); put3(q.normal_world); put(q.flags); put4(q.base);

    LightingResult r = shaded[1];
    for (int i = 0; i < 4; ++i) putF(r.color[i]);
    putF(r.shadow_visibility); putF(r.shadow_distance_hint); putF(r.slope_r); putF(r.slope_g); putF(r.slope_b);
    put(r.sampled_shadow);

    put(query_count); put(light_count); put(node_count); put(triangle_count);
    put4(world_to_view_0); put4(world_to_view_1); put4(world_to_view_2); put4(world_to_view_3);
}
