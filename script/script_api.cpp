// The natives of "zt" and the pose sequences.
#include "script/script_api.h"

#include <duktape.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/alloc.h"
#include "core/game_state.h"
#include "game/race_reset.h"
#include "game/track_objects.h"
#include "gfx/model.h"
#include "gfx/texture.h"
#include "net/net_client.h"
#include "net/reliable.h"
#include "physics/bike_info.h"
#include "physics/lap_timing.h"
#include "physics/physics_world.h"
#include "physics/rider.h"
#include "physics/rider_access.h"
#include "script/script_sound.h"
#include "terrain/heightfield.h"
#include "terrain/terrain.h"
#include "ui/console.h"

pose_sequence pose_sequences[pose_sequence_limit];
int32_t pose_sequence_count;
script_camera_record script_camera = {{0, 0, 0}, {1, 0, 0, 0, 1, 0, 0, 0, 1}};
int32_t script_message_permission;
int32_t script_message_race_id;

namespace {

// The reliable item kind of a script message.
constexpr int reliable_script_message = 32;

int32_t billboards_added, statues_added;

using ctx_t = duk_context*;

double num(ctx_t ctx, int i) { return script_number_arg(ctx, i); }
int32_t integer(ctx_t ctx, int i) { return script_to_int(num(ctx, i)); }
const char* text(ctx_t ctx, int i) { return script_text_arg(ctx, i); }

duk_ret_t give(ctx_t ctx, double v)
{
    duk_push_number(ctx, v);
    return 1;
}

duk_ret_t give_text(ctx_t ctx, const char* s, size_t limit)
{
    duk_push_lstring(ctx, s, strnlen(s, limit));
    return 1;
}

bool all_finite(const double* v, int n)
{
    for (int i = 0; i < n; i++)
        if (!std::isfinite(v[i])) return false;
    return true;
}

rider* slot_rider(double v)
{
    int32_t slot = script_to_int(v);
    return slot >= 0 && slot < rider_slot_count ? rider_table[slot] : nullptr;
}

// Script-relative indices, summed in 64 bits before the range test.
billboard* script_billboard(double v)
{
    int64_t i = script_to_int(v);
    if (i < 0) return nullptr;
    int64_t at = i + track_objects.first_file_billboard;
    return at < track_objects.billboards.count ? billboard_at(int32_t(at)) : nullptr;
}

statue* script_statue(double v)
{
    int64_t at = int64_t(script_to_int(v)) + track_objects.first_file_statue;
    return at >= 0 && at < track_objects.statues.count ? statue_at(int32_t(at)) : nullptr;
}

pose_sequence* sequence_at(double v)
{
    int32_t i = script_to_int(v);
    return i >= 0 && i < pose_sequence_count ? &pose_sequences[i] : nullptr;
}

// ---- Messages and textures -------------------------------------------------------

duk_ret_t n_message(ctx_t ctx)
{
    console_print(text(ctx, 0));
    return 0;
}

duk_ret_t n_broadcast_script_message(ctx_t ctx)
{
    if (!net_server_open() || !script_message_permission) return 0;
    char line[160];
    int n = snprintf(line, sizeof line, "%d %.128s", int(script_message_race_id), text(ctx, 0));
    send_script_message(reliable_script_message, line, n < int(sizeof line) ? n : int(sizeof line) - 1);
    return 0;
}

duk_ret_t n_read_texture(ctx_t ctx) { return give(ctx, track_object_hooks.texture_load(text(ctx, 0))); }
duk_ret_t n_begin_custom_frame(ctx_t ctx) { return give(ctx, texture_begin_custom_frame(integer(ctx, 0))); }
duk_ret_t n_end_custom_frame(ctx_t ctx) { return give(ctx, texture_end_custom_frame(integer(ctx, 0))); }

duk_ret_t n_paste_custom_frame(ctx_t ctx)
{
    double v[6];
    for (int i = 0; i < 6; i++) v[i] = num(ctx, 2 + i);
    if (!all_finite(v, 6)) return give(ctx, 0);
    return give(ctx, texture_paste_custom_frame(integer(ctx, 0), integer(ctx, 1), float(v[0]), float(v[1]),
                                                float(v[2]), float(v[3]), float(v[4]), float(v[5])));
}

// ---- The race ---------------------------------------------------------------------

const race_order_entry* order_entry(ctx_t ctx)
{
    int32_t i = integer(ctx, 0);
    return i >= 0 && i < race_order_count ? &race_order[i] : nullptr;
}

duk_ret_t n_get_max_slots(ctx_t ctx) { return give(ctx, rider_slot_count); }
duk_ret_t n_get_running_count(ctx_t ctx) { return give(ctx, race_order_count); }

duk_ret_t n_get_running_order_slot(ctx_t ctx)
{
    const race_order_entry* e = order_entry(ctx);
    return give(ctx, e ? e->slot : 0);
}

duk_ret_t n_get_running_order_position(ctx_t ctx)
{
    const race_order_entry* e = order_entry(ctx);
    return give(ctx, e ? e->gates_passed : 0);
}

duk_ret_t n_get_running_order_time(ctx_t ctx)
{
    const race_order_entry* e = order_entry(ctx);
    return give(ctx, e ? e->last_gate_tic : 0);
}

duk_ret_t n_get_rider_down(ctx_t ctx)
{
    rider* r = slot_rider(num(ctx, 0));
    return give(ctx, r ? rider_is_down_on_track(r) : 0);
}

duk_ret_t n_get_seconds_per_tic(ctx_t ctx) { return give(ctx, tic_length); }
duk_ret_t n_get_first_lap_length(ctx_t ctx) { return give(ctx, timing_gates.first_lap_entries); }
duk_ret_t n_get_normal_lap_length(ctx_t ctx) { return give(ctx, timing_gates.normal_lap_entries); }

duk_ret_t n_get_timing_position(ctx_t ctx)
{
    rider* r = slot_rider(num(ctx, 0));
    return give(ctx, r ? r->gate_count : -1);
}

duk_ret_t n_get_timing(ctx_t ctx)
{
    rider* r = slot_rider(num(ctx, 0));
    if (!r) return give(ctx, -1);
    return give(ctx, rider_gate_tic(r, integer(ctx, 1)) * tic_length);
}

duk_ret_t n_gate_from_timing_position(ctx_t ctx)
{
    int64_t p = integer(ctx, 0), f = timing_gates.first_lap_entries, n = timing_gates.normal_lap_entries;
    int64_t at = 0;
    if (p >= 0 && p < f) at = p;
    else if (p >= f && n > 0) at = f + (p - f) % n;
    int32_t entry = timing_gates.lap_entries[at];
    return give(ctx, entry >= lap_entry_marked ? entry - lap_entry_marked : entry);
}

duk_ret_t n_get_rider_number(ctx_t ctx)
{
    rider* r = slot_rider(num(ctx, 0));
    return give_text(ctx, r ? rider_get_number(r) : "", 7);
}

// Rider names come with the race server's slot table; offline riders have none.
duk_ret_t n_get_rider_name(ctx_t ctx) { return give_text(ctx, "", 0); }

duk_ret_t n_get_bike_model(ctx_t ctx)
{
    rider* r = slot_rider(num(ctx, 0));
    const bike_info* b = r ? rider_get_bike_info(r) : nullptr;
    return give_text(ctx, b ? b->name : "", sizeof b->name);
}

duk_ret_t n_get_elevation(ctx_t ctx)
{
    double x = num(ctx, 0), z = num(ctx, 1);
    if (!std::isfinite(x) || !std::isfinite(z) || !track_terrain.heights) return give(ctx, 0);
    return give(ctx, terrain_height_at(&track_terrain, float(x), float(z)));
}

duk_ret_t n_get_tile_number(ctx_t ctx)
{
    double x = num(ctx, 0), z = num(ctx, 1);
    const terrain& t = track_terrain;
    if (!std::isfinite(x) || !std::isfinite(z) || !t.tile_map) return give(ctx, 0);
    int64_t side = int64_t(1) << t.exponent;
    auto cell = [&](double v) {
        double c = std::trunc(v * t.inv_spacing * 0.5);
        return c <= 0 ? int64_t(0) : c >= double(side - 1) ? side - 1 : int64_t(c);
    };
    return give(ctx, t.tile_map[cell(x) + side * cell(z)]);
}

duk_ret_t body_vector(ctx_t ctx, bool velocity)
{
    rider* r = slot_rider(num(ctx, 0));
    double v[3] = {0, 0, 0};
    dBodyID body = r ? rider_get_frame_body(r) : nullptr;
    if (body) {
        const dReal* p = velocity ? dBodyGetLinearVel(body) : dBodyGetPosition(body);
        v[0] = p[0], v[1] = p[1], v[2] = p[2];
    }
    script_array_put_numbers(ctx, 1, v, 3);
    return give(ctx, body ? 1 : 0);
}

duk_ret_t n_get_position_(ctx_t ctx) { return body_vector(ctx, false); }
duk_ret_t n_get_velocity_(ctx_t ctx) { return body_vector(ctx, true); }
duk_ret_t n_get_finish_laps(ctx_t ctx) { return give(ctx, race_laps); }
duk_ret_t n_get_finish_time(ctx_t ctx) { return give(ctx, race_time_tics * tic_length); }

duk_ret_t n_get_gate_drop_time(ctx_t ctx)
{
    return give(ctx, tic_counter < gate_drop_tic ? -1.0 : gate_drop_tic * tic_length);
}

duk_ret_t n_get_seed(ctx_t ctx) { return give(ctx, script_seed); }

duk_ret_t n_get_player_slot(ctx_t ctx)
{
    if (net_server_open()) {
        int32_t own = net_own_slot();
        return give(ctx, own >= 0 && own < rider_slot_count ? own : -1);
    }
    for (int32_t slot = 0; slot < slot_total; slot++)
        if (slot_status[slot] == slot_driven_by_player) return give(ctx, slot);
    return give(ctx, -1);
}

// ---- Poses ---------------------------------------------------------------------------

// The statue's pose buffers for n bones, made on first use; false when the
// statue already holds a different bone count.
bool statue_pose_room(statue* s, int32_t n)
{
    if (s->bone_count && s->bone_count != n) return false;
    if (s->bone_count == n && s->bone_buffers[0]) return true;
    const size_t sizes[3] = {size_t(n) * 12, size_t(n) * 12, size_t(n) * 36};
    for (int i = 0; i < 3; i++) {
        s->bone_buffers[i] = alloc_check_malloc(sizes[i]);
        if (!s->bone_buffers[i]) {
            statue_release(s);
            return false;
        }
        memset(s->bone_buffers[i], 0, sizes[i]);
    }
    s->bone_count = n;
    return true;
}

float* pose_part(statue* s, int i) { return static_cast<float*>(s->bone_buffers[i]); }

duk_ret_t n_pose_statue(ctx_t ctx)
{
    statue* s = script_statue(num(ctx, 0));
    int32_t n = integer(ctx, 1);
    if (!s || n < 1 || n > pose_bone_limit || !statue_pose_room(s, n)) return give(ctx, 0);
    const int per_bone[3] = {3, 3, 9};
    for (int part = 0; part < 3; part++)
        for (int32_t k = 0; k < n * per_bone[part]; k++)
            pose_part(s, part)[k] = float(script_array_number(ctx, 2 + part, uint32_t(k)));
    return give(ctx, 1);
}

duk_ret_t n_create_pose_sequence(ctx_t ctx)
{
    int32_t frames = integer(ctx, 0), bones = integer(ctx, 1);
    if (pose_sequence_count >= pose_sequence_limit || frames < 1 || frames > pose_frame_limit || bones < 1 ||
        bones > pose_bone_limit)
        return give(ctx, -1);
    size_t fb = size_t(frames) * size_t(bones);
    pose_sequence q = {frames, bones, nullptr, nullptr, nullptr};
    q.rest = static_cast<float*>(std::calloc(size_t(bones) * 3, sizeof(float)));
    q.positions = static_cast<float*>(std::calloc(fb * 3, sizeof(float)));
    q.rotations = static_cast<float*>(std::calloc(fb * 9, sizeof(float)));
    if (!q.rest || !q.positions || !q.rotations) {
        std::free(q.rest), std::free(q.positions), std::free(q.rotations);
        return give(ctx, -1);
    }
    for (size_t k = 0; k < fb; k++) q.rotations[k * 9] = q.rotations[k * 9 + 4] = q.rotations[k * 9 + 8] = 1.0f;
    pose_sequences[pose_sequence_count] = q;
    return give(ctx, pose_sequence_count++);
}

duk_ret_t n_set_pose_sequence_rest(ctx_t ctx)
{
    pose_sequence* q = sequence_at(num(ctx, 0));
    int32_t bone = integer(ctx, 1);
    if (!q || bone < 0 || bone >= q->bone_count) return give(ctx, 0);
    for (int k = 0; k < 3; k++) q->rest[bone * 3 + k] = float(script_array_number(ctx, 2, uint32_t(k)));
    return give(ctx, 1);
}

duk_ret_t n_set_pose_sequence_frame(ctx_t ctx)
{
    pose_sequence* q = sequence_at(num(ctx, 0));
    int32_t frame = integer(ctx, 1), bone = integer(ctx, 2);
    if (!q || frame < 0 || frame >= q->frame_count || bone < 0 || bone >= q->bone_count) return give(ctx, 0);
    size_t at = size_t(frame) * size_t(q->bone_count) + size_t(bone);
    for (int k = 0; k < 3; k++) q->positions[at * 3 + k] = float(script_array_number(ctx, 3, uint32_t(k)));
    for (int k = 0; k < 9; k++) q->rotations[at * 9 + k] = float(script_array_number(ctx, 4, uint32_t(k)));
    return give(ctx, 1);
}

duk_ret_t n_pose_statue_from_sequence(ctx_t ctx)
{
    statue* s = script_statue(num(ctx, 0));
    pose_sequence* q = sequence_at(num(ctx, 1));
    double frame = num(ctx, 2);
    if (!s || !q || !statue_pose_room(s, q->bone_count)) return give(ctx, 0);
    if (std::isnan(frame)) frame = 0;  // neither below 0 nor past the end
    int32_t last = q->frame_count - 1;
    int32_t f0 = 0;
    double t = 0;
    if (frame <= 0) f0 = 0;
    else if (frame >= last) f0 = last;
    else f0 = int32_t(std::floor(frame)), t = frame - f0;
    int32_t f1 = f0 < last ? f0 + 1 : last;
    size_t bones = size_t(q->bone_count);
    memcpy(pose_part(s, 0), q->rest, bones * 3 * sizeof(float));
    auto blend = [&](const float* table, int per_bone, float* out) {
        const float* a = table + size_t(f0) * bones * per_bone;
        const float* b = table + size_t(f1) * bones * per_bone;
        for (size_t k = 0; k < bones * per_bone; k++) out[k] = float(a[k] + (b[k] - a[k]) * t);
    };
    blend(q->positions, 3, pose_part(s, 1));
    blend(q->rotations, 9, pose_part(s, 2));
    return give(ctx, 1);
}

// ---- Moving objects --------------------------------------------------------------------

// Scripts animate statues that nothing collides with: a moving collision
// shape would push riders without the physics knowing.
statue* movable_statue(ctx_t ctx)
{
    statue* s = script_statue(num(ctx, 0));
    return s && !s->shape ? s : nullptr;
}

duk_ret_t n_move_statue(ctx_t ctx)
{
    statue* s = movable_statue(ctx);
    double v[4] = {num(ctx, 1), num(ctx, 2), num(ctx, 3), num(ctx, 4)};
    if (!s || !all_finite(v, 4)) return give(ctx, 0);
    s->x = float(v[0]), s->relative_height = float(v[1]), s->z = float(v[2]), s->angle = float(v[3]);
    place_statue_on_ground(s);
    track_terrain.change_flags |= 7;
    return give(ctx, 1);
}

duk_ret_t n_move_statue_absolute(ctx_t ctx)
{
    statue* s = movable_statue(ctx);
    double v[12] = {num(ctx, 1), num(ctx, 2), num(ctx, 3)};
    for (int k = 0; k < 9; k++) v[3 + k] = script_array_number(ctx, 4, uint32_t(k));
    if (!s || !all_finite(v, 12)) return give(ctx, 0);
    s->x = float(v[0]), s->y = float(v[1]), s->z = float(v[2]);
    for (int k = 0; k < 9; k++) s->orientation[k] = float(v[3 + k]);
    track_terrain.change_flags |= 7;
    return give(ctx, 1);
}

duk_ret_t n_move_billboard(ctx_t ctx)
{
    billboard* b = script_billboard(num(ctx, 0));
    double v[3] = {num(ctx, 1), num(ctx, 2), num(ctx, 3)};
    if (!b || !all_finite(v, 3)) return give(ctx, 0);
    b->x = float(v[0]), b->z = float(v[2]), b->relative_height = float(v[1]);
    b->y = b->relative_height + (track_terrain.heights ? terrain_height_at(&track_terrain, b->x, b->z) : 0.0f);
    return give(ctx, 1);
}

duk_ret_t n_move_billboard_absolute(ctx_t ctx)
{
    billboard* b = script_billboard(num(ctx, 0));
    double v[3] = {num(ctx, 1), num(ctx, 2), num(ctx, 3)};
    if (!b || !all_finite(v, 3)) return give(ctx, 0);
    b->x = float(v[0]), b->y = float(v[1]), b->z = float(v[2]);
    return give(ctx, 1);
}

duk_ret_t n_size_billboard(ctx_t ctx)
{
    billboard* b = script_billboard(num(ctx, 0));
    double size = num(ctx, 1);
    if (!b || !std::isfinite(size)) return give(ctx, 0);
    b->size = float(size);
    return give(ctx, 1);
}

// 0..1 to a byte; NaN and below 0 give 0 (a negative or NaN byte conversion
// is undefined).
uint8_t colour_byte(double v) { return v > 0 ? uint8_t((v < 1 ? v : 1.0) * 255.0) : 0; }

duk_ret_t n_color_billboard(ctx_t ctx)
{
    billboard* b = script_billboard(num(ctx, 0));
    if (!b) return give(ctx, 0);
    for (int k = 0; k < 4; k++) b->colour[k] = colour_byte(num(ctx, 1 + k));
    return give(ctx, 1);
}

// ---- Sounds ------------------------------------------------------------------------------

duk_ret_t n_add_sound(ctx_t ctx) { return give(ctx, script_sound_add(text(ctx, 0))); }
duk_ret_t n_start_sound(ctx_t ctx) { return give(ctx, script_sound_start(integer(ctx, 0))); }
duk_ret_t n_stop_sound(ctx_t ctx) { return give(ctx, script_sound_stop(integer(ctx, 0))); }

duk_ret_t n_set_sound_loop(ctx_t ctx)
{
    return give(ctx, script_sound_set_loop(integer(ctx, 0), num(ctx, 1) != 0));
}

duk_ret_t n_set_sound_freq(ctx_t ctx) { return give(ctx, script_sound_set_freq(integer(ctx, 0), float(num(ctx, 1)))); }
duk_ret_t n_set_sound_vol(ctx_t ctx) { return give(ctx, script_sound_set_vol(integer(ctx, 0), float(num(ctx, 1)))); }

duk_ret_t n_set_sound_pos(ctx_t ctx)
{
    return give(ctx, script_sound_set_pos(integer(ctx, 0), float(num(ctx, 1)), float(num(ctx, 2)), float(num(ctx, 3))));
}

duk_ret_t n_set_sound_vel(ctx_t ctx)
{
    return give(ctx, script_sound_set_vel(integer(ctx, 0), float(num(ctx, 1)), float(num(ctx, 2)), float(num(ctx, 3))));
}

duk_ret_t n_get_camera_location(ctx_t ctx)
{
    script_array_put_floats(ctx, 0, script_camera.position, 3);
    script_array_put_floats(ctx, 1, script_camera.orientation, 9);
    return give(ctx, 1);
}

// ---- Tyre contacts --------------------------------------------------------------------------

enum contact_value { contact_position, contact_slip, contact_velocity };

duk_ret_t contact_depth(ctx_t ctx, bool front)
{
    rider* r = slot_rider(num(ctx, 0));
    if (!r) return give(ctx, 0);
    return give(ctx, (front ? r->front_contact : r->rear_contact).depth);
}

duk_ret_t contact_vector(ctx_t ctx, bool front, contact_value what)
{
    rider* r = slot_rider(num(ctx, 0));
    double v[3] = {0, 0, 0};
    int touching = 0;
    if (r) {
        const wheel_contact& w = front ? r->front_contact : r->rear_contact;
        touching = w.depth > 0;
        if (what == contact_position) {
            for (int k = 0; k < 3; k++) v[k] = w.contact_point[k];
        } else if (what == contact_slip) {
            for (int k = 0; k < 3; k++) v[k] = w.slip_velocity[k];
        } else if (w.body) {
            dVector3 out;
            dBodyGetPointVel(w.body, w.contact_point[0], w.contact_point[1], w.contact_point[2], out);
            for (int k = 0; k < 3; k++) v[k] = out[k];
        }
    }
    script_array_put_numbers(ctx, 1, v, 3);
    return give(ctx, touching);
}

duk_ret_t n_get_front_contact_depth(ctx_t ctx) { return contact_depth(ctx, true); }
duk_ret_t n_get_front_contact_position(ctx_t ctx) { return contact_vector(ctx, true, contact_position); }
duk_ret_t n_get_front_contact_slip(ctx_t ctx) { return contact_vector(ctx, true, contact_slip); }
duk_ret_t n_get_front_contact_velocity(ctx_t ctx) { return contact_vector(ctx, true, contact_velocity); }
duk_ret_t n_get_rear_contact_depth(ctx_t ctx) { return contact_depth(ctx, false); }
duk_ret_t n_get_rear_contact_position(ctx_t ctx) { return contact_vector(ctx, false, contact_position); }
duk_ret_t n_get_rear_contact_slip(ctx_t ctx) { return contact_vector(ctx, false, contact_slip); }
duk_ret_t n_get_rear_contact_velocity(ctx_t ctx) { return contact_vector(ctx, false, contact_velocity); }

// ---- Finding and adding objects ----------------------------------------------------------------

// The absolute index a search starts at: never below the table.
int64_t search_start(double start, int32_t first)
{
    int64_t at = int64_t(script_to_int(start)) + first;
    return at > 0 ? at : 0;
}

duk_ret_t n_find_statue(ctx_t ctx)
{
    const char* model_name = text(ctx, 0);
    const char* texture = text(ctx, 1);
    mesh* model = model_name[0] ? model_find(model_name) : nullptr;
    int id = texture[0] ? texture_find(texture) : 0;
    if (texture[0] && id == 0) return give(ctx, -1);
    int32_t first = track_objects.first_file_statue;
    for (int64_t i = search_start(num(ctx, 2), first); i < track_objects.statues.count; i++) {
        const statue* s = statue_at(int32_t(i));
        if (model_name[0] && s->model != model) continue;
        if (texture[0] && s->texture != id) continue;
        return give(ctx, double(i - first));
    }
    return give(ctx, -1);
}

duk_ret_t n_find_billboard(ctx_t ctx)
{
    const char* texture = text(ctx, 0);
    int id = texture[0] ? texture_find(texture) : 0;
    if (texture[0] && id == 0) return give(ctx, -1);
    int32_t first = track_objects.first_file_billboard;
    for (int64_t i = search_start(num(ctx, 1), first); i < track_objects.billboards.count; i++)
        if (billboard_at(int32_t(i))->texture == id) return give(ctx, double(i - first));
    return give(ctx, -1);
}

// -1 for an add past the limit, with the load's error line.
duk_ret_t refuse_past_limit(ctx_t ctx, const char* native, const char* objects)
{
    char text[96];
    snprintf(text, sizeof text, "%s: a script adds at most %d %s", native, int(script_object_limit), objects);
    script_report_once(text);
    return give(ctx, -1);
}

duk_ret_t n_add_statue(ctx_t ctx)
{
    double v[4] = {num(ctx, 0), num(ctx, 1), num(ctx, 2), num(ctx, 3)};
    if (!script_loading || !all_finite(v, 4)) return give(ctx, -1);
    if (statues_added >= script_object_limit) return refuse_past_limit(ctx, "add_statue", "statues");
    const char* model_name = text(ctx, 4);
    const char* texture = text(ctx, 5);
    int32_t i = create_statue(float(v[0]), float(v[1]), float(v[2]), float(v[3]), model_name[0] ? model_name : nullptr,
                              texture[0] ? texture : nullptr, nullptr, origin_script);
    if (i < 0) return give(ctx, -1);
    statues_added++;
    return give(ctx, i - track_objects.first_file_statue);
}

duk_ret_t n_add_billboard(ctx_t ctx)
{
    double v[5] = {num(ctx, 0), num(ctx, 1), num(ctx, 2), num(ctx, 3), num(ctx, 4)};
    if (!script_loading || !all_finite(v, 5)) return give(ctx, -1);
    if (billboards_added >= script_object_limit) return refuse_past_limit(ctx, "add_billboard", "billboards");
    int32_t i = create_billboard(float(v[0]), float(v[1]), float(v[2]), float(v[3]), float(v[4]), text(ctx, 5),
                                 origin_script);
    if (i < 0) return give(ctx, -1);
    billboards_added++;
    return give(ctx, i - track_objects.first_file_billboard);
}

}  // namespace

