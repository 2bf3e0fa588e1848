// The simulation tic. For now it steps the riders' physics and the race
// clock; scripts, histories, auto pilots, gates and demos join it as they
// are built.
#include "game/sim_tic.h"

#include "core/game_state.h"
#include "game/results.h"
#include "physics/physics_tic.h"
#include "physics/physics_world.h"
#include "physics/rider.h"
#include "physics/physics_ground.h"

void run_tic()
{
    // Every present rider, in slot order, steps once in one world step.
    rider* present[rider_slot_count];
    int count = 0;
    for (int slot = 0; slot < rider_slot_count; slot++)
        if (rider_table[slot]) present[count++] = rider_table[slot];
    if (physics_world && count > 0) {
        ride_world w = physics_current();
        ride_step(w, present, count);
        for (int i = 0; i < count; i++) wheel_effects_tic(w, present[i]);
    }
    tic_counter++;
}

void seek_demo(float seconds)
{
    (void)seconds;  // no demo is played yet
}

int ensure_results_written()
{
    if (results_final) return 1;
    results_finish();
    return results_final;
}
