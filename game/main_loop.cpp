// The main loop: frame, pacing, console queue, tic passes and upkeep.
#include "game/main_loop.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <ode/ode.h>

#include "core/alloc.h"
#include "core/game_state.h"
#include "editor/editor.h"
#include "game/cameras.h"
#include "game/capture.h"
#include "game/control_input.h"
#include "game/race_reset.h"
#include "game/results.h"
#include "game/sim_tic.h"
#include "game/startup.h"
#include "gfx/text.h"
#include "gfx/ztgl.h"
#include "net/client.h"
#include "physics/physics_tic.h"
#include "physics/physics_world.h"
#include "physics/rider.h"
#include "physics/rider_access.h"
#include "physics/rider_build.h"
#include "platform/vesk.h"
#include "terrain/erode.h"
#include "terrain/terrain.h"
#include "terrain/terrain_render.h"
#include "ui/console.h"
#include "ui/bindings.h"
#include "ui/screenshot.h"
#include "ui/settings.h"
#include "ui/engine_sound.h"
#include "ui/hud.h"
#include "ui/loading.h"
#include "ui/menu.h"
#include "ui/view.h"
#include "ui/world_view.h"

int32_t view_state = view_no_track;
int32_t own_rider;
int32_t spy_mode;
int32_t paused;
pacing_state pacing;
float* frame_time_ring;
int32_t frame_time_count;
const char* console_queue;

