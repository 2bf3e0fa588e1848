#include "game/race_reset.h"

int32_t slot_status[rider_slot_count];

namespace {
// Every slot is history-driven until the race reset places its riders.
const int slot_status_filled = [] {
    for (int32_t& s : slot_status) s = slot_driven_by_history;
    return 1;
}();
} // namespace
