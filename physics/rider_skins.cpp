#include "physics/rider_skins.h"

#include <cstdio>
#include <cstring>

#include "core/util.h"
#include "gfx/texture.h"
#include "gfx/ztgl.h"
#include "gfx/ztgl_gl.h"
#include "physics/bike_info.h"
#include "physics/physics_messages.h"

namespace {

const float default_plate[2][3] = {{1.0f, 1.0f, 1.0f}, {0.0f, 0.0f, 0.0f}};

// Textures exist only once the GL layer has a context to make them in.
bool can_make_textures()
{
    return ztgl_fn.GenTextures != nullptr;
}

// The skin's texture by its name, else the row's skin, else white; the
// name kept in the record is the one that loaded.
void load_skin(rider_skin* skin, const char* row_skin)
{
    if (!skin->name[0])
        copy_bounded(skin->name, row_skin, sizeof skin->name);
    memcpy(skin->plate_colours, default_plate, sizeof default_plate);
    skin->texture = 0;
    if (!can_make_textures())
        return;
    int id = texture_load(skin->name);
    if (!id && strcmp(skin->name, row_skin) != 0) {
        physics_message("skin '%.64s' not found using '%.64s' instead", skin->name, row_skin);
        copy_bounded(skin->name, row_skin, sizeof skin->name);
        id = texture_load(skin->name);
    }
    if (!id) {
        physics_message("skin '%.64s' not found using '@colors/white.png' instead", skin->name);
        id = texture_load("@colors/white.png");
    }
    skin->texture = (uint32_t)id;
    skin_plate_colours(id ? texture_text(id) : nullptr, skin->plate_colours);
}

uint8_t to_byte(float c)
{
    return (uint8_t)(c * 255.0f + 0.5f);
}

}  // namespace

int skin_plate_colours(const char* text, float out[2][3])
{
    memcpy(out, default_plate, sizeof default_plate);
    const char* at = text ? strstr(text, skin_plate_key) : nullptr;
    if (!at)
        return 0;
    int v[6];
    if (sscanf(at + strlen(skin_plate_key), "%d %d %d %d %d %d", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]) != 6)
        return 0;
    for (int i = 0; i < 6; i++)
        if (v[i] < 0 || v[i] > 255)
            return 0;
    for (int i = 0; i < 6; i++)
        out[i / 3][i % 3] = (float)v[i] / 255.0f;
    return 1;
}

void rider_load_skins(rider* r)
{
    const bike_info& row = bike_info_table()[r->bike_index];
    load_skin(&r->rider_texture, row.files[bike_file_rider_body_skin]);
    load_skin(&r->head_texture, row.files[bike_file_rider_head_skin]);
    load_skin(&r->bike_texture, row.files[bike_file_bike_skin]);
    load_skin(&r->wheel_texture, row.files[bike_file_wheel_skin]);
    r->number_texture = 0;
    if (!can_make_textures())
        return;
    // The plates sit on the bike: they wear the bike skin's colours.
    uint8_t background[3], digits[3];
    for (int k = 0; k < 3; k++) {
        background[k] = to_byte(r->bike_texture.plate_colours[0][k]);
        digits[k] = to_byte(r->bike_texture.plate_colours[1][k]);
    }
    r->number_texture = (uint32_t)number_plate_texture(r->number, background, digits);
}

void rider_free_skins(rider* r)
{
    if (r->number_texture && can_make_textures()) {
        GLuint id = r->number_texture;
        ztglDeleteTextures(1, &id);
    }
    r->number_texture = 0;
}
