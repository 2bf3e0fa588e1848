#pragma once
// The track's light: sun, colours, sky box, fog, clip planes and lens flares,
// read from the track folder's "lighting" file at every race reset. Every
// value starts from its default at each load, so nothing of one track's
// light carries over to the next.
#include <cstdint>

#include "core/array.h"

constexpr int flare_element_max = 8;

struct flare_element {
    float placement[2];
    float color[3];
    float scale;
    int32_t texture;
};

struct lens_flare {
    float where[3];  // position (point flare) or direction (vector flare)
    flare_element elements[flare_element_max];
    int32_t element_count;
    int32_t kind;    // 0 point, 1 vector
};

enum sky_face { sky_n, sky_e, sky_s, sky_w, sky_u, sky_env, sky_face_count };

struct lighting_record {
    float sun_vector[3];  // unit length
    float sun_color[3];
    float ambient[3];
    float global_ambient[3];
    int32_t sky_textures[sky_face_count];  // 0 until loaded
    float fog_color[3];   // kept between tracks until a "fog" line sets it
    float fog_density;    // 0: no fog
    int32_t dynamic_lighting;
    float near_plane;     // 1/1024..0.875
    float far_plane;      // at least 2 x near, at most 1048576
};
extern lighting_record lighting;
// The lens flares of the track (lens_flare records).
extern growable_array lens_flares;

// Loads a texture by name for the sky and the flares (texture_load; tests
// put a fake here).
extern int (*lighting_texture_loader)(const char* name);

// Every default (sky textures none, fog density 0), the flare table emptied.
void lighting_defaults();
// Reads "lighting" from path ("@" + track folder + "/lighting"). Without the
// file the defaults stand. Either way the sky textures are loaded and the
// fog reaches shader programs 3, 5 and 1. 1 when the file was read.
int lighting_load(const char* path);
// The same over a text held in memory (source names it in messages),
// without loading textures or touching GL; 1 when read to its end.
int lighting_parse(const char* text, const char* source);
// Clamps the planes and normalises the sun (the step after reading).
void lighting_finish();
// Loads each sky texture still unset from its default name.
void lighting_load_sky();
// Pushes fog colour and density to programs 3, 5 and 1.
void lighting_apply_fog();
// Frees the flare table.
void lighting_free();
