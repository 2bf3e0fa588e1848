// The race reset. What it does so far: the race clock, the track's terrain
// and lighting, and one rider per occupied slot lined up behind the start
// line (until the timing gates give the start gates); timing gates, objects,
// racing lines, scripts, demos and engine sounds join it as they are built.
#include "game/race_reset.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "ai/racing_lines.h"
#include "core/game_state.h"
#include "core/rng.h"
#include "core/util.h"
#include "core/vfs.h"
#include "game/demo.h"
#include "game/lighting.h"
#include "game/results.h"
#include "game/series.h"
#include "game/startup.h"
#include "game/track_list.h"
#include "physics/physics_ground.h"
#include "physics/physics_tic.h"
#include "physics/physics_world.h"
#include "physics/rider.h"
#include "physics/rider_build.h"
#include "physics/setup.h"
#include "platform/vesk.h"
#include "script/script_host.h"
#include "terrain/erode.h"
#include "terrain/heightfield.h"
#include "terrain/terrain.h"
#include "terrain/terrain_load.h"
#include "ui/console.h"
#include "ui/loading.h"
#include "ui/settings.h"

int32_t slot_kind[slot_total];
int32_t slot_status[slot_total];

namespace {

const char* ai_bike(int32_t kind)
{
    if (kind == 3) return "cr125";
    if (kind == 4) return "crf250(2008)";
    return "kx250f(2008)";
}

// Where riders line up: behind the middle of the track's start line
// marking, facing across it; the terrain's centre facing -z without one.
void start_area(float* x, float* z, float* dx, float* dz)
{
    const terrain* t = &track_terrain;
    *x = *z = t->extent * 0.5f;
    *dx = 0, *dz = -1;
    float sx = 0, sz = 0;
    int n = 0;
    const decal* decals = static_cast<const decal*>(t->decals.items);
    for (int32_t i = 0; decals && i < t->decals.count; i++) {
        int32_t kind = int32_t(decals[i].textures[3]);
        if (kind < 0 || kind >= t->decal_kind_count || !strstr(t->decal_kinds[kind].name, "startline")) continue;
        sx += decals[i].x, sz += decals[i].z;
        *dx = decals[i].sine, *dz = decals[i].cosine;
        n++;
    }
    if (n == 0) return;
    // 20 ft behind the line: room for the bike's length and a run-up.
    *x = sx / float(n) - 20.0f * *dx;
    *z = sz / float(n) - 20.0f * *dz;
}

// Rest pose turned to the heading and set on the ground, lifted a quarter
// foot at a time while the tyres report contact.
void place_rider(rider* r, float x, float z, float dx, float dz)
{
    double heading = std::atan2(-double(dx), -double(dz));
    double y = track_terrain.heights ? terrain_height_at(&track_terrain, x, z) : 0.0;
    for (int tries = 0; tries < 4096; tries++) {
        rider_reset_pose(r);
        rider_set_orientation(r, 0, 1, 0, heading);
        rider_translate(r, x, y, z);
        int touching = bike_tyre_forces(r);
        dJointGroupEmpty(contact_joint_group);
        if (!touching) break;
        y += 0.25;
    }
    r->front_contact.depth = r->rear_contact.depth = 0.0f;
}

void destroy_riders()
{
    for (int slot = 0; slot < slot_total; slot++) {
        if (rider_table[slot]) rider_destroy(rider_table[slot]);
        rider_table[slot] = nullptr;
    }
}

// The folder to load: the demo's track, else the track menu's selection,
// else the list's first track.
const char* chosen_folder(int track_from_demo)
{
    if (track_from_demo && options.file && demo_open(options.file)) return demo_track;
    int i = track_list_find(settings.track);
    if (i >= 0) return track_list.folders[i];
    return track_list.count > 0 ? track_list.folders[0] : nullptr;
}

int load_track(const char* folder)
{
    char name[vfs_path_max];
    snprintf(name, sizeof name, "@%s", folder);
    if (!terrain_load(&track_terrain, name)) {
        console_printf("Can't load track '%.200s'", folder);
        return 0;
    }
    copy_bounded(track_dir, folder, track_dir_size);
    int i = track_list_find(folder);
    copy_bounded(track_title, i >= 0 ? track_list.descriptions[i] : folder, track_dir_size);
    snprintf(name, sizeof name, "@%s/lighting", folder);
    lighting_load(name);
    physics_ground_from_terrain(&track_terrain);
    return 1;
}

}  // namespace

