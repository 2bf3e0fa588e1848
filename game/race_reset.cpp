// The race reset: steps 1..20 from the last race's teardown to the first
// tic of the next, the track load they contain, the AI rider table and the
// placement of the riders on the start gates.
#include "game/race_reset.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <algorithm>
#include <initializer_list>

#include "ai/autopilot.h"
#include "ai/racing_lines.h"
#include "core/alloc.h"
#include "core/game_state.h"
#include "core/ripemd160.h"
#include "core/rng.h"
#include "core/util.h"
#include "core/vfs.h"
#include "editor/editor.h"
#include "game/cameras.h"
#include "game/demo.h"
#include "game/flaggers.h"
#include "game/lighting.h"
#include "game/main_loop.h"
#include "game/results.h"
#include "game/series.h"
#include "game/sim_tic.h"
#include "game/startup.h"
#include "game/state_history.h"
#include "game/timing_gates.h"
#include "game/track_cameras.h"
#include "game/track_list.h"
#include "game/track_objects.h"
#include "gfx/model.h"
#include "gfx/texture.h"
#include "net/client.h"
#include "physics/collision_shape.h"
#include "physics/physics_ground.h"
#include "physics/physics_tic.h"
#include "physics/physics_world.h"
#include "physics/rider.h"
#include "physics/rider_build.h"
#include "physics/setup.h"
#include "platform/vesk.h"
#include "script/script_host.h"
#include "script/script_sound.h"
#include "terrain/erode.h"
#include "terrain/heightfield.h"
#include "terrain/terrain.h"
#include "terrain/terrain_load.h"
#include "terrain/treadmarks.h"
#include "ui/treadmark_draw.h"
#include "ui/console.h"
#include "ui/loading.h"
#include "ui/settings.h"

int32_t slot_kind[slot_total];
int32_t slot_status[slot_total];
int32_t gate_pick_order[ai_row_count];
int32_t track_map_texture;
int32_t track_file_billboards;
int32_t track_file_statues;

