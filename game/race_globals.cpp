#include "game/race_globals.h"

double tic_length = 0.0078125;
timing_gates_record timing_gates;
int32_t gate_drop_tic;
int32_t lap_limit;
int32_t leader_slot = 160;