const char* const script_native_names[script_native_count + 1] = {
    "message", "broadcast_script_message", "read_texture", "begin_custom_frame", "end_custom_frame",
    "paste_custom_frame", "get_max_slots", "get_running_count", "get_running_order_slot",
    "get_running_order_position", "get_running_order_time", "get_rider_down", "get_seconds_per_tic",
    "get_first_lap_length", "get_normal_lap_length", "get_timing_position", "get_timing",
    "gate_from_timing_position", "get_rider_number", "get_rider_name", "get_bike_model", "get_elevation",
    "get_tile_number", "get_position_", "get_velocity_", "get_finish_laps", "get_finish_time",
    "get_gate_drop_time", "get_seed", "get_player_slot", "pose_statue", "create_pose_sequence",
    "set_pose_sequence_rest", "set_pose_sequence_frame", "pose_statue_from_sequence", "move_statue",
    "move_statue_absolute", "move_billboard", "move_billboard_absolute", "size_billboard", "color_billboard",
    "add_sound", "start_sound", "stop_sound", "set_sound_loop", "set_sound_freq", "set_sound_vol",
    "set_sound_pos", "set_sound_vel", "get_camera_location", "get_front_contact_depth",
    "get_front_contact_position", "get_front_contact_slip", "get_front_contact_velocity",
    "get_rear_contact_depth", "get_rear_contact_position", "get_rear_contact_slip",
    "get_rear_contact_velocity", "find_statue", "add_statue", "find_billboard", "add_billboard", nullptr,
};