// Number, personality, bike, then body, head, bike and wheel paints.
const ai_rider_row ai_rider_rows[ai_row_count] = {
    {"20", "corwen", "kx125", "@rider_body-alt1.png", "@rider_head-alt2.png", nullptr, nullptr},
    {"21", "corwen", "kx125", "@rider_body-alt2.png", "@rider_head-alt3.png", nullptr, nullptr},
    {"22", "corwen", "kx125", "@rider_body-alt3.png", "@rider_head-alt1.png", nullptr, nullptr},
    {"23", "corwen", "kx125", "@rider_body-alt1.png", nullptr, "@kx125-alt1.png", "@wheels-alt1.png"},
    {"24", "corwen", "kx125", "@rider_body-alt2.png", nullptr, nullptr, nullptr},
    {"25", "corwen", "yz125", "@rider_body-alt3.png", "@rider_head-alt1.png", nullptr, nullptr},
    {"26", "corwen", "yz125", "@rider_body-alt1.png", "@rider_head-alt2.png", nullptr, nullptr},
    {"27", "corwen", "yz125", "@rider_body-alt2.png", "@rider_head-alt3.png", "@yz125-alt1.png", "@wheels-alt1.png"},
    {"28", "corwen", "yz125", "@rider_body-alt3.png", "@rider_head-alt1.png", nullptr, nullptr},
    {"29", "corwen", "yz125", "@rider_body-alt1.png", "@rider_head-alt2.png", nullptr, nullptr},
    {"30", "corwen", "cr125", "@rider_body-alt2.png", nullptr, nullptr, nullptr},
    {"31", "corwen", "cr125", "@rider_body-alt3.png", "@rider_head-alt1.png", "@cr125-alt1.png", "@wheels-alt1.png"},
    {"32", "corwen", "cr125", "@rider_body-alt1.png", "@rider_head-alt2.png", nullptr, nullptr},
    {"33", "corwen", "cr125", "@rider_body-alt2.png", "@rider_head-alt3.png", nullptr, nullptr},
    {"34", "corwen", "cr125", "@rider_body-alt3.png", "@rider_head-alt1.png", nullptr, nullptr},
    {"35", "corwen", "rm125", "@rider_body-alt1.png", nullptr, "@rm125-alt1.png", "@wheels-alt1.png"},
    {"36", "corwen", "rm125", "@rider_body-alt2.png", "@rider_head-alt3.png", nullptr, nullptr},
    {"37", "corwen", "rm125", "@rider_body-alt3.png", "@rider_head-alt1.png", nullptr, nullptr},
    {"38", "corwen", "rm125", "@rider_body-alt1.png", "@rider_head-alt2.png", nullptr, nullptr},
    {"39", "corwen", "rm125", nullptr, "@rider_head-alt3.png", nullptr, nullptr},
    {"40", "pell", "crf250", "@rider_body-alt3.png", "@rider_head-alt1.png", nullptr, nullptr},
    {"41", "pell", "crf250", "@rider_body-alt1.png", "@rider_head-alt2.png", nullptr, nullptr},
    {"42", "pell", "crf250", "@rider_body-alt2.png", "@rider_head-alt3.png", nullptr, nullptr},
    {"43", "pell", "crf250", nullptr, nullptr, nullptr, nullptr},
    {"44", "pell", "crf250", "@rider_body-alt1.png", "@rider_head-alt2.png", nullptr, nullptr},
    {"45", "pell", "kx250f", "@rider_body-alt2.png", "@rider_head-alt3.png", nullptr, nullptr},
    {"46", "pell", "kx250f", "@rider_body-alt3.png", "@rider_head-alt1.png", nullptr, nullptr},
    {"47", "pell", "kx250f", nullptr, "@rider_head-alt2.png", nullptr, nullptr},
    {"48", "pell", "kx250f", "@rider_body-alt2.png", "@rider_head-alt3.png", nullptr, nullptr},
    {"49", "pell", "kx250f", "@rider_body-alt3.png", "@rider_head-alt1.png", nullptr, nullptr},
    {"50", "pell", "rmz250", "@rider_body-alt1.png", "@rider_head-alt2.png", nullptr, nullptr},
    {"51", "pell", "rmz250", nullptr, nullptr, nullptr, nullptr},
    {"52", "pell", "rmz250", "@rider_body-alt3.png", "@rider_head-alt1.png", nullptr, nullptr},
    {"53", "pell", "rmz250", "@rider_body-alt1.png", "@rider_head-alt2.png", nullptr, nullptr},
    {"54", "pell", "yz250f", "@rider_body-alt2.png", "@rider_head-alt3.png", nullptr, nullptr},
    {"55", "pell", "yz250f", nullptr, "@rider_head-alt1.png", nullptr, nullptr},
    {"56", "pell", "yz250f", "@rider_body-alt1.png", "@rider_head-alt2.png", nullptr, nullptr},
    {"57", "pell", "yz250f", "@rider_body-alt2.png", "@rider_head-alt3.png", nullptr, nullptr},
    {"58", "pell", "yz250f", "@rider_body-alt3.png", "@rider_head-alt1.png", nullptr, nullptr},
    {"59", "pell", "yz250f_se(2006)", nullptr, nullptr, nullptr, nullptr},
    {"60", "corwen", "crf250", "@rider_body-alt2.png", "@rider_head-alt3.png", nullptr, nullptr},
    {"61", "corwen", "crf250", "@rider_body-alt3.png", "@rider_head-alt1.png", nullptr, nullptr},
    {"62", "corwen", "crf250", "@rider_body-alt1.png", "@rider_head-alt2.png", nullptr, nullptr},
    {"63", "corwen", "crf250", nullptr, "@rider_head-alt3.png", nullptr, nullptr},
    {"64", "corwen", "crf250", "@rider_body-alt3.png", "@rider_head-alt1.png", nullptr, nullptr},
    {"65", "corwen", "kx250f", "@rider_body-alt1.png", "@rider_head-alt2.png", nullptr, nullptr},
    {"66", "corwen", "kx250f", "@rider_body-alt2.png", "@rider_head-alt3.png", nullptr, nullptr},
    {"67", "corwen", "kx250f", nullptr, nullptr, nullptr, nullptr},
    {"68", "corwen", "kx250f", "@rider_body-alt1.png", "@rider_head-alt2.png", nullptr, nullptr},
    {"69", "corwen", "kx250f", "@rider_body-alt2.png", "@rider_head-alt3.png", nullptr, nullptr},
    {"70", "corwen", "rmz250", "@rider_body-alt3.png", "@rider_head-alt1.png", nullptr, nullptr},
    {"71", "corwen", "rmz250", nullptr, "@rider_head-alt2.png", nullptr, nullptr},
    {"72", "corwen", "rmz250", "@rider_body-alt2.png", "@rider_head-alt3.png", nullptr, nullptr},
    {"73", "corwen", "rmz250", "@rider_body-alt3.png", "@rider_head-alt1.png", nullptr, nullptr},
    {"74", "corwen", "rmz250", "@rider_body-alt1.png", "@rider_head-alt2.png", nullptr, nullptr},
    {"75", "corwen", "yz250f", nullptr, nullptr, nullptr, nullptr},
    {"76", "corwen", "yz250f", "@rider_body-alt3.png", "@rider_head-alt1.png", nullptr, nullptr},
    {"77", "corwen", "yz250f", "@rider_body-alt1.png", "@rider_head-alt2.png", nullptr, nullptr},
    {"78", "corwen", "yz250f", "@rider_body-alt2.png", "@rider_head-alt3.png", nullptr, nullptr},
    {"79", "corwen", "yz250f_se(2006)", nullptr, nullptr, nullptr, nullptr},
    {"80", "dorn", "crf250", "@rider_body-alt1.png", "@rider_head-alt1.png", "@crf250-alt1.png", "@wheels-alt1.png"},
    {"81", "dorn", "crf250", "@rider_body-alt2.png", "@rider_head-alt2.png", "@crf250-alt2.png", "@wheels-alt2.png"},
    {"82", "dorn", "crf250", "@rider_body-alt1.png", "@rider_head-alt1.png", "@crf250-alt1.png", "@wheels-alt1.png"},
    {"83", "dorn", "crf250", "@rider_body-alt2.png", "@rider_head-alt2.png", "@crf250-alt2.png", "@wheels-alt2.png"},
    {"84", "dorn", "crf250", "@rider_body-alt1.png", "@rider_head-alt1.png", "@crf250-alt1.png", "@wheels-alt1.png"},
    {"85", "dorn", "kx250f", "@rider_body-alt2.png", "@rider_head-alt2.png", "@kx250f-alt2.png", "@wheels-alt2.png"},
    {"86", "dorn", "kx250f", "@rider_body-alt1.png", "@rider_head-alt1.png", "@kx250f-alt1.png", "@wheels-alt1.png"},
    {"87", "dorn", "kx250f", "@rider_body-alt2.png", "@rider_head-alt2.png", "@kx250f-alt2.png", "@wheels-alt2.png"},
    {"88", "dorn", "kx250f", "@rider_body-alt1.png", "@rider_head-alt1.png", "@kx250f-alt1.png", "@wheels-alt1.png"},
    {"89", "dorn", "kx250f", "@rider_body-alt2.png", "@rider_head-alt2.png", "@kx250f-alt2.png", "@wheels-alt2.png"},
    {"90", "dorn", "yz250f", "@rider_body-alt1.png", "@rider_head-alt1.png", "@yz250f-alt1.png", "@wheels-alt1.png"},
    {"91", "dorn", "yz250f", "@rider_body-alt2.png", "@rider_head-alt2.png", "@yz250f-alt2.png", "@wheels-alt2.png"},
    {"92", "dorn", "yz250f", "@rider_body-alt1.png", "@rider_head-alt1.png", "@yz250f-alt1.png", "@wheels-alt1.png"},
    {"93", "dorn", "yz250f", "@rider_body-alt2.png", "@rider_head-alt2.png", "@yz250f-alt2.png", "@wheels-alt2.png"},
    {"94", "dorn", "yz250f", "@rider_body-alt1.png", "@rider_head-alt1.png", "@yz250f-alt1.png", "@wheels-alt1.png"},
    {"95", "dorn", "rmz250", "@rider_body-alt2.png", "@rider_head-alt2.png", "@rmz250-alt2.png", "@wheels-alt2.png"},
    {"96", "dorn", "rmz250", "@rider_body-alt1.png", "@rider_head-alt1.png", "@rmz250-alt1.png", "@wheels-alt1.png"},
    {"97", "dorn", "rmz250", "@rider_body-alt2.png", "@rider_head-alt2.png", "@rmz250-alt2.png", "@wheels-alt2.png"},
    {"98", "dorn", "rmz250", "@rider_body-alt1.png", "@rider_head-alt1.png", "@rmz250-alt1.png", "@wheels-alt1.png"},
    {"99", "dorn", "rmz250", "@rider_body-alt2.png", "@rider_head-alt2.png", "@rmz250-alt2.png", "@wheels-alt2.png"},
};