namespace {

// The menu page of the previous event, and whether it changed this frame
// (the menu key handler is then not called again until the next frame).
int32_t last_event_page = -1;
int32_t page_changed;
// The frame's drawable size.
int32_t drawable_w, drawable_h;
// The frame counter handed to the test hook.
int32_t frame_number;
// The menu cursor's button is held.
int32_t menu_cursor_held;

// The mouse moved over an open menu: a drag with the button held, else the
// line under it is selected.
void menu_mouse_moved()
{
    static int32_t last_x, last_y;
    bool moved = cursor_x != last_x || cursor_y != last_y;
    last_x = cursor_x, last_y = cursor_y;
    if (!moved || menu_page < 0) return;
    if (!menu_cursor_held) menu_hover();
    else if (!page_changed) handle_menu_key(menu_code_drag);
}

void loop_checkpoint(const char* label)
{
    if (stutter_threshold != 0) stutter_check(label);
}

double clock_now(void*)
{
    return loop_clock_now();
}

void clock_sleep(void*, double seconds)
{
    if (!(seconds > 0)) return;
    int32_t s = int32_t(seconds);
    vesk_sleep(s, int32_t((seconds - s) * 1e6));
}

const pacing_clock wall_clock = {clock_now, clock_sleep, nullptr};

// Watched rider, own-rider flag and the views a race allows.
void apply_view_rules()
{
    const rider* r = watched_slot >= 0 && watched_slot < rider_slot_count ? rider_table[watched_slot] : nullptr;
    int status = watched_slot >= 0 && watched_slot < rider_slot_count ? slot_status[watched_slot] : 1;
    bool loaded = track_dir[0] != 0;
    if (loaded && view_state == view_no_track) view_state = view_riding;
    own_rider = 0;
    if (!(spy_mode && view_state == view_track_cameras)) {
        if (status == 0) {
            if (view_state != view_riding && view_state != view_editor && view_state != view_orbit)
                view_state = view_riding;
            own_rider = 1;
        }
    }
    if (!r) view_state = view_track_cameras;
    if (!loaded) view_state = view_no_track;
}

void draw_frame(const vesk_rect* rect)
{
    ztgl_use_program(ZTGL_UNLIT);
    drawable_w = rect->width;
    drawable_h = rect->height;
    set_perspective(drawable_w, drawable_h, float(settings.fov.value));
    const rider* r = watched_slot >= 0 && watched_slot < rider_slot_count ? rider_table[watched_slot] : nullptr;
    switch (view_state) {
    case view_riding:
        render_rider_view(r ? rider_get_rider_body(r) : nullptr, watched_slot);
        if (options.hud_shown) draw_hud(watched_slot), results_overlay_draw(watched_slot);
        break;
    case view_editor:
        editor_draw();
        if (options.hud_shown) results_overlay_draw(watched_slot);
        break;
    case view_orbit:
        orbit_view_draw();
        if (options.hud_shown) draw_hud(watched_slot), results_overlay_draw(watched_slot);
        break;
    case view_track_cameras:
        render_track_camera_view();
        // The name tells whom the automatic cameras follow.
        if (options.hud_shown) {
            if (auto_camera) rider_name_draw(watched_slot);
            results_overlay_draw(watched_slot);
        }
        break;
    default:
        loading_screen("");
        if (options.hud_shown) results_overlay_draw(watched_slot);
        break;
    }
    if (paused) {
        if (options.paused_text_shown) {
            set_perspective(drawable_w, drawable_h, float(settings.fov.value));
            ztglMatrixMode(ZTGL_MODELVIEW);
            ztglLoadIdentity();
            // Line 1 of a 30-line grid at depth -1.
            float line = 2 * view_extent_h / 30;
            ztglTranslatef(0, view_extent_h - 2 * line, -1);
            ztglScalef(line, line, 1);
            ztgl_use_program(ZTGL_UNLIT);
            draw_text_centred_shadowed(1, 1, 1, 1, -view_extent_w / line, view_extent_w / line, "Paused");
        }
    } else if (video_capture_on && view_state != view_no_track) {
        ztgl_flush();
        capture_video_frame(drawable_w, drawable_h);
    }
    ztgl_use_program(ZTGL_UNLIT);
    menu_drawable_w = drawable_w, menu_drawable_h = drawable_h;
    menu_draw();
    screenshot_frame_end(drawable_w, drawable_h);
    loop_checkpoint("draw");
    if (options.gl_finish) ztglFinish();
}

void upkeep_after_tics()
{
    if (view_state == view_no_track) return;
    if (erosion_amount > 0 && track_terrain.heights) {
        const float* at = nullptr;
        float position[3];
        for (int slot = 0; slot < rider_slot_count; slot++) {
            const rider* r = rider_table[slot];
            if (!r || slot_status[slot] != 0) continue;
            const dReal* p = dBodyGetPosition(r->frame_body);
            position[0] = float(p[0]), position[1] = float(p[1]), position[2] = float(p[2]);
            at = position;
            break;
        }
        int32_t lock = track_terrain.deform_lock;
        track_terrain.deform_lock = 0;
        erode_queue_apply(at, float(erosion_amount) / 1024.0f);
        track_terrain.deform_lock = lock;
        loop_checkpoint("erode");
    }
    if (track_terrain.renderer) {
        track_terrain.upkeep_budget = view_state == view_editor ? 0x7FFFFFFF : 1 << 4;
        terrain_upkeep(&track_terrain);
    }
    console_fade(game_clock);
    loop_checkpoint("update");
}

void warp_restart()
{
    if (!warp_restart_due()) return;
    lineup_rotate(1);
    reset_session(slot_kind, 0, 0, race_time_tics, race_laps, settings.skill.selected);
}

// One queued piece a frame; queued lines never enter the history.
void run_console_queue()
{
    char piece[chat_line_length + 1];
    console_piece_kind kind = console_queue_take(&console_queue, piece, sizeof piece);
    if (kind == console_piece_command) console_command(piece);
    else if (kind == console_piece_chat) console_chat(piece, game_clock);
}

}  // namespace

double loop_clock_now()
{
    return double(vesk_time_ms()) * 0.001;
}

int warp_restart_due()
{
    // A race without laps (0) is never over by laps: it must not restart on
    // every frame.
    if (!options.warp || view_state == view_no_track || net_server_set()) return 0;
    return lap_limit >= 1 && race_order_count >= 1 && leader_laps_done() >= lap_limit;
}

