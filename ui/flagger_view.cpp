#include "ui/flagger_view.h"

#include <algorithm>
#include <cmath>

#include "core/game_state.h"
#include "game/flaggers.h"
#include "game/race_reset.h"
#include "game/track_objects.h"
#include "gfx/texture.h"
#include "net/net_client.h"
#include "physics/physics_world.h"
#include "physics/rider.h"
#include "terrain/heightfield.h"
#include "terrain/terrain.h"

int start_flagger_frame(double T, double S, double D, float* walk)
{
    double since = T - 1 - S;
    // A walk of no length (or a hostile one) is a step: off before it, on after.
    *walk = D > 0 ? float(std::clamp(since / D, 0.0, 1.0)) : since < 0 ? 0.0f : 1.0f;
    if (T < S + 0.1) return 0;
    if (T < S + 0.4) return 1;
    if (T < S + 1) return 2;
    if (T < S + 1 + std::max(D, 0.0)) return 3;
    return 4;
}

int32_t lap_board_laps(int32_t c, int32_t f, int32_t p)
{
    if (p <= 0 || c + 1 < f) return 0;
    return (c - f + 1) / p + 1;
}

int lap_board_frame(int32_t laps, int32_t race_laps, int32_t halfway)
{
    if (laps >= race_laps) return 3;
    if (race_laps == laps + 1) return 2;
    if (laps == halfway) return 1;
    return 0;
}

int32_t last_checkpoint(int32_t c)
{
    const timing_gates_record& g = timing_gates;
    int32_t f = g.first_lap_entries, n = g.normal_lap_entries;
    if (c <= 0) return -1;
    int32_t i = c - 1, entry;
    if (i < f) entry = g.lap_entries[i];
    // The normal lap's entries are stored right after the first lap's.
    else if (n > 0) entry = g.lap_entries[f + (i - f) % n];
    else return -1;
    if (entry >= lap_entry_marked) entry -= lap_entry_marked;
    return entry >= 0 && entry < g.checkpoint_count ? entry : -1;
}

namespace {

// Puts texture on a flagger's billboard, pausing the old animation and
// starting the new one.
void show(int32_t index, int32_t texture)
{
    if (index < 0 || index >= track_objects.billboards.count) return;
    billboard* b = billboard_at(index);
    if (b->texture == texture) return;
    if (b->texture) texture_anim_pause(b->texture);
    if (texture) texture_anim_start(texture, tic_counter);
    b->texture = texture;
}

}  // namespace

void flaggers_animate()
{
    const timing_gates_record& g = timing_gates;
    if (g.first_lap_entries == 0 && g.normal_lap_entries == 0) return;
    double T = tic_counter * tic_length;
    if (start_flagger.billboard >= 0 && start_flagger.billboard < track_objects.billboards.count) {
        double S = std::floor(start_sequence_tic * tic_length);
        float w;
        int frame = start_flagger_frame(T, S, start_flagger.walk_time, &w);
        billboard* b = billboard_at(start_flagger.billboard);
        b->x = start_flagger.start[0] + (start_flagger.end[0] - start_flagger.start[0]) * w;
        b->z = start_flagger.start[2] + (start_flagger.end[2] - start_flagger.start[2]) * w;
        b->y = start_flagger.start[1] + (start_flagger.end[1] - start_flagger.start[1]) * w;
        if (track_terrain.heights) b->y += terrain_height_at(&track_terrain, b->x, b->z);
        show(start_flagger.billboard, start_flagger.textures[frame]);
    }
    if (lap_board.billboard >= 0 && race_order_count > 0) {
        int32_t laps = lap_board_laps(race_order[0].gates_passed, g.first_lap_entries, g.normal_lap_entries);
        show(lap_board.billboard, lap_board.textures[lap_board_frame(laps, lap_limit, halfway_lap)]);
    }
    for (int i = 0; i < g.checkpoint_count; i++) timing_gates.checkpoints[i].flag = 0;
    bool online = net_server_open();
    for (int i = 0; i < race_order_count; i++) {
        int slot = race_order[i].slot;
        const rider* r = slot >= 0 && slot < rider_slot_count ? rider_table[slot] : nullptr;
        if (!r || !rider_is_down_on_track(r)) continue;
        if (online && slot_status[slot] == slot_driven_by_history) continue;
        int32_t c = last_checkpoint(race_order[i].gates_passed);
        if (c >= 0) timing_gates.checkpoints[c].flag = 1;
    }
    for (int i = 0; i < flaggers.count; i++) {
        const flagger& f = array_items<flagger>(&flaggers)[i];
        bool warn = false;
        for (int32_t c : f.checkpoints) warn |= c >= 0 && c < g.checkpoint_count && timing_gates.checkpoints[c].flag;
        show(f.billboard, warn ? f.warning_texture : f.calm_texture);
    }
}