namespace {

// Names that stay inside the data roots; a FIFO or device outside them could
// block the load, and ".." reaches anywhere.
int name_stays_inside(const char* name)
{
    return name && name[0] && name[0] != '/' && name[0] != '\\' && !strstr(name, "..");
}

}  // namespace

int track_name_safe(const char* name) { return name_stays_inside(name); }

int skin_name_safe(const char* name) { return name && name[0] == '@' && name_stays_inside(name + 1); }

// ---- The AI riders ---------------------------------------------------------

void gate_pick_shuffle(uint32_t seed)
{
    for (int32_t i = 0; i < ai_row_count; i++) gate_pick_order[i] = i;
    mt_seed(seed);
    // Sattolo: the index drawn is always below i, so the result is one cycle.
    for (int32_t i = ai_row_count - 1; i >= 1; i--) {
        int32_t j = int32_t((mt_next() >> 16) % uint32_t(i));
        int32_t t = gate_pick_order[i];
        gate_pick_order[i] = gate_pick_order[j];
        gate_pick_order[j] = t;
    }
}

namespace {

int row_wanted(int32_t kind, int32_t row, const char* number)
{
    const ai_rider_row& r = ai_rider_rows[row];
    if (kind == slot_kind_ai_125) return strstr(r.bike, "125") != nullptr;
    if (kind == slot_kind_ai_250) return strstr(r.bike, "250") != nullptr;
    return strcmp(r.number, number) == 0;
}

}  // namespace

int32_t ai_row_take(int32_t kind, int32_t m)
{
    // More AI riders than rows (a server's 160 slots) wrap around the order.
    int32_t at = ((m % ai_row_count) + ai_row_count) % ai_row_count;
    char number[16] = "";
    if (kind >= slot_kind_numbered) snprintf(number, sizeof number, "%d", kind - slot_kind_numbered);
    if (kind != slot_kind_ai && at <= ai_row_count - 2) {
        for (int32_t i = ai_row_count - 1; i > at; i--) {
            if (!row_wanted(kind, gate_pick_order[i], number)) continue;
            int32_t t = gate_pick_order[at];
            gate_pick_order[at] = gate_pick_order[i];
            gate_pick_order[i] = t;
            break;
        }
    }
    return gate_pick_order[at];
}