int32_t leader_laps_done()
{
    if (race_order_count < 1) return 0;
    int32_t gates = race_order[0].gates_passed;
    int32_t first = timing_gates.first_lap_entries, normal = timing_gates.normal_lap_entries;
    if (normal <= 0 || gates < first) return 0;
    return (gates - first) / normal + 1;
}

int rider_lift_clear(rider* r)
{
    rider_translate(r, 0, 0.125, 0);
    int steps = 0;
    while (steps < lift_step_limit && bike_tyre_forces(r)) {
        rider_translate(r, 0, 0.25, 0);
        dJointGroupEmpty(contact_joint_group);
        steps++;
    }
    dJointGroupEmpty(contact_joint_group);
    if (steps == lift_step_limit) console_printf("Rider %d is stuck in the ground", r->slot);
    rider_translate(r, 0, -0.125, 0);
    dJointGroupEmpty(contact_joint_group);
    return steps;
}

void dispatch_event(uint32_t code, int pressed)
{
    if (code == vesk_code_close) {
        quit_requested = 1;
        return;
    }
    if (menu_page != last_event_page) page_changed = 1;
    last_event_page = menu_page;
    bindings_key_event(code, pressed);
    if (code == menu_keys.cursor_left) menu_cursor_held = pressed;
    // A capture takes every pressed key (Esc cancels it); releases go on.
    if (binding_learning.binding && binding_capture_key(code, pressed, game_clock)) return;
    if (pressed && code == menu_keys.esc) {
        menu_page = menu_page < 0 ? 0 : -1;
        menu_line = 0;
        last_event_page = menu_page;
    }
    if (menu_page < 0) {
        if (view_state == view_editor && editor_key(code, pressed)) return;
        if (!pressed) return;
        if (view_state != view_editor && code == special_keys[special_chat]->key_code) {
            menu_page = 16;
            menu_line = 0;
            return;
        }
        if (view_state == view_no_track) return;
        if (code == special_keys[special_pause]->key_code) {
            if (!net_server_set()) paused = !paused;
        } else if (code == special_keys[special_step]->key_code) {
            if (paused) run_tic();
        } else if (code == tab_key_code) {
            if (view_state == view_riding) view_state = options.editor ? view_editor : view_orbit;
            else if (view_state == view_editor) {
                if (track_terrain.renderer) terrain_upkeep_full(&track_terrain);
                for (int slot = 0; slot < rider_slot_count; slot++)
                    if (rider_table[slot]) rider_lift_clear(rider_table[slot]);
                view_state = view_orbit;
            } else if (view_state == view_orbit) view_state = view_track_cameras;
            else if (view_state != view_no_track) view_state = view_riding;
        } else if (code == special_keys[special_rewind]->key_code) {
            seek_demo(-1);
        } else if (code == special_keys[special_skip]->key_code) {
            seek_demo(1);
        } else if (code == special_keys[special_prev_bike]->key_code || code == special_keys[special_next_bike]->key_code) {
            bool may = !own_rider || (net_connected() && net_riding_slot() == 160) || spy_mode;
            if (!may || race_order_count < 1) return;
            int at = -1;
            for (int i = 0; i < race_order_count; i++)
                if (race_order[i].slot == watched_slot) at = i;
            if (at < 0) at = race_order_count - 1;
            else if (code == special_keys[special_prev_bike]->key_code) at = std::max(at - 1, 0);
            else at = std::min(at + 1, race_order_count - 1);
            watched_slot = race_order[at].slot;
        } else if (code == special_keys[special_screenshot]->key_code) {
            if (view_state != view_editor) screenshot_save();
        } else if (code >= '0' && code <= '9') {
            selected_track_camera = track_camera_of_digit(int32_t(code - '0'));
        }
        return;
    }
    if (pressed && !page_changed) {
        handle_menu_key(code);
        apply_view_rules();
    }
}

