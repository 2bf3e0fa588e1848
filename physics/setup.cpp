#include "physics/setup.h"

#include <cmath>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/util.h"
#include "physics/bike_info.h"
#include "physics/physics_messages.h"
#include "physics/rider_access.h"

bike_setup player_setup;

namespace {

enum setup_kind { kind_text, kind_bike, kind_number, kind_choice };

const char* const no_yes[] = {"No", "Yes"};
const char* const brake_modes[] = {"Normal", "Antilock"};
const char* const wheelie_modes[] = {"No", "Yes", "Front Only"};
// Option bits 1-2 per "Stop Wheelies" entry: bit 1 cuts the engine in a
// wheelie, bit 2 keeps the front brake off while the rear wheel is airborne.
const int wheelie_bits[] = {0, 3, 2};

struct setup_key {
    const char* key;
    setup_kind kind;
    size_t offset;
    int size;                  // texts
    double low, high, step;    // numbers
    double default_value;      // numbers; choices: the default index
    const char* const* entries;
    int entry_count;
    const char* default_text;  // texts
};

#define TEXT(k, d) {#k, kind_text, offsetof(bike_setup, k), int(sizeof(bike_setup::k)), 0, 0, 0, 0, nullptr, 0, d}
#define NUMBER(k, lo, hi, st, d) {#k, kind_number, offsetof(bike_setup, k), 0, lo, hi, st, d, nullptr, 0, nullptr}
#define CHOICE(k, list, d) {#k, kind_choice, offsetof(bike_setup, k), 0, 0, 0, 0, d, list, int(sizeof list / sizeof *list), nullptr}

// The 58 keys in file order, with the menu slider ranges, steps and defaults.
const setup_key keys[setup_key_count] = {
    {"bike", kind_bike, offsetof(bike_setup, bike), 64, 0, 0, 0, 0, nullptr, 0, "yz250f(2017)"},
    TEXT(name, "Kestrin Vale"),
    TEXT(number, "999"),
    TEXT(rider_texture, "@rider_body.png"),
    TEXT(head_texture, "@rider_head.png"),
    TEXT(bike_texture, "@yz250f.png"),
    TEXT(wheel_texture, "@wheels.png"),
    NUMBER(stability, 0, 100, 1, 100),
    NUMBER(leveling, 0, 100, 1, 20),
    NUMBER(roll_damping, 0, 100, 1, 60),
    NUMBER(roll_limit_angle, 0, 180, 1, 45),
    NUMBER(roll_limit_factor, 0, 64, 1, 10),
    NUMBER(steering_damping, 0, 100, 1, 45),
    NUMBER(steering_strength, 0, 100, 1, 75),
    NUMBER(max_steering_force, 0, 1000, 5, 400),
    NUMBER(direct_steering, 0, 1, 0.125, 1),
    NUMBER(slow_damping_speed, 0, 100, 1, 40),
    NUMBER(slow_damping_factor, 1, 10, 0.25, 2),
    NUMBER(land_damping_rampup, 0, 0.5, 0.0078125, 0.0625),
    NUMBER(land_damping_falloff, 0, 0.5, 0.0625, 0.25),
    NUMBER(land_damping_factor, 1, 3, 0.25, 2),
    NUMBER(full_lock_speed, 1, 100, 1, 10),
    NUMBER(restricted_lock_speed, 1, 100, 1, 50),
    NUMBER(restricted_lock, 0, 45, 0.125, 7.5),
    CHOICE(arcade, no_yes, 1),
    CHOICE(front_brake, brake_modes, 1),
    CHOICE(rear_brake, brake_modes, 0),
    CHOICE(stop_wheelies, wheelie_modes, 1),
    CHOICE(auto_shift, no_yes, 1),
    CHOICE(auto_dab, no_yes, 1),
    CHOICE(auto_align, no_yes, 1),
    CHOICE(sticky_dab, no_yes, 0),
    CHOICE(reverse_steering, no_yes, 1),
    CHOICE(lean_indicator, no_yes, 1),
    NUMBER(auto_clutch_rpms, 0, 5000, 100, 5000),
    NUMBER(brake_torque, 0, 500, 10, 500),
    NUMBER(rear_brake_torque, 0, 500, 10, 250),
    NUMBER(max_dab_speed, 5, 60, 1, 60),
    NUMBER(front_sprocket_adjustment, -2, 2, 1, 0),
    NUMBER(rear_sprocket_adjustment, -2, 2, 1, 0),
    NUMBER(fork_compression_adjustment, 0, 100, 1, 50),
    NUMBER(fork_slow_compression_adjustment, 0, 100, 1, 50),
    NUMBER(fork_rebound_adjustment, 0, 100, 1, 50),
    NUMBER(fork_slow_rebound_adjustment, 0, 100, 1, 50),
    NUMBER(fork_spring_rate_adjustment, 0, 100, 1, 50),
    NUMBER(fork_preload_adjustment, 0, 100, 1, 50),
    NUMBER(fork_oil_level_adjustment, 0, 100, 1, 50),
    NUMBER(shock_compression_adjustment, 0, 100, 1, 75),
    NUMBER(shock_slow_compression_adjustment, 0, 100, 1, 50),
    NUMBER(shock_rebound_adjustment, 0, 100, 1, 75),
    NUMBER(shock_slow_rebound_adjustment, 0, 100, 1, 50),
    NUMBER(shock_spring_rate_adjustment, 0, 100, 1, 50),
    NUMBER(shock_preload_adjustment, 0, 100, 1, 50),
    NUMBER(rider_yspring, 0, 100, 1, 50),
    NUMBER(rider_ydamping, 0, 100, 1, 50),
    NUMBER(rider_zspring, 0, 100, 1, 50),
    NUMBER(rider_zdamping, 0, 100, 1, 50),
    NUMBER(rider_mass_distribution, 0.33, 0.5, 0.01, 0.33),
};

#undef TEXT
#undef NUMBER
#undef CHOICE

char* text_of(bike_setup* s, const setup_key& k) { return reinterpret_cast<char*>(s) + k.offset; }
const char* text_of(const bike_setup* s, const setup_key& k) { return reinterpret_cast<const char*>(s) + k.offset; }
double* number_of(bike_setup* s, const setup_key& k) { return reinterpret_cast<double*>(reinterpret_cast<char*>(s) + k.offset); }
double number_of(const bike_setup* s, const setup_key& k)
{
    return *reinterpret_cast<const double*>(reinterpret_cast<const char*>(s) + k.offset);
}
int32_t* choice_of(bike_setup* s, const setup_key& k) { return reinterpret_cast<int32_t*>(reinterpret_cast<char*>(s) + k.offset); }
int32_t choice_of(const bike_setup* s, const setup_key& k)
{
    return *reinterpret_cast<const int32_t*>(reinterpret_cast<const char*>(s) + k.offset);
}

const setup_key* find_key(const char* key)
{
    for (const auto& k : keys)
        if (strcmp(k.key, key) == 0) return &k;
    return nullptr;
}

double clamp(double v, double low, double high)
{
    if (!(v >= low)) return low;
    return v > high ? high : v;
}

// The applied-setup table follows every number but Stability.
double applied_value[setup_applied_count];
int32_t applied_changed[setup_applied_count];

template <class F> void for_each_applied(F f)
{
    int i = 0;
    for (const auto& k : keys)
        if (k.kind == kind_number && strcmp(k.key, "stability") != 0) f(i++, k);
}

double refusal_time = -20;

// Appends to out as snprintf would, counting the whole length even when it
// does not fit, so the caller learns the size it needs.
__attribute__((format(printf, 4, 5))) void append_text(char* out, int size, int* used, const char* format, ...)
{
    int room = *used < size ? size - *used : 0;
    va_list args;
    va_start(args, format);
    int n = vsnprintf(room ? out + *used : nullptr, size_t(room), format, args);
    va_end(args);
    if (n > 0) *used += n;
}

} // namespace