const char* bike_name_upgrade(const char* name)
{
    static const char* const upgrades[][2] = {{"crf250", "crf250(2008)"},
                                             {"kx250f", "kx250f(2008)"},
                                             {"rmz250", "rmz250(2008)"},
                                             {"yz250f", "yz250f(2008)"}};
    for (const auto& u : upgrades)
        if (strcmp(name, u[0]) == 0) return u[1];
    return name;
}

// ---- Placement -------------------------------------------------------------

start_place start_place_of(int32_t p)
{
    const timing_gates_record& g = timing_gates;
    start_place s = {};
    if (g.start_gate_count <= 0) {
        float centre = track_terrain.extent * 0.5f;
        s.x = centre + 5.0f * float(p);
        s.z = centre;
        return s;
    }
    const start_gate& gate = g.start_gates[p % g.start_gate_count];
    float d = (float(p / g.start_gate_count) + 0.0625f) * 10.0f;
    s.angle = gate.angle;
    s.x = gate.x + d * sinf(gate.angle);
    s.z = gate.z + d * cosf(gate.angle);
    return s;
}

int32_t slot_kinds_prepare(const int32_t* kinds, int demo_open, int32_t watched, int32_t out[slot_total])
{
    for (int32_t k = 0; k < slot_total; k++) out[k] = kinds ? kinds[k] : (k == 0 ? slot_kind_player : 0);
    int32_t first = -1;
    for (int32_t k = 0; k < slot_total && first < 0; k++)
        if (out[k] != 0) first = k;
    if (first >= 0) watched = first;
    else if (demo_open) watched = 0;
    else out[0] = slot_kind_ai;
    int32_t player = -1;
    for (int32_t k = 0; k < slot_total; k++) {
        if (out[k] != slot_kind_player) continue;
        if (player < 0) player = watched = k;
        else out[k] = 0;
    }
    return watched;
}