void tic_pass(double event_limit, double now)
{
    for (float& c : control_channels) c = 0;
    uint32_t code;
    int pressed;
    if (event_limit >= now) {
        while (vesk_get_event(game_window, &code, &pressed)) {
            loop_checkpoint("getmessage");
            dispatch_event(code, pressed);
        }
    } else {
        auto ms = int64_t(std::floor(event_limit * 1000.0 + 1e-6));
        while (vesk_get_event_until(game_window, &code, &pressed, int32_t(ms / 1000), int32_t(ms % 1000) * 1000)) {
            loop_checkpoint("getmessage");
            dispatch_event(code, pressed);
        }
    }
    loop_checkpoint("processmessage");
    if (binding_learning.binding) binding_capture(game_clock);
    control_channels_update();
    bool offline = !net_server_set();
    if (menu_page < 0) {
        if (view_state == view_editor) {
            editor_update();
            if (offline) return;
        } else if (view_state != view_no_track && own_rider) {
            rider* r = watched_slot >= 0 && watched_slot < rider_slot_count ? rider_table[watched_slot] : nullptr;
            if (r && slot_status[watched_slot] == 0) player_inputs_apply(r, control_channels);
        } else if (!own_rider) {
            if (view_state == view_orbit) orbit_camera_controls();
            else if (view_state == view_track_cameras) track_camera_controls();
        }
    } else {
        if (offline && own_rider) return;
        if (view_state == view_editor) {
            editor_update();
            if (offline) return;
        }
    }
    loop_checkpoint("action");
    if (!offline) {
        paused = 0;
        if (!console_queue) net_step();
    }
    apply_view_rules();
    loop_checkpoint("net");
    if (paused || view_state == view_no_track || (net_connected() && net_server_tic < 1)) return;
    run_tic();
    loop_checkpoint("tic");
    capture_audio_tic(main_audio);
}

int main_loop_frame()
{
    if (quit_requested) return 0;
    if (frame_hook) frame_hook(frame_number);
    frame_number++;
    apply_view_rules();
    if (const vesk_rect* rect = vesk_gl_frame_begin(game_window)) {
        draw_frame(rect);
        ztgl_flush();
        int swapped = vesk_gl_frame_end(game_window);
        loop_checkpoint("flip");
        if (!swapped) return 0;
    }
    if (main_audio) {
        float level = paused || view_state == view_editor ? 0.0f : menu_page < 0 ? 1.0f : own_rider ? 0.0f : 0.25f;
        update_engine_sounds(level);
        vesk_audio_update(main_audio);
        loop_checkpoint("sound");
    }
    pacing_rules rules{};
    rules.online = net_server_set();
    rules.warp = options.warp;
    rules.lock_fps = options.lock_fps;
    rules.server_tic = net_server_tic;
    rules.current_tic = tic_counter;
    rules.gate_drop_tic = gate_drop_tic;
    double elapsed = 0;
    double step = pacing_frame(&pacing, rules, wall_clock, &elapsed);
    if (frame_time_ring && frame_time_count < frame_time_ring_max) frame_time_ring[frame_time_count++] = float(elapsed);
    game_clock += step;
    cursor_axes_read();
    menu_mouse_moved();
    run_console_queue();
    page_changed = 0;
    double now = loop_clock_now();
    double limit;
    while (pacing_next_tic(&pacing, now, &limit)) tic_pass(limit, now);
    warp_restart();
    upkeep_after_tics();
    pacing_frame_end(&pacing, loop_clock_now());
    return 1;
}

void main_loop()
{
    if (!frame_time_ring)
        frame_time_ring = static_cast<float*>(alloc_check_malloc(sizeof(float) * uint64_t(frame_time_ring_max)));
    frame_time_count = 0;
    frame_number = 0;
    // The page start-up opened is no key's change: the first key must reach it.
    last_event_page = menu_page;
    pacing_begin(&pacing, loop_clock_now());
    while (main_loop_frame()) {
    }
    alloc_check_free(frame_time_ring);
    frame_time_ring = nullptr;
}
