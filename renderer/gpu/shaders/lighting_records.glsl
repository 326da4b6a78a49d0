// The lighting pass's records as the host writes them (renderer/gpu/gpu_lighting_records.h). Plain
// std430: each vec3 is followed by a 4-byte field, and the result's colour is a float array, so that
// no member or array stride picks up hidden padding.

struct LightingLight {
    vec3 position_world;
    uint type;
    vec3 direction_world;
    uint casts_shadows;
    vec3 position_view;
    uint falloff_mode;
    vec3 direction_view;
    uint shadow_map_valid;
    vec3 color;
    float intensity;
    float cone_angle_degrees;
    float cone_feather;
    float falloff_start;
    float falloff_distance;
    float shadow_darkness;
    float shadow_diffusion;
    uint shadow_map_offset;
    uint shadow_map_width;
    uint shadow_map_height;
    // How the map compares depths: perspective maps compare linear distances between their planes
    // with a bias that grows with the texel size there; far == near marks a linear map.
    float shadow_map_near;
    float shadow_map_far;
    float shadow_map_texel_spread;
    vec4 world_to_clip_0;
    vec4 world_to_clip_1;
    vec4 world_to_clip_2;
    vec4 world_to_clip_3;
};

struct LightingSurface {
    uint flags;  // bits 0-1 kind, 4 accepts lights, 5 accepts shadows, 8-10 shadow mode, 12-14 quality
    float shadow_softness;
    float specular_scale;
    float pad0;
    vec4 material;  // ambient, diffuse, specular intensity, shininess
};

struct LightingQuery {
    vec3 pos_world;
    uint packed_identity;
    vec3 normal_world;
    uint flags;  // face code
    vec4 base;
};

struct LightingResult {
    float color[4];
    float shadow_visibility;
    float shadow_distance_hint;
    float slope_r;
    float slope_g;
    float slope_b;
    uint sampled_shadow;
};