namespace {

// The height-grid sample of the cell holding (x, z), indices clamped.
double grid_height(float x, float z)
{
    const terrain* t = &track_terrain;
    if (!t->heights || t->size <= 0) return 0.0;
    auto cell = [t](float v) {
        float c = std::floor(v * t->inv_spacing);
        if (!(c >= 0)) return 0;
        return c > float(t->size - 1) ? int(t->size - 1) : int(c);
    };
    return t->heights[cell(x) + t->size * cell(z)];
}

void destroy_riders()
{
    riders_destroy_all();
    for (int slot = 0; slot < slot_total; slot++) slot_rider_name[slot][0] = 0;
}

// ---- The racing-line sets --------------------------------------------------

void line_sets_empty_lines()
{
    racing_line_store& s = racing_line_sets;
    int32_t count = s.first_lap_sections + s.normal_lap_sections;
    for (int32_t i = 0; s.sets && i < count; i++)
        for (racing_line& line : s.sets[i].lines) {
            alloc_check_free(line.points);
            line = racing_line{};
        }
}

void line_sets_free()
{
    line_sets_empty_lines();
    alloc_check_free(racing_line_sets.sets);
    racing_line_sets = racing_line_store{};
}

// One set per counted gate of the first lap and of the normal lap: S1 + S2.
void line_sets_create()
{
    line_sets_free();
    const timing_gates_record& g = timing_gates;
    racing_line_store& s = racing_line_sets;
    if (g.line_set_count <= 0) return;
    size_t bytes = sizeof(line_set) * size_t(g.line_set_count);
    s.sets = static_cast<line_set*>(xmalloc(bytes));
    memset(s.sets, 0, bytes);
    s.first_lap_sections = g.counted_first_lap;
    s.normal_lap_sections = g.counted_normal_lap;
    s.first_lap_gates = g.lap_entries;
    s.first_lap_gate_count = g.first_lap_entries;
    s.normal_lap_gates = g.lap_entries + g.first_lap_entries;
    s.normal_lap_gate_count = g.normal_lap_entries;
    // Empty lines have their own times (an empty slot takes any run).
    line_sets_empty();
}

// ---- Track loading (steps 7..11) -------------------------------------------

void track_path(char* out, size_t size, const char* file) { snprintf(out, size, "@%s/%s", track_dir, file); }

// Feeds a track file into the digest in 1024-byte reads; nothing when it
// does not open.
void digest_file(ripemd160_ctx* digest, const char* file)
{
    char path[vfs_path_max];
    track_path(path, sizeof path, file);
    vfs_stream* f = vfs_open(path, "rb");
    if (!f) return;
    uint8_t block[1024];
    for (int n; (n = vfs_read(f, block, sizeof block)) > 0;) ripemd160_update(digest, block, size_t(n));
    vfs_close(f);
}

int track_file_exists(const char* file)
{
    char path[vfs_path_max];
    track_path(path, sizeof path, file);
    return vfs_exists(path + 1);  // the index knows names without the "@"

}

void log_texture_memory(const char* after)
{
    if (debug_level) vesk_log("%lu bytes texture memory used after %s creation\n", (unsigned long)texture_memory, after);
}

// Every distinct statue shape file once, in statue order.
void digest_statue_shapes(ripemd160_ctx* digest)
{
    int32_t n = track_objects.statues.count;
    for (int32_t i = 0; i < n; i++) {
        const statue* s = statue_at(i);
        if (!s->shape || !s->shape_name) continue;
        bool seen = false;
        for (int32_t j = 0; j < i && !seen; j++) {
            const statue* e = statue_at(j);
            seen = e->shape && e->shape_name && strcmp(e->shape_name, s->shape_name) == 0;
        }
        if (seen) continue;
        // The name is a game-data name already ("@hay_bale.shp").
        vfs_stream* f = vfs_open(s->shape_name, "rb");
        if (!f) continue;
        uint8_t block[1024];
        for (int k; (k = vfs_read(f, block, sizeof block)) > 0;) ripemd160_update(digest, block, size_t(k));
        vfs_close(f);
    }
}

void load_objects(const char* file, const char* status, int32_t (*load)(const char*), const char* memory_after)
{
    if (!track_file_exists(file)) return;
    char path[vfs_path_max];
    track_path(path, sizeof path, file);
    show_status(status);
    load(path);
    show_done(status);
    if (memory_after) log_texture_memory(memory_after);
}

// 0 when the terrain fails: the track is freed again, so the next reset
// neither skips the load nor makes the tables a second time.
int load_track(const char* folder, int online)
{
    char path[vfs_path_max];
    copy_bounded(track_dir, folder, track_dir_size);
    texture_generation++;
    model_generation++;
    texture_memory = 0;
    int listed = track_list_find(folder);
    copy_bounded(track_title, listed >= 0 ? track_list.descriptions[listed] : folder, track_dir_size);
    ripemd160_ctx digest;
    ripemd160_init(&digest);
    track_objects_init();

    show_status("Scanning");
    for (const char* file : {"terrain.hf", "terrain.png", "texturelist", "tilemap", "tileinfo", "nofrills.js"}) {
        show_progress("Scanning");
        digest_file(&digest, file);
    }
    show_done("Scanning");
    if (debug_level) vesk_log("Loading '@%s'\n", track_dir);

    track_path(path, sizeof path, "lighting");
    lighting_load(path);
    snprintf(path, sizeof path, "@%s", track_dir);
    // The terrain's loader has said which file failed.
    if (!terrain_load(&track_terrain, path)) {
        vesk_log("Can't load track '%.200s'\n", folder);
        track_free();
        return 0;
    }
    physics_ground_from_terrain(&track_terrain);
    log_texture_memory("hf");

    digest_file(&digest, "timing_gates");
    track_path(path, sizeof path, "timing_gates");
    timing_gates_load(path);
    flying_pool_create();

    show_status("Loading flaggers");
    track_path(path, sizeof path, "flaggers");
    flaggers_load(path);
    show_done("Loading flaggers");
    log_texture_memory("flagger");
    // The track's own objects start here: the editor saves from them on.
    track_objects.first_file_billboard = track_objects.billboards.count;
    track_objects.first_file_statue = track_objects.statues.count;
    load_objects("billboards", "Loading billboards", billboards_load, "billboard");
    digest_file(&digest, "statues");
    load_objects("statues", "Loading statues", statues_load, nullptr);

    log_texture_memory("statue");
    show_status("Loading map");
    track_map_texture = 0;
    if (track_file_exists("map.png")) {
        track_path(path, sizeof path, "map.png");
        track_map_texture = track_object_hooks.texture_load(path);
    }
    show_done("Loading map");
    rebuild_statue_grid();
    if (options.editor) editor_init();
    digest_statue_shapes(&digest);
    ripemd160_final(&digest);
    memcpy(track_digest, digest.digest, sizeof track_digest);
    track_path(path, sizeof path, "cameras");
    track_cameras_load(path);
    erode_queue_reset();
    if (online) track_terrain.deform_lock = 1;

    track_file_billboards = track_objects.billboards.count;
    track_file_statues = track_objects.statues.count;
    if (debug_level)
        console_printf("%d start gates, %d checkpoints, %d cameras, %d billboards, %d statues, %d flaggers\n",
                       timing_gates.start_gate_count, timing_gates.checkpoint_count, track_cameras.count,
                       track_objects.billboards.count - track_objects.first_file_billboard,
                       track_objects.statues.count - track_objects.first_file_statue, flaggers.count);
    return 1;
}

// The folder the reset loads: the demo's track (when its name stays inside
// the data roots), else the track menu's selection, else the list's first.
const char* chosen_folder(int track_from_demo)
{
    if (track_from_demo && options.file && demo_open(options.file)) {
        if (track_name_safe(demo_track)) return demo_track;
        console_printf("Refusing track '%.200s' of demo", demo_track);
        return nullptr;
    }
    int i = track_list_find(settings.track);
    if (i >= 0) return track_list.folders[i];
    return track_list.count > 0 ? track_list.folders[0] : nullptr;
}

// ---- Placing riders (step 14) ----------------------------------------------

struct rider_choice {
    const char* bike;
    const char* number;
    const char* skins[4];  // body, head, bike, wheels
    const char* personality;
    const char* name;      // riders shown from history: the record's
    int32_t status;
};

// A rider shown from its history, as a demo or the server describes it.
// The paints come from another player's machine: only safe "@" names are
// opened, others give the bike's own.
void rider_choice_from_record(rider_choice* c, const char* bike, const char* number, const char* name,
                              const char* body, const char* head, const char* bike_skin, const char* wheels)
{
    c->status = slot_driven_by_history;
    c->bike = bike;
    c->number = number;
    c->name = name;
    const char* paints[4] = {body, head, bike_skin, wheels};
    for (int i = 0; i < 4; i++) c->skins[i] = skin_name_safe(paints[i]) ? paints[i] : nullptr;
}

void demo_rider_choice(rider_choice* c, int32_t index)
{
    const demo_rider& d = demo_header.riders[index];
    rider_choice_from_record(c, d.bike, d.number, d.name, d.rider_skin, d.head_skin, d.bike_skin, d.wheel_skin);
}

// The rider a choice describes, in slot k with the choice's status and name.
// Riders shown from their history get damped steering for their replayed
// poses and no crash under way. Null (the slot left empty) without a bike or
// when the bike cannot be built.
rider* rider_from_choice(const rider_choice& c, int32_t k)
{
    if (!c.bike || !c.bike[0]) return nullptr;
    rider* r = rider_create(bike_name_upgrade(c.bike), k, c.status != slot_driven_by_history, c.number, c.skins[0],
                            c.skins[1], c.skins[2], c.skins[3]);
    if (!r) return nullptr;
    rider_table[k] = r;
    slot_status[k] = c.status;
    if (c.status == slot_driven_by_history) {
        rider_recover(r);
        r->crash_tics = r->crash_count = 0;
        r->roll_damping = 100;
        r->full_lock_speed = 5;
        r->restricted_lock_speed = 50;
        r->restricted_lock = 0.04363323f;  // 2.5 degrees
    }
    const char* name = c.status == slot_driven_by_autopilot ? "Zurezidir"
                       : c.status == slot_driven_by_player  ? (player_setup.name[0] ? player_setup.name : "Kestrin Vale")
                       : c.name ? c.name : "";
    snprintf(slot_rider_name[k], sizeof slot_rider_name[k], "%s", name);
    return r;
}

void place_riders(const int32_t kinds[slot_total], int online)
{
    int32_t m = 0, network_placed = 0;
    int32_t demo_next = 0, demo_riders = demo_replay_version() > 0 ? demo_header.rider_count : 0;
    int32_t gates = timing_gates.start_gate_count;
    int32_t riding = net_riding_slot();
    double last_dots = 0;
    int32_t dots = 0;
    for (int32_t k = 0; k < slot_total; k++) {
        slot_status[k] = slot_driven_by_history;
        int32_t kind = kinds[k];
        char number[16];
        rider_choice c = {};
        int32_t demo_index = -1;
        if (kind == slot_kind_player) {
            c.status = slot_driven_by_player;
            c.bike = player_setup.bike[0] ? player_setup.bike : "crf250";
            c.number = player_setup.number[0] ? player_setup.number : "999";
            const char* paints[4] = {player_setup.rider_texture, player_setup.head_texture, player_setup.bike_texture,
                                     player_setup.wheel_texture};
            for (int i = 0; i < 4; i++) c.skins[i] = skin_name_safe(paints[i]) ? paints[i] : nullptr;
            // Online the others see the number and paints the server relays.
            const net_rider_info& own = net_rider_infos[k];
            if (online && own.number[0]) {
                c.number = own.number;
                const char* relayed[4] = {own.rider_skin, own.head_skin, own.bike_skin, own.wheel_skin};
                for (int i = 0; i < 4; i++) c.skins[i] = skin_name_safe(relayed[i]) ? relayed[i] : nullptr;
            }
        } else if (kind == slot_kind_ai || kind == slot_kind_ai_125 || kind == slot_kind_ai_250 ||
                   kind >= slot_kind_numbered) {
            const ai_rider_row& row = ai_rider_rows[ai_row_take(kind, m)];
            c.status = slot_driven_by_autopilot;
            c.bike = row.bike;
            c.number = row.number;
            if (kind >= slot_kind_numbered) {
                snprintf(number, sizeof number, "%d", kind - slot_kind_numbered);
                c.number = number;
            }
            // The paints are named after the bike before its upgrade.
            c.skins[0] = row.body_skin, c.skins[1] = row.head_skin;
            c.skins[2] = row.bike_skin, c.skins[3] = row.wheel_skin;
            c.personality = options.practice ? "tester" : row.personality;
        } else if (kind == slot_kind_demo && demo_next < demo_riders) {
            // The demo's riders fill its slots in header order.
            demo_index = demo_next++;
            demo_rider_choice(&c, demo_index);
        } else if (kind == slot_kind_network) {
            const net_rider_info& n = net_rider_infos[k];
            rider_choice_from_record(&c, n.bike, n.number, n.name, n.rider_skin, n.head_skin, n.bike_skin,
                                     n.wheel_skin);
        }
        // Kinds 6..999, a kind 0 without a demo rider left and a record
        // without a bike leave the slot empty.
        if (!c.bike || !c.bike[0]) continue;

        int32_t p = k;
        if (online && kind == slot_kind_player) {
            p = riding;
        } else if (online) {
            int32_t e = riding >= gates && riding <= gates + network_placed ? 1 : 0;
            p = gates + network_placed + e;
            network_placed++;
        }
        start_place at = start_place_of(p);
        if (online && kind == slot_kind_player && riding >= slot_total) at = start_place_of(0);

        rider* r = demo_index >= 0 ? demo_rider_create(demo_index, k) : rider_from_choice(c, k);
        if (!r) continue;
        drop_onto_ground(r, at);
        if (c.status != slot_driven_by_history) rider_fall(r);
        if (c.status == slot_driven_by_player) {
            // The online false-start rule measures from here.
            false_start_hold = 0;
            const double* p = dBodyGetPosition(r->frame_body);
            for (int i = 0; i < 3; i++) false_start_position[i] = float(p[i]);
        }
        if (c.status == slot_driven_by_autopilot) {
            rider_set_autopilot_personality(r, c.personality);
            m++;
        }
        double now = loading_clock();
        if (now - last_dots > 0.125) {
            static const char* const dot_text[4] = {"", ".", "..", "..."};
            char text[96];
            snprintf(text, sizeof text, "%.64s%s", "Loading bikes", dot_text[dots]);
            show_status(text);
            dots = (dots + 1) % 4;
            last_dots = now;
        }
    }
    show_done("Loading bikes");
}

void start_gates_raise()
{
    for (int32_t i = 0; i < timing_gates.start_gate_count; i++) {
        timing_gates.start_gates[i].drop = 1.0f;
        timing_gates.start_gates[i].drop_tic = 0;
    }
}

}  // namespace