void setup_defaults(bike_setup* setup)
{
    memset(setup, 0, sizeof *setup);
    for (const auto& k : keys) {
        switch (k.kind) {
        case kind_text:
        case kind_bike: copy_bounded(text_of(setup, k), k.default_text, k.size); break;
        case kind_number: *number_of(setup, k) = k.default_value; break;
        case kind_choice: *choice_of(setup, k) = int32_t(k.default_value); break;
        }
    }
}

int setup_parse_pair(bike_setup* setup, const char* key, const char* value)
{
    const setup_key* k = find_key(key);
    if (!k) return 0;
    switch (k->kind) {
    case kind_bike:
        if (!bike_info_lookup(value)) {
            physics_message("Unknown bike '%.40s' for setup key 'bike'", value);
            break;
        }
        [[fallthrough]];
    case kind_text: copy_bounded(text_of(setup, *k), value, k->size); break;
    case kind_number: {
        // One number and nothing else but blanks ("12abc" is not 12).
        char* end = nullptr;
        double v = strtod(value, &end);
        while (end != value && (*end == ' ' || *end == '\t')) end++;
        if (end == value || *end) {
            physics_message("Bad value '%.40s' for setup key '%s'", value, k->key);
            break;
        }
        *number_of(setup, *k) = clamp(v, k->low, k->high);
        break;
    }
    case kind_choice: {
        int found = -1;
        for (int i = 0; i < k->entry_count; i++)
            if (strcmp(k->entries[i], value) == 0) found = i;
        if (found < 0)
            physics_message("Bad value '%.40s' for setup key '%s'", value, k->key);
        else
            *choice_of(setup, *k) = found;
        break;
    }
    }
    return 1;
}