uint32_t reset_seed()
{
    const char* seed = getenv("ZT_SEED");
    if (seed && *seed) return uint32_t(strtoul(seed, nullptr, 10));
    return uint32_t(time(nullptr));
}

void track_free()
{
    if (!track_dir[0] && !track_terrain.heights) return;
    vesk_log("Deallocating track\n");
    lighting_free();
    terrain_free(&track_terrain);
    physics_ground_flat();
    track_dir[0] = 0;
    track_title[0] = 0;
    vesk_log("Finished deallocating track\n");
}

void reset_session(const int32_t* slot_kinds, int track_from_demo, int record_demo, int32_t race_time,
                   int32_t laps, int32_t skill)
{
    (void)record_demo;
    series_update();
    show_status("Resetting...");
    vesk_log("Resetting\n");
    mt_seed(reset_seed());
    if (track_dir[0] && lines_skill != -1) lines_write(lines_skill);
    demo_close();
    demo_finish();
    destroy_riders();

    tic_counter = 0;
    race_start_tic = 0;
    start_sequence_tic = 640;
    race_time_tics = race_time;
    race_laps = laps;
    // 13 to 15 s after the reset, from the generator's next word.
    double u2 = double(mt_next() & 0x7FFFFFFF) * (1.0 / 1073741824.0);
    gate_drop_tic = int32_t((13.0 + u2) * 128.0);
    erosion_amount = options.erosion;
    history_delay = 0;
    lap_mode = slot_kinds == nullptr;
    if (race_time == 0) halfway_lap = (laps + 1) / 2, lap_limit = laps;
    else halfway_lap = lap_limit = 1000000;
    lines_skill = skill;

    script_unload();
    riders_init_all();
    const char* folder = chosen_folder(track_from_demo);
    if (!folder) return;
    if (track_dir[0] && strcmp(track_dir, folder) == 0) {
        erode_queue_reset();
    } else {
        char wanted[track_dir_size];
        copy_bounded(wanted, folder, sizeof wanted);
        track_free();
        if (!load_track(wanted)) return;
    }

    float x, z, dx, dz;
    start_area(&x, &z, &dx, &dz);
    int player = -1, first = -1, placed = 0;
    for (int slot = 0; slot < slot_total; slot++) {
        int32_t kind = slot_kinds ? slot_kinds[slot] : (slot == 0 ? 1 : 0);
        slot_status[slot] = 1;
        if (kind == 1 && player >= 0) kind = 0;  // one player only
        // Demo and network riders come with demos and the network client.
        if (kind != 1 && !(kind >= 2 && kind <= 4) && kind < 1000) continue;
        char number[16];
        snprintf(number, sizeof number, "%d", kind >= 1000 ? kind - 1000 : slot + 1);
        rider* r = rider_create(kind == 1 ? player_setup.bike : ai_bike(kind), slot, 1, number, nullptr, nullptr, nullptr,
                                nullptr);
        if (!r) continue;
        rider_table[slot] = r;
        rider_fall(r);
        // Side by side along the line, 5 ft apart.
        float side = 5.0f * float(placed % 20), back = 10.0f * float(placed / 20);
        placed++;
        place_rider(r, x - dz * side - dx * back, z + dx * side - dz * back, dx, dz);
        slot_status[slot] = kind == 1 ? 0 : 2;
        if (kind == 1) player = slot;
        if (first < 0) first = slot;
    }
    watched_slot = player >= 0 ? player : first >= 0 ? first : 0;
    show_done("Resetting");
}