rider* demo_rider_create(int32_t index, int32_t slot)
{
    if (index < 0 || index >= demo_header.rider_count || slot < 0 || slot >= slot_total) return nullptr;
    rider_choice c = {};
    demo_rider_choice(&c, index);
    rider* r = rider_from_choice(c, slot);
    if (r) demo_slot_map[index] = slot;
    return r;
}

// Rest pose turned to the gate and set on the ground, lifted a quarter foot
// at a time while anything touches. The lift is bounded: a rider that never
// comes free (a shape inside a wall) is left 1024 ft up with a log line,
// not lifted forever.
void drop_onto_ground(rider* r, const start_place& at)
{
    double h = grid_height(at.x, at.z);
    int lifts = 0;
    for (; lifts < lift_step_limit; lifts++) {
        rider_reset_pose(r);
        rider_set_orientation(r, 0, 1, 0, at.angle);
        rider_translate(r, at.x, h, at.z);
        int touching = bike_tyre_forces(r);
        dJointGroupEmpty(contact_joint_group);
        if (!touching) break;
        h += 0.25;
    }
    if (lifts == lift_step_limit) vesk_log("Rider %d still touches after lifting %d ft\n", r->slot, lift_step_limit / 4);
    r->front_contact.depth = r->rear_contact.depth = 0.0f;
}