const script_native script_native_functions[script_native_count] = {
    n_message, n_broadcast_script_message, n_read_texture, n_begin_custom_frame, n_end_custom_frame,
    n_paste_custom_frame, n_get_max_slots, n_get_running_count, n_get_running_order_slot,
    n_get_running_order_position, n_get_running_order_time, n_get_rider_down, n_get_seconds_per_tic,
    n_get_first_lap_length, n_get_normal_lap_length, n_get_timing_position, n_get_timing,
    n_gate_from_timing_position, n_get_rider_number, n_get_rider_name, n_get_bike_model, n_get_elevation,
    n_get_tile_number, n_get_position_, n_get_velocity_, n_get_finish_laps, n_get_finish_time,
    n_get_gate_drop_time, n_get_seed, n_get_player_slot, n_pose_statue, n_create_pose_sequence,
    n_set_pose_sequence_rest, n_set_pose_sequence_frame, n_pose_statue_from_sequence, n_move_statue,
    n_move_statue_absolute, n_move_billboard, n_move_billboard_absolute, n_size_billboard, n_color_billboard,
    n_add_sound, n_start_sound, n_stop_sound, n_set_sound_loop, n_set_sound_freq, n_set_sound_vol,
    n_set_sound_pos, n_set_sound_vel, n_get_camera_location, n_get_front_contact_depth,
    n_get_front_contact_position, n_get_front_contact_slip, n_get_front_contact_velocity,
    n_get_rear_contact_depth, n_get_rear_contact_position, n_get_rear_contact_slip,
    n_get_rear_contact_velocity, n_find_statue, n_add_statue, n_find_billboard, n_add_billboard,
};

const int script_native_counts[script_native_count] = {
    1, 1, 1, 1, 1, 8, 0, 0, 1, 1, 1, 1, 0, 0, 0, 1, 2, 1, 1, 1, 1, 2, 2, 2, 2, 0, 0, 0, 0, 0, 5,
    2, 3, 5, 3, 5, 5, 4, 4, 2, 5, 1, 1, 1, 2, 2, 2, 4, 4, 2, 1, 2, 2, 2, 1, 2, 2, 2, 3, 7, 2, 6,
};

void pose_sequences_free()
{
    for (int32_t i = 0; i < pose_sequence_count; i++) {
        std::free(pose_sequences[i].rest);
        std::free(pose_sequences[i].positions);
        std::free(pose_sequences[i].rotations);
        pose_sequences[i] = {};
    }
    pose_sequence_count = 0;
}

void script_objects_added_reset() { billboards_added = statues_added = 0; }