int setup_format(const bike_setup* setup, char* out, int size)
{
    int used = 0;
    if (size > 0) out[0] = 0;
    for (const auto& k : keys) {
        switch (k.kind) {
        case kind_text:
        case kind_bike: {
            char clean[128];
            copy_bounded(clean, text_of(setup, k), sizeof clean);
            for (char* c = clean; *c; c++)
                if (static_cast<unsigned char>(*c) < 32 || *c == 127) *c = ' ';
            append_text(out, size, &used, "%s=%s\n", k.key, clean);
            break;
        }
        // "%.9g" keeps every slider step (multiples of 1/128 among them) exact
        // through a write and a read; "%f" would cut them at six decimals.
        case kind_number: append_text(out, size, &used, "%s=%.9g\n", k.key, number_of(setup, k)); break;
        case kind_choice: {
            int32_t i = choice_of(setup, k);
            const char* entry = k.entries[i >= 0 && i < k.entry_count ? i : int(k.default_value)];
            append_text(out, size, &used, "%s=%s\n", k.key, entry);
            break;
        }
        }
    }
    return used;
}

int setup_parse_text(bike_setup* setup, const char* text, const char* source)
{
    int taken = 0;
    while (*text) {
        const char* end = strchr(text, '\n');
        size_t length = end ? size_t(end - text) : strlen(text);
        char line[1024];
        copy_bounded(line, text, int(length + 1 < sizeof line ? length + 1 : sizeof line));
        text += end ? length + 1 : length;
        size_t n = strlen(line);
        while (n > 0 && (line[n - 1] == '\r' || line[n - 1] == '\n')) line[--n] = 0;
        char* equals = strchr(line, '=');
        if (line[0] == '#' || !equals) continue;
        *equals = 0;
        if (setup_parse_pair(setup, line, equals + 1))
            taken++;
        else
            physics_message("Unknown setup key '%.40s' in '%.200s'", line, source);
    }
    return taken;
}

const char* const* setup_choice_entries(const char* key, int* count)
{
    const setup_key* k = find_key(key);
    if (!k || k->kind != kind_choice) return nullptr;
    *count = k->entry_count;
    return k->entries;
}

void stability_apply(bike_setup* setup, double stability)
{
    // The bare bike at Stability 0: full lock at every speed and no
    // damping aids; at 100 the menu defaults.
    static const struct {
        const char* key;
        double bare;
    } stability_table[16] = {
        {"restricted_lock", 45},     {"restricted_lock_speed", 100}, {"full_lock_speed", 100},
        {"land_damping_factor", 1},  {"land_damping_falloff", 0},    {"land_damping_rampup", 0},
        {"slow_damping_factor", 1},  {"slow_damping_speed", 0},      {"direct_steering", 0},
        {"max_steering_force", 400}, {"steering_strength", 75},      {"steering_damping", 20},
        {"roll_limit_factor", 0},    {"roll_limit_angle", 180},      {"roll_damping", 0},
        {"leveling", 0},
    };
    double t = clamp(stability, 0, 100) / 100;
    for (const auto& entry : stability_table) {
        const setup_key* k = find_key(entry.key);
        double v = entry.bare + t * (k->default_value - entry.bare);
        v = k->low + std::round((v - k->low) / k->step) * k->step;
        *number_of(setup, *k) = clamp(v, k->low, k->high);
    }
}