uint32_t reset_seed()
{
    const char* seed = getenv("ZT_SEED");
    if (seed && *seed) return uint32_t(strtoul(seed, nullptr, 10));
    return uint32_t(time(nullptr));
}

void start_gates_collide(rider* r)
{
    if (!r) return;
    static const double identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (int32_t i = 0; i < timing_gates.start_gate_count; i++) {
        int32_t index = timing_gates.start_gates[i].statue;
        if (index < 0 || index >= track_objects.statues.count) continue;
        statue* s = statue_at(index);
        if (!s->shape) continue;
        double position[3] = {s->x, s->y, s->z}, rotation[9];
        for (int k = 0; k < 9; k++) rotation[k] = s->facing_distance != 0 ? identity[k] : s->orientation[k];
        if (rider_collide_object(r, s->shape, position, rotation, 1.0)) s->last_touch_tic = tic_counter;
    }
}

void track_free()
{
    if (!track_dir[0] && !track_terrain.heights && !track_objects.billboards.items) return;
    vesk_log("Deallocating track\n");
    if (options.editor) editor_free();
    line_sets_free();
    // The statues' shapes and buffers, the grid, the billboards, the draw
    // list, the flaggers, the cameras and the gates' statue indices.
    track_objects_free();
    lighting_free();
    terrain_free(&track_terrain);
    treadmarks_free(&track_treadmarks);
    treadmarks_draw_free();
    physics_ground_flat();
    track_map_texture = 0;
    track_file_billboards = track_file_statues = 0;
    track_dir[0] = 0;
    track_title[0] = 0;
    vesk_log("Finished deallocating track\n");
}

void reset_session(const int32_t* slot_kinds, int track_from_demo, int record_demo, int32_t race_time,
                   int32_t laps, int32_t skill)
{
    int online = slot_kinds && net_connected();
    track_object_hooks.verbose = debug_level;
    history_verbose = debug_level;
    series_verbose = debug_level;

    // 1..2
    series_update();
    show_status("Resetting...");
    vesk_log("Resetting\n");
    loading.slowest_interval = 0;
    loading.slowest_status[0] = 0;
    gate_pick_shuffle(reset_seed());

    // 3..4
    if (track_dir[0]) {
        show_status("Remembering lines");
        if (lines_skill != -1) lines_write(lines_skill);
        line_sets_empty_lines();
        demo_close();
        show_done("Remembering lines");
    }
    demo_finish();
    show_status("Cleaning up");
    vesk_log("Deallocating bikes\n");
    destroy_riders();
    treadmarks_clear(&track_treadmarks);
    race_order_count = 0;
    vesk_log("Finished deallocating bikes\n");
    show_done("Cleaning up");

    // 5: the clock, and 13 to 15 s offline until the gate drops (u from the
    // generator's next word: low 31 bits x 2^-30 gives 0 <= 2u < 2).
    tic_counter = 0;
    race_start_tic = 0;
    start_sequence_tic = 640;
    race_time_tics = race_time;
    race_laps = laps;
    if (online) {
        gate_drop_tic = slot_kinds[slot_total];
        erosion_amount = -1;
        lap_mode = 0;
        history_delay = net_riding_slot() >= slot_total ? 127 : 0;
    } else {
        double u2 = double(mt_next() & 0x7FFFFFFF) * (1.0 / 1073741824.0);
        gate_drop_tic = int32_t((13.0 + u2) * 128.0);
        erosion_amount = options.erosion;
        history_delay = 0;
        lap_mode = slot_kinds == nullptr;
    }
    const char* folder = chosen_folder(track_from_demo);
    if (!online && demo_replay_version() > 0) {
        // A replay runs the recorded race's clock: its gate drop, laps and
        // time, so lap times, results and the warp restart come out as they
        // did. The numbers come from a file and are bounded like the server's.
        gate_drop_tic = std::clamp(demo_header.gate_drop_tic, 0, demo_tic_limit);
        race_time_tics = race_time = std::clamp(demo_header.race_time, 0, demo_tic_limit);
        race_laps = laps = std::clamp(demo_header.laps, 0, 1000000);
    }
    char wanted[track_dir_size] = "";
    if (folder) copy_bounded(wanted, folder, sizeof wanted);

    // 6
    script_unload();
    script_sounds_release();
    riders_init_all();
    int same_track = track_dir[0] && !online && !track_reload_forced && strcmp(track_dir, wanted) == 0;
    if (same_track) {
        erode_queue_reset();
    } else if (track_dir[0] || track_terrain.heights) {
        track_reload_forced = 0;
        track_free();
    }
    if (!wanted[0]) return;

    // 7..11
    if (!same_track && !load_track(wanted, online)) return;

    // 12
    int32_t kinds[slot_total];
    watched_slot = slot_kinds_prepare(slot_kinds, demo_replay_version() > 0, watched_slot, kinds);
    if (lap_mode) {
        // A new practice starts its own best lap; the track's fast lap ghost
        // brings the old one back once it is ridden.
        tic_counter = 300 * 128;
        best_lap_tics = last_lap_tics = 0;
    }

    // 13
    lines_skill = skill;
    line_sets_create();
    if (skill >= 0 && racing_line_sets.sets) lines_read(skill);
    show_status("Analyzing lines");
    lines_analyze();
    line_sets_analyze();
    show_done("Analyzing lines");

    // 14
    place_riders(kinds, online);

    // 15..16
    history_clear_all();
    if (record_demo) demo_begin();
    flying_pool_reset();
    for (int32_t i = 0; racing_line_sets.sets && i < timing_gates.line_set_count; i++)
        for (racing_line& line : racing_line_sets.sets[i].lines) line.last_picked = -1000000;

    // 17: a same-track restart cuts the script's objects of the last race
    // before the script makes them again, so the tables never grow.
    show_status("Loading track script");
    track_objects_truncate(track_file_billboards, track_file_statues);
    if (track_dir[0]) {
        char script_path[track_dir_size + 32];
        script_path_for_track(track_dir, script_path, int(sizeof script_path));
        script_load(script_path);
    }
    show_done("Loading track script");
    console_printf("%d MB texture memory used\n", int(texture_memory >> 20));
    textures_purge(0);
    models_purge(0);

    // 18
    if (race_time == 0) halfway_lap = (laps + 1) / 2, lap_limit = laps;
    else halfway_lap = lap_limit = 1000000;
    start_gates_raise();

    // 19
    if (lap_mode) {
        lap_mode_restart_count = 2;
        lap_mode_restart();
        lap_mode_restart_count++;
    }
    vesk_log("Max loading delay was %f (%s)\n", loading.slowest_interval, loading.slowest_status);
    history_record_tic(1);
    demo_read_step();
    results_final = 0;
    race_results_count = 0;
    results_finish();

    // 20
    if (watched_slot < 0 || watched_slot >= slot_total || !rider_table[watched_slot])
        if (race_order_count > 0) watched_slot = race_order[0].slot;
    dJointGroupEmpty(contact_joint_group);
    if (watched_slot >= 0 && watched_slot < slot_total && rider_table[watched_slot] &&
        slot_status[watched_slot] == slot_driven_by_player) {
        setup_apply_if_stopped(rider_table[watched_slot], &player_setup, game_clock);
        setup_applied_accept(&player_setup);
    }
    free_camera_to_watched_rider();
    tune_process_memory();
}