void setup_apply_physics(rider* r, const bike_setup* s)
{
    constexpr double degrees = 0.017453292519943295;
    auto speed_factor = [](double v) { return float(std::exp2(0.04 * v - 2)); };
    auto knee_factor = [](double v) { return float(0.02 * v - 1); };
    rider_set_leveling(r, float(s->leveling));
    rider_set_roll_damping(r, float(s->roll_damping));
    rider_set_roll_limit_angle(r, float(s->roll_limit_angle * degrees));
    rider_set_roll_limit_factor(r, float(s->roll_limit_factor));
    rider_set_steering_damping(r, float(s->steering_damping));
    rider_set_steering_strength(r, float(s->steering_strength));
    rider_set_max_steering_force(r, float(s->max_steering_force));

    rider_set_arcade(r, s->arcade);
    rider_set_front_antilock(r, s->front_brake);
    rider_set_rear_antilock(r, s->rear_brake);
    rider_set_stop_wheelies(r, wheelie_bits[s->stop_wheelies >= 0 && s->stop_wheelies < 3 ? s->stop_wheelies : 0]);
    rider_set_auto_shift(r, s->auto_shift);
    rider_set_auto_dab(r, s->auto_dab);
    rider_set_auto_align(r, s->auto_align);

    rider_set_direct_steering(r, float(s->direct_steering));
    rider_set_slow_damping_speed(r, float(s->slow_damping_speed));
    rider_set_slow_damping_factor(r, float(s->slow_damping_factor));
    rider_set_land_damping_rampup(r, float(s->land_damping_rampup));
    rider_set_land_damping_falloff(r, float(s->land_damping_falloff));
    rider_set_land_damping_factor(r, float(s->land_damping_factor));
    rider_set_full_lock_speed(r, float(s->full_lock_speed));
    rider_set_restricted_lock_speed(r, float(s->restricted_lock_speed));
    rider_set_restricted_lock(r, float(s->restricted_lock * degrees));
    rider_set_auto_clutch_rpms(r, float(s->auto_clutch_rpms));
    rider_set_brake_torque(r, float(s->brake_torque));
    rider_set_rear_brake_torque(r, float(s->rear_brake_torque));
    rider_set_max_dab_speed(r, float(s->max_dab_speed * 1.4666666666666666));

    rider_set_sprockets(r, float(s->front_sprocket_adjustment), float(s->rear_sprocket_adjustment));
    rider_set_fork(r, speed_factor(s->fork_compression_adjustment), knee_factor(s->fork_slow_compression_adjustment),
                   speed_factor(s->fork_rebound_adjustment), knee_factor(s->fork_slow_rebound_adjustment),
                   float(s->fork_spring_rate_adjustment * 0.01), float(s->fork_preload_adjustment * 0.01),
                   float(s->fork_oil_level_adjustment * 0.01));
    rider_set_shock(r, speed_factor(s->shock_compression_adjustment),
                    knee_factor(s->shock_slow_compression_adjustment), speed_factor(s->shock_rebound_adjustment),
                    knee_factor(s->shock_slow_rebound_adjustment), float(s->shock_spring_rate_adjustment * 0.01),
                    float(s->shock_preload_adjustment * 0.01));
    rider_set_rider_yspring(r, float(s->rider_yspring * 0.01), float(s->rider_ydamping * 0.01));
    rider_set_rider_zspring(r, float(s->rider_zspring * 0.01), float(s->rider_zdamping * 0.01));
    rider_set_mass_distribution(r, float(s->rider_mass_distribution));

    for_each_applied([&](int i, const setup_key& k) {
        if (number_of(s, k) != applied_value[i]) applied_changed[i] = 1;
    });
}

int setup_apply_if_stopped(rider* r, const bike_setup* setup, double now)
{
    if (r->frame_body) {
        const dReal* v = dBodyGetLinearVel(r->frame_body);
        if (v[0] * v[0] + v[1] * v[1] + v[2] * v[2] > 0.125 * 0.125) {
            if (now - refusal_time < 10) physics_message("Settings not applied.  Mechanic can't keep up error.");
            refusal_time = now;
            return 0;
        }
    }
    setup_apply_physics(r, setup);
    return 1;
}

int setup_changed_any()
{
    for (int32_t changed : applied_changed)
        if (changed) return 1;
    return 0;
}

void setup_applied_accept(const bike_setup* setup)
{
    for_each_applied([&](int i, const setup_key& k) {
        applied_value[i] = number_of(setup, k);
        applied_changed[i] = 0;
    });
}
